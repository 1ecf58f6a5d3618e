#include "sim/SimMeter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>
#include <limits>

#include "comm/ModbusFrame.h"
#include "model/ParamDef.h"

namespace {

using WallClock = std::chrono::system_clock;

int64_t WallSeconds(WallClock::time_point t) {
  return std::chrono::duration_cast<std::chrono::seconds>(t.time_since_epoch()).count();
}

// The alarms of each model, by the table codes of their setup registers.
struct AlarmRoles {
  const char* Quantity;
  const char* On;
  const char* Off;
};

struct ModelRoles {
  std::vector<AlarmRoles> Alarms;
  const char* Delay;
  double Scale;  // thresholds in per mille (1000) or per cent (100) of nominal
};

ModelRoles RolesFor(int type) {
  switch (type) {
    case MT_TR5:
      return {{{"A1_n", "A1on", "A1oF"}, {"A2_n", "A2on", "A2oF"}, {"A3_n", "A3on", "A3oF"}}, "Aldt", 1000.0};
    case MT_TR5B:
      return {{{"A1_n", "A1on", "A1oF"}}, "Aldt", 1000.0};
    case MT_VR5:
    case MT_VR5B:
      return {{{"Al1Param", "Al1On", "Al1Off"},
               {"Al2Param", "Al2On", "Al2Off"},
               {"Al3Param", "Al3On", "Al3Off"},
               {"Al4Param", "Al4On", "Al4Off"}},
              "AlDelay",
              1000.0};
    case MT_TR8:
      return {{{"A_n", "A_on", "A_off"}}, "Dely", 100.0};
    default:
      return {{}, "", 1000.0};
  }
}

// Quantity an alarm's quantity number selects on a model; -1 for none.
// TR5, TR5B: 0 none, 1..34 the process variables. VR5, VR5B: 1..34 the
// process variables, 35..40 the THD values, 41 none. TR8: 0..33 the process
// variables.
int AlarmQuantity(int type, int number) {
  switch (type) {
    case MT_TR5:
    case MT_TR5B:
      return number >= 1 && number <= SIM_PROCESS_QUANTITIES ? number - 1 : -1;
    case MT_VR5:
    case MT_VR5B:
      if (number >= 1 && number <= SIM_PROCESS_QUANTITIES) return number - 1;
      if (number > SIM_PROCESS_QUANTITIES && number <= SIM_PROCESS_QUANTITIES + THD_BLOCK_LENGTH)
        return SQ_THD_U1 + number - (SIM_PROCESS_QUANTITIES + 1);
      return -1;
    case MT_TR8:
      return number >= 0 && number < SIM_PROCESS_QUANTITIES ? number : -1;
    default:
      return -1;
  }
}

// Values a meter leaves the factory with, where the lowest allowed value is
// not a sensible one.
struct SetupDefault {
  int Type;  // 0: any model
  const char* Code;
  int Value;
};

const SetupDefault kDefaults[] = {
    {0, "tr_I", 1}, {0, "tr_U", 1}, {0, "IRatio", 1}, {0, "URatio", 1},
    {0, "PA_t", 1}, {0, "PavTime", 1}, {0, "P_AU", 1}, {0, "Harm", 1},
    {0, "Ao_L", 100}, {0, "Brigh", 8}, {0, "S3-4", 1},
    // Alarm 1 watches the L1 current: on at 80 %, off at 70 % of nominal, so
    // that the drifting load starts and ends it now and then.
    {MT_TR5, "A1_n", 2}, {MT_TR5, "A1on", 800}, {MT_TR5, "A1oF", 700},
    {MT_TR5B, "A1_n", 2}, {MT_TR5B, "A1on", 800}, {MT_TR5B, "A1oF", 700},
    {MT_VR5, "Al1Param", 2}, {MT_VR5, "Al1On", 800}, {MT_VR5, "Al1Off", 700},
    {MT_VR5B, "Al1Param", 2}, {MT_VR5B, "Al1On", 800}, {MT_VR5B, "Al1Off", 700},
    {MT_VR5, "Al2Param", 41}, {MT_VR5, "Al3Param", 41}, {MT_VR5, "Al4Param", 41},
    {MT_VR5B, "Al2Param", 41}, {MT_VR5B, "Al3Param", 41}, {MT_VR5B, "Al4Param", 41},
    {MT_TR8, "A_n", 1}, {MT_TR8, "A_on", 80}, {MT_TR8, "A_off", 70},
    {MT_VR5, "Out1Hi", 1000}, {MT_VR5, "Out2Hi", 1000}, {MT_VR5, "Out3Hi", 1000}, {MT_VR5, "Out4Hi", 1000},
    {MT_VR5B, "Out1Hi", 1000}, {MT_VR5B, "Out2Hi", 1000}, {MT_VR5B, "Out3Hi", 1000}, {MT_VR5B, "Out4Hi", 1000},
    {MT_TR8, "AnIH", 100}, {MT_TR8, "AnOL", 4}, {MT_TR8, "AnOH", 20},
};

bool IsClockCode(const std::string& c) { return c == "Year" || c == "MonDay" || c == "HourMin"; }

double WireValue(char width, double v) {
  if (std::isnan(v)) return width == 'f' ? v : 0.0;
  switch (width) {
    case 'i':
      return std::round(std::clamp(v, -32768.0, 32767.0));
    case 'l':
      return std::round(std::clamp(v, -2147483648.0, 2147483647.0));
    default:
      return v;
  }
}

void PutValue(SimBytes& out, char width, double v) {
  v = WireValue(width, v);
  if (width == 'i') {
    const auto x = static_cast<uint16_t>(static_cast<int16_t>(v));
    out.push_back(static_cast<uint8_t>(x >> 8));
    out.push_back(static_cast<uint8_t>(x));
    return;
  }
  uint32_t x;
  if (width == 'f') {
    const float f = static_cast<float>(v);
    std::memcpy(&x, &f, sizeof x);
  } else {
    x = static_cast<uint32_t>(static_cast<int32_t>(v));
  }
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(x >> shift));
}

}  // namespace

