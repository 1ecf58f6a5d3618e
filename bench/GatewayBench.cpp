// kavrel-gateway on a line at its real speed: the simulator plays 8 meters on
// a pseudo-terminal, RTU 19200 bit/s, sending its replies no faster than the
// bit rate (as kavrel-sim --pace), and the gateway program polls them.
//
// Prints the gateway's block rate against what the line physically allows for
// the frames it exchanged (request + reply + a 3.5-character silence after
// each + the simulator's answer delay), the gateway's CPU time as a share of
// one core, and its memory at the start and every minute. Then one meter (the
// last) falls silent for 30 s: the others' worst rate over any 5 s window, as a
// share of their rate with every meter answering. Then it falls silent and
// comes back four times, after silences of different lengths: the time from
// its return to its first value.
//
// Before that, two runs of the same length measure what the reads beside the
// cycle cost: the process blocks read per second with the energy counters not
// read at all, against the main run's (energy every 10 s, the default); and with
// harmonics asked for every second, more than the line can give them.
//
//   build/bench/kavrel_gateway_bench [--seconds N] [--meters N]   (default 30 s, 8 meters)
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "model/ParamDef.h"
#include "sim/SimServer.h"

#ifndef KAVREL_GATEWAY
#error "KAVREL_GATEWAY must name the kavrel-gateway program"
#endif

namespace {

constexpr int BAUD = 19200;
constexpr int MODE = 6;                // RTU N,8,1
constexpr double CHAR_BITS = 10;       // start, 8 data, stop
constexpr double CHAR_S = CHAR_BITS / BAUD;
constexpr int REQUEST_CHARS = 8;       // address, function, register, count, CRC
constexpr double GAP_CHARS = 3.5;

struct TProcStat {
  double CpuS = 0;
  long RssKb = 0;
};

TProcStat ReadProc(pid_t pid) {
  TProcStat s;
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const size_t close = text.rfind(')');
  if (close != std::string::npos) {
    std::istringstream rest(text.substr(close + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
      if (i == 14) utime = std::stoull(field);
      if (i == 15) stime = std::stoull(field);
    }
    s.CpuS = static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
  }
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmRSS:", 0) == 0) s.RssKb = std::strtol(line.c_str() + 6, nullptr, 10);
  return s;
}

// Line time one answered read occupies, by the reply's data bytes.
double LineSeconds(int dataBytes) {
  const int reply = 3 + dataBytes + 2;
  return (REQUEST_CHARS + reply + 2 * GAP_CHARS) * CHAR_S;
}

int DataBytes(int reg, int count) { return count * (ValueKindForRegister(reg) == 'i' ? 2 : 4); }

// One request the simulator answered or left unanswered.
struct TSeen {
  double Time;  // seconds, the simulator's clock
  int Address;
  bool Answered;
  double ReplyS;  // line time of its reply
};

// Answered requests of `address` in [t0, t1).
int AnsweredIn(const std::vector<TSeen>& seen, int address, double t0, double t1) {
  int n = 0;
  for (const TSeen& r : seen) n += r.Address == address && r.Answered && r.Time >= t0 && r.Time < t1;
  return n;
}

}  // namespace

int main(int argc, char** argv) {
  int seconds = 30;
  int meters = 8;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    if (a == "--seconds") seconds = std::atoi(argv[i + 1]);
    else if (a == "--meters") meters = std::atoi(argv[i + 1]);
  }
  if (seconds < 5 || meters < 1 || meters > 247) {
    std::fprintf(stderr, "usage: kavrel_gateway_bench [--seconds N>=5] [--meters 1..247]\n");
    return 2;
  }

  char pattern[] = "/tmp/kavrel-gwbench-XXXXXX";
  if (!mkdtemp(pattern)) return 1;
  const std::string dir = pattern;

  SimConfig sim;
  sim.Meters.clear();
  for (int m = 1; m <= meters; ++m) sim.Meters.push_back({MT_TR5, m});
  sim.Mode = MODE;
  sim.Baud = BAUD;
  sim.Pace = true;
  sim.LinkPath = dir + "/COM1";
  SimServer server(sim);

