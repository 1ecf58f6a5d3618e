#include "comm/LineFraming.h"

#include <cctype>

namespace {

struct TFramedMode {
  const char* Framing;
  const char* Format;
  int Mode;
};

constexpr TFramedMode MODES[] = {
    {"ascii", "8N1", 0}, {"ascii", "7E1", 1}, {"ascii", "7O1", 2}, {"rtu", "8N2", 3},
    {"rtu", "8E1", 4},   {"rtu", "8O1", 5},   {"rtu", "8N1", 6},
};

std::string Cased(std::string_view text, bool upper) {
  std::string out;
  for (char c : text)
    out += static_cast<char>(upper ? std::toupper(static_cast<unsigned char>(c))
                                   : std::tolower(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

int ModeFromFraming(std::string_view framing, std::string_view format, std::string& error) {
  const std::string fr = Cased(framing, false);
  const std::string f = format.empty() ? std::string("8N1") : Cased(format, true);
  if (fr != "ascii" && fr != "rtu") {
    error = "framing must be ascii or rtu, not \"" + std::string(framing) + "\"";
    return -1;
  }
  std::string formats;
  for (const TFramedMode& m : MODES) {
    if (fr != m.Framing) continue;
    if (f == m.Format) return m.Mode;
    formats += (formats.empty() ? "" : ", ") + std::string(m.Format);
  }
  error = "format \"" + std::string(format) + "\" is not one of " + Cased(fr, true) + "'s " + formats;
  return -1;
}
