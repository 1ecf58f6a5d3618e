// kavrel-cli groups: the register groups of the meter model.
#include "tools/CliSession.h"

#include <cstdio>

namespace cli {

int TSession::Groups() {
  std::printf("Groups of %s:\n", ModelName(Meter.Kind));
  std::string title;
  for (int g = 0; g < PARAM_GROUP_COUNT; ++g) {
    if (Meter.GetCatalogText(g * 100, title) != CATALOG_MENU) continue;
    const TParamGroup* group = GetParamGroup(g);
    const int count = group ? group->Count : 0;
    std::printf("%6d  %s (%d %s)\n", g * 100, title.c_str(), count, count == 1 ? "item" : "items");
  }
  return RC_OK;
}

}  // namespace cli
