// kavrel-cli diff: the meter against a setup file; restore starts the same way.
#include "tools/CliSession.h"

#include <cstdio>
#include <fstream>
#include <iterator>

namespace cli {

// diff and restore: the file, checked against the meter's model, and the
// items where the meter differs from it.
int TSession::Differences(const std::string& path, TSetup& file, std::vector<TSetupDifference>& differences) {
  std::ifstream in(path, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string error;
  if (!in.good() && !in.eof()) {
    std::fprintf(stderr, "kavrel-cli: cannot read %s\n", path.c_str());
    return RC_SETUP_FILE;
  }
  if (!ParseSetup(text, file, error) || !CheckSetupForMeter(file, Meter.Kind, error)) {
    std::fprintf(stderr, "kavrel-cli: %s: %s\n", path.c_str(), error.c_str());
    return RC_SETUP_FILE;
  }
  TSetup meter;
  if (int r = ReadMeterSetup(meter); r != RC_OK) return r;
  differences = CompareSetup(file, meter);
  for (const TSetupDifference& d : differences) {
    std::printf("%6d  %-10s %-52s file %s, meter %s%s%s\n", d.Item.Selector, d.Item.Code.c_str(),
                d.Item.Description.c_str(), SetupValueText(d.Item.Value).c_str(),
                SetupValueText(d.MeterValue).c_str(), d.Item.Unit.empty() ? "" : " ", d.Item.Unit.c_str());
  }
  return RC_OK;
}

int TSession::Diff(const std::string& path) {
  TSetup file;
  std::vector<TSetupDifference> differences;
  if (int r = Differences(path, file, differences); r != RC_OK) return r;
  std::printf("%s: %zu of %zu items differ from %s\n", Meter.Name, differences.size(), file.Items.size(),
              path.c_str());
  return differences.empty() ? RC_OK : RC_DIFFERENT;
}

}  // namespace cli
