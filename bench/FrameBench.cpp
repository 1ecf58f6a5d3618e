// Building and scanning the longest reply the program reads: 34 registers of
// four bytes (the process block), in both framings.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "comm/ModbusFrame.h"

namespace {

std::vector<uint8_t> ProcessBlockReply() {
  std::vector<uint8_t> pdu = {0x01, 0x03, 34 * 4};
  for (int i = 0; i < 34; ++i) {
    const float v = 230.0f + static_cast<float>(i) * 0.25f;
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    for (int s = 24; s >= 0; s -= 8) pdu.push_back(static_cast<uint8_t>(bits >> s));
  }
  return pdu;
}

template <bool Rtu>
void BuildReply(benchmark::State& state) {
  const auto pdu = ProcessBlockReply();
  uint8_t out[600];
  for (auto _ : state) {
    const int n = Rtu ? modbus::BuildRtuFrame(pdu.data(), static_cast<int>(pdu.size()), out, sizeof out)
                      : modbus::BuildAsciiFrame(pdu.data(), static_cast<int>(pdu.size()), out, sizeof out);
    benchmark::DoNotOptimize(n);
    benchmark::ClobberMemory();
  }
}

// One scan of a ring holding the whole reply (the ring indices are put back
// each time, outside the timing), then the 34 values taken as the driver does.
template <bool Rtu>
void ScanReply(benchmark::State& state) {
  const auto pdu = ProcessBlockReply();
  uint8_t frame[600];
  const int n = Rtu ? modbus::BuildRtuFrame(pdu.data(), static_cast<int>(pdu.size()), frame, sizeof frame)
                    : modbus::BuildAsciiFrame(pdu.data(), static_cast<int>(pdu.size()), frame, sizeof frame);
  static uint8_t ring[RING_SIZE];
  const int start = RING_SIZE - 40;  // the frame wraps round the end of the ring
  for (int i = 0; i < n; ++i) ring[(start + i) % RING_SIZE] = frame[i];
  TModbusMessage reply;
  for (auto _ : state) {
    int read = start, write = (start + n) % RING_SIZE;
    const int r = Rtu ? modbus::ParseRtuReply(ring, read, write, reply)
                      : modbus::ParseAsciiReply(ring, read, write, reply);
    if (r != 3) state.SkipWithError("reply not found");
    float sum = 0;
    for (int i = 0; i < 34; ++i) {
      float v;
      modbus::TakeValue(reply, 'f', &v);
      sum += v;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * n);
}

BENCHMARK_TEMPLATE(BuildReply, false)->Name("BuildAsciiReply34");
BENCHMARK_TEMPLATE(BuildReply, true)->Name("BuildRtuReply34");
BENCHMARK_TEMPLATE(ScanReply, false)->Name("ScanAsciiReply34");
BENCHMARK_TEMPLATE(ScanReply, true)->Name("ScanRtuReply34");

}  // namespace
