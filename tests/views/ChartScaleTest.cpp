// The trend charts' axis arithmetic on its own: round steps, value and time
// scales (flat, negative, huge and invalid ranges, local time, the clock put
// back), the labels that fit, the ranges zoom and scroll refuse, and which
// samples become points.
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

#include "ChartScale.h"

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double INF = std::numeric_limits<double>::infinity();
constexpr std::int64_t B = 1'699'920'000'000;  // a midnight, UTC
constexpr float NO_POINT = 1.0e20f;            // the meter's "no value"

TEST(ChartScale, StepsAreOneTwoOrFiveTimesAPowerOfTen) {
  EXPECT_EQ(NiceStep(1.0), 1.0);
  EXPECT_EQ(NiceStep(1.2), 2.0);
  EXPECT_EQ(NiceStep(2.0), 2.0);
  EXPECT_EQ(NiceStep(3.0), 5.0);
  EXPECT_EQ(NiceStep(7.0), 10.0);
  EXPECT_EQ(NiceStep(250.0), 500.0);
  EXPECT_DOUBLE_EQ(NiceStep(0.03), 0.05);
  for (double bad : {0.0, -3.0, NaN, INF}) EXPECT_EQ(NiceStep(bad), 1.0) << bad;
}

TEST(ChartScale, ValueScaleWidensToWholeStepsAndOpensAFlatSeries) {
  TValueScale s = NiceScale(230, 230, 6, 0);  // flat: opened by 1 % either side
  EXPECT_EQ(s.Step, 1.0);
  EXPECT_EQ(s.Min, 227.0);
  EXPECT_EQ(s.Max, 233.0);
  s = NiceScale(0, 0, 6, 0);  // flat at zero: opened by 1
  EXPECT_EQ(s.Min, -1.0);
  EXPECT_EQ(s.Max, 1.0);
  EXPECT_EQ(s.Step, 0.5);
  s = NiceScale(-7.3, -2.1, 6, 0);  // negative values stay below zero
  EXPECT_EQ(s.Min, -8.0);
  EXPECT_EQ(s.Max, -2.0);
  EXPECT_EQ(s.Step, 2.0);
  s = NiceScale(0.5, 0.502, 6, 0.01);  // the least step wins over a finer one
  EXPECT_EQ(s.Step, 0.01);
  EXPECT_NEAR(s.Min, 0.5, 1e-12);
  EXPECT_NEAR(s.Max, 0.51, 1e-12);
  s = NiceScale(0, 10, 0, 0);  // no room for ticks: one step over the range
  EXPECT_EQ(s.Step, 10.0);
  EXPECT_EQ(s.Max, 10.0);
  s = NiceScale(-1e20, 1e20, 6, 0);  // huge values still give a finite scale
  EXPECT_TRUE(std::isfinite(s.Min) && std::isfinite(s.Max));
  EXPECT_LE(s.Min, -1e20);
  EXPECT_GE(s.Max, 1e20);
}

