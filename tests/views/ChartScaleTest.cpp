// The trend charts' axis arithmetic on its own: value and time scales (flat,
// negative, huge and invalid ranges, local time, the clock put back), the
// labels that fit, the ranges zoom and scroll refuse, and which samples
// become points.
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

#include "views/ChartScale.h"

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double INF = std::numeric_limits<double>::infinity();
constexpr std::int64_t B = 1'699'920'000'000;  // a midnight, UTC
constexpr float NO_POINT = 1.0e20f;            // the meter's "no value"

struct Scale {
  double Lo, Hi, LeastStep, Min, Max, Step;
};

TEST(ChartScale, ValueScaleWidensToWholeStepsAndOpensAFlatSeries) {
  for (const Scale& c : {Scale{230, 230, 0, 227, 233, 1},  // flat: opened by 1 % either side
                         Scale{0, 0, 0, -1, 1, 0.5},        // flat at zero: opened by 1
                         Scale{-7.3, -2.1, 0, -8, -2, 2},   // negative stays below zero
                         Scale{0.5, 0.502, 0.01, 0.5, 0.51, 0.01}}) {  // the least step wins
    const TValueScale s = NiceScale(c.Lo, c.Hi, 6, c.LeastStep);
    EXPECT_NEAR(s.Min, c.Min, 1e-12) << c.Lo << " .. " << c.Hi;
    EXPECT_NEAR(s.Max, c.Max, 1e-12) << c.Lo << " .. " << c.Hi;
    EXPECT_EQ(s.Step, c.Step) << c.Lo << " .. " << c.Hi;
  }
  const TValueScale huge = NiceScale(-1e20, 1e20, 6, 0);
  EXPECT_TRUE(huge.Min <= -1e20 && huge.Max >= 1e20 && std::isfinite(huge.Max - huge.Min));
  for (double bad : {0.0, -3.0, NaN, INF}) EXPECT_EQ(NiceStep(bad), 1.0) << bad;
}

