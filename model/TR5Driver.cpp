// TTR5: the acquisition cycle, group reads, value formatting and catalog texts.
#include "model/TR5.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "comm/ModbusFrame.h"
#include "comm/Trans.h"
#include "model/LocalTime.h"

namespace {

constexpr int RESULT_READ_OK = modbus::READ_HOLDING_REGISTERS;  // a read answered

// Bytes one value of the given wire kind occupies.
int ValueWidth(char kind) {
  switch (kind) {
    case 'i': return 2;
    case 'l':
    case 'f': return 4;
    default: return 0;
  }
}

// Takes one value of the given wire kind from the reply. A 32-bit integer is
// kept whole (a double holds it exactly; a float would round times of extreme
// values by up to a minute).
double TakeValueOfKind(TModbusPort& port, char kind) {
  switch (kind) {
    case 'i': {
      int16_t v = 0;
      port.TakeValue('i', &v);
      return v;
    }
    case 'l': {
      int32_t v = 0;
      port.TakeValue('l', &v);
      return v;
    }
    default: {
      float v = NO_VALUE;
      port.TakeValue('f', &v);
      return v;
    }
  }
}

// A function-3 reply only counts for the block asked for when it carries exactly
// count values of the block's width; a late answer to an earlier request of
// another size must not be stored as this block.
bool ReplyFitsBlock(const TModbusPort& port, int count, char kind) {
  return count > 0 && port.Reply.ByteCount == count * ValueWidth(kind);
}

bool IsNoValue(float v) { return !(v < NO_VALUE && v > -NO_VALUE); }

std::string Printf(const char* format, double v, const char* unit) {
  char buffer[96];
  int n = unit ? std::snprintf(buffer, sizeof buffer, format, v, unit)
               : std::snprintf(buffer, sizeof buffer, format, v);
  if (n < 0) return std::string();
  return std::string(buffer, static_cast<size_t>(n) < sizeof buffer ? n : sizeof buffer - 1);
}

// Kind 6: seconds on the meter's clock, one hour ahead of the PC's epoch time.
// False for 0 or a time that cannot be converted.
bool MeterTimeToEpoch(double v, time_t& when) {
  if (!std::isfinite(v) || std::fabs(v) > 1.0e15) return false;
  long long t = static_cast<long long>(v);  // truncated toward zero
  if (t == 0) return false;
  t -= 3600;
  if (t < 0) return false;
  when = static_cast<time_t>(t);
  return true;
}

// Kind 6 shown in the local time zone; "" when there is no time.
std::string FormatTime(double v) {
  time_t when = 0;
  if (!MeterTimeToEpoch(v, when)) return std::string();
  struct tm local;
  if (!ToLocalTime(when, local)) return std::string();
  int year = (local.tm_year + 1900) % 100;
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%02d/%02d/%02d %02d:%02d", year, local.tm_mon + 1,
                local.tm_mday, local.tm_hour, local.tm_min);
  return buffer;
}

// The text of one item's value; unit is appended (after one blank) when given.
std::string FormatItem(const TParamDef& def, const char* unit) {
  const float v = static_cast<float>(def.LastValue);
  if (IsNoValue(v)) return std::string();
  const double d = v;
  switch (def.Kind) {
    case 4:
      return unit ? MagnitudeText(d) + " " + unit : MagnitudeText(d);
    case 7:
      return unit ? Printf("%0.2f %s", d, unit) : Printf("%0.2f", d, nullptr);
    case 6:
      return FormatTime(def.LastValue);
    default:
      return unit ? Printf("%0.0f %s", d, unit) : Printf("%0.0f", d, nullptr);
  }
}

// Splits a selector into group index and item number; false when it addresses
// nothing that can be served (negative, or group index 41 and above).
bool SplitSelector(int selector, int& group, int& item) {
  if (selector < 0) return false;
  group = selector / 100;
  item = selector % 100;
  return group < PARAM_GROUP_COUNT;
}

}  // namespace

std::string MeterTimeIso(double value) {
  time_t when = 0;
  return MeterTimeToEpoch(value, when) ? IsoLocalTime(when) : std::string();
}

int TTR5::RelayRegister() const {
  const uint16_t mask = ModelMask(Kind);
  if (mask == 0) return 0;
  for (int g = 0; g < PARAM_GROUP_COUNT; ++g) {
    const TParamGroup* group = GetParamGroup(g);
    if (!group || !(group->Models & mask) || IsMeasuredRegister(group->StartRegister)) continue;
    for (int i = 0; i < group->Count; ++i) {
      const TParamDef& def = group->Definitions[i];
      if (std::strcmp(def.Code, "ALR") == 0) return def.Register;
    }
  }
  return 0;
}

void TTR5::RestartCycleOnMeterChange() {
  if (Kind == CycleKind && Address == CycleAddress) return;
  const bool first = CycleKind < 0;
  CycleKind = Kind;
  CycleAddress = Address;
  if (first) return;  // the first cycle starts where the constructor put it
  BlockStart = PROCESS_BLOCK_START;
  BlockCount = PROCESS_BLOCK_LENGTH;
  RelayReadDone = false;
  DropPending = Port && Port->State == MB_PENDING;
}