  // Every answered request, with the line time its frames take; and every
  // request with its time.
  std::mutex mutex;
  long answered = 0;
  double busy = 0;
  bool counting = false;
  long processReads = 0;     // answered process blocks while counting
  double harmonicsBusy = 0;  // line time of answered harmonics reads while counting
  double energyBusy = 0;     // and of energy reads
  std::vector<TSeen> seen;
  double simNow = 0;
  server.SetObserver([&](const SimRequest& r) {
    std::lock_guard lock(mutex);
    const double replyS = (3 + DataBytes(r.Register, r.Count) + 2) * CHAR_S;
    seen.push_back({r.Time, r.Address, r.Reply == 3, replyS});
    simNow = r.Time;
    if (r.Reply != 3 || !counting) return;
    ++answered;
    busy += LineSeconds(DataBytes(r.Register, r.Count));
    processReads += r.Register == PROCESS_BLOCK_START;
    if (r.Register >= 7630 && r.Register < 7780) harmonicsBusy += LineSeconds(DataBytes(r.Register, r.Count));
    if (r.Register == 7534) energyBusy += LineSeconds(DataBytes(r.Register, r.Count));
  });
  auto now = [&] {
    std::lock_guard lock(mutex);
    return simNow;
  };
  std::string error;
  if (!server.Start(&error)) {
    std::fprintf(stderr, "simulator: %s\n", error.c_str());
    return 1;
  }

  const std::string config = dir + "/gateway.toml";
  // The gateway with the line's keys added; its pid.
  auto startGateway = [&](const std::string& lineKeys) {
    {
      std::ofstream out(config);
      out << "[http]\nport = 0\n[[line]]\nname = \"bench\"\nport = \"" << sim.LinkPath
          << "\"\nbaud = 19200\nframing = \"rtu\"\n"
          << lineKeys;
      for (int m = 1; m <= meters; ++m) out << "[[line.meter]]\nmodel = \"TR5\"\naddress = " << m << "\n";
    }
    const pid_t child = fork();
    if (child == 0) {
      const std::string log = dir + "/gateway.log";
      if (!freopen(log.c_str(), "w", stderr)) _exit(127);
      execl(KAVREL_GATEWAY, KAVREL_GATEWAY, "--config", config.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    std::this_thread::sleep_for(std::chrono::seconds(3));  // every meter connected
    return child;
  };
  // Process blocks read per second over the run, and the harmonics' share of the line.
  auto measure = [&](int runSeconds, double* harmonicsShare) {
    {
      std::lock_guard lock(mutex);
      processReads = 0;
      harmonicsBusy = 0;
      counting = true;
    }
    const auto from = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(runSeconds));
    std::lock_guard lock(mutex);
    counting = false;
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
    if (harmonicsShare) *harmonicsShare = harmonicsBusy / s;
    answered = 0;
    busy = 0;
    return processReads / s;
  };
  auto stopGateway = [](pid_t child) {
    kill(child, SIGTERM);
    int st = 0;
    waitpid(child, &st, 0);
  };
  pid_t other = startGateway("energy_interval_s = 0\n");
  const double withoutEnergy = measure(seconds, nullptr);
  stopGateway(other);
  double harmonicsShare = 0;
  other = startGateway("harmonics_interval_s = 1\n");
  const double withHarmonics = measure(seconds, &harmonicsShare);
  stopGateway(other);

  const pid_t pid = startGateway("");
  const TProcStat start = ReadProc(pid);
  const double calmFrom = now();
  const auto t0 = std::chrono::steady_clock::now();
  {
    std::lock_guard lock(mutex);
    processReads = 0;
    energyBusy = 0;
    counting = true;
  }
  std::printf("kavrel-gateway: %d meters, RTU %d bit/s, simulator pacing its replies; %d s\n", meters, BAUD, seconds);
  std::printf("memory at start: %ld kB\n", start.RssKb);
  for (int s = 1; s <= seconds; ++s) {
    std::this_thread::sleep_for(std::chrono::seconds(1));
    if (s % 60 == 0 && s < seconds) std::printf("memory after %d s: %ld kB\n", s, ReadProc(pid).RssKb);
    std::fflush(stdout);
  }
  const TProcStat end = ReadProc(pid);
  const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  long blocks;
  double lineBusy;
  double withEnergy;
  double energyShare;
  {
    std::lock_guard lock(mutex);
    counting = false;
    blocks = answered;
    lineBusy = busy;
    withEnergy = processReads / elapsed;
    energyShare = energyBusy / elapsed;
  }
  const double calmTo = now();

  // One meter silent for 30 s: the others' worst 5 s.
  const int silent = meters;
  server.SetFaults(SimFaults{.NoReply = true, .OnlyAddress = silent});
  const double silentFrom = now();
  std::this_thread::sleep_for(std::chrono::seconds(30));
  const double silentTo = now();
  // Back after silences of several lengths, so that it returns at different
  // points of its back-off: time to its first value.
  std::vector<double> returns;
  for (int lengthMs : {0, 7000, 9500, 12000, 14500}) {
    if (lengthMs > 0) {
      server.SetFaults(SimFaults{.NoReply = true, .OnlyAddress = silent});
      std::this_thread::sleep_for(std::chrono::milliseconds(lengthMs));
    }
    server.SetFaults(SimFaults{});
    const double back = now();
    double first = -1;
    for (int wait = 0; wait < 600 && first < 0; ++wait) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      std::lock_guard lock(mutex);
      for (const TSeen& r : seen)
        if (r.Address == silent && r.Answered && r.Time >= back) {
          first = r.Time + r.ReplyS - back;
          break;
        }
    }
    returns.push_back(first);
    std::this_thread::sleep_for(std::chrono::seconds(2));
  }

  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  server.Stop();

