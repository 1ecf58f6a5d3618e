// kavrel-gateway: polls every meter of every configured line without pause and
// hands the values to Prometheus (HTTP), an MQTT broker, a SQLite file and
// Modbus TCP clients.
#include <signal.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "gateway/Gateway.h"
#include "gateway/GatewayConfig.h"
#include "gateway/GatewayLog.h"

namespace {

const char* const HELP_TEXT =
    "Usage: kavrel-gateway --config FILE [--check]\n"
    "\n"
    "Polls every meter of every line in FILE (TOML) continuously and serves the values\n"
    "on HTTP (/metrics for Prometheus, /api/meters as JSON, /healthz), publishes them to\n"
    "an MQTT broker and records them in a SQLite file, as the file switches these on.\n"
    "A meter's values leave these outputs while its link is down or once older than its\n"
    "line's stale_after_s (default: three of their read intervals, at least 10 s).\n"
    "Energy counters are read every energy_interval_s (default 10 s), harmonics every\n"
    "harmonics_interval_s (off by default); a counter that goes down is a reset event.\n"
    "With [modbus_tcp] on it is also a Modbus TCP server (127.0.0.1:1502 by default):\n"
    "each meter answers at its unit id, polled registers from memory, others through\n"
    "its line; writes only where a meter has allow_writes = true.\n"
    "Logs go to standard error. SIGTERM or SIGINT stops it cleanly.\n"
    "\n"
    "Options:\n"
    "  --config FILE  the configuration file (see examples/gateway.toml)\n"
    "  --check        read the configuration, report what it polls, and exit\n"
    "  -h, --help     this text\n"
    "  --version      the program's version\n"
    "\n"
    "Exit codes: 0 stopped by a signal (or --check passed); 1 an output could not start\n"
    "(the HTTP or Modbus TCP address in use, by another gateway say, or a database\n"
    "that cannot be opened), before any line is polled; 2 bad command line or\n"
    "configuration file (a unit id used twice among them).\n";

int Usage(const std::string& message) {
  std::fprintf(stderr, "kavrel-gateway: %s\nTry 'kavrel-gateway --help'.\n", message.c_str());
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string path;
  bool check = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      std::fputs(HELP_TEXT, stdout);
      return 0;
    } else if (arg == "--version") {
      std::printf("kavrel-gateway %s\n", KAVREL_VERSION);
      return 0;
    } else if (arg == "--config" && i + 1 < argc) {
      path = argv[++i];
    } else if (arg == "--check") {
      check = true;
    } else {
      return Usage("unknown option \"" + arg + "\"");
    }
  }
  if (path.empty()) return Usage("--config FILE is needed");

  TGatewayConfig config;
  std::string error;
  if (!LoadGatewayConfig(path, config, error)) {
    GatewayLog(TLogLevel::Error, error);
    return 2;
  }
  std::string outputs;
  if (config.Http.Enabled) outputs += " http";
  if (config.Mqtt.Enabled) outputs += " mqtt";
  if (config.Sqlite.Enabled) outputs += " sqlite";
  if (config.ModbusTcp.Enabled) outputs += " modbus_tcp";
  const auto count = [](size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
  };
  GatewayLog(TLogLevel::Info, "configuration " + path + ": " + count(config.Lines.size(), "line", "lines") +
                                  ", " + count(config.MeterCount(), "meter", "meters") +
                                  ", outputs:" + (outputs.empty() ? " none" : outputs));
  if (check) return 0;

  // Signals are taken by this thread alone, with sigwait; every thread started
  // from here on inherits the mask.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  TGateway gateway(std::move(config));
  if (!gateway.Start(error)) {
    GatewayLog(TLogLevel::Error, error);
    gateway.Stop();
    return 1;
  }
  GatewayLog(TLogLevel::Notice, "started");
  int signal = 0;
  sigwait(&stopSignals, &signal);
  GatewayLog(TLogLevel::Notice, std::string("stopping on ") + (signal == SIGTERM ? "SIGTERM" : "SIGINT"));
  gateway.Stop();
  GatewayLog(TLogLevel::Notice, "stopped");
  return 0;
}
