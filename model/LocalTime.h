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
