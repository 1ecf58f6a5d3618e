// The text of a measured value, shared by the table window, the driver's item
// texts, the service report and kavrel-cli.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>

#include "model/ValueText.h"

namespace {

// What "%0.<n>f" makes of the value with the decimals of its magnitude.
std::string Printed(double v) {
  const double a = std::fabs(v);
  const char* format = a < 1 ? "%0.3f" : a < 10 ? "%0.2f" : a < 1000 ? "%0.1f" : "%0.0f";
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, format, v);
  return buffer;
}

}  // namespace

TEST(ValueText, DecimalsFollowTheUnroundedMagnitude) {
  const std::pair<double, const char*> cases[] = {
      {0.0, "0.000"},    {-0.0, "-0.000"},  {0.9995, "1.000"},   {0.99949, "0.999"}, {1.0, "1.00"},
      {9.999, "10.00"},  {10.0, "10.0"},    {999.96, "1000.0"},  {1000.0, "1000"},   {-1000.4, "-1000"},
      {-0.25, "-0.250"}, {12345.6, "12346"}, {9.99e19, "99900000000000000000"},
  };
  for (const auto& [value, text] : cases) {
    EXPECT_EQ(MagnitudeText(value), text) << value;
    EXPECT_EQ(TableValueText(value), text) << value;
  }
}

TEST(ValueText, TableMarksNoValueAndTheModelTextKeepsAnyNumberWhole) {
  const double noValues[] = {1.0e20, -1.0e20, 1.0e300, std::numeric_limits<double>::quiet_NaN(), -INFINITY};
  for (double v : noValues) EXPECT_EQ(TableValueText(v), "----") << v;
  // The largest double still comes out in full, not cut at a buffer's end.
  const std::string huge = MagnitudeText(std::numeric_limits<double>::max());
  EXPECT_EQ(huge.size(), 309u);
  EXPECT_EQ(huge.compare(0, 17, "17976931348623157"), 0) << huge;
}

// The same digits as the C library prints in the C locale, the rule all three
// former copies followed, across the magnitudes and the float values the
// meters send.
TEST(ValueText, SameDigitsAsPrintfInTheCLocale) {
  std::mt19937 random(7);
  std::uniform_real_distribution<double> exponent(-4.0, 12.0);
  for (int i = 0; i < 20000; ++i) {
    const double magnitude = std::pow(10.0, exponent(random));
    const double v = static_cast<float>(i % 2 ? magnitude : -magnitude);
    ASSERT_EQ(MagnitudeText(v), Printed(v)) << v;
  }
}
