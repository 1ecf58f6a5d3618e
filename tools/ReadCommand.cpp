// kavrel-cli read: a group of setup items, or one item, read from the meter.
#include "tools/CliSession.h"

#include <cstdio>

namespace cli {

int TSession::Read(const std::string& selectorText) {
  int selector = 0;
  if (int r = CheckSelector(selectorText, true, selector); r != RC_OK) return r;
  if (int r = OpenPort(); r != RC_OK) return r;
  if (!Connect()) return RC_NO_REPLY;
  const int group = selector / 100;
  std::string text;
  Meter.ReadOrFormatValue(group * 100, text, nullptr);
  if (!Meter.LastGroupReadOk) {
    std::fprintf(stderr, "kavrel-cli: no reply to the read of group %d from %s\n", group, Meter.Name);
    return RC_NO_REPLY;
  }
  std::string title;
  Meter.GetCatalogText(group * 100, title);
  std::printf("%s: %s\n", Meter.Name, title.c_str());
  const TParamGroup* g = GetParamGroup(group);
  for (int n = 1; g && n <= g->Count; ++n) {
    const int item = group * 100 + n;
    if (selector % 100 != 0 && item != selector) continue;
    std::string code, description, value;
    Meter.GetCatalogText(item, description);
    Meter.FormatValueWithUnit(item, value, &code);
    while (!value.empty() && value.back() == ' ') value.pop_back();  // no unit
    std::printf("%6d  %-10s %-52s %s\n", item, code.c_str(), description.c_str(), value.c_str());
  }
  return RC_OK;
}

}  // namespace cli
