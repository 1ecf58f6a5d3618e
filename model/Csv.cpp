#include "model/Csv.h"

#include <charconv>
#include <cmath>

#include "model/ParamDef.h"

std::string CsvField(std::string_view field) {
  if (field.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(field);
  std::string quoted = "\"";
  for (char c : field) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

std::string CsvText(const std::vector<TCsvRow>& rows) {
  std::string text;
  for (const TCsvRow& row : rows) {
    for (size_t i = 0; i < row.size(); ++i) {
      if (i > 0) text += ',';
      text += CsvField(row[i]);
    }
    text += "\r\n";
  }
  return text;
}

std::string CsvNumber(double value) {
  if (!std::isfinite(value) || std::fabs(value) >= NO_VALUE) return {};
  char text[32];
  // A value that came from a meter's float is written as that float: 2.79,
  // not 2.7899999618530273.
  const float single = static_cast<float>(value);
  const auto [end, ec] = static_cast<double>(single) == value ? std::to_chars(text, text + sizeof text, single)
                                                                : std::to_chars(text, text + sizeof text, value);
  return ec == std::errc() ? std::string(text, end) : std::string();
}
