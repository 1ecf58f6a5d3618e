// The electrical system a simulated meter measures: three phases with voltage,
// current and phase angle that drift slowly, and everything a meter derives
// from them (powers, factors, sums and averages, line voltages, frequency,
// harmonics and THD, energy, average power, extremes with their times).
#pragma once

#include <array>
#include <cstdint>
#include <random>

#include "model/Registers.h"

// The measured quantities, in the order of the meters' process block
// (PROCESS_BLOCK_START + index) followed by the THD block
// (THD_BLOCK_START + index - PROCESS_BLOCK_LENGTH).
enum SimQuantity : int {
  SQ_U1, SQ_I1, SQ_P1, SQ_Q1, SQ_S1, SQ_PF1, SQ_TF1,
  SQ_U2, SQ_I2, SQ_P2, SQ_Q2, SQ_S2, SQ_PF2, SQ_TF2,
  SQ_U3, SQ_I3, SQ_P3, SQ_Q3, SQ_S3, SQ_PF3, SQ_TF3,
  SQ_US, SQ_IS, SQ_P, SQ_Q, SQ_S, SQ_PF, SQ_TF, SQ_F,
  SQ_U12, SQ_U23, SQ_U31, SQ_U123, SQ_PAV,
  SQ_THD_U1, SQ_THD_U2, SQ_THD_U3, SQ_THD_I1, SQ_THD_I2, SQ_THD_I3,
  SQ_COUNT
};
constexpr int SIM_PROCESS_QUANTITIES = PROCESS_BLOCK_LENGTH;
static_assert(SQ_THD_U1 == PROCESS_BLOCK_LENGTH && SQ_COUNT == PROCESS_BLOCK_LENGTH + THD_BLOCK_LENGTH,
              "one quantity for each register of the two blocks");

// Harmonic channels: U1, U2, U3, I1, I2, I3; orders 1 to 25.
constexpr int SIM_CHANNELS = 6;
constexpr int SIM_HARMONICS = 25;

// Secondary-side nominal values of the meter inputs.
constexpr double SIM_NOMINAL_U = 230.0;  // V, phase to neutral
constexpr double SIM_NOMINAL_I = 5.0;    // A
constexpr double SIM_NOMINAL_F = 50.0;   // Hz

struct SimExtreme {
  double Min = 0, Max = 0;
  int64_t MinTime = 0, MaxTime = 0;  // seconds since 1970 when each was reached
  bool Seen = false;
};

// Energy counters in Wh, VArh, VAh.
struct SimEnergy {
  double Active = 0, Reactive = 0, Apparent = 0;
};

class SimPhysics {
public:
  explicit SimPhysics(uint32_t seed);

  // Transformer ratios: what the meter shows is the secondary value times the ratio.
  void SetRatios(double currentRatio, double voltageRatio);
  double CurrentRatio() const { return currentRatio_; }
  double VoltageRatio() const { return voltageRatio_; }
  // Harmonic measurement off: harmonics and THD read 0.
  void SetHarmonicsOn(bool on);
  // Averaging period of the average active power, in seconds; with
  // alignToClock the windows start at whole multiples of the period.
  void SetAveragePeriod(int seconds, bool alignToClock);
  // No drift: the load stays where SetPhase or the last step left it.
  void SetFrozen(bool frozen) { frozen_ = frozen; }

  // Secondary values of one phase (0..2): voltage V, current A, angle degrees
  // (positive: inductive load). Recomputes the derived quantities.
  void SetPhase(int phase, double volts, double amps, double angleDegrees);
  void SetFrequency(double hertz);

  // Advances the system by dt seconds ending at wall-clock time `now` (seconds
  // since 1970, local hour `hourOfDay` for the tariffs): drift, recompute,
  // integrate energy and average power, track extremes.
  void Step(double dt, int64_t now, int hourOfDay);

  double Value(int quantity) const;
  // Harmonic `order` of a channel in percent of its fundamental (order 1 = 100).
  double Harmonic(int channel, int order) const;
  // Nominal (100 %) value of a quantity with the present ratios, for alarms.
  double Nominal(int quantity) const;

  const SimExtreme& Extreme(int quantity) const { return extremes_[static_cast<size_t>(quantity)]; }
  const SimEnergy& Energy() const { return energy_; }
  const SimEnergy& ExternalEnergy() const { return external_; }
  // Tariff counters 1..4 (index 0..3): active, reactive, apparent energy.
  const SimEnergy& Tariff(int index) const { return tariffs_[static_cast<size_t>(index)]; }
  // Tariff in force at a local hour: 1 06-13, 2 13-19, 3 19-22, 4 22-06.
  static int TariffForHour(int hour);

  void ClearActiveEnergy() { energy_.Active = 0; }
  void ClearReactiveEnergy() { energy_.Reactive = 0; }
  void ClearApparentEnergy() { energy_.Apparent = 0; }
  void ClearExternalEnergy() { external_ = {}; }
  void ClearTariffs() { tariffs_ = {}; }
  void ClearAverage();

private:
  void Drift(double dt);
  void Recompute();
  void TrackExtremes(int64_t now);

  std::mt19937 rng_;
  std::normal_distribution<double> gauss_{0.0, 1.0};

  double currentRatio_ = 1, voltageRatio_ = 1;
  bool harmonicsOn_ = true;
  bool frozen_ = false;
  double elapsed_ = 0;  // seconds of simulated time

  // Secondary state per phase and its slow random parts.
  std::array<double, 3> volts_{}, amps_{}, angle_{};  // angle in degrees
  std::array<double, 3> loadNoise_{}, angleNoise_{}, voltNoise_{}, phaseOffset_{};
  double frequency_ = SIM_NOMINAL_F, frequencyNoise_ = 0;
  std::array<std::array<double, SIM_HARMONICS>, SIM_CHANNELS> harmonicBase_{};
  double harmonicScale_ = 1, harmonicNoise_ = 0;

  std::array<double, SQ_COUNT> values_{};
  std::array<SimExtreme, SQ_COUNT> extremes_{};

  SimEnergy energy_, external_;
  std::array<SimEnergy, 4> tariffs_{};

  int averagePeriod_ = 900;
  bool averageAligned_ = false;
  double averageSum_ = 0, averageTime_ = 0, averageDone_ = 0;
  bool averageHaveDone_ = false;
  int64_t averageWindow_ = -1;
};

// Alarm with hysteresis. With on above off it is a high alarm: it starts when
// the value reaches `on` and ends when it falls to `off`; with on below off a
// low alarm: starts at or below `on`, ends at or above `off`. Equal thresholds
// make a plain high alarm without hysteresis. The start waits until the
// condition has held for `delaySeconds`; the end is immediate.
class SimAlarm {
public:
  // Returns the new state after `dt` seconds with `value` (same unit as on/off).
  bool Step(double value, double on, double off, double delaySeconds, double dt);
  bool Active() const { return active_; }
  void Reset() { active_ = false; pending_ = 0; }

private:
  bool active_ = false;
  double pending_ = 0;  // seconds the start condition has held
};
