#include "sim/SimPhysics.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;

// One step of a mean-reverting random walk with time constant tau and
// stationary deviation sigma; exact for any step length.
double Wander(double x, double dt, double tau, double sigma, double noise) {
  const double keep = std::exp(-dt / tau);
  return x * keep + sigma * std::sqrt(std::max(0.0, 1.0 - keep * keep)) * noise;
}

double Wave(double elapsed, double period, double offset) {
  return std::sin(2.0 * kPi * elapsed / period + offset);
}

}  // namespace

SimPhysics::SimPhysics(uint32_t seed) : rng_(seed) {
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (auto& o : phaseOffset_) o = 2.0 * kPi * unit(rng_);
  // Harmonic profiles: voltages a few per cent, mostly odd orders; currents of
  // a load with rectifiers, falling with the order.
  for (int c = 0; c < SIM_CHANNELS; ++c) {
    const bool current = c >= 3;
    for (int h = 2; h <= SIM_HARMONICS; ++h) {
      double base;
      if (h % 2 == 0) {
        base = current ? 0.4 / h : 0.1 / h;
      } else if (h % 3 == 0) {
        base = current ? 30.0 / h : 4.0 / h;
      } else {
        base = current ? 45.0 / h : 9.0 / h;
      }
      harmonicBase_[static_cast<size_t>(c)][static_cast<size_t>(h - 1)] = base * (0.8 + 0.4 * unit(rng_));
    }
  }
  for (int p = 0; p < 3; ++p) {
    volts_[static_cast<size_t>(p)] = SIM_NOMINAL_U;
    amps_[static_cast<size_t>(p)] = 0.5 * SIM_NOMINAL_I;
    angle_[static_cast<size_t>(p)] = 28.0;
  }
  Drift(0.0);
  Recompute();
}

void SimPhysics::SetRatios(double currentRatio, double voltageRatio) {
  currentRatio_ = currentRatio > 0 ? currentRatio : 1.0;
  voltageRatio_ = voltageRatio > 0 ? voltageRatio : 1.0;
  Recompute();
}

void SimPhysics::SetAveragePeriod(int seconds, bool alignToClock) {
  seconds = std::max(seconds, 1);
  if (seconds != averagePeriod_ || alignToClock != averageAligned_) {
    averagePeriod_ = seconds;
    averageAligned_ = alignToClock;
    ClearAverage();
  }
}

void SimPhysics::ClearAverage() {
  averageSum_ = averageTime_ = averageDone_ = 0;
  averageHaveDone_ = false;
  averageWindow_ = -1;
  Recompute();
}

void SimPhysics::SetPhase(int phase, double volts, double amps, double angleDegrees) {
  if (phase < 0 || phase > 2) return;
  const auto p = static_cast<size_t>(phase);
  volts_[p] = std::max(0.0, volts);
  amps_[p] = std::max(0.0, amps);
  angle_[p] = std::clamp(angleDegrees, -180.0, 180.0);
  Recompute();
}

void SimPhysics::SetFrequency(double hertz) {
  frequency_ = hertz;
  Recompute();
}

int SimPhysics::TariffForHour(int hour) {
  if (hour >= 6 && hour < 13) return 1;
  if (hour >= 13 && hour < 19) return 2;
  if (hour >= 19 && hour < 22) return 3;
  return 4;
}

void SimPhysics::Drift(double dt) {
  elapsed_ += dt;
  for (size_t p = 0; p < 3; ++p) {
    loadNoise_[p] = Wander(loadNoise_[p], dt, 40.0, 0.05, gauss_(rng_));
    angleNoise_[p] = Wander(angleNoise_[p], dt, 60.0, 3.0, gauss_(rng_));
    voltNoise_[p] = Wander(voltNoise_[p], dt, 20.0, 0.004, gauss_(rng_));
    const double offset = phaseOffset_[p];
    // The load swings between light and near full over ten minutes or so.
    const double load = std::clamp(0.55 + 0.3 * Wave(elapsed_, 600.0, offset) + loadNoise_[p], 0.05, 1.1);
    amps_[p] = SIM_NOMINAL_I * load;
    angle_[p] = std::clamp(28.0 + 10.0 * Wave(elapsed_, 900.0, offset * 1.7) + angleNoise_[p], -10.0, 75.0);
    volts_[p] = SIM_NOMINAL_U * (1.0 + 0.015 * Wave(elapsed_, 1300.0, offset * 0.6) + voltNoise_[p]);
  }
  frequencyNoise_ = Wander(frequencyNoise_, dt, 10.0, 0.01, gauss_(rng_));
  frequency_ = SIM_NOMINAL_F + 0.04 * Wave(elapsed_, 700.0, 0.0) + frequencyNoise_;
  harmonicNoise_ = Wander(harmonicNoise_, dt, 30.0, 0.05, gauss_(rng_));
  harmonicScale_ = std::max(0.2, 1.0 + 0.25 * Wave(elapsed_, 800.0, 1.0) + harmonicNoise_);
}

