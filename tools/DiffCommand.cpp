// kavrel-cli diff: the meter against a setup file; restore starts the same way.
#include "tools/CliSession.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace cli {

bool ReadWholeFile(const std::string& path, std::string& text, std::string& error) {
  std::FILE* in = std::fopen(path.c_str(), "rb");
  if (!in) {
    error = std::strerror(errno);
    return false;
  }
  char buffer[4096];
  size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) text.append(buffer, n);
  const bool failed = std::ferror(in) != 0;
  if (failed) error = std::strerror(errno);
  std::fclose(in);
  return !failed;
}

// diff and restore: the file, checked against the meter's model, and the
// items where the meter differs from it. Values outside their item's limits
// are marked, in the file's items that differ and in those that do not.
int TSession::Differences(const std::string& path, TSetup& file, std::vector<TSetupDifference>& differences) {
  std::string text, error;
  if (!ReadWholeFile(path, text, error)) {
    std::fprintf(stderr, "kavrel-cli: cannot read %s: %s\n", path.c_str(), error.c_str());
    return RC_SETUP_FILE;
  }
  if (!ParseSetup(text, file, error) || !CheckSetupForMeter(file, Meter.Kind, error)) {
    std::fprintf(stderr, "kavrel-cli: %s: %s\n", path.c_str(), error.c_str());
    return RC_SETUP_FILE;
  }
  TSetup meter;
  if (int r = ReadMeterSetup(meter); r != RC_OK) return r;
  differences = CompareSetup(file, meter);
  const auto mark = [](const TSetupItem& item) {
    const std::string outside = OutsideLimits(item.Selector, item.Code, item.Value);
    return outside.empty() ? outside : "  [" + outside + "]";
  };
  for (const TSetupDifference& d : differences) {
    std::printf("%6d  %-10s %-52s file %s, meter %s%s%s%s\n", d.Item.Selector, d.Item.Code.c_str(),
                d.Item.Description.c_str(), SetupValueText(d.Item.Value).c_str(),
                SetupValueText(d.MeterValue).c_str(), d.Item.Unit.empty() ? "" : " ", d.Item.Unit.c_str(),
                mark(d.Item).c_str());
  }
  size_t next = 0;  // differences and file items run in the same order
  for (const TSetupItem& item : file.Items) {
    if (next < differences.size() && differences[next].Item.Selector == item.Selector) {
      ++next;
      continue;
    }
    const std::string outside = mark(item);
    if (!outside.empty())
      std::printf("%6d  %-10s %-52s the same in both%s\n", item.Selector, item.Code.c_str(),
                  item.Description.c_str(), outside.c_str());
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
