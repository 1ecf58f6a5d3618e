#include "model/SetupFile.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>

#include "model/ParamDef.h"
#include "model/TR5.h"

namespace {

constexpr const char* TITLE = "# Kavrel meter setup";
constexpr const char* COLUMNS = "# selector\tcode\tdescription\tvalue\tunit";

// The meter's clock and its relay output state live in setup groups but
// change by themselves: a setup file leaves them out.
bool IsLiveItem(const TParamDef& def) {
  for (const char* code : {"Year", "MonDay", "HourMin", "ALR"})
    if (std::strcmp(def.Code, code) == 0) return true;
  return false;
}

// Setup groups of the model, by index.
std::vector<int> SetupGroups(int meterType) {
  std::vector<int> groups;
  const uint16_t mask = ModelMask(meterType);
  for (int g = 0; mask != 0 && g < PARAM_GROUP_COUNT; ++g) {
    const TParamGroup* group = GetParamGroup(g);
    if (group->Models & mask && IsSetupRegister(group->StartRegister)) groups.push_back(g);
  }
  return groups;
}

std::vector<std::string_view> Split(std::string_view line, char separator) {
  std::vector<std::string_view> fields;
  for (size_t start = 0;;) {
    const size_t end = line.find(separator, start);
    fields.push_back(line.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) return fields;
    start = end + 1;
  }
}

bool WholeNumber(std::string_view text, int& value) {
  if (text.empty()) return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size();
}

bool Number(std::string_view text, double& value) {
  if (text.empty() || text.size() > 32) return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size() && std::isfinite(value);
}

bool Fail(std::string& error, int line, const std::string& why) {
  error = "line " + std::to_string(line) + ": " + why;
  return false;
}

}  // namespace

std::vector<int> SetupSelectors(int meterType) {
  std::vector<int> selectors;
  for (int g : SetupGroups(meterType)) {
    const TParamGroup* group = GetParamGroup(g);
    for (int i = 0; i < group->Count; ++i)
      if (!IsLiveItem(group->Definitions[i])) selectors.push_back(g * 100 + i + 1);
  }
  return selectors;
}

std::string SetupValueText(double value) {
  char text[48];
  if (value == std::trunc(value) && std::fabs(value) < 1e15) std::snprintf(text, sizeof text, "%.0f", value);
  else std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

bool ReadSetup(TTR5& meter, TSetup& setup, std::string& error, const std::function<bool(int, int)>& progress) {
  setup = TSetup{};
  setup.MeterType = meter.Kind;
  setup.Address = meter.Address;
  setup.Name = meter.Name;
  if (!ModelName(meter.Kind)) {
    error = "meter type " + std::to_string(meter.Kind) + " is none of TR5, TR5B, VR5, VR5B, TR8";
    return false;
  }
  const std::vector<int> groups = SetupGroups(meter.Kind);
  int done = 0;
  for (int g : groups) {
    std::string text;
    if (meter.LinkState != 1) {
      error = std::string("No transmission with ") + meter.Name;
      return false;
    }
    meter.ReadOrFormatValue(g * 100, text, nullptr);
    if (meter.LastGroupReadOk != 1) {
      meter.GetCatalogText(g * 100, text);
      error = "the meter did not answer the read of group " + std::to_string(g) + " (" + text + ")";
      return false;
    }
    const TParamGroup* group = GetParamGroup(g);
    for (int i = 0; i < group->Count; ++i) {
      const TParamDef& def = group->Definitions[i];
      if (IsLiveItem(def)) continue;
      setup.Items.push_back({g * 100 + i + 1, def.Code, def.Description, def.LastValue, def.Unit});
    }
    if (progress && !progress(++done, static_cast<int>(groups.size()))) {
      error = "stopped";
      return false;
    }
  }
  return true;
}

std::string FormatSetup(const TSetup& setup) {
  const char* model = ModelName(setup.MeterType);
  std::string out = std::string(TITLE) + "\n";
  out += "Model=" + std::string(model ? model : "") + "\n";
  out += "Address=" + std::to_string(setup.Address) + "\n";
  out += "Name=" + setup.Name + "\n";
  out += "Date=" + setup.Date + "\n";
  out += std::string(COLUMNS) + "\n";
  for (const TSetupItem& item : setup.Items) {
    out += std::to_string(item.Selector) + "\t" + item.Code + "\t" + item.Description + "\t" +
           SetupValueText(item.Value) + "\t" + item.Unit + "\n";
  }
  return out;
}

bool ParseSetup(std::string_view text, TSetup& setup, std::string& error) {
  setup = TSetup{};
  std::map<int, TSetupItem> items;
  std::vector<int> selectors;
  bool haveModel = false;
  int number = 0;
  for (std::string_view line : Split(text, '\n')) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line[0] == '#') continue;
    const std::vector<std::string_view> fields = Split(line, '\t');
    if (fields.size() == 1) {
      const size_t eq = line.find('=');
      if (eq == std::string_view::npos) return Fail(error, number, "neither a setting nor an item");
      const std::string_view key = line.substr(0, eq);
      const std::string_view value = line.substr(eq + 1);
      if (key == "Model") {
        if (haveModel) return Fail(error, number, "a second model");
        setup.MeterType = ModelType(std::string(value).c_str());
        if (setup.MeterType == 0) return Fail(error, number, "unknown model \"" + std::string(value) + "\"");
        haveModel = true;
        selectors = SetupSelectors(setup.MeterType);
      } else if (key == "Address") {
        if (!WholeNumber(value, setup.Address)) return Fail(error, number, "the address is no whole number");
      } else if (key == "Name") {
        setup.Name = value;
      } else if (key == "Date") {
        setup.Date = value;
      } else {
        return Fail(error, number, "unknown setting \"" + std::string(key) + "\"");
      }
      continue;
    }
    if (!haveModel) return Fail(error, number, "an item before the model");
    if (fields.size() != 5) return Fail(error, number, "an item needs 5 fields, not " + std::to_string(fields.size()));
    TSetupItem item;
    if (!WholeNumber(fields[0], item.Selector)) return Fail(error, number, "the selector is no whole number");
    const TParamDef* def = FindParamDef(item.Selector);
    bool known = false;
    for (int s : selectors) known = known || s == item.Selector;
    if (!known || !def) return Fail(error, number, "item " + std::string(fields[0]) + " is no setup item of this model");
    item.Code = fields[1];
    if (item.Code != def->Code)
      return Fail(error, number, "item " + std::string(fields[0]) + " is " + def->Code + ", not " + item.Code);
    item.Description = fields[2];
    if (!Number(fields[3], item.Value))
      return Fail(error, number, "the value of " + item.Code + " is no number: \"" + std::string(fields[3]) + "\"");
    item.Unit = fields[4];
    if (!items.emplace(item.Selector, item).second) return Fail(error, number, item.Code + " a second time");
  }
  if (!haveModel) return Fail(error, number, "no model: not a setup file");
  for (int s : selectors) {
    const auto it = items.find(s);
    if (it == items.end()) {
      const TParamDef* def = FindParamDef(s);
      error = "item " + std::to_string(s) + " (" + def->Code + ") is missing: the file is incomplete";
      return false;
    }
    setup.Items.push_back(it->second);
  }
  return true;
}