SimMeter::SimMeter(int meterType, int address, uint32_t seed)
    : type_(meterType), address_(address), map_(meterType), physics_(seed) {
  for (const auto& [reg, r] : map_.All()) values_[reg] = Slot{};
  alarms_.resize(RolesFor(type_).Alarms.size());
  InitialiseSetup();
  ApplySetup();
  Refresh(WallClock::now(), 0.0);
}

void SimMeter::InitialiseSetup() {
  for (const auto& [reg, r] : map_.All()) {
    if (!r.Writable) continue;
    int v = std::clamp(0, r.Min, r.Max);
    for (const SetupDefault& d : kDefaults)
      if ((d.Type == 0 || d.Type == type_) && r.Code == d.Code) v = std::clamp(d.Value, r.Min, r.Max);
    values_[reg].Value = v;
  }
}

int SimMeter::Setup(const std::string& code, int fallback) const {
  const SimRegister* r = map_.FindCode(code);
  if (!r) return fallback;
  return static_cast<int>(values_.at(r->Register).Value);
}

void SimMeter::SetSetup(const std::string& code, int value) {
  if (const SimRegister* r = map_.FindCode(code)) {
    Slot& s = values_[r->Register];
    if (!s.Held) s.Value = value;
  }
}

// Carries the setup registers over into the physics.
void SimMeter::ApplySetup() {
  const int currentRatio = map_.FindCode("tr_I") ? Setup("tr_I", 1) : Setup("IRatio", 1);
  const int voltageRatio = map_.FindCode("tr_U") ? Setup("tr_U", 1) : Setup("URatio", 1);
  physics_.SetRatios(currentRatio, voltageRatio);
  physics_.SetHarmonicsOn(Setup("Harm", 1) != 0);
  int period = 1, aligned = 0;
  for (const char* c : {"PA_t", "PavTime", "P_AU"})
    if (map_.FindCode(c)) period = Setup(c, 1);
  for (const char* c : {"PA_S", "PavWindow", "P_AS"})
    if (map_.FindCode(c)) aligned = Setup(c, 0);
  const int minutes = period == 2 ? 30 : period == 3 ? 60 : 15;
  physics_.SetAveragePeriod(minutes * 60, aligned != 0);
}

int64_t SimMeter::ClockNow(WallClock::time_point wall) const { return WallSeconds(wall) + clockOffset_; }

void SimMeter::Advance(SimClock::time_point now, WallClock::time_point wall) {
  double dt = 0;
  if (started_) dt = std::chrono::duration<double>(now - last_).count();
  started_ = true;
  last_ = now;
  lastWall_ = wall;
  ApplySetup();
  const time_t meterTime = static_cast<time_t>(ClockNow(wall));
  std::tm local{};
  localtime_r(&meterTime, &local);
  physics_.Step(dt, ClockNow(wall), local.tm_hour);
  Refresh(wall, dt);
}

