// kavrel-cli restore: a setup file written into the meter, the differing items only.
#include "tools/CliSession.h"

#include <cstdio>
#include <string>

namespace cli {

int TSession::Restore(const std::string& path, bool yes) {
  TSetup file;
  std::vector<TSetupDifference> differences;
  if (int r = Differences(path, file, differences); r != RC_OK) return r;
  // Only what would be written must lie within its limits.
  if (std::string error; !CheckRestore(differences, error)) {
    std::fprintf(stderr, "kavrel-cli: %s: %s; nothing written\n", path.c_str(), error.c_str());
    return RC_SETUP_FILE;
  }
  if (differences.empty()) {
    std::printf("%s: the meter holds the file's setup already\n", Meter.Name);
    return RC_OK;
  }
  if (!yes) {
    if (differences.size() == 1)
      std::printf("Write this item into %s at address %d? [y/N] ", Meter.Name, Meter.Address);
    else
      std::printf("Write these %zu items into %s at address %d? [y/N] ", differences.size(), Meter.Name,
                  Meter.Address);
    std::fflush(stdout);
    char answer[16] = "";
    const bool agreed = std::fgets(answer, sizeof answer, stdin) && (answer[0] == 'y' || answer[0] == 'Y');
    // A terminal echoes the answer with its line end; an answer from a pipe
    // or file is not echoed, so the line is ended here.
    if (!InputIsTerminal()) std::printf("\n");
    if (!agreed) {
      std::printf("Nothing written.\n");
      return RC_DECLINED;
    }
  }
  int code = RC_OK;
  for (const TRestoreResult& r : RestoreSetup(Meter, differences)) {
    std::printf("%6d  %-10s %s %s\n", r.Item.Selector, r.Item.Code.c_str(),
                SetupValueText(r.Item.Value).c_str(), DescribeRestore(r).c_str());
    if (r.Outcome == TRestoreOutcome::NotConfirmed)
      code = RC_NO_REPLY;
    else if (r.Outcome == TRestoreOutcome::Refused && code == RC_OK)
      code = RC_REFUSED;
  }
  return code;
}

}  // namespace cli
