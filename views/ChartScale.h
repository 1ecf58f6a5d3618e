// The arithmetic behind the trend charts' axes, apart from any drawing: value
// ranges widened to round steps, time ranges widened to round times of day,
// how many labels fit, which ranges the charts refuse to zoom or scroll to,
// and which samples become points. Times are milliseconds since the epoch.
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

inline constexpr std::int64_t SECOND_MS = 1000;
inline constexpr std::int64_t MINUTE_MS = 60 * SECOND_MS;
inline constexpr std::int64_t HOUR_MS = 60 * MINUTE_MS;
inline constexpr std::int64_t DAY_MS = 24 * HOUR_MS;

// Values this close to zero are plotted as zero.
inline constexpr float ZERO_BAND = 0.0001f;

// Axis ranges the charts refuse to zoom or scroll to: narrower than this, or
// reaching beyond what a date or a float can hold.
inline constexpr double LEAST_TIME_SPAN = 1000.0;  // ms
inline constexpr double LARGEST_TIME = 1.0e14;     // ms from the epoch, about the year 5100
inline constexpr double LARGEST_VALUE = 1.0e21;

// The step of 1, 2 or 5 times a power of ten at or above raw; 1 for a raw
// step that is not a positive finite number.
double NiceStep(double raw);

struct TValueScale {
  double Min, Max, Step;
};

// The range from lo to hi widened to whole steps, with at most about maxTicks
// labels and steps of at least leastStep. A flat range is opened a little
// around its value.
TValueScale NiceScale(double lo, double hi, int maxTicks, double leastStep);

struct TTimeScale {
  std::int64_t Min, Max;
  int Ticks;
};

// The time range from first to last widened to whole label steps of local
// time (utcOffset: local time minus UTC at first, in ms); the step is the
// label increment or a round multiple of it, chosen so that no more than
// about maxLabels labels are needed.
TTimeScale TimeScale(std::int64_t first, std::int64_t last, std::int64_t increment, int maxLabels,
                     std::int64_t utcOffset);

// Room for labels along a plot area of this width or height in pixels; a
// default before the chart has been laid out (0).
int MaxTimeLabels(double plotWidth);
int MaxValueLabels(double plotHeight);

// The labels of a number axis over lo..hi: round values inside the range,
// at most about maxLabels of them and steps of at least leastStep, and the
// axis' start value one step below the first. None for an empty, inverted
// or unbounded range.
struct TAxisLabels {
  double Start;
  std::vector<double> Values;
};
std::optional<TAxisLabels> NumberAxisLabels(double lo, double hi, int maxLabels, double leastStep);

// The smallest and largest of the values added; empty before the first.
struct TExtent {
  double Min = std::numeric_limits<double>::infinity();
  double Max = -std::numeric_limits<double>::infinity();
  bool Empty() const { return Min > Max; }
  void Add(double v) {
    Min = std::min(Min, v);
    Max = std::max(Max, v);
  }
};

// Ranges a value axis or the time axis may be set to.
bool ValidValueRange(double lo, double hi);
bool ValidTimeRange(double lo, double hi);

struct TRange {
  double Min, Max;
};

// lo..hi narrowed (percent above 100) or widened (below 100) at both ends by
// (percent - 100) % of its width.
TRange ZoomRange(double lo, double hi, int percent);

// How far one press of a scroll button moves the range lo..hi: a fifth of the
// plot's extent in whole pixels, in direction (+1, -1). None when the plot is
// too small to move by a pixel.
std::optional<double> ScrollShift(double lo, double hi, int direction, int extentPixels);

// The point a sample of value gives: values inside the zero band become 0;
// noValue and beyond (and anything not a number) give none.
std::optional<float> PlotValue(float value, float noValue);

// Whether a chart sampling every traceTime whose next sample is due at next
// samples at now. A next time more than one trace time ahead means the clock
// was put back: it samples at once rather than wait for it.
bool SampleDue(std::int64_t now, std::int64_t next, std::int64_t traceTime);