int TTR5::Update(float /*value*/) {
  RestartCycleOnMeterChange();
  // A group read or a write since the change has ended the old transaction
  // already: the next reply is this meter's own.
  if (DropPending && !(Port && Port->State == MB_PENDING)) DropPending = false;
  const int start = BlockStart;
  const int r = Port ? Port->ReadRegisters(Address, BlockStart, static_cast<int16_t>(BlockCount))
                     : MB_PORT_CLOSED;
  if (r == MB_PENDING) return MB_PENDING;
  if (DropPending) {
    // The answer to a request made for the previous meter: not this one's.
    DropPending = false;
    return 0;
  }

  bool stored = false;
  if (r == RESULT_READ_OK) {
    const int relay = RelayRegister();
    stored = (relay != 0 && start == relay) ? StoreRelayState() : StoreProcessBlock();
  }
  if (stored) {
    ErrorCount = 0;
  } else if (ErrorCount < 3) {
    ++ErrorCount;
  }
  ChooseNextBlock(start);
  return 0;
}

bool TTR5::StoreProcessBlock() {
  if (!ReplyFitsBlock(*Port, BlockCount, ValueKindForRegister(BlockStart))) return false;
  TZmienna* first = FirstChild();
  TZmienna* s = first ? first->FindById(BlockStart) : nullptr;
  int reg = BlockStart;
  for (int left = BlockCount; s && left > 0; --left, ++reg) {
    const float value = static_cast<float>(TakeValueOfKind(*Port, s->Kind == 2 ? 'i' : 'f'));
    if (reg == s->Id) {
      s->Update(value);
      s->SetState(1);
      s = s->Next.get();
    }
  }
  return true;
}

bool TTR5::StoreRelayState() {
  if (!ReplyFitsBlock(*Port, 1, 'i')) return false;
  const float value = static_cast<float>(TakeValueOfKind(*Port, 'i'));
  TZmienna* first = FirstChild();
  TZmienna* alr = first ? first->FindById(RELAY_VARIABLE_ID) : nullptr;
  if (alr) {
    alr->Update(value);
    alr->SetState(1);
  }
  return true;
}

// The cycle alternates the process and the THD block (a TR8 has no THD block
// and reads the process block every time). Once RelayReadInterval has passed,
// the relay output state is read after a THD block (on a TR8 after a process
// block), so that alarms show within seconds while the process values keep
// nearly their full refresh rate.
bool TTR5::CompletesCycle(int block) const {
  return block == THD_BLOCK_START || (block == PROCESS_BLOCK_START && Kind == MT_TR8);
}

void TTR5::ChooseNextBlock(int finishedStart) {
  const uint32_t now = GetTickCount32();
  const int relay = RelayRegister();
  if (relay != 0 && finishedStart == relay) {
    RelayReadDone = true;
    LastRelayRead = now;
    BlockStart = PROCESS_BLOCK_START;
    BlockCount = PROCESS_BLOCK_LENGTH;
    return;
  }
  if (relay != 0 && CompletesCycle(finishedStart) &&
      (!RelayReadDone || now - LastRelayRead >= RelayReadInterval)) {
    BlockStart = relay;
    BlockCount = 1;
    return;
  }
  if (finishedStart == PROCESS_BLOCK_START && Kind != MT_TR8) {
    BlockStart = THD_BLOCK_START;
    BlockCount = THD_BLOCK_LENGTH;
  } else {
    BlockStart = PROCESS_BLOCK_START;
    BlockCount = PROCESS_BLOCK_LENGTH;
  }
}

void TTR5::ReadGroup(int groupIndex) {
  LastGroupReadOk = 0;
  TParamGroup* group = GetParamGroup(groupIndex);
  if (!group || !group->Definitions) return;
  const char kind = ValueKindForRegister(group->StartRegister);
  int r = MB_PORT_CLOSED;
  if (Port) r = Port->ReadRegistersWait(Address, group->StartRegister, group->Count);
  const bool ok = r == RESULT_READ_OK && ReplyFitsBlock(*Port, group->Count, kind);
  for (int i = 0; i < group->Count; ++i)
    group->Definitions[i].LastValue = ok ? TakeValueOfKind(*Port, kind) : NO_VALUE;
  LastGroupReadOk = ok ? 1 : 0;
}

int TTR5::GetCatalogText(int selector, std::string& text) {
  text.clear();
  int g = 0, n = 0;
  if (!SplitSelector(selector, g, n)) return CATALOG_END;
  const TParamGroup* group = GetParamGroup(g);
  if (!group || n > group->Count) return CATALOG_END;
  if (n > 0) {
    text = group->Definitions[n - 1].Description;
    return CATALOG_PARAMETER;
  }
  if ((ModelMask(Kind) & group->Models) == 0) return CATALOG_OTHER_MODEL;
  text = group->Title;
  return CATALOG_MENU;
}

void TTR5::ReadOrFormatValue(int selector, std::string& text, std::string* unit) {
  text.clear();
  if (unit) unit->clear();
  int g = 0, n = 0;
  if (LinkState != 1 || !SplitSelector(selector, g, n)) return;
  if (n == 0) {
    ReadGroup(g);
    return;
  }
  const TParamDef* def = FindParamDef(selector);
  if (!def) return;
  text = FormatItem(*def, nullptr);
  if (unit && !IsNoValue(static_cast<float>(def->LastValue))) *unit = def->Unit;
}

float TTR5::FormatValueWithUnit(int selector, std::string& text, std::string* code) {
  text.clear();
  if (code) code->clear();
  int g = 0, n = 0;
  if (LinkState != 1 || !SplitSelector(selector, g, n)) return NO_VALUE;
  if (n == 0) {
    ReadGroup(g);
    return NO_VALUE;
  }
  const TParamDef* def = FindParamDef(selector);
  if (!def) return NO_VALUE;
  if (code) *code = def->Code;
  text = FormatItem(*def, def->Unit);
  const float v = static_cast<float>(def->LastValue);
  return IsNoValue(v) ? NO_VALUE : v;
}
