// What the gateway knows about its meters at this moment: the latest value of
// each quantity with its time, the link state and the link-health counters.
// Written by the line threads, read by the outputs; every call is thread-safe.
//
// The quantities are the meter model's acquisition list (AcquisitionList): a
// quantity's index is its index there. The energy counters (the TR5's "Energy"
// group, the VR5's and VR5B's "Tariffs") and the harmonics 1..25 of the three
// voltages and currents follow, in the order of their register groups.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "gateway/GatewayConfig.h"
#include "gateway/RegisterStore.h"
#include "model/ParamDef.h"

// Register groups read beside the acquisition cycle, by their index in the
// register tables.
constexpr int ENERGY_GROUP = 32;           // EnP EnB EnS, then the external counter's EnPz EnBz EnSz
constexpr int TARIFF_GROUP = 33;           // Ept1..4, Eqt1..4, Est1..4
constexpr int FIRST_HARMONICS_GROUP = 22;  // U1 U2 U3 I1 I2 I3, orders 1..25 each
constexpr int HARMONICS_GROUPS = 6;
constexpr int HARMONIC_ORDERS = 25;
constexpr int ENERGY_ITEMS = 6;
constexpr int TARIFF_ITEMS = 12;

constexpr int FIRST_COUNTER_QUANTITY = ACQUISITION_LIST_SIZE;
constexpr int COUNTER_QUANTITIES = ENERGY_ITEMS + TARIFF_ITEMS;
constexpr int FIRST_HARMONIC_QUANTITY = FIRST_COUNTER_QUANTITY + COUNTER_QUANTITIES;
constexpr int QUANTITY_COUNT = FIRST_HARMONIC_QUANTITY + HARMONICS_GROUPS * HARMONIC_ORDERS;

constexpr bool IsCounterQuantity(int q) {
  return q >= FIRST_COUNTER_QUANTITY && q < FIRST_COUNTER_QUANTITY + COUNTER_QUANTITIES;
}
constexpr bool IsHarmonicQuantity(int q) { return q >= FIRST_HARMONIC_QUANTITY && q < QUANTITY_COUNT; }

// How an energy counter is shown to Prometheus: the family (own or external
// counter, by kind of energy), the tariff ("" where the model has none), and
// how its reset is worded ("Active energy counter").
struct TCounterInfo {
  const char* Metric;
  const char* Tariff;
  const char* Help;
  std::string Text;
};
TCounterInfo CounterInfo(int quantity);
// Harmonic quantity: "voltage" or "current", the phase "L1".."L3" and the order 1..25.
struct THarmonicInfo {
  const char* Quantity;
  const char* Phase;
  int Order;
};
THarmonicInfo HarmonicInfo(int quantity);
// The first quantity of a register group read beside the cycle; -1 for another group.
int FirstQuantityOfGroup(int group);
// Whether a meter model has a register group.
bool ModelHasGroup(int meterType, int group);

// How a quantity is shown to Prometheus: metric name (base unit in the name),
// the phase label, and the factor from the meter's unit to that base unit.
struct TQuantityInfo {
  const char* Metric;
  const char* Phase;
  double Scale;
  const char* Help;
};
const TQuantityInfo& QuantityInfo(int quantity);
// The quantity read from a register; -1 for none.
int QuantityOfRegister(int reg);
// Its short code ("U1", "THD_I3", "ALR", "EnP", "HarU1_3") and unit ("V", "%", "", "Wh") as the
// meter model names them.
const char* QuantityCode(int quantity);
const char* QuantityUnit(int quantity);

// Upper bounds (seconds) of the reply-time histogram's buckets; +Inf follows.
constexpr std::array<double, 9> REPLY_TIME_BUCKETS = {0.005, 0.01, 0.025, 0.05, 0.1, 0.25, 0.5, 1.0, 2.5};

struct TLinkCounters {
  uint64_t Requests = 0;
  uint64_t Replies = 0;      // good replies, exceptions included
  uint64_t Timeouts = 0;     // nothing came back
  uint64_t CheckErrors = 0;  // something came back that was not a valid reply (check, address, size)
  uint64_t Exceptions = 0;   // the meter refused with a Modbus exception
  std::array<uint64_t, REPLY_TIME_BUCKETS.size()> Buckets{};  // not cumulative
  uint64_t ReplyCount = 0;
  double ReplySeconds = 0;
};

using TSystemTime = std::chrono::system_clock::time_point;
using TSteadyTime = std::chrono::steady_clock::time_point;

