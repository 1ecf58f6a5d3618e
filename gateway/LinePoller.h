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
//
// Beside the cycle, in a meter's turn instead of its next block, the energy
// counters are read every EnergyIntervalS and the harmonics (one group of 25
// orders per turn) every HarmonicsIntervalS, while the meter answers. Each
// such read leaves the line to the others for 19 (energy) or 11 (harmonics)
// times what it cost before the next read of its kind, so that they take at
// most 5 % and 8 % of the line, whatever the intervals and however many
// meters: the process values keep their rate, and the reads come later than
// asked where the line cannot give more. An energy counter that goes down is
// a reset: logged, counted and handed to the outputs as an event.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
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
    bool Answering = false;     // its last transaction was answered: reads beside the cycle may follow
    int EnergyGroup = -1;       // its model's energy counters; -1 none
    std::vector<int> HarmonicGroups;  // its model's harmonics groups
    TSteadyTime NextEnergy{};
    TSteadyTime NextHarmonics{};
    TSteadyTime SweepStarted{};  // when the first group of the harmonics under way was read
    size_t HarmonicsCursor = 0;
    float LastCounter[COUNTER_QUANTITIES] = {};  // the energy counters last read; lowest() before
  };

  void Run();
  bool OpenPort();
  void Transact(TPolled& polled);
  // A read of an energy or harmonics group when one is due for the meter;
  // false when none is and the cycle's block is to be read.
  bool ReadBesideCycle(TPolled& polled);
  void PublishGroup(TPolled& polled, int group, const std::vector<float>& values);
  // Calls step (a non-blocking transaction step) until the transaction ends.
  void WaitReply(const std::function<int()>& step, int replyCharacters);
  // Counts a transaction of the meter in its link counters.
  void CountTransaction(TPolled& polled, bool answered, bool exception, bool garbled, double seconds);
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
  TSteadyTime EnergyNotBefore{};     // the line's next energy read, any meter's
  TSteadyTime HarmonicsNotBefore{};  // and harmonics read

  std::thread Thread;
  std::mutex Mutex;
  std::condition_variable Wake;
  std::atomic<bool> Stopping{false};
  TPassQueue PassQueue;
};
