#include "gateway/GatewayLog.h"

#include <cstdio>
#include <mutex>

namespace {
std::mutex LogMutex;
}

void GatewayLog(TLogLevel level, const std::string& text) {
  std::string line = "<" + std::to_string(static_cast<int>(level)) + ">";
  // One event, one line: line breaks in a text would split it in the journal.
  for (char c : text) line += (c == '\n' || c == '\r') ? ' ' : c;
  line += '\n';
  std::lock_guard lock(LogMutex);
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}
