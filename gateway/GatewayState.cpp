#include "gateway/GatewayState.h"

#include <algorithm>
#include <cstring>

namespace {

struct TQuantityRow {
  const char* Code;
  TQuantityInfo Info;
};

// Phase quantities carry phase "L1".."L3", line-to-line ones "L1-L2".., the
// three-phase figures "total". Aggregates get metric names of their own so
// that summing a metric over its phases never counts a total twice.
constexpr TQuantityRow QUANTITY_ROWS[] = {
    {"U1", {"kavrel_phase_voltage_volts", "L1", 1, "Phase to neutral voltage."}},
    {"U2", {"kavrel_phase_voltage_volts", "L2", 1, "Phase to neutral voltage."}},
    {"U3", {"kavrel_phase_voltage_volts", "L3", 1, "Phase to neutral voltage."}},
    {"I1", {"kavrel_current_amperes", "L1", 1, "Line current."}},
    {"I2", {"kavrel_current_amperes", "L2", 1, "Line current."}},
    {"I3", {"kavrel_current_amperes", "L3", 1, "Line current."}},
    {"P1", {"kavrel_active_power_watts", "L1", 1, "Phase active power."}},
    {"P2", {"kavrel_active_power_watts", "L2", 1, "Phase active power."}},
    {"P3", {"kavrel_active_power_watts", "L3", 1, "Phase active power."}},
    {"Q1", {"kavrel_reactive_power_volt_amperes_reactive", "L1", 1, "Phase reactive power."}},
    {"Q2", {"kavrel_reactive_power_volt_amperes_reactive", "L2", 1, "Phase reactive power."}},
    {"Q3", {"kavrel_reactive_power_volt_amperes_reactive", "L3", 1, "Phase reactive power."}},
    {"S1", {"kavrel_apparent_power_volt_amperes", "L1", 1, "Phase apparent power."}},
    {"S2", {"kavrel_apparent_power_volt_amperes", "L2", 1, "Phase apparent power."}},
    {"S3", {"kavrel_apparent_power_volt_amperes", "L3", 1, "Phase apparent power."}},
    {"Pf1", {"kavrel_power_factor_ratio", "L1", 1, "Phase active power factor."}},
    {"Pf2", {"kavrel_power_factor_ratio", "L2", 1, "Phase active power factor."}},
    {"Pf3", {"kavrel_power_factor_ratio", "L3", 1, "Phase active power factor."}},
    {"tf1", {"kavrel_tangent_phi_ratio", "L1", 1, "Phase tangent phi (Q/P)."}},
    {"tf2", {"kavrel_tangent_phi_ratio", "L2", 1, "Phase tangent phi (Q/P)."}},
    {"tf3", {"kavrel_tangent_phi_ratio", "L3", 1, "Phase tangent phi (Q/P)."}},
    {"Us", {"kavrel_phase_voltage_average_volts", "total", 1, "Average of the three phase voltages."}},
    {"Is", {"kavrel_current_average_amperes", "total", 1, "Average of the three line currents."}},
    {"P", {"kavrel_total_active_power_watts", "total", 1, "Three-phase active power."}},
    {"Q", {"kavrel_total_reactive_power_volt_amperes_reactive", "total", 1, "Three-phase reactive power."}},
    {"S", {"kavrel_total_apparent_power_volt_amperes", "total", 1, "Three-phase apparent power."}},
    {"Pf", {"kavrel_total_power_factor_ratio", "total", 1, "Three-phase active power factor."}},
    {"tf", {"kavrel_total_tangent_phi_ratio", "total", 1, "Three-phase tangent phi (Q/P)."}},
    {"f", {"kavrel_frequency_hertz", "total", 1, "Frequency."}},
    {"U12", {"kavrel_line_voltage_volts", "L1-L2", 1, "Phase to phase voltage."}},
    {"U23", {"kavrel_line_voltage_volts", "L2-L3", 1, "Phase to phase voltage."}},
    {"U31", {"kavrel_line_voltage_volts", "L3-L1", 1, "Phase to phase voltage."}},
    {"U123", {"kavrel_line_voltage_average_volts", "total", 1, "Average of the three phase to phase voltages."}},
    {"Pav", {"kavrel_average_active_power_watts", "total", 1, "Average (demand) active power."}},
    {"ALR", {"kavrel_relay_output_state", "total", 1, "Relay output state: bit 0 alarm A1, bit 1 A2, bit 2 A3."}},
    {"THD_U1", {"kavrel_voltage_thd_ratio", "L1", 0.01, "Total harmonic distortion of the phase voltage."}},
    {"THD_U2", {"kavrel_voltage_thd_ratio", "L2", 0.01, "Total harmonic distortion of the phase voltage."}},
    {"THD_U3", {"kavrel_voltage_thd_ratio", "L3", 0.01, "Total harmonic distortion of the phase voltage."}},
    {"THD_I1", {"kavrel_current_thd_ratio", "L1", 0.01, "Total harmonic distortion of the line current."}},
    {"THD_I2", {"kavrel_current_thd_ratio", "L2", 0.01, "Total harmonic distortion of the line current."}},
    {"THD_I3", {"kavrel_current_thd_ratio", "L3", 0.01, "Total harmonic distortion of the line current."}},
};

constexpr TQuantityInfo UNKNOWN_QUANTITY = {"kavrel_value", "total", 1, "A value of the meter."};

}  // namespace

