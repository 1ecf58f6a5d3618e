// The text of a measured value, as the measurement table, the item texts of
// the driver, the service report and kavrel-cli show it.
#pragma once

#include <string>

// A value with as many decimals as its magnitude deserves: three below 1, two
// below 10, one below 1000 and none from there (0.123, 1.23, 12.3, 1234). The
// precision follows the unrounded value, so 9.999 gives "10.00". Always a
// point and an ASCII minus, whatever the C locale says.
std::string MagnitudeText(double value);

// The measurement table's text of a value: "----" when there is no value (at
// or beyond +-1.0e20, or not a number), else MagnitudeText.
std::string TableValueText(double value);