double SimPhysics::Harmonic(int channel, int order) const {
  if (!harmonicsOn_ || channel < 0 || channel >= SIM_CHANNELS || order < 1 || order > SIM_HARMONICS) return 0.0;
  if (order == 1) return 100.0;
  return harmonicBase_[static_cast<size_t>(channel)][static_cast<size_t>(order - 1)] * harmonicScale_;
}

void SimPhysics::Recompute() {
  auto& v = values_;
  double sumU = 0, sumI = 0, sumP = 0, sumQ = 0, sumS = 0;
  std::array<double, 3> u{};
  for (int p = 0; p < 3; ++p) {
    const auto i = static_cast<size_t>(p);
    const int base = p * 7;
    const double U = volts_[i] * voltageRatio_;
    const double I = amps_[i] * currentRatio_;
    const double phi = angle_[i] * kPi / 180.0;
    const double S = U * I;
    const double P = S * std::cos(phi);
    const double Q = S * std::sin(phi);
    u[i] = U;
    v[static_cast<size_t>(base + SQ_U1)] = U;
    v[static_cast<size_t>(base + SQ_I1)] = I;
    v[static_cast<size_t>(base + SQ_P1)] = P;
    v[static_cast<size_t>(base + SQ_Q1)] = Q;
    v[static_cast<size_t>(base + SQ_S1)] = S;
    v[static_cast<size_t>(base + SQ_PF1)] = S > 0 ? P / S : 1.0;
    v[static_cast<size_t>(base + SQ_TF1)] = P != 0 ? Q / P : 0.0;
    sumU += U;
    sumI += I;
    sumP += P;
    sumQ += Q;
    sumS += S;
  }
  v[SQ_US] = sumU / 3.0;
  v[SQ_IS] = sumI / 3.0;
  v[SQ_P] = sumP;
  v[SQ_Q] = sumQ;
  v[SQ_S] = sumS;
  v[SQ_PF] = sumS > 0 ? sumP / sumS : 1.0;
  v[SQ_TF] = sumP != 0 ? sumQ / sumP : 0.0;
  v[SQ_F] = frequency_;
  // Phase voltages 120 degrees apart: |Ua - Ub| = sqrt(Ua^2 + Ub^2 + Ua*Ub),
  // which is sqrt(3) x the phase voltage when the two are equal.
  auto line = [](double a, double b) { return std::sqrt(a * a + b * b + a * b); };
  v[SQ_U12] = line(u[0], u[1]);
  v[SQ_U23] = line(u[1], u[2]);
  v[SQ_U31] = line(u[2], u[0]);
  v[SQ_U123] = (v[SQ_U12] + v[SQ_U23] + v[SQ_U31]) / 3.0;
  if (averageHaveDone_) {
    v[SQ_PAV] = averageDone_;
  } else if (averageTime_ > 0) {
    v[SQ_PAV] = averageSum_ / averageTime_;
  } else {
    v[SQ_PAV] = sumP;
  }
  for (int c = 0; c < SIM_CHANNELS; ++c) {
    double sq = 0;
    for (int h = 2; h <= SIM_HARMONICS; ++h) sq += Harmonic(c, h) * Harmonic(c, h);
    v[static_cast<size_t>(SQ_THD_U1 + c)] = std::sqrt(sq);
  }
}

