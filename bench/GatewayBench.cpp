// kavrel-gateway on a line at its real speed: the simulator plays 8 meters on
// a pseudo-terminal, RTU 19200 bit/s, sending its replies no faster than the
// bit rate (as kavrel-sim --pace), and the gateway program polls them.
//
// Prints the gateway's block rate against what the line physically allows for
// the frames it exchanged (request + reply + a 3.5-character silence after
// each + the simulator's answer delay), the gateway's CPU time as a share of
// one core, and its memory at the start and every minute.
//
//   build/bench/kavrel_gateway_bench [--seconds N] [--meters N]   (default 60 s, 8 meters)
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

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

}  // namespace

int main(int argc, char** argv) {
  int seconds = 60;
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

  // Every answered request, with the line time its frames take.
  std::mutex mutex;
  long answered = 0;
  double busy = 0;
  bool counting = false;
  server.SetObserver([&](const SimRequest& r) {
    if (r.Reply != 3) return;
    std::lock_guard lock(mutex);
    if (!counting) return;
    ++answered;
    busy += LineSeconds(DataBytes(r.Register, r.Count));
  });
  std::string error;
  if (!server.Start(&error)) {
    std::fprintf(stderr, "simulator: %s\n", error.c_str());
    return 1;
  }

  const std::string config = dir + "/gateway.toml";
  {
    std::ofstream out(config);
    out << "[http]\nport = 0\n[[line]]\nname = \"bench\"\nport = \"" << sim.LinkPath
        << "\"\nbaud = 19200\nframing = \"rtu\"\n";
    for (int m = 1; m <= meters; ++m) out << "[[line.meter]]\nmodel = \"TR5\"\naddress = " << m << "\n";
  }
  const pid_t pid = fork();
  if (pid == 0) {
    const std::string log = dir + "/gateway.log";
    if (!freopen(log.c_str(), "w", stderr)) _exit(127);
    execl(KAVREL_GATEWAY, KAVREL_GATEWAY, "--config", config.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }

  std::this_thread::sleep_for(std::chrono::seconds(3));  // every meter connected
  const TProcStat start = ReadProc(pid);
  const auto t0 = std::chrono::steady_clock::now();
  {
    std::lock_guard lock(mutex);
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
  {
    std::lock_guard lock(mutex);
    counting = false;
    blocks = answered;
    lineBusy = busy;
  }
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  server.Stop();

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
  std::printf("gateway CPU: %.2f s in %.1f s = %.2f %% of one core\n", end.CpuS - start.CpuS, elapsed,
              100.0 * (end.CpuS - start.CpuS) / elapsed);
  std::printf("memory at end: %ld kB (start %ld kB)\n", end.RssKb, start.RssKb);
  std::printf("gateway exit: %s\n", WIFEXITED(status) && WEXITSTATUS(status) == 0 ? "clean (SIGTERM)" : "NOT clean");

  for (const char* f : {"/gateway.toml", "/gateway.log"}) std::remove((dir + f).c_str());
  rmdir(dir.c_str());
  return 0;
}