double SimMeter::SourceValue(const SimSource& s) const {
  switch (s.What) {
    case SimSource::Present:
      return physics_.Value(s.A);
    case SimSource::Extreme: {
      const SimExtreme& e = physics_.Extreme(s.A);
      return s.B ? e.Max : e.Min;
    }
    case SimSource::ExtremeTime: {
      // Kept as the meters keep them: seconds since 1970 plus one hour; 0 = not yet.
      const SimExtreme& e = physics_.Extreme(s.A);
      if (!e.Seen) return 0;
      return static_cast<double>((s.B ? e.MaxTime : e.MinTime) + 3600);
    }
    case SimSource::Harmonic:
      return physics_.Harmonic(s.A, s.B);
    case SimSource::Energy:
    case SimSource::External:
    case SimSource::Tariff: {
      const SimEnergy& e = s.What == SimSource::Energy     ? physics_.Energy()
                           : s.What == SimSource::External ? physics_.ExternalEnergy()
                                                           : physics_.Tariff(s.B);
      return s.A == 0 ? e.Active : s.A == 1 ? e.Reactive : e.Apparent;
    }
    case SimSource::None:
      break;
  }
  return 0.0;
}

void SimMeter::Refresh(WallClock::time_point wall, double dt) {
  const bool averageOff = type_ == MT_TR8 && Setup("P_AU", 1) == 0;
  for (auto& [reg, slot] : values_) {
    if (slot.Held) continue;
    const SimRegister& r = *map_.Find(reg);
    if (!r.Writable) {
      slot.Value = SourceValue(r.Source);
      if (averageOff && r.Source.What == SimSource::Present && r.Source.A == SQ_PAV) slot.Value = 0;
    }
  }
  // Clock registers show the meter's local time.
  const time_t t = static_cast<time_t>(ClockNow(wall));
  std::tm local{};
  localtime_r(&t, &local);
  SetSetup("Year", local.tm_year + 1900);
  SetSetup("MonDay", (local.tm_mon + 1) * 100 + local.tm_mday);
  SetSetup("HourMin", local.tm_hour * 100 + local.tm_min);

  // Alarms drive their bits of the relay output; bits without an alarm keep
  // what was last written. Each model has one output per alarm, and the
  // register has no bit beyond them: a VR5 with its four outputs never shows
  // more than 15, whatever its table lets one write.
  const ModelRoles roles = RolesFor(type_);
  const SimRegister* relay = map_.FindCode("ALR");
  const int outputs = (1 << roles.Alarms.size()) - 1;
  int bits = relay ? static_cast<int>(values_[relay->Register].Value) & outputs : 0;
  const double delay = Setup(roles.Delay, 0);
  for (size_t i = 0; i < roles.Alarms.size() && i < alarms_.size(); ++i) {
    const AlarmRoles& a = roles.Alarms[i];
    const int q = AlarmQuantity(type_, Setup(a.Quantity, -1));
    if (q < 0) {
      alarms_[i].Reset();
      continue;
    }
    const double relative = roles.Scale * physics_.Value(q) / physics_.Nominal(q);
    const bool on = alarms_[i].Step(relative, Setup(a.On, 0), Setup(a.Off, 0), delay, dt);
    bits = on ? bits | (1 << i) : bits & ~(1 << i);
  }
  if (relay && !roles.Alarms.empty()) SetSetup("ALR", bits);
}

SimBytes SimMeter::Exception(const SimBytes& pdu, uint8_t code) {
  return SimBytes{pdu[0], static_cast<uint8_t>(pdu[1] | modbus::EXCEPTION_FLAG), code};
}

SimBytes SimMeter::Handle(const SimBytes& pdu) {
  if (pdu.size() < 2) return {};
  const bool broadcast = pdu[0] == 0;
  SimBytes reply;
  switch (pdu[1]) {
    case modbus::READ_HOLDING_REGISTERS:
      reply = ReadRegisters(pdu);
      break;
    case modbus::WRITE_SINGLE_REGISTER:
      reply = WriteRegister(pdu, broadcast);
      break;
    default:
      reply = Exception(pdu, modbus::ILLEGAL_FUNCTION);
      break;
  }
  if (broadcast) return {};
  return reply;
}

SimBytes SimMeter::ReadRegisters(const SimBytes& pdu) {
  if (pdu.size() != 6) return Exception(pdu, modbus::ILLEGAL_DATA_VALUE);
  const int first = pdu[2] << 8 | pdu[3];
  const int count = pdu[4] << 8 | pdu[5];
  if (count < 1) return Exception(pdu, modbus::ILLEGAL_DATA_VALUE);
  size_t bytes = 0;
  for (int reg = first; reg < first + count; ++reg) {
    const SimRegister* r = map_.Find(reg);
    if (!r) return Exception(pdu, modbus::ILLEGAL_DATA_ADDRESS);
    bytes += r->Width == 'i' ? 2 : 4;
    // The byte count is one byte and the frame must stay within its limit.
    if (bytes > SIM_MAX_PDU - 3) return Exception(pdu, modbus::ILLEGAL_DATA_VALUE);
  }
  SimBytes reply{pdu[0], modbus::READ_HOLDING_REGISTERS, static_cast<uint8_t>(bytes)};
  for (int reg = first; reg < first + count; ++reg) {
    const SimRegister& r = *map_.Find(reg);
    PutValue(reply, r.Width, values_.at(reg).Value);
  }
  return reply;
}

