// One serial line polled by a thread of its own.
//
// The meters of the line are polled round-robin, one block per turn, by the
// meter model's own acquisition cycle (TTR5::Update: process block, THD block,
// the relay state every RelayIntervalMs): transactions follow each other as
// fast as the line allows, with only the 3.5-character silence RTU needs
// between frames.
//
// A reply is waited for no longer than the line time of the request and its
// reply, plus the meter's answer delay and a margin, both learnt from the
// replies seen on the line (the margin never below LEARNT_MARGIN_FLOOR_MS); the
// line's reply time-out stays the upper bound, and is the wait until the line
// has answered once. A meter that stops answering is tried again in turn once,
// then after a pause that doubles up to MaxBackoffMs and, within that cap, is
// never shorter than 19 times what its last try cost: its tries take at most
// about 5 % of the line, and the others keep their rate.
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
#include "gateway/PassThrough.h"

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

  // Requests of Modbus TCP clients for this line's meters, served between two
  // polling transactions.
  TPassQueue& PassThrough() { return PassQueue; }

private:
  struct TPolled {
    std::unique_ptr<TTR5> Meter;
    int Index = 0;  // in the state
    int FailStreak = 0;
    TSteadyTime NextTry{};
    double AnswerDelayMs = -1;  // smoothed time from request to reply beyond the line time; -1 unknown
  };

  void Run();
  bool OpenPort();
  void Transact(TPolled& polled);
  void WaitReply(TPolled& polled, int replyCharacters);
  // What the wait for this meter's reply of replyCharacters may last, ms; 0 when
  // nothing has been learnt yet (the reply time-out then holds).
  uint32_t ReplyWaitMs(const TPolled& polled, int replyCharacters) const;
  void LearnAnswerDelay(TPolled& polled, double seconds);
  void Publish(TPolled& polled, int blockStart, int blockCount);
  void DrainEvents(TPolled& polled);
  // Serves the oldest pass-through request, if one waits.
  void ServePassThrough();
  bool SleepFor(std::chrono::microseconds time);  // false when stopping
  double CharacterSeconds() const;

  TLineConfig Line;
  TGatewayState& State;
  std::vector<TGatewaySink*> Sinks;
  std::unique_ptr<TModbusPort> Port;
  std::vector<TPolled> Meters;
  bool BytesSeen = false;  // bytes arrived while the transaction waited
  double JitterMs = 0;     // how far answer delays strayed from their meter's usual, a slowly fading peak
  bool PortOpen = false;
  bool DevicePresent = false;
  bool PortErrorLogged = false;

  std::thread Thread;
  std::mutex Mutex;
  std::condition_variable Wake;
  std::atomic<bool> Stopping{false};
  TPassQueue PassQueue;
};