  double worstShare = 1e9;
  int worstMeter = 0;
  double worstAt = 0;
  {
    std::lock_guard lock(mutex);
    for (int m = 1; m < silent; ++m) {
      const double calmRate = AnsweredIn(seen, m, calmFrom, calmTo) / (calmTo - calmFrom);
      if (calmRate <= 0) continue;
      for (double t = silentFrom; t + 5 <= silentTo; t += 0.1) {
        const double share = AnsweredIn(seen, m, t, t + 5) / 5.0 / calmRate;
        if (share < worstShare) {
          worstShare = share;
          worstMeter = m;
          worstAt = t - silentFrom;
        }
      }
    }
  }

  // The rate the line allows for this mix of frames is blocks / lineBusy.
  const double rate = blocks / elapsed;
  const double allowed = lineBusy > 0 ? blocks / lineBusy : 0;
  std::printf("blocks read: %ld in %.1f s = %.2f blocks/s\n", blocks, elapsed, rate);
  std::printf("line allows: %.2f blocks/s for these frames (%.1f ms of line time per block)\n", allowed,
              lineBusy / (blocks ? blocks : 1) * 1000);
  std::printf("ratio: %.1f %% of what the line allows\n", allowed > 0 ? 100.0 * rate / allowed : 0.0);
  // The pseudo-terminal hands each request over at once where a real line
  // takes its 8 characters; without them the bound is stricter.
  const double withoutRequests = lineBusy - blocks * REQUEST_CHARS * CHAR_S;
  if (withoutRequests > 0)
    std::printf("ratio without the requests' line time: %.1f %%\n", 100.0 * rate / (blocks / withoutRequests));
  // The line is what limits the rate: what the energy reads take of it, the
  // process blocks lose. The two runs' rates also differ by the machine's load.
  std::printf(
      "energy counters read every 10 s (default): %.2f %% of the line's time, the process blocks' rate "
      "lowers by as much\n",
      100.0 * energyShare);
  std::printf(
      "process blocks: %.2f/s with energy counters not read, %.2f/s read every 10 s (separate runs)\n",
      withoutEnergy, withEnergy);
  std::printf("harmonics asked every 1 s: %.1f %% of the line's time, %.2f process blocks/s (separate run)\n",
              100.0 * harmonicsShare, withHarmonics);
  std::printf("gateway CPU: %.2f s in %.1f s = %.2f %% of one core\n", end.CpuS - start.CpuS, elapsed,
              100.0 * (end.CpuS - start.CpuS) / elapsed);
  std::printf("memory at end: %ld kB (start %ld kB)\n", end.RssKb, start.RssKb);
  if (meters > 1)
    std::printf(
        "meter %d silent for %.0f s: the others' worst 5 s rate: %.1f %% of their rate with all answering "
        "(meter %d, window from %.1f s)\n",
        silent, silentTo - silentFrom, 100.0 * worstShare, worstMeter, worstAt);
  std::sort(returns.begin(), returns.end());
  std::printf("meter %d back after a silence: first value after", silent);
  for (double r : returns) std::printf(r < 0 ? " (none in 60 s)" : " %.2f s", r);
  std::printf("; worst %.2f s\n", returns.empty() ? 0.0 : returns.back());
  std::printf("gateway exit: %s\n", WIFEXITED(status) && WEXITSTATUS(status) == 0 ? "clean (SIGTERM)" : "NOT clean");

  for (const char* f : {"/gateway.toml", "/gateway.log"}) std::remove((dir + f).c_str());
  rmdir(dir.c_str());
  return 0;
}