SimBytes SimMeter::WriteRegister(const SimBytes& pdu, bool broadcast) {
  if (pdu.size() != 6) return Exception(pdu, modbus::ILLEGAL_DATA_VALUE);
  const int reg = pdu[2] << 8 | pdu[3];
  const int value = static_cast<int16_t>(static_cast<uint16_t>(pdu[4] << 8 | pdu[5]));
  const SimRegister* r = map_.Find(reg);
  if (!r || !r->Writable) return Exception(pdu, modbus::ILLEGAL_DATA_ADDRESS);
  if (value < r->Min || value > r->Max) return Exception(pdu, modbus::ILLEGAL_DATA_VALUE);
  const WallClock::time_point wall = started_ ? lastWall_ : WallClock::now();
  if (const uint8_t ex = ApplyWrite(*r, value, wall)) return Exception(pdu, ex);
  (void)broadcast;
  return pdu;  // a write is answered with the request itself
}

uint8_t SimMeter::ApplyWrite(const SimRegister& r, int value, WallClock::time_point wall) {
  Slot& slot = values_[r.Register];
  if (IsClockCode(r.Code)) {
    const int64_t now = ClockNow(wall);
    const time_t t = static_cast<time_t>(now);
    std::tm tm{};
    localtime_r(&t, &tm);
    int wantMonth = -1, wantDay = -1;
    if (r.Code == "Year") {
      tm.tm_year = value - 1900;
      wantMonth = tm.tm_mon + 1;
      wantDay = tm.tm_mday;
    } else if (r.Code == "MonDay") {
      wantMonth = value / 100;
      wantDay = value % 100;
      if (wantMonth < 1 || wantMonth > 12 || wantDay < 1 || wantDay > 31) return modbus::ILLEGAL_DATA_VALUE;
      tm.tm_mon = wantMonth - 1;
      tm.tm_mday = wantDay;
    } else {
      const int hour = value / 100, minute = value % 100;
      if (minute > 59 || hour > 24 || (hour == 24 && minute != 0)) return modbus::ILLEGAL_DATA_VALUE;
      tm.tm_hour = hour;  // 24:00 is midnight at the end of the day
      tm.tm_min = minute;
      tm.tm_sec = 0;
    }
    tm.tm_isdst = -1;
    const std::tm asked = tm;
    const time_t set = std::mktime(&tm);
    if (set == static_cast<time_t>(-1)) return modbus::ILLEGAL_DATA_VALUE;
    // 31 February and the like: the calendar moved the date, refuse it.
    if (wantMonth > 0 && (tm.tm_mon != asked.tm_mon || tm.tm_mday != asked.tm_mday)) {
      if (r.Code == "MonDay") return modbus::ILLEGAL_DATA_VALUE;
      // A year without 29 February: the date rolls over to 1 March, as a meter's calendar does.
    }
    clockOffset_ += static_cast<int64_t>(set) - now;
    Refresh(wall, 0.0);
    return 0;
  }
  if (r.Command) {
    // 1 clears what the command names; whatever was written, the command is
    // done and its register reads 0 again.
    if (value == 1) {
      if (r.Code == "EnPO")
        physics_.ClearActiveEnergy();
      else if (r.Code == "EnQO")
        physics_.ClearReactiveEnergy();
      else if (r.Code == "EnSO")
        physics_.ClearApparentEnergy();
      else if (r.Code == "PI_O")
        physics_.ClearExternalEnergy();
      else if (r.Code == "ClearEt")
        physics_.ClearTariffs();
      else
        physics_.ClearAverage();
    }
    value = 0;
  }
  if (!slot.Held) slot.Value = value;
  ApplySetup();
  Refresh(wall, 0.0);
  return 0;
}

std::optional<double> SimMeter::Get(int reg) const {
  const auto it = values_.find(reg);
  if (it == values_.end()) return std::nullopt;
  return WireValue(map_.Find(reg)->Width, it->second.Value);
}

bool SimMeter::Hold(int reg, double value) {
  const auto it = values_.find(reg);
  if (it == values_.end()) return false;
  // Floats may be held at anything a meter can send, NaN included; integers not.
  if (map_.Find(reg)->Width != 'f' && !std::isfinite(value)) return false;
  it->second.Value = value;
  it->second.Held = true;
  ApplySetup();
  return true;
}

bool SimMeter::Release(int reg) {
  const auto it = values_.find(reg);
  if (it == values_.end()) return false;
  it->second.Held = false;
  ApplySetup();
  Refresh(started_ ? lastWall_ : WallClock::now(), 0.0);
  return true;
}