struct TMeterSnapshot {
  std::string Name;
  std::string Model;
  std::string Line;
  int Type = 0;
  int Address = 0;
  int LinkState = 0;  // as the meter model keeps it: 1 connected, 0 not yet, 3/4 transmission error
  bool Has[QUANTITY_COUNT] = {};
  float Values[QUANTITY_COUNT] = {};
  TSteadyTime Updated[QUANTITY_COUNT] = {};
  TSystemTime UpdatedWall[QUANTITY_COUNT] = {};
  TSteadyTime::duration Interval[QUANTITY_COUNT] = {};  // between its last two reads
  TSystemTime LastReply{};                              // the meter's last good reply (an exception too)
  TLinkCounters Counters;
  int FailStreak = 0;      // failed transactions in a row
  double RetryInS = 0;     // pause before the next try while backed off
  double StaleAfterS = 0;  // the line's stale_after_s
  double NominalVoltage = 230;
  uint64_t CounterResets[COUNTER_QUANTITIES] = {};  // energy counters seen going down

  // Keeps a value read at now.
  void Store(int quantity, float value, TSteadyTime now, TSystemTime wall);
  // How old a value may be and still be served: stale_after_s, or three of
  // its own read intervals but at least 10 s.
  TSteadyTime::duration StaleLimit(int quantity) const;
  // A value is served as live while the meter's link is up and the value is
  // within its limit; otherwise it is only shown with its age.
  bool IsLive(int quantity, TSteadyTime now) const;
};

// A meter's values from one block read, handed to the outputs.
struct TSample {
  int Meter = 0;
  TSystemTime Time;
  std::vector<std::pair<int, float>> Values;  // quantity, value in the meter's unit
};

// A link or alarm event as the meter model words it.
struct TEventRecord {
  int Meter = 0;
  TSystemTime Time;
  int Code = 0;
  std::string Text;  // without the leading tab
};

// An event text as the meter model words it, naming the meter by its model
// name ("TR5_1"), with that name replaced by who the gateway knows the meter
// as, e.g. "incomer (line board, address 1)". A text that names no meter (an
// alarm) gets the meter added after " on ".
std::string NameMeterInEvent(const std::string& text, const std::string& modelName, const std::string& who);

// An energy counter that went down between two reads: cancelled on the meter,
// or another meter at the address. Consumption across it is the counter's
// value before plus what it counted after.
struct TCounterReset {
  int Meter = 0;
  TSystemTime Time;  // when the lower value was read
  int Quantity = 0;
  float Before = 0;  // the last value read before, in the meter's unit
  float After = 0;   // the first value read after
};

// The event code of a counter reset (the meter model's own events carry the
// meter's serial number in their upper 16 bits).
constexpr int COUNTER_RESET_EVENT = 9000;

// Receives samples and events from the line threads. Must not block: an output
// that cannot keep up drops and counts.
class TGatewaySink {
public:
  virtual ~TGatewaySink() = default;
  virtual void OnSample(const TSample& sample) = 0;
  virtual void OnEvent(const TEventRecord& event) = 0;
  // Follows the counter's reset event.
  virtual void OnCounterReset(const TCounterReset&) {}
};

class TGatewayState {
public:
  explicit TGatewayState(const TGatewayConfig& config);

  int MeterCount() const { return static_cast<int>(Meters.size()); }
  TMeterSnapshot Snapshot(int meter) const;
  std::vector<TMeterSnapshot> SnapshotAll() const;
  // Changes a meter under the lock.
  void Update(int meter, const std::function<void(TMeterSnapshot&)>& change);

  // Output health, shown on /metrics and /healthz.
  void SetOutputStatus(const std::string& output, bool ok, uint64_t dropped);
  std::vector<std::pair<std::string, std::pair<bool, uint64_t>>> OutputStatus() const;
  void SetLineOpen(const std::string& line, bool open);
  std::vector<std::pair<std::string, bool>> LinesOpen() const;

  const TSteadyTime Started = std::chrono::steady_clock::now();
  // The register bytes of every block polled, as the meters sent them.
  TRegisterStore Registers;
  // More /metrics lines from an output that keeps its own counters (Modbus TCP).
  void SetMetricsSource(std::function<std::string()> source);
  std::string ExtraMetrics() const;

private:
  mutable std::mutex Mutex;
  std::vector<TMeterSnapshot> Meters;
  std::vector<std::pair<std::string, std::pair<bool, uint64_t>>> Outputs;
  std::vector<std::pair<std::string, bool>> Lines;
  std::function<std::string()> MetricsSource;
};
