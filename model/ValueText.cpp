#include "model/ValueText.h"

#include <charconv>
#include <cmath>

namespace {

constexpr double NO_VALUE_LIMIT = 1.0e20;

}  // namespace

std::string MagnitudeText(double value) {
  const double a = std::fabs(value);
  const int decimals = a < 1 ? 3 : a < 10 ? 2 : a < 1000 ? 1 : 0;
  // to_chars writes exactly what "%0.<n>f" writes in the C locale, whatever
  // locale the GUI toolkit set for the process. The buffer holds the longest
  // double there is in full.
  char buffer[512];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  if (result.ec != std::errc()) return std::string();
  return std::string(buffer, result.ptr);
}

std::string TableValueText(double value) {
  if (!(std::fabs(value) < NO_VALUE_LIMIT)) return "----";
  return MagnitudeText(value);
}