void SimPhysics::Step(double dt, int64_t now, int hourOfDay) {
  if (!(dt >= 0)) dt = 0;  // also NaN
  if (!frozen_) Drift(dt);
  Recompute();

  const double hours = dt / 3600.0;
  const double p = std::max(0.0, values_[SQ_P]);
  const double q = std::fabs(values_[SQ_Q]);
  const double s = values_[SQ_S];
  energy_.Active += p * hours;
  energy_.Reactive += q * hours;
  energy_.Apparent += s * hours;
  SimEnergy& tariff = tariffs_[static_cast<size_t>(TariffForHour(hourOfDay) - 1)];
  tariff.Active += p * hours;
  tariff.Reactive += q * hours;
  tariff.Apparent += s * hours;
  // The pulse input counts a steady neighbouring consumer of 2 kVA at pf 0.9.
  external_.Active += 1800.0 * hours;
  external_.Reactive += 871.8 * hours;
  external_.Apparent += 2000.0 * hours;

  if (averageAligned_) {
    const int64_t window = now / averagePeriod_;
    if (averageWindow_ < 0) averageWindow_ = window;
    if (window != averageWindow_) {
      if (averageTime_ > 0) {
        averageDone_ = averageSum_ / averageTime_;
        averageHaveDone_ = true;
      }
      averageSum_ = averageTime_ = 0;
      averageWindow_ = window;
    }
    averageSum_ += values_[SQ_P] * dt;
    averageTime_ += dt;
  } else {
    averageSum_ += values_[SQ_P] * dt;
    averageTime_ += dt;
    if (averageTime_ >= averagePeriod_) {
      averageDone_ = averageSum_ / averageTime_;
      averageHaveDone_ = true;
      averageSum_ = averageTime_ = 0;
    }
  }
  Recompute();
  TrackExtremes(now);
}

void SimPhysics::TrackExtremes(int64_t now) {
  for (size_t q = 0; q < extremes_.size(); ++q) {
    SimExtreme& e = extremes_[q];
    const double v = values_[q];
    if (!e.Seen) {
      e.Min = e.Max = v;
      e.MinTime = e.MaxTime = now;
      e.Seen = true;
      continue;
    }
    if (v < e.Min) {
      e.Min = v;
      e.MinTime = now;
    }
    if (v > e.Max) {
      e.Max = v;
      e.MaxTime = now;
    }
  }
}

double SimPhysics::Value(int quantity) const {
  if (quantity < 0 || quantity >= SQ_COUNT) return 0.0;
  return values_[static_cast<size_t>(quantity)];
}

double SimPhysics::Nominal(int quantity) const {
  const double un = SIM_NOMINAL_U * voltageRatio_;
  const double in = SIM_NOMINAL_I * currentRatio_;
  switch (quantity) {
    case SQ_U1: case SQ_U2: case SQ_U3: case SQ_US:
      return un;
    case SQ_I1: case SQ_I2: case SQ_I3: case SQ_IS:
      return in;
    case SQ_P1: case SQ_Q1: case SQ_S1:
    case SQ_P2: case SQ_Q2: case SQ_S2:
    case SQ_P3: case SQ_Q3: case SQ_S3:
      return un * in;
    case SQ_P: case SQ_Q: case SQ_S: case SQ_PAV:
      return 3.0 * un * in;
    case SQ_F:
      return SIM_NOMINAL_F;
    case SQ_U12: case SQ_U23: case SQ_U31: case SQ_U123:
      return std::sqrt(3.0) * un;
    case SQ_THD_U1: case SQ_THD_U2: case SQ_THD_U3:
    case SQ_THD_I1: case SQ_THD_I2: case SQ_THD_I3:
      return 100.0;  // THD is already in per cent
    default:
      return 1.0;  // power factors and tangents
  }
}

bool SimAlarm::Step(double value, double on, double off, double delaySeconds, double dt) {
  bool start, end;
  if (on > off) {
    start = value >= on;
    end = value <= off;
  } else if (on < off) {
    start = value <= on;
    end = value >= off;
  } else {
    start = value >= on;
    end = value < on;
  }
  if (active_) {
    if (end) {
      active_ = false;
      pending_ = 0;
    }
    return active_;
  }
  if (!start) {
    pending_ = 0;
    return false;
  }
  pending_ += std::max(0.0, dt);
  if (pending_ >= delaySeconds) {
    active_ = true;
    pending_ = 0;
  }
  return active_;
}

void SimPhysics::SetHarmonicsOn(bool on) {
  harmonicsOn_ = on;
  Recompute();
}