bool CheckSetupForMeter(const TSetup& file, int meterType, std::string& error) {
  if (file.MeterType != meterType) {
    const char* fileModel = ModelName(file.MeterType);
    const char* meterModel = ModelName(meterType);
    error = "the file is for a " + std::string(fileModel ? fileModel : "?") + ", the meter is a " +
            std::string(meterModel ? meterModel : "?");
    return false;
  }
  for (const TSetupItem& item : file.Items) {
    const TParamDef* def = FindParamDef(item.Selector);
    if (!def) {
      error = "item " + std::to_string(item.Selector) + " is unknown";
      return false;
    }
  }
  return true;
}

std::string OutsideLimits(int selector, const std::string& code, double value) {
  const TParamDef* def = FindParamDef(selector);
  if (!def || (value >= def->Min && value <= def->Max)) return {};
  return code + " = " + SetupValueText(value) + " is outside its limits " + SetupValueText(def->Min) +
         " to " + SetupValueText(def->Max);
}

bool CheckRestore(const std::vector<TSetupDifference>& differences, std::string& error) {
  error.clear();
  for (const TSetupDifference& d : differences) {
    const std::string outside = OutsideLimits(d.Item.Selector, d.Item.Code, d.Item.Value);
    if (!outside.empty()) error += (error.empty() ? "" : "; ") + outside;
  }
  return error.empty();
}

std::vector<TSetupDifference> CompareSetup(const TSetup& file, const TSetup& meter) {
  std::map<int, double> held;
  for (const TSetupItem& item : meter.Items) held[item.Selector] = item.Value;
  std::vector<TSetupDifference> differences;
  for (const TSetupItem& item : file.Items) {
    const auto it = held.find(item.Selector);
    if (it == held.end()) {
      differences.push_back({item, 0.0, false});
    } else if (it->second != item.Value) {
      differences.push_back({item, it->second, true});
    }
  }
  return differences;
}

std::vector<TRestoreResult> RestoreSetup(TTR5& meter, const std::vector<TSetupDifference>& differences,
                                         const std::function<bool(int, int)>& progress) {
  std::vector<TRestoreResult> results;
  int done = 0;
  for (const TSetupDifference& d : differences) {
    TRestoreResult r;
    r.Item = d.Item;
    const int written = meter.WriteParameter(d.Item.Selector, SetupValueText(d.Item.Value).c_str(), r.Message);
    if (written == WRITE_OK) {
      r.Outcome = TRestoreOutcome::Written;
    } else if (written == WRITE_OUT_OF_RANGE || written == WRITE_READ_ONLY) {
      r.Outcome = TRestoreOutcome::Refused;
    } else {
      r.Outcome = TRestoreOutcome::NotConfirmed;
      if (written == WRITE_NO_LINK) r.Message += meter.Name;
    }
    results.push_back(std::move(r));
    if (progress && !progress(++done, static_cast<int>(differences.size()))) break;
  }
  return results;
}

std::string DescribeRestore(const TRestoreResult& result) {
  switch (result.Outcome) {
    case TRestoreOutcome::Written: return "written";
    case TRestoreOutcome::Refused: return "refused: " + result.Message;
    case TRestoreOutcome::NotConfirmed: break;
  }
  return "not confirmed: " + result.Message;
}