TEST(ChartScale, TimeScaleFallsOnRoundLocalTimes) {
  TTimeScale t = TimeScale(B + 3'000, B + 50'000, 30'000, 6, 0);
  EXPECT_EQ(t.Min, B);
  EXPECT_EQ(t.Max, B + 60'000);
  EXPECT_EQ(t.Ticks, 3);
  // Nine hours need a 2 h step; one hour east of UTC the labels fall on even
  // local hours, i.e. on odd hours of UTC.
  const std::int64_t first = B + HOUR_MS + 10 * MINUTE_MS, last = first + 9 * HOUR_MS;
  t = TimeScale(first, last, 30'000, 6, HOUR_MS);
  EXPECT_EQ(t.Min, B + HOUR_MS);
  EXPECT_EQ(t.Max, B + 11 * HOUR_MS);
  EXPECT_EQ(t.Ticks, 6);
  t = TimeScale(first, last, 30'000, 6, 0);
  EXPECT_EQ(t.Min, B);
  EXPECT_EQ(t.Max, B + 12 * HOUR_MS);
  // Before the epoch the floor still rounds down.
  t = TimeScale(-90'000, -10'000, 30'000, 6, 0);
  EXPECT_EQ(t.Min, -90'000);
  EXPECT_EQ(t.Max, 0);
  // One point: a single step wide.
  t = TimeScale(B + 5'000, B + 5'000, 10'000, 6, 0);
  EXPECT_EQ(t.Min, B);
  EXPECT_EQ(t.Max, B + 10'000);
  EXPECT_EQ(t.Ticks, 2);
}

TEST(ChartScale, TimeScaleCopesWithAClockChangedByMonthsAndWithLongIncrements) {
  TTimeScale t = TimeScale(B, B + 120 * DAY_MS, 30'000, 6, 0);
  EXPECT_LE(t.Min, B);
  EXPECT_GE(t.Max, B + 120 * DAY_MS);
  EXPECT_EQ(t.Ticks, 6);  // not one label a week
  t = TimeScale(B, B + DAY_MS, 30 * DAY_MS, 6, 0);  // beyond every round step
  EXPECT_LE(t.Min, B);
  EXPECT_EQ(t.Max - t.Min, 30 * DAY_MS);
}

TEST(ChartScale, LabelsThatFitThePlotArea) {
  EXPECT_EQ(MaxTimeLabels(0), 6);  // not laid out yet
  EXPECT_EQ(MaxTimeLabels(-5), 6);
  EXPECT_EQ(MaxTimeLabels(100), 2);
  EXPECT_EQ(MaxTimeLabels(600), 8);
  EXPECT_EQ(MaxTimeLabels(5000), 12);
  EXPECT_EQ(MaxValueLabels(0), 6);
  EXPECT_EQ(MaxValueLabels(70), 3);
  EXPECT_EQ(MaxValueLabels(350), 10);
  EXPECT_EQ(MaxValueLabels(1000), 11);

  std::optional<TAxisLabels> labels = NumberAxisLabels(0, 1, 6, 0);
  ASSERT_TRUE(labels);
  EXPECT_NEAR(labels->Start, -0.2, 1e-12);
  ASSERT_EQ(labels->Values.size(), 6u);
  EXPECT_EQ(labels->Values.front(), 0.0);
  EXPECT_NEAR(labels->Values.back(), 1.0, 1e-12);
  labels = NumberAxisLabels(0.5, 0.502, 6, 0.01);  // narrower than the least step
  ASSERT_TRUE(labels);
  ASSERT_EQ(labels->Values.size(), 1u);
  EXPECT_NEAR(labels->Values[0], 0.5, 1e-12);
  labels = NumberAxisLabels(0, 1000, 5000, 0);  // never more than 100
  ASSERT_TRUE(labels);
  EXPECT_EQ(labels->Values.size(), 100u);
  for (auto [lo, hi] : {std::pair{1.0, 1.0}, {2.0, 1.0}, {0.0, INF}, {-1e308, 1e308}, {NaN, 1.0}})
    EXPECT_FALSE(NumberAxisLabels(lo, hi, 6, 0)) << lo << " .. " << hi;
}

TEST(ChartScale, ZoomAndScrollStopAtRangesThatCannotBeShown) {
  EXPECT_TRUE(ValidValueRange(0, 1));
  EXPECT_TRUE(ValidValueRange(0, 9e20));
  EXPECT_TRUE(ValidValueRange(1e6, 1e6 + 0.01));
  for (auto [lo, hi] : {std::pair{1.0, 0.0}, {1.0, 1.0}, {NaN, 1.0}, {0.0, INF}, {-1e21, 0.0},
                        {1e6, 1e6 + 1e-4}, {0.0, 1e-10}})
    EXPECT_FALSE(ValidValueRange(lo, hi)) << lo << " .. " << hi;
  EXPECT_TRUE(ValidTimeRange(0, 1000));
  EXPECT_TRUE(ValidTimeRange(double(B), double(B) + 60'000));
  for (auto [lo, hi] : {std::pair{0.0, 999.0}, {1000.0, 0.0}, {0.0, 1e14}, {NaN, 1e6}, {0.0, INF}})
    EXPECT_FALSE(ValidTimeRange(lo, hi)) << lo << " .. " << hi;

  TRange r = ZoomRange(100, 200, 110);
  EXPECT_DOUBLE_EQ(r.Min, 110);
  EXPECT_DOUBLE_EQ(r.Max, 190);
  r = ZoomRange(100, 200, 90);
  EXPECT_DOUBLE_EQ(r.Min, 90);
  EXPECT_DOUBLE_EQ(r.Max, 210);

  EXPECT_FALSE(ScrollShift(0, 1000, 1, 4));  // under five pixels: no move
  EXPECT_FALSE(ScrollShift(0, 1000, 1, 0));
  EXPECT_EQ(ScrollShift(0, 1000, 1, 500), 200.0);
  EXPECT_NEAR(*ScrollShift(0, 1000, -1, 503), -1000.0 * 100 / 503, 1e-9);  // whole pixels
}

TEST(ChartScale, SamplesInsideTheZeroBandAreZeroAndNoValueGivesNoPoint) {
  EXPECT_EQ(PlotValue(0.00005f, NO_POINT), 0.0f);
  EXPECT_EQ(PlotValue(-0.00009f, NO_POINT), 0.0f);
  EXPECT_EQ(PlotValue(-0.0002f, NO_POINT), -0.0002f);
  EXPECT_EQ(PlotValue(231.5f, NO_POINT), 231.5f);
  EXPECT_EQ(PlotValue(9.9e19f, NO_POINT), 9.9e19f);
  for (float none : {NO_POINT, -NO_POINT, 2e21f, float(NaN), float(INF)})
    EXPECT_FALSE(PlotValue(none, NO_POINT)) << none;

  TExtent e;
  e.Add(NaN);
  EXPECT_TRUE(e.Empty());
  e.Add(-3);
  e.Add(2);
  e.Add(NaN);
  EXPECT_EQ(e.Min, -3.0);
  EXPECT_EQ(e.Max, 2.0);
}

TEST(ChartScale, AChartSamplesWhenDueOrWhenTheClockWasPutBack) {
  EXPECT_TRUE(SampleDue(1000, 0, 5000));  // never sampled
  EXPECT_FALSE(SampleDue(B + 4999, B + 5000, 5000));
  EXPECT_TRUE(SampleDue(B + 5000, B + 5000, 5000));
  EXPECT_FALSE(SampleDue(B, B + 5000, 5000));
  EXPECT_TRUE(SampleDue(B, B + 5001, 5000));  // more than a trace time ahead
}

}  // namespace
