// Log lines on standard error, one line each, with the "<N>" priority prefix
// journald reads (3 error, 4 warning, 5 notice, 6 info). Thread-safe.
#pragma once

#include <string>

enum class TLogLevel { Error = 3, Warning = 4, Notice = 5, Info = 6 };

void GatewayLog(TLogLevel level, const std::string& text);