const TQuantityInfo& QuantityInfo(int quantity) {
  const char* code = QuantityCode(quantity);
  for (const TQuantityRow& row : QUANTITY_ROWS)
    if (std::strcmp(row.Code, code) == 0) return row.Info;
  return UNKNOWN_QUANTITY;
}

namespace {

// The register record a quantity is read from; nullptr for none.
const TParamDef* QuantityDef(int q) {
  if (q < 0 || q >= QUANTITY_COUNT) return nullptr;
  if (q < FIRST_COUNTER_QUANTITY) return &AcquisitionList[q];
  int group = 0, item = 0;
  if (q < FIRST_COUNTER_QUANTITY + ENERGY_ITEMS) {
    group = ENERGY_GROUP;
    item = q - FIRST_COUNTER_QUANTITY;
  } else if (q < FIRST_HARMONIC_QUANTITY) {
    group = TARIFF_GROUP;
    item = q - FIRST_COUNTER_QUANTITY - ENERGY_ITEMS;
  } else {
    group = FIRST_HARMONICS_GROUP + (q - FIRST_HARMONIC_QUANTITY) / HARMONIC_ORDERS;
    item = (q - FIRST_HARMONIC_QUANTITY) % HARMONIC_ORDERS;
  }
  const TParamGroup* g = GetParamGroup(group);
  return g && item < g->Count ? &g->Definitions[item] : nullptr;
}

}  // namespace

int FirstQuantityOfGroup(int group) {
  if (group == ENERGY_GROUP) return FIRST_COUNTER_QUANTITY;
  if (group == TARIFF_GROUP) return FIRST_COUNTER_QUANTITY + ENERGY_ITEMS;
  if (group >= FIRST_HARMONICS_GROUP && group < FIRST_HARMONICS_GROUP + HARMONICS_GROUPS)
    return FIRST_HARMONIC_QUANTITY + (group - FIRST_HARMONICS_GROUP) * HARMONIC_ORDERS;
  return -1;
}

bool ModelHasGroup(int meterType, int group) {
  const TParamGroup* g = GetParamGroup(group);
  return g && (g->Models & ModelMask(meterType)) != 0;
}

TCounterInfo CounterInfo(int quantity) {
  static const char* const OWN[] = {"kavrel_active_energy_joules_total",
                                    "kavrel_reactive_energy_volt_amperes_reactive_seconds_total",
                                    "kavrel_apparent_energy_volt_amperes_seconds_total"};
  static const char* const EXTERNAL[] = {
      "kavrel_external_active_energy_joules_total",
      "kavrel_external_reactive_energy_volt_amperes_reactive_seconds_total",
      "kavrel_external_apparent_energy_volt_amperes_seconds_total"};
  static const char* const KIND[] = {"Active", "Reactive", "Apparent"};
  static const char* const TARIFF[] = {"1", "2", "3", "4"};
  const int item = quantity - FIRST_COUNTER_QUANTITY;
  if (item < ENERGY_ITEMS) {
    const int kind = item % 3;
    if (item < 3)
      return {OWN[kind], "", "Energy counted by the meter (watt-hours times 3600).",
              std::string(KIND[kind]) + " energy counter"};
    return {EXTERNAL[kind], "",
            "Energy of the meter's external counter (pulse input), watt-hours times 3600.",
            std::string("External ") +
                (kind == 0   ? "active"
                 : kind == 1 ? "reactive"
                             : "apparent") +
                " energy counter"};
  }
  const int t = item - ENERGY_ITEMS;
  return {OWN[t / 4], TARIFF[t % 4], "Energy counted by the meter (watt-hours times 3600).",
          std::string(KIND[t / 4]) + " energy counter of tariff " + TARIFF[t % 4]};
}

