// One serial line polled by a thread of its own.
//
// The meters of the line are polled round-robin, one block per turn, by the
// meter model's own acquisition cycle (TTR5::Update: process block, THD block,
// the relay state every RelayIntervalMs): transactions follow each other as
// fast as the line allows, with only the 3.5-character silence RTU needs
// between frames. A meter that stops answering is tried again after a pause
// that doubles up to MaxBackoffMs, so it costs the others little line time.
// Link and alarm events come from the meter model as in the GUI.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "gateway/GatewayConfig.h"
#include "gateway/GatewayState.h"

class TModbusPort;
class TTR5;

class TLinePoller {
public:
  // firstMeter: the state's index of the line's first meter (the others follow).
  TLinePoller(TLineConfig line, int firstMeter, TGatewayState& state, std::vector<TGatewaySink*> sinks);
  ~TLinePoller();
  TLinePoller(const TLinePoller&) = delete;
  TLinePoller& operator=(const TLinePoller&) = delete;

  void Start();
  // Ends the thread after the transaction under way; returns once it has ended.
  void Stop();

private:
  struct TPolled {
    std::unique_ptr<TTR5> Meter;
    int Index = 0;  // in the state
    int FailStreak = 0;
    TSteadyTime NextTry{};
  };

  void Run();
  bool OpenPort();
  void Transact(TPolled& polled);
  void WaitReply(TPolled& polled, int replyCharacters);
  void Publish(TPolled& polled, int blockStart, int blockCount);
  void DrainEvents(TPolled& polled);
  bool SleepFor(std::chrono::microseconds time);  // false when stopping
  double CharacterSeconds() const;

  TLineConfig Line;
  TGatewayState& State;
  std::vector<TGatewaySink*> Sinks;
  std::unique_ptr<TModbusPort> Port;
  std::vector<TPolled> Meters;
  bool BytesSeen = false;  // bytes arrived while the transaction waited
  bool PortOpen = false;
  bool DevicePresent = false;
  bool PortErrorLogged = false;

  std::thread Thread;
  std::mutex Mutex;
  std::condition_variable Wake;
  std::atomic<bool> Stopping{false};
};
