// kavrel-cli: the meter driver from the command line, for scripted checks.
//
// Port and meter come from "Kavrel.INI" in the working directory (the same
// keys and defaults as the program); options override them.
#include <csignal>
#include <cstdio>
#include <string>

#include "tools/CliSession.h"

using namespace cli;

namespace {

extern "C" void OnSignal(int) { Interrupted = true; }

}  // namespace

int main(int argc, char** argv) {
  TOptions options;
  if (int r = ParseCommandLine(argc, argv, options); r != RC_OK) return r;
  if (options.Help) {
    std::fputs(HELP_TEXT, stdout);
    return RC_OK;
  }
  if (options.Version) {
    std::printf("kavrel-cli %s\n", KAVREL_VERSION);
    return RC_OK;
  }
  if (options.Arguments.empty()) return UsageError("no command given");

  const std::string command = options.Arguments[0];
  const bool withFile = command == "backup" || command == "diff" || command == "restore";
  const size_t wanted = command == "read" || withFile ? 2 : command == "write" ? 3 : 1;
  if (command != "poll" && command != "groups" && command != "read" && command != "write" &&
      command != "scan" && !withFile)
    return UsageError("unknown command '" + command + "'");
  if (options.Arguments.size() != wanted)
    return UsageError("wrong number of arguments for '" + command + "'");
  if ((options.Cycles > 0 || options.Csv) && command != "poll")
    return UsageError("--cycles and --csv belong to 'poll'");
  if (options.Yes && command != "restore") return UsageError("--yes belongs to 'restore'");
  if (options.ScanOptions && command != "scan")
    return UsageError("--all-settings, --from, --to and --probe-margin belong to 'scan'");
  if (options.Scan.From > options.Scan.To) return UsageError("--from must not be above --to");

  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);

  TSession session;
  if (int r = session.Setup(options); r != RC_OK) return r;
  if (command == "groups") return session.Groups();
  if (command == "read") return session.Read(options.Arguments[1]);
  if (command == "write") return session.Write(options.Arguments[1], options.Arguments[2]);
  if (command == "backup") return session.Backup(options.Arguments[1]);
  if (command == "diff") return session.Diff(options.Arguments[1]);
  if (command == "restore") return session.Restore(options.Arguments[1], options.Yes);
  if (command == "scan") return session.Scan(options);
  if (int r = session.OpenPort(true); r != RC_OK) return r;
  return session.Poll(options);
}
