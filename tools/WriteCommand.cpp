// kavrel-cli write: one setup parameter, confirmed by reading it back.
#include "tools/CliSession.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace cli {

int TSession::Write(const std::string& selectorText, const std::string& value) {
  int selector = 0;
  if (int r = CheckSelector(selectorText, false, selector); r != RC_OK) return r;
  // Letters are a mistake of the command line, not a value the meter refuses.
  char* end = nullptr;
  const double number = std::strtod(value.c_str(), &end);
  if (value.empty() || *end != '\0' || !std::isfinite(number))
    return UsageError("'" + value + "' is not a number");
  if (int r = OpenPort(); r != RC_OK) return r;
  if (!Connect()) return RC_NO_REPLY;
  std::string message;
  const int r = Meter.WriteParameter(selector, value.c_str(), message);
  const TParamDef* def = FindParamDef(selector);
  if (r == WRITE_OK) {
    // What the meter holds, read back after the write (12.7 typed: 12).
    std::string held;
    Meter.FormatValueWithUnit(selector, held, nullptr);
    while (!held.empty() && held.back() == ' ') held.pop_back();  // no unit
    std::printf("%s: %s = %s written\n", Meter.Name, def ? def->Code : "?", held.c_str());
    return RC_OK;
  }
  std::fprintf(stderr, "kavrel-cli: %s%s\n", message.c_str(), r == WRITE_NO_LINK ? Meter.Name : "");
  return (r == WRITE_READ_ONLY || r == WRITE_OUT_OF_RANGE) ? RC_REFUSED : RC_NO_REPLY;
}

}  // namespace cli
