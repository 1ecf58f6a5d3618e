// kavrel-cli backup: every setup item of the meter into a file.
#include "tools/CliSession.h"

#include <cstdio>
#include <ctime>

#include "model/LocalTime.h"
#include "settings/Settings.h"

namespace cli {

int TSession::Backup(const std::string& path) {
  TSetup setup;
  if (int r = ReadMeterSetup(setup); r != RC_OK) return r;
  setup.Date = IsoLocalTime(std::time(nullptr));
  std::string error;
  if (!WriteFileAtomically(path, FormatSetup(setup), error)) {
    std::fprintf(stderr, "kavrel-cli: cannot write %s: %s\n", path.c_str(), error.c_str());
    return RC_SETUP_FILE;
  }
  std::printf("%s: %zu setup items saved to %s\n", Meter.Name, setup.Items.size(), path.c_str());
  return RC_OK;
}

}  // namespace cli