THarmonicInfo HarmonicInfo(int quantity) {
  static const char* const PHASE[] = {"L1", "L2", "L3"};
  const int channel = (quantity - FIRST_HARMONIC_QUANTITY) / HARMONIC_ORDERS;
  return {channel < 3 ? "voltage" : "current", PHASE[channel % 3],
          (quantity - FIRST_HARMONIC_QUANTITY) % HARMONIC_ORDERS + 1};
}

int QuantityOfRegister(int reg) {
  for (int q = 0; q < QUANTITY_COUNT; ++q) {
    const TParamDef* def = QuantityDef(q);
    if (def && def->Register == reg) return q;
  }
  return -1;
}

const char* QuantityCode(int quantity) {
  const TParamDef* def = QuantityDef(quantity);
  return def ? def->Code : "";
}

const char* QuantityUnit(int quantity) {
  const TParamDef* def = QuantityDef(quantity);
  return def ? def->Unit : "";
}

void TMeterSnapshot::Store(int quantity, float value, TSteadyTime now, TSystemTime wall) {
  // A gap after which the value had gone stale (the meter away for a while)
  // is no read interval of the meter.
  const TSteadyTime::duration since = now - Updated[quantity];
  if (Has[quantity] && since <= StaleLimit(quantity)) Interval[quantity] = since;
  Has[quantity] = true;
  Values[quantity] = value;
  Updated[quantity] = now;
  UpdatedWall[quantity] = wall;
}

TSteadyTime::duration TMeterSnapshot::StaleLimit(int quantity) const {
  using std::chrono::duration_cast;
  if (StaleAfterS > 0)
    return duration_cast<TSteadyTime::duration>(std::chrono::duration<double>(StaleAfterS));
  return std::max<TSteadyTime::duration>(std::chrono::seconds(10), 3 * Interval[quantity]);
}

bool TMeterSnapshot::IsLive(int quantity, TSteadyTime now) const {
  return Has[quantity] && LinkState == 1 && now - Updated[quantity] <= StaleLimit(quantity);
}

std::string NameMeterInEvent(const std::string& text, const std::string& modelName, const std::string& who) {
  const size_t at = modelName.empty() ? std::string::npos : text.rfind(modelName);
  if (at == std::string::npos) return text + " on " + who;
  return text.substr(0, at) + who + text.substr(at + modelName.size());
}

TGatewayState::TGatewayState(const TGatewayConfig& config) {
  for (const TLineConfig& line : config.Lines) {
    Lines.emplace_back(line.Name, false);
    for (const TMeterConfig& m : line.Meters) {
      TMeterSnapshot s;
      s.Name = m.Name;
      s.Model = MeterModelName(m.Type);
      s.Line = line.Name;
      s.Type = m.Type;
      s.Address = m.Address;
      s.StaleAfterS = line.StaleAfterS;
      s.NominalVoltage = m.NominalVoltage;
      Meters.push_back(std::move(s));
    }
  }
}

TMeterSnapshot TGatewayState::Snapshot(int meter) const {
  std::lock_guard lock(Mutex);
  return Meters.at(static_cast<size_t>(meter));
}

std::vector<TMeterSnapshot> TGatewayState::SnapshotAll() const {
  std::lock_guard lock(Mutex);
  return Meters;
}

void TGatewayState::Update(int meter, const std::function<void(TMeterSnapshot&)>& change) {
  std::lock_guard lock(Mutex);
  change(Meters.at(static_cast<size_t>(meter)));
}

void TGatewayState::SetOutputStatus(const std::string& output, bool ok, uint64_t dropped) {
  std::lock_guard lock(Mutex);
  for (auto& o : Outputs) {
    if (o.first == output) {
      o.second = {ok, dropped};
      return;
    }
  }
  Outputs.push_back({output, {ok, dropped}});
}

std::vector<std::pair<std::string, std::pair<bool, uint64_t>>> TGatewayState::OutputStatus() const {
  std::lock_guard lock(Mutex);
  return Outputs;
}

void TGatewayState::SetLineOpen(const std::string& line, bool open) {
  std::lock_guard lock(Mutex);
  for (auto& l : Lines)
    if (l.first == line) l.second = open;
}

std::vector<std::pair<std::string, bool>> TGatewayState::LinesOpen() const {
  std::lock_guard lock(Mutex);
  return Lines;
}

void TGatewayState::SetMetricsSource(std::function<std::string()> source) {
  std::lock_guard lock(Mutex);
  MetricsSource = std::move(source);
}

std::string TGatewayState::ExtraMetrics() const {
  std::function<std::string()> source;
  {
    std::lock_guard lock(Mutex);
    source = MetricsSource;
  }
  return source ? source() : std::string();
}