TEST(ChartScale, TimeScaleFallsOnRoundLocalTimes) {
  TTimeScale t = TimeScale(B + 3'000, B + 50'000, 30'000, 6, 0);
  EXPECT_EQ(t.Min, B);
  EXPECT_EQ(t.Max, B + 60'000);
  EXPECT_EQ(t.Ticks, 3);
  // Nine hours take a 2 h step; one hour east of UTC the labels fall on even
  // local hours, i.e. on odd hours of UTC.
  const std::int64_t first = B + HOUR_MS + 10 * MINUTE_MS, last = first + 9 * HOUR_MS;
  t = TimeScale(first, last, 30'000, 6, HOUR_MS);
  EXPECT_EQ(t.Min, B + HOUR_MS);
  EXPECT_EQ(t.Max, B + 11 * HOUR_MS);
  EXPECT_EQ(t.Ticks, 6);
  EXPECT_EQ(TimeScale(first, last, 30'000, 6, 0).Min, B);
  // Before the epoch the floor still rounds down; one point is a step wide.
  t = TimeScale(-90'000, -10'000, 30'000, 6, 0);
  EXPECT_EQ(t.Min, -90'000);
  EXPECT_EQ(t.Max, 0);
  t = TimeScale(B + 5'000, B + 5'000, 10'000, 6, 0);
  EXPECT_EQ(t.Max - t.Min, 10'000);
  // Points months apart (the clock was changed): few labels, not one a week.
  t = TimeScale(B, B + 120 * DAY_MS, 30'000, 6, 0);
  EXPECT_TRUE(t.Min <= B && t.Max >= B + 120 * DAY_MS);
  EXPECT_EQ(t.Ticks, 6);
  t = TimeScale(B, B + DAY_MS, 30 * DAY_MS, 6, 0);  // an increment beyond every round step
  EXPECT_EQ(t.Max - t.Min, 30 * DAY_MS);
}

TEST(ChartScale, NumberLabelsFitThePlotAreaAndSkipRangesWithoutRoom) {
  EXPECT_EQ(MaxTimeLabels(0), 6);  // not laid out yet
  EXPECT_EQ(MaxTimeLabels(100), 2);
  EXPECT_EQ(MaxTimeLabels(5000), 12);
  EXPECT_EQ(MaxValueLabels(70), 3);
  EXPECT_EQ(MaxValueLabels(1000), 11);

  std::optional<TAxisLabels> labels = NumberAxisLabels(0, 1, 6, 0);
  ASSERT_TRUE(labels);
  EXPECT_NEAR(labels->Start, -0.2, 1e-12);
  ASSERT_EQ(labels->Values.size(), 6u);
  EXPECT_NEAR(labels->Values.back(), 1.0, 1e-12);
  labels = NumberAxisLabels(0.5, 0.502, 6, 0.01);  // narrower than the least step
  ASSERT_TRUE(labels);
  EXPECT_EQ(labels->Values.size(), 1u);
  EXPECT_EQ(NumberAxisLabels(0, 1000, 5000, 0)->Values.size(), 100u);  // never more
  for (auto [lo, hi] : {std::pair{1.0, 1.0}, {2.0, 1.0}, {0.0, INF}, {-1e308, 1e308}, {NaN, 1.0}})
    EXPECT_FALSE(NumberAxisLabels(lo, hi, 6, 0)) << lo << " .. " << hi;
}

TEST(ChartScale, ZoomAndScrollStopAtRangesThatCannotBeShown) {
  EXPECT_TRUE(ValidValueRange(0, 9e20));
  EXPECT_TRUE(ValidValueRange(1e6, 1e6 + 0.01));
  for (auto [lo, hi] : {std::pair{1.0, 0.0}, {1.0, 1.0}, {NaN, 1.0}, {0.0, INF}, {-1e21, 0.0},
                        {1e6, 1e6 + 1e-4}})
    EXPECT_FALSE(ValidValueRange(lo, hi)) << lo << " .. " << hi;
  EXPECT_TRUE(ValidTimeRange(0, 1000));
  for (auto [lo, hi] : {std::pair{0.0, 999.0}, {0.0, 1e14}, {NaN, 1e6}})
    EXPECT_FALSE(ValidTimeRange(lo, hi)) << lo << " .. " << hi;

  const TRange in = ZoomRange(100, 200, 110), out = ZoomRange(100, 200, 90);
  EXPECT_DOUBLE_EQ(in.Min, 110);
  EXPECT_DOUBLE_EQ(in.Max, 190);
  EXPECT_DOUBLE_EQ(out.Min, 90);
  EXPECT_DOUBLE_EQ(out.Max, 210);
  EXPECT_FALSE(ScrollShift(0, 1000, 1, 4));  // under five pixels: no move
  EXPECT_EQ(ScrollShift(0, 1000, 1, 500), 200.0);
  EXPECT_NEAR(*ScrollShift(0, 1000, -1, 503), -1000.0 * 100 / 503, 1e-9);  // whole pixels
}

TEST(ChartScale, ZeroBandNoValueAndWhenAChartSamples) {
  EXPECT_EQ(PlotValue(0.00005f, NO_POINT), 0.0f);
  EXPECT_EQ(PlotValue(-0.00009f, NO_POINT), 0.0f);
  EXPECT_EQ(PlotValue(-0.0002f, NO_POINT), -0.0002f);
  EXPECT_EQ(PlotValue(9.9e19f, NO_POINT), 9.9e19f);
  for (float none : {NO_POINT, -NO_POINT, float(NaN), float(INF)})
    EXPECT_FALSE(PlotValue(none, NO_POINT)) << none;
  TExtent e;
  for (double v : {NaN, -3.0, 2.0, NaN}) e.Add(v);
  EXPECT_EQ(e.Min, -3.0);
  EXPECT_EQ(e.Max, 2.0);

  EXPECT_TRUE(SampleDue(1000, 0, 5000));  // never sampled
  EXPECT_FALSE(SampleDue(B + 4999, B + 5000, 5000));
  EXPECT_TRUE(SampleDue(B + 5000, B + 5000, 5000));
  EXPECT_FALSE(SampleDue(B, B + 5000, 5000));  // one whole trace time ahead: wait
  EXPECT_TRUE(SampleDue(B, B + 5001, 5000));   // more: the clock was put back
}

}  // namespace
