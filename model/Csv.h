// CSV text as RFC 4180 has it: UTF-8, a header line first, fields quoted
// where they hold a comma, a quote or a line end (quotes doubled), every line
// ended by CR LF. Numbers always with a decimal point, whatever the locale.
#pragma once

#include <string>
#include <string_view>
#include <vector>

using TCsvRow = std::vector<std::string>;

std::string CsvField(std::string_view field);
std::string CsvText(const std::vector<TCsvRow>& rows);
// Shortest text that reads back to the same value (a double that is exactly
// a float as that float); "" for no value (NaN, infinite or the meters' 1e20
// mark).
std::string CsvNumber(double value);
