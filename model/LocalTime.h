// Local calendar time of a count of seconds, on POSIX and Windows alike.
#pragma once

#include <ctime>

// False when the time cannot be converted (out of the system's range).
inline bool ToLocalTime(std::time_t when, std::tm& local) {
#ifdef _WIN32
  return localtime_s(&local, &when) == 0;
#else
  return localtime_r(&when, &local) != nullptr;
#endif
}

#include <string>

// Local time as ISO 8601 ("2026-12-08T14:03:11"); empty when it cannot be converted.
inline std::string IsoLocalTime(std::time_t when) {
  std::tm local{};
  char text[32] = "";
  if (!ToLocalTime(when, local) || std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local) == 0) return {};
  return text;
}
