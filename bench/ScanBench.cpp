// Time of a full bus scan (addresses 1 to 247) at 19200 and 9600 bit/s, in
// ASCII and RTU, on a line with four simulated meters that send their replies
// at the pace of the baud rate, at once or 150 ms late (found only by the
// second, longer probe of a silent address). Not a micro-benchmark: one sweep
// per case, reported as the counters sweep_s (measured), estimate_s (what the
// scan promises for a silent line before it starts: both probes of every
// address), latency_ms (measured on the answers) and second_probe_ms (the wait
// of a second probe at the end of the sweep). Run: build/bench/kavrel_scan_bench
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "comm/Trans.h"
#include "model/BusScan.h"
#include "model/ParamDef.h"
#include "sim/SimServer.h"

namespace {

char Directory[] = "/tmp/kavrel-scan-bench-XXXXXX";

void RemoveDirectory() { rmdir(Directory); }

// The port "COM1" is looked for in the working directory: run in a fresh one,
// removed at exit (the simulator takes its link away when it stops).
const std::string& WorkDirectory() {
  static const std::string dir = [] {
    if (!mkdtemp(Directory) || chdir(Directory) != 0) std::abort();
    std::atexit(RemoveDirectory);
    return std::string(Directory);
  }();
  return dir;
}

void FullSweep(benchmark::State& state) {
  const int baudIndex = static_cast<int>(state.range(0));
  const int mode = static_cast<int>(state.range(1));
  const int delayMs = static_cast<int>(state.range(2));
  SimConfig config;
  config.Meters = {{MT_TR5, 3}, {MT_VR5, 17}, {MT_TR5B, 120}, {MT_TR8, 247}};
  config.Mode = mode;
  config.Baud = baudIndex == 6 ? 19200 : 9600;
  config.LinkPath = WorkDirectory() + "/COM1";
  config.ForceLink = true;
  config.Pace = true;
  SimServer sim(config);
  std::string error;
  if (!sim.Start(&error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  sim.SetFaults(SimFaults{.DelayMs = delayMs});
  TModbusPort port;
  if (port.Configure(0, baudIndex, mode, 0) != 0) {
    state.SkipWithError("cannot open COM1");
    return;
  }
  size_t found = 0;
  double seconds = 0;
  uint32_t estimate = 0, latency = 0, secondProbe = 0;
  for (auto _ : state) {
    TBusScan scan(port);
    estimate = scan.EstimateMs();
    const auto t0 = std::chrono::steady_clock::now();
    found = scan.Run().Finds.size();
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    latency = scan.LatencyMs;
    secondProbe = scan.SecondProbeTimeoutMs({baudIndex, mode});
  }
  if (found != 4) state.SkipWithError("not every meter was found");
  state.counters["sweep_s"] = seconds;
  state.counters["estimate_s"] = estimate / 1000.0;
  state.counters["latency_ms"] = latency;
  state.counters["second_probe_ms"] = secondProbe;
  state.counters["found"] = static_cast<double>(found);
}

BENCHMARK(FullSweep)
    ->ArgNames({"baud_index", "mode", "delay_ms"})
    ->Args({6, 0, 0})
    ->Args({6, 6, 0})
    ->Args({5, 0, 0})
    ->Args({5, 6, 0})
    ->Args({6, 0, 150})
    ->Args({6, 6, 150})
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

}  // namespace
