// Where a test's simulator serves the program's port "COM<n>": on POSIX a
// link "COM<n>" in the test's directory; on Windows the far end of the pair
// tests/wine/wine_gui_ports.sh joins to COM<n>, which is COM<n+10>.
#pragma once

#include <string>

#include "sim/SimServer.h"

constexpr int SIM_PAIRED_PORT_OFFSET = 10;

inline void ServeComPort(SimConfig& config, [[maybe_unused]] const std::string& dir, int n) {
#ifdef _WIN32
  config.LinkPath.clear();
  config.Device = "COM" + std::to_string(n + SIM_PAIRED_PORT_OFFSET);
#else
  config.LinkPath = dir + "/COM" + std::to_string(n);
#endif
}
