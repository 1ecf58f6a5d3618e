// kavrel-sim: plays one or more meters on a Modbus line, so that Kavrel, its
// tests and its demo have something to talk to.
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "comm/LineFraming.h"
#include "sim/SimCommands.h"
#include "sim/SimServer.h"
#include "sim/SimTcpListener.h"

namespace {

int signalPipe[2] = {-1, -1};

void OnSignal(int) {
  const int saved = errno;
  const char b = 1;
  [[maybe_unused]] const ssize_t n = write(signalPipe[1], &b, 1);
  errno = saved;
}

void PrintHelp() {
  std::printf(
      "Usage: kavrel-sim [OPTION]...\n"
      "Plays Modbus meters (TR5, TR5B, VR5, VR5B, TR8) on a serial line, so that Kavrel\n"
      "can be tried and tested without real meters. The values look like a real\n"
      "three-phase system with a slowly drifting load.\n"
      "\n"
      "By default it plays one TR5 at address 1, ASCII 19200 bit/s N,8,1 (Kavrel's own\n"
      "defaults), on a pseudo-terminal linked as COM1 in the current directory: start\n"
      "Kavrel in the same directory and it finds the meter on port COM1.\n"
      "\n"
      "Options:\n"
      "  --meter MODEL[:ADDRESS]  add a meter (MODEL TR5, TR5B, VR5, VR5B or TR8; ADDRESS\n"
      "                           1-247, default 1); repeat for several meters on the line\n"
      "  --mode N                 transmission mode as the settings file keeps it (Mode= of\n"
      "                           Kavrel.INI), 0-6:\n"
      "                           0 ASCII N,8,1  1 ASCII E,7,1  2 ASCII O,7,1\n"
      "                           3 RTU N,8,2    4 RTU E,8,1    5 RTU O,8,1   6 RTU N,8,1\n"
      "                           (default 0)\n"
      "  --framing ascii|rtu      the mode as a gateway line names it, instead of --mode:\n"
      "  --format 8N1|7E1|...     ASCII 8N1, 7E1 or 7O1; RTU 8N1, 8N2, 8E1 or 8O1 (framing rtu\n"
      "                           and format 8N1 unless given)\n"
      "  --baud N                 300, 600, 1200, 2400, 4800, 9600 or 19200 (default 19200)\n"
      "  --link NAME              name of the link to create (default COM1); it must not\n"
      "                           exist, unless it is a dead link left by an earlier run\n"
      "  --force                  replace an existing symbolic link NAME\n"
      "  --device PATH            serve a real serial port (e.g. /dev/ttyUSB0 with an RS-485\n"
      "                           adapter) instead of a pseudo-terminal; no link is made\n"
      "  --listen [HOST:]PORT     serve the line over TCP as a network serial server does\n"
      "                           (RTU or ASCII frames as on the wire; one client at a time,\n"
      "                           a new one replaces the old); HOST an IPv4 address, default\n"
      "                           127.0.0.1 (0.0.0.0 for every interface); PORT 0 picks a free\n"
      "                           one. No link is made (--link is refused with it)\n"
      "  --pace                   send replies no faster than the baud rate would\n"
      "  --seed N                 seed of the load's random drift (default 1)\n"
      "  --fault COMMAND          run a fault command at start, e.g. --fault \"delay 500\";\n"
      "                           repeat for several\n"
      "  --log                    print every request and how it was answered\n"
      "  --help                   show this text\n"
      "  --version                show the version\n"
      "\n"
      "While it runs it reads commands on standard input, one a line:\n"
      "\n%s"
      "\n"
      "It stops on quit, Ctrl+C or SIGTERM and removes its link. Examples:\n"
      "  kavrel-sim                                one TR5, address 1, on ./COM1\n"
      "  kavrel-sim --meter VR5:3 --meter TR8:4    two meters on one line\n"
      "  kavrel-sim --mode 6 --baud 19200 --link COM2\n"
      "  kavrel-sim --device /dev/ttyUSB0 --mode 4 --baud 9600\n"
      "  kavrel-sim --listen 4001 --mode 6         Kavrel connects to tcp://127.0.0.1:4001\n",
      SimCommandHelp());
}

bool ParseInt(const char* s, int& out) {
  const char* end = s + std::strlen(s);
  const auto [p, ec] = std::from_chars(s, end, out);
  return ec == std::errc() && p == end && p != s;
}

int Usage(const std::string& message) {
  std::fprintf(stderr, "kavrel-sim: %s\nTry 'kavrel-sim --help' for the options.\n", message.c_str());
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  SimConfig config;
  config.Meters.clear();
  std::vector<std::string> faults;
  bool log = false;
  bool linkGiven = false;
  std::string listenHost;
  int listenPort = -1;  // no TCP service

  std::string framing, format;
  bool framingGiven = false, modeGiven = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](const char*& out) {
      if (i + 1 >= argc) return false;
      out = argv[++i];
      return true;
    };
    const char* v = nullptr;
    int n = 0;
    if (arg == "--help" || arg == "-h") {
      PrintHelp();
      return 0;
    } else if (arg == "--version") {
      std::printf("kavrel-sim %s\n", KAVREL_VERSION);
      return 0;
    } else if (arg == "--meter") {
      if (!value(v)) return Usage("--meter needs MODEL[:ADDRESS]");
      std::string given = v, model = given;
      int address = 1;
      const size_t colon = given.find(':');
      if (colon != std::string::npos) {
        model = given.substr(0, colon);
        if (!ParseInt(given.c_str() + colon + 1, address)) return Usage("bad meter address in \"" + given + "\"");
      }
      const int type = SimModelFromName(model);
      if (type == 0) return Usage("unknown meter model \"" + model + "\" (TR5, TR5B, VR5, VR5B or TR8)");
      config.Meters.push_back({type, address});
    } else if (arg == "--mode") {
      if (!value(v) || !ParseInt(v, n)) return Usage("--mode needs a number 0-6");
      config.Mode = n;
      modeGiven = true;
    } else if (arg == "--framing" || arg == "--format") {
      if (!value(v)) return Usage(arg + " needs a value");
      (arg == "--framing" ? framing : format) = v;
      framingGiven = true;
    } else if (arg == "--baud") {
      if (!value(v) || !ParseInt(v, n)) return Usage("--baud needs a number");
      config.Baud = n;
    } else if (arg == "--link") {
      if (!value(v) || !*v) return Usage("--link needs a name");
      config.LinkPath = v;
      linkGiven = true;
    } else if (arg == "--listen") {
      if (!value(v)) return Usage("--listen needs [HOST:]PORT");
      const std::string given = v;
      const size_t colon = given.rfind(':');
      if (colon != std::string::npos) listenHost = given.substr(0, colon);
      if (!ParseInt(given.c_str() + (colon == std::string::npos ? 0 : colon + 1), listenPort) || listenPort < 0 ||
          listenPort > 65535)
        return Usage("bad port in --listen \"" + given + "\"");
    } else if (arg == "--device") {
      if (!value(v) || !*v) return Usage("--device needs a path");
      config.Device = v;
    } else if (arg == "--seed") {
      if (!value(v) || !ParseInt(v, n)) return Usage("--seed needs a number");
      config.Seed = static_cast<uint32_t>(n);
    } else if (arg == "--fault") {
      if (!value(v)) return Usage("--fault needs a command, e.g. \"delay 500\"");
      faults.push_back(v);
    } else if (arg == "--force") {
      config.ForceLink = true;
    } else if (arg == "--pace") {
      config.Pace = true;
    } else if (arg == "--log") {
      log = true;
    } else {
      return Usage("unknown option \"" + arg + "\"");
    }
  }
  // --framing and --format as a gateway line names them: another way to say --mode.
  if (framingGiven) {
    if (modeGiven) return Usage("--mode and --framing/--format both set the mode; give one");
    std::string why;
    config.Mode = ModeFromFraming(framing.empty() ? "rtu" : framing, format, why);
    if (config.Mode < 0) return Usage(why);
  }
  if (config.Meters.empty()) config.Meters.push_back({});
  if (!config.Device.empty()) config.LinkPath.clear();
  if (listenPort >= 0 && !config.Device.empty()) return Usage("--listen serves the simulated line, not a --device");
  // The network client is the line's one master: no link to share it with.
  if (listenPort >= 0 && linkGiven) return Usage("--listen serves the line over TCP; it takes no --link");
  if (listenPort >= 0) config.LinkPath.clear();

  std::string error;
  if (!SimServer::Validate(config, error)) return Usage(error);

  if (pipe(signalPipe) != 0) {
    std::perror("kavrel-sim: pipe");
    return 1;
  }
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);

  SimServer server(config);
  for (const std::string& f : faults) {  // faults that need no running line
    if (f.rfind("unplug", 0) == 0 || f.rfind("plug", 0) == 0) continue;
    const SimCommandResult r = SimExecuteCommand(server, f);
    if (!r.Ok) return Usage("--fault \"" + f + "\": " + r.Text);
  }
  if (log) server.SetObserver([](const SimRequest& r) { std::printf("%s\n", SimDescribeRequest(r).c_str()); std::fflush(stdout); });
  if (!server.Start(&error)) {
    std::fprintf(stderr, "kavrel-sim: %s\n", error.c_str());
    return 1;
  }
  for (const std::string& f : faults) {
    if (f.rfind("unplug", 0) != 0 && f.rfind("plug", 0) != 0) continue;
    const SimCommandResult r = SimExecuteCommand(server, f);
    if (!r.Ok) std::fprintf(stderr, "kavrel-sim: --fault \"%s\": %s\n", f.c_str(), r.Text.c_str());
  }

  SimTcpListener network(server);
  if (listenPort >= 0 && !network.Start(listenHost, listenPort, &error)) {
    std::fprintf(stderr, "kavrel-sim: %s\n", error.c_str());
    server.Stop();
    return 1;
  }

  std::string meters;
  for (const SimMeterConfig& m : config.Meters)
    meters += std::string(meters.empty() ? "" : ", ") + SimModelName(m.Type) + " at address " + std::to_string(m.Address);
  const std::string where = config.Device.empty()
                                ? (config.LinkPath.empty() ? server.DevicePath()
                                                           : config.LinkPath + " -> " + server.DevicePath())
                                : server.DevicePath();
  std::printf("kavrel-sim: %s on %s, %s mode %d (%s), %d bit/s\n", meters.c_str(), where.c_str(),
              SimModeIsRtu(config.Mode) ? "RTU" : "ASCII", config.Mode, SimModeText(config.Mode).c_str(),
              config.Baud);
  if (listenPort >= 0)
    std::printf("kavrel-sim: listening on tcp://%s:%d\n", (listenHost.empty() ? "127.0.0.1" : listenHost).c_str(),
                network.Port());
  std::printf("Type help for commands; Ctrl+C or quit stops.\n");
  std::fflush(stdout);

  bool readStdin = true;
  std::string pending;
  for (;;) {
    pollfd fds[2] = {{signalPipe[0], POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
    const int ready = poll(fds, readStdin ? 2 : 1, -1);
    if (ready < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[0].revents) break;
    if (!readStdin || !(fds[1].revents & (POLLIN | POLLHUP | POLLERR))) continue;
    char buffer[1024];
    const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
    if (n <= 0) {  // end of input: keep serving until a signal
      readStdin = false;
      continue;
    }
    pending.append(buffer, static_cast<size_t>(n));
    bool quit = false;
    for (size_t nl; !quit && (nl = pending.find('\n')) != std::string::npos;) {
      const std::string line = pending.substr(0, nl);
      pending.erase(0, nl + 1);
      const SimCommandResult r = SimExecuteCommand(server, line);
      if (!r.Text.empty()) std::printf("%s\n", r.Text.c_str());
      std::fflush(stdout);
      quit = r.Quit;
    }
    if (quit) break;
    if (pending.size() > 4096) pending.clear();  // no line that long is a command
  }

  const std::string link = server.LinkPath();
  network.Stop();
  server.Stop();
  std::printf("kavrel-sim: stopped%s\n", link.empty() ? "" : (", link " + link + " removed").c_str());
  return 0;
}
