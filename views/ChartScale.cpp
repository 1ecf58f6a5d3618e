#include "views/ChartScale.h"

#include <cmath>

namespace {

std::int64_t FloorTo(std::int64_t value, std::int64_t step) {
  std::int64_t q = value / step;
  if (value % step != 0 && value < 0) --q;
  return q * step;
}

}  // namespace

double NiceStep(double raw) {
  if (!(raw > 0.0) || !std::isfinite(raw)) return 1.0;
  const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
  const double fraction = raw / magnitude;
  const double nice = fraction <= 1.0 + 1e-9 ? 1.0
                      : fraction <= 2.0 + 1e-9 ? 2.0
                      : fraction <= 5.0 + 1e-9 ? 5.0
                                               : 10.0;
  return nice * magnitude;
}

TValueScale NiceScale(double lo, double hi, int maxTicks, double leastStep) {
  if (!(hi > lo)) {
    const double pad = lo == 0.0 ? 1.0 : std::abs(lo) * 0.01;
    lo -= pad;
    hi += pad;
  }
  const double step = std::max(NiceStep((hi - lo) / std::max(1, maxTicks - 1)), leastStep);
  return {std::floor(lo / step + 1e-9) * step, std::ceil(hi / step - 1e-9) * step, step};
}

TTimeScale TimeScale(std::int64_t first, std::int64_t last, std::int64_t increment, int maxLabels,
                     std::int64_t utcOffset) {
  static const std::int64_t steps[] = {
      10 * SECOND_MS, 30 * SECOND_MS, MINUTE_MS, 2 * MINUTE_MS, 5 * MINUTE_MS, 10 * MINUTE_MS,
      15 * MINUTE_MS, 30 * MINUTE_MS, HOUR_MS,   2 * HOUR_MS,   3 * HOUR_MS,   6 * HOUR_MS,
      12 * HOUR_MS,   DAY_MS,         2 * DAY_MS, 7 * DAY_MS};
  const std::int64_t span = last - first;
  std::int64_t step = 0;
  for (std::int64_t candidate : steps) {
    if (candidate < increment) continue;
    step = candidate;
    if (span / candidate <= maxLabels - 1) break;
  }
  if (step == 0) step = increment;
  TTimeScale scale;
  scale.Min = FloorTo(first + utcOffset, step) - utcOffset;
  scale.Max = FloorTo(last + utcOffset, step) - utcOffset;
  if (scale.Max < last) scale.Max += step;
  if (scale.Max <= scale.Min) scale.Max = scale.Min + step;
  const std::int64_t labels = (scale.Max - scale.Min) / step + 1;
  // Points spread over more than weeks (the PC's clock was changed): the
  // labels no longer fall on round times, but there are not too many.
  scale.Ticks = labels > 2 * maxLabels ? maxLabels : int(labels);
  return scale;
}

int MaxTimeLabels(double plotWidth) {
  return plotWidth > 0 ? std::clamp(int(plotWidth / 75), 2, 12) : 6;
}

int MaxValueLabels(double plotHeight) {
  return plotHeight > 0 ? std::clamp(int(plotHeight / 35), 3, 11) : 6;
}

std::optional<TAxisLabels> NumberAxisLabels(double lo, double hi, int maxLabels, double leastStep) {
  if (!(hi > lo) || !std::isfinite(hi - lo)) return std::nullopt;
  const double step = std::max(NiceStep((hi - lo) / std::max(1, maxLabels - 1)), leastStep);
  const double first = std::ceil(lo / step - 1e-9) * step;
  TAxisLabels labels{first - step, {}};
  for (int k = 0; k < 100; ++k) {
    const double value = first + k * step;
    if (value > hi + step * 1e-9) break;
    labels.Values.push_back(value);
  }
  return labels;
}

bool ValidValueRange(double lo, double hi) {
  return std::isfinite(lo) && std::isfinite(hi) && hi > lo && std::abs(lo) < LARGEST_VALUE &&
         std::abs(hi) < LARGEST_VALUE &&
         hi - lo > 1e-9 * std::max({1.0, std::abs(lo), std::abs(hi)});
}

bool ValidTimeRange(double lo, double hi) {
  return std::isfinite(lo) && std::isfinite(hi) && hi - lo >= LEAST_TIME_SPAN &&
         std::abs(lo) < LARGEST_TIME && std::abs(hi) < LARGEST_TIME;
}

TRange ZoomRange(double lo, double hi, int percent) {
  const double factor = (percent - 100) / 100.0;
  const double w = (hi - lo) * factor;
  return {lo + w, hi - w};
}

std::optional<double> ScrollShift(double lo, double hi, int direction, int extentPixels) {
  const int d = extentPixels / 5;
  if (d <= 0) return std::nullopt;
  return direction * (hi - lo) * d / extentPixels;
}

std::optional<float> PlotValue(float value, float noValue) {
  if (std::fabs(value) < ZERO_BAND) value = 0.0f;
  if (!(std::fabs(value) < noValue)) return std::nullopt;
  return value;
}

bool SampleDue(std::int64_t now, std::int64_t next, std::int64_t traceTime) {
  return !(now < next && next - now <= traceTime);
}
