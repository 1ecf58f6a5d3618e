// Requests of Modbus TCP clients that only the meter can answer (reads of
// registers the gateway does not poll, writes), queued per line. The line's
// thread serves one between two of its polling transactions, so they never
// interleave with polling and cannot crowd it out; the queue's limit bounds
// what clients may ask of the line.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

class TModbusPort;
class TTR5;

struct TPassResult {
  uint8_t Exception = 0;       // 0: done
  std::vector<uint8_t> Bytes;  // a read's register bytes as the meter sent them
};

struct TPassRequest {
  int Meter = 0;  // the state's index
  uint8_t Function = 3;
  uint16_t Register = 0;
  uint16_t Count = 0;  // registers read, or the value written
  std::string Client;  // the client's address, for the log
  std::string MeterName;
  std::chrono::steady_clock::time_point Deadline{};  // not carried out after this
  std::function<void(TPassResult)> Done;             // called once, on the line's thread
};

class TPassQueue {
public:
  enum class TPush { Queued, Full, Closed };
  void SetLimit(size_t limit);
  TPush Push(TPassRequest request);
  // The oldest request; false when none waits.
  bool Pop(TPassRequest& request);
  size_t Depth() const;
  // Answers every waiting request with the exception code; closing also refuses later ones.
  void FailAll(uint8_t code, bool close);
  void Open();

private:
  mutable std::mutex Mutex;
  std::deque<TPassRequest> Waiting;
  size_t Limit = 8;
  bool Closed = false;
};

// Carries out one request on the line through the meter model: a read with the
// port's blocking read, a write through the meter's own writing path (limits,
// read-back, the command-register rule). Logs every write with the client.
TPassResult ServePassRequest(const TPassRequest& request, TModbusPort& port, TTR5& meter);

// The parameter selector (group * 100 + item) of a setup register on the
// meter's model; 0 when the model has no such register.
int SelectorOfRegister(int meterType, int reg);
