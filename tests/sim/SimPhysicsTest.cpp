// The simulated electrical system: what a meter derives must agree with
// itself over a long, drifting run, and energy, averages, extremes and alarms
// must follow the load.
#include <gtest/gtest.h>

#include <cmath>

#include "sim/SimPhysics.h"

namespace {

constexpr int64_t kT0 = 1700000000;  // some wall-clock second

double V(const SimPhysics& p, int q) { return p.Value(q); }

void ExpectConsistent(const SimPhysics& p) {
  const double tol = 1e-9;
  double sumP = 0, sumQ = 0, sumS = 0, sumU = 0, sumI = 0;
  for (int ph = 0; ph < 3; ++ph) {
    const int b = ph * 7;
    const double U = V(p, b + SQ_U1), I = V(p, b + SQ_I1), P = V(p, b + SQ_P1), Q = V(p, b + SQ_Q1),
                 S = V(p, b + SQ_S1);
    EXPECT_NEAR(S, U * I, tol * S);
    EXPECT_NEAR(S * S, P * P + Q * Q, 1e-6 * S * S);
    EXPECT_NEAR(V(p, b + SQ_PF1), P / S, tol);
    EXPECT_NEAR(V(p, b + SQ_TF1), Q / P, 1e-9 * std::fabs(Q / P) + tol);
    EXPECT_GT(P, 0);  // a consumer
    sumP += P, sumQ += Q, sumS += S, sumU += U, sumI += I;
  }
  EXPECT_NEAR(V(p, SQ_P), sumP, 1e-9 * sumS);
  EXPECT_NEAR(V(p, SQ_Q), sumQ, 1e-9 * sumS);
  EXPECT_NEAR(V(p, SQ_S), sumS, 1e-9 * sumS);
  EXPECT_NEAR(V(p, SQ_US), sumU / 3, 1e-9 * sumU);
  EXPECT_NEAR(V(p, SQ_IS), sumI / 3, 1e-9 * sumI);
  EXPECT_NEAR(V(p, SQ_PF), sumP / sumS, tol);
  EXPECT_NEAR(V(p, SQ_TF), sumQ / sumP, tol);
  // Line voltages: within 1 % of sqrt(3) x the mean of their two phases.
  const int pairs[3][2] = {{SQ_U1, SQ_U2}, {SQ_U2, SQ_U3}, {SQ_U3, SQ_U1}};
  double sumLine = 0;
  for (int k = 0; k < 3; ++k) {
    const double line = V(p, SQ_U12 + k);
    EXPECT_NEAR(line, std::sqrt(3.0) * (V(p, pairs[k][0]) + V(p, pairs[k][1])) / 2, 0.01 * line);
    sumLine += line;
  }
  EXPECT_NEAR(V(p, SQ_U123), sumLine / 3, 1e-9 * sumLine);
  EXPECT_NEAR(V(p, SQ_F), 50.0, 0.5);
  // THD is the root sum of squares of harmonics 2..25 over the fundamental.
  for (int c = 0; c < SIM_CHANNELS; ++c) {
    double sq = 0;
    for (int h = 2; h <= SIM_HARMONICS; ++h) sq += std::pow(p.Harmonic(c, h), 2);
    EXPECT_NEAR(V(p, SQ_THD_U1 + c), 100.0 * std::sqrt(sq) / p.Harmonic(c, 1), 1e-9);
  }
}

TEST(SimPhysics, DerivedQuantitiesStayConsistentAndPlausibleOverADay) {
  SimPhysics p(7);
  p.SetRatios(40, 100);  // 200/5 A and 23 kV/230 V
  double minLoad = 1e9, maxLoad = 0;
  for (int step = 0; step < 24 * 360; ++step) {  // every 10 s
    p.Step(10.0, kT0 + 10 * step, (step / 360) % 24);
    ExpectConsistent(p);
    if (testing::Test::HasFailure()) return;  // one broken step says enough
    for (int ph = 0; ph < 3; ++ph) {
      const double u = V(p, ph * 7 + SQ_U1) / 100, i = V(p, ph * 7 + SQ_I1) / 40;
      EXPECT_NEAR(u, 230, 15);  // secondary voltage within a few per cent of nominal
      EXPECT_GE(i, 0);
      EXPECT_LE(i, 5.5);
      minLoad = std::min(minLoad, i), maxLoad = std::max(maxLoad, i);
      EXPECT_GT(V(p, SQ_THD_U1 + ph), 0.5);
      EXPECT_LT(V(p, SQ_THD_U1 + ph), 10);
    }
  }
  // The load does move: light and heavy both occur.
  EXPECT_LT(minLoad, 2.0);
  EXPECT_GT(maxLoad, 3.5);
}

TEST(SimPhysics, SameSeedSameRunAndRatiosScaleWhatIsMeasured) {
  SimPhysics a(3), b(3), c(4);
  for (int i = 0; i < 50; ++i) {
    a.Step(1, kT0 + i, 12);
    b.Step(1, kT0 + i, 12);
    c.Step(1, kT0 + i, 12);
  }
  EXPECT_EQ(V(a, SQ_P), V(b, SQ_P));
  EXPECT_NE(V(a, SQ_P), V(c, SQ_P));

  const double u = V(a, SQ_U1), i = V(a, SQ_I1), p = V(a, SQ_P1), pf = V(a, SQ_PF1), thd = V(a, SQ_THD_I1);
  a.SetRatios(30, 2);
  EXPECT_NEAR(V(a, SQ_U1), 2 * u, 1e-9 * u);
  EXPECT_NEAR(V(a, SQ_U12) / V(a, SQ_U1), std::sqrt(3.0), 0.02);
  EXPECT_NEAR(V(a, SQ_I1), 30 * i, 1e-9 * i);
  EXPECT_NEAR(V(a, SQ_P1), 60 * p, 1e-9 * p);
  EXPECT_NEAR(V(a, SQ_PF1), pf, 1e-12);  // ratios do not change factors or THD
  EXPECT_NEAR(V(a, SQ_THD_I1), thd, 1e-12);
  EXPECT_NEAR(a.Nominal(SQ_I1), 150, 1e-9);

  a.SetHarmonicsOn(false);
  EXPECT_EQ(V(a, SQ_THD_U1), 0);
  EXPECT_EQ(a.Harmonic(0, 1), 0);
}

TEST(SimPhysics, EnergyAndTariffsIntegrateThePower) {
  SimPhysics p(1);
  p.SetFrozen(true);
  for (int ph = 0; ph < 3; ++ph) p.SetPhase(ph, 230, 4, 60);  // S = 920 VA, P = 460 W per phase
  p.Step(0, kT0, 8);
  p.Step(1800, kT0 + 1800, 8);  // half an hour in tariff 1
  p.Step(3600, kT0 + 5400, 20);  // an hour in tariff 3
  EXPECT_NEAR(p.Energy().Active, 1380 * 1.5, 1e-6);
  EXPECT_NEAR(p.Energy().Apparent, 2760 * 1.5, 1e-6);
  EXPECT_NEAR(p.Energy().Reactive, 2760 * std::sin(M_PI / 3) * 1.5, 1e-6);
  EXPECT_NEAR(p.Tariff(0).Active, 690, 1e-6);
  EXPECT_NEAR(p.Tariff(2).Active, 1380, 1e-6);
  EXPECT_EQ(p.Tariff(1).Active, 0);
  EXPECT_GT(p.ExternalEnergy().Active, 0);
  p.ClearActiveEnergy();
  EXPECT_EQ(p.Energy().Active, 0);
  EXPECT_GT(p.Energy().Apparent, 0);
}

TEST(SimPhysics, AveragePowerIsTheMeanOfTheLastWindow) {
  SimPhysics p(1);
  p.SetFrozen(true);
  p.SetAveragePeriod(900, false);
  auto load = [&p](double amps) {
    for (int ph = 0; ph < 3; ++ph) p.SetPhase(ph, 200, amps, 0);
  };
  load(1);  // 600 W
  p.Step(600, kT0 + 600, 10);
  EXPECT_NEAR(V(p, SQ_PAV), 600, 1e-9);  // the window so far
  load(4);  // 2400 W for the rest of the window
  p.Step(300, kT0 + 900, 10);
  EXPECT_NEAR(V(p, SQ_PAV), (600 * 600 + 2400 * 300) / 900.0, 1e-6);
  p.Step(300, kT0 + 1200, 10);  // inside the next window: the last full one still shows
  EXPECT_NEAR(V(p, SQ_PAV), (600 * 600 + 2400 * 300) / 900.0, 1e-6);
  p.ClearAverage();
  EXPECT_NEAR(V(p, SQ_PAV), 2400, 1e-9);
}

TEST(SimPhysics, ExtremesRememberValueAndTime) {
  SimPhysics p(1);
  p.SetFrozen(true);
  p.SetPhase(0, 230, 2, 0);
  p.Step(1, kT0, 10);
  p.SetPhase(0, 240, 2, 0);
  p.Step(1, kT0 + 5, 10);
  p.SetPhase(0, 220, 2, 0);
  p.Step(1, kT0 + 9, 10);
  p.SetPhase(0, 230, 2, 0);
  p.Step(1, kT0 + 12, 10);
  const SimExtreme& e = p.Extreme(SQ_U1);
  EXPECT_DOUBLE_EQ(e.Max, 240);
  EXPECT_EQ(e.MaxTime, kT0 + 5);
  EXPECT_DOUBLE_EQ(e.Min, 220);
  EXPECT_EQ(e.MinTime, kT0 + 9);
  EXPECT_DOUBLE_EQ(p.Extreme(SQ_P1).Max, 480);
}

TEST(SimPhysics, AlarmsHaveHysteresisAndDelay) {
  SimAlarm high;
  EXPECT_FALSE(high.Step(790, 800, 700, 0, 1));
  EXPECT_TRUE(high.Step(800, 800, 700, 0, 1));
  EXPECT_TRUE(high.Step(750, 800, 700, 0, 1));  // between the thresholds: stays on
  EXPECT_FALSE(high.Step(700, 800, 700, 0, 1));
  EXPECT_FALSE(high.Step(750, 800, 700, 0, 1));  // and stays off

  SimAlarm low;  // on below off: an alarm for too little
  EXPECT_TRUE(low.Step(850, 900, 950, 0, 1));
  EXPECT_TRUE(low.Step(920, 900, 950, 0, 1));
  EXPECT_FALSE(low.Step(950, 900, 950, 0, 1));

  SimAlarm delayed;  // the condition must hold for 5 s without a break
  EXPECT_FALSE(delayed.Step(900, 800, 700, 5, 3));
  EXPECT_FALSE(delayed.Step(750, 800, 700, 5, 3));
  EXPECT_FALSE(delayed.Step(900, 800, 700, 5, 3));
  EXPECT_TRUE(delayed.Step(900, 800, 700, 5, 3));
  EXPECT_FALSE(delayed.Step(600, 800, 700, 5, 0));  // ends at once
}

}  // namespace
