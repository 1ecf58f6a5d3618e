// Thins a stream of samples to at most one value per meter and quantity in
// each interval, for outputs that want a steady rate rather than every read.
// Thread-safe.
#pragma once

#include <mutex>
#include <vector>

#include "gateway/GatewayState.h"

class TSampleThrottle {
public:
  TSampleThrottle(int meters, double intervalS)
      : Interval(std::chrono::duration_cast<std::chrono::system_clock::duration>(
            std::chrono::duration<double>(intervalS))),
        Last(static_cast<size_t>(meters) * QUANTITY_COUNT) {}

  // The values of the sample that are due; empty when none is.
  TSample Due(const TSample& sample) {
    TSample out;
    out.Meter = sample.Meter;
    out.Time = sample.Time;
    std::lock_guard lock(Mutex);
    for (const auto& [q, value] : sample.Values) {
      const size_t slot = static_cast<size_t>(sample.Meter) * QUANTITY_COUNT + static_cast<size_t>(q);
      if (slot >= Last.size()) continue;
      if (Last[slot] != TSystemTime{} && sample.Time - Last[slot] < Interval) continue;
      Last[slot] = sample.Time;
      out.Values.emplace_back(q, value);
    }
    return out;
  }

private:
  const std::chrono::system_clock::duration Interval;
  std::mutex Mutex;
  std::vector<TSystemTime> Last;
};
