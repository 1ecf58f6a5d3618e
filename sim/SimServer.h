// The meter simulator as a component: one line (a pseudo-terminal linked as
// e.g. "COM1", or a real serial device) with one or more simulated meters on
// it, served on a thread of its own until stopped.
//
//   SimConfig config;                        // one TR5 at address 1, ASCII 19200 8N1
//   config.LinkPath = dir + "/COM1";
//   SimServer sim(config);
//   std::string error;
//   if (!sim.Start(&error)) ...              // the link exists once Start returns
//   ... open "COM1" in `dir` and talk to the meter ...
//   sim.WaitForRequests(2, 5s);
//   auto log = sim.Requests();               // what the master asked, in order
//   sim.SetFaults(SimFaults{.NoReply = true});
//   sim.HoldRegister(1, 4030, 5);            // relay output: alarms A1 and A3
//   sim.Stop();                              // also done by the destructor
//
// All calls are thread-safe. The server thread is the only one touching the
// line while it runs.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "sim/SimFraming.h"
#include "sim/SimLine.h"
#include "sim/SimMeter.h"

struct SimMeterConfig {
  int Type = 80;    // meter type code: 80 TR5, 81 TR5B, 85 VR5, 86 VR5B, 118 TR8
  int Address = 1;  // 1..247
};

struct SimConfig {
  std::vector<SimMeterConfig> Meters{SimMeterConfig{}};
  int Mode = 0;                   // transmission mode 0..6: 0-2 ASCII, 3-6 RTU
  int Baud = 19200;               // 300 .. 19200
  std::string LinkPath = "COM1";  // link to the pseudo-terminal; empty: no link
  std::string Device;             // a real serial device to serve instead of a pseudo-terminal
  bool ForceLink = false;         // replace an existing symbolic link at LinkPath
  bool Pace = false;              // send replies no faster than the baud rate allows
  uint32_t Seed = 1;              // of the load's random drift
};

// Line faults; they hit replies to requests the meters answer. A meter that is
// silent or answers with an exception does not carry out the request.
struct SimFaults {
  bool NoReply = false;    // answer nothing
  int DelayMs = 0;         // answer this late
  bool BadCheck = false;   // spoil the LRC or CRC
  int NoiseBytes = 0;      // send this many noise bytes before the reply
  bool WrongAddress = false;  // answer as if from the next address up
  int ExceptionCode = 0;   // answer with this exception code instead
  int TrickleMs = 0;       // send the reply byte by byte, this far apart
  int OnlyAddress = 0;     // the faults hit only this meter; 0 all
  int ForReplies = 0;      // > 0: the faults end by themselves after this many replies
  // The line itself, not a meter: every byte the master sends comes straight
  // back to it, as on a 2-wire adapter with local echo. Not ended by ForReplies.
  bool Echo = false;

  bool Any() const {
    return NoReply || DelayMs > 0 || BadCheck || NoiseBytes > 0 || WrongAddress || ExceptionCode > 0 ||
           TrickleMs > 0 || Echo;
  }
};

// One request seen on the line (check correct).
struct SimRequest {
  double Time = 0;    // seconds since the server was made
  int Address = 0;
  int Function = 0;
  int Register = -1;  // functions 3 and 6
  int Count = 0;      // function 3: registers asked for
  int Value = 0;      // function 6: value written (signed 16-bit)
  int Reply = 0;      // function code of the answer sent (0x83 for an exception to 3), 0 none
  int Exception = 0;  // exception code of that answer, else 0
};

class SimServer {
public:
  explicit SimServer(SimConfig config = {});
  ~SimServer();
  SimServer(const SimServer&) = delete;
  SimServer& operator=(const SimServer&) = delete;

  // Checks a configuration; the reason goes to `error`.
  static bool Validate(const SimConfig& config, std::string& error);

  // Opens the line (creating and linking the pseudo-terminal) and starts
  // serving. False with a reason when the configuration or the line fails.
  bool Start(std::string* error = nullptr);
  // Stops serving, closes the line and removes the link. Idempotent.
  void Stop();
  bool Running() const;

  const SimConfig& Config() const { return config_; }
  std::string LinkPath() const;
  std::string DevicePath() const;  // /dev/pts/N or the serial device; empty while unplugged

  void SetFaults(const SimFaults& faults);
  SimFaults Faults() const;
  // Takes the line away (the link and the pseudo-terminal vanish, clients see
  // the port fail) for `duration`, or until Plug when it is zero. Both return
  // once done.
  void Unplug(std::chrono::milliseconds duration = std::chrono::milliseconds(0));
  bool Plug(std::string* error = nullptr);
  bool Plugged() const;

  // Register of the meter at `address`: its value as the meter sends it.
  std::optional<double> GetRegister(int address, int reg);
  // Holds a register at a value until released (measured or setup register).
  bool HoldRegister(int address, int reg, double value);
  bool ReleaseRegister(int address, int reg);
  // Carries out a write of a setup register as if it came over the line
  // (function 6: limits checked, commands such as a counter's cancellation
  // acted on). 0 when done, else the Modbus exception code; -1 no such meter.
  int WriteRegister(int address, int reg, int value);
  // Runs f on the meter at `address` under the server's lock.
  bool WithMeter(int address, const std::function<void(SimMeter&)>& f);

  std::vector<SimRequest> Requests() const;  // the last 100000, oldest first
  size_t RequestCount() const;                // all since the start or ClearRequests
  void ClearRequests();
  // Waits until RequestCount() reaches count; false on time-out.
  bool WaitForRequests(size_t count, std::chrono::milliseconds timeout) const;

  // Called on the server thread for every request, after it was answered.
  // It must not call back into the server.
  void SetObserver(std::function<void(const SimRequest&)> observer);

private:
  struct Chunk {
    SimClock::time_point Due;
    SimBytes Bytes;
  };

  void Run();
  bool OpenLine(std::string& error);
  void CloseLine();
  void Wake();
  void ReadLine(SimClock::time_point now);
  void HandleFrame(const SimBytes& frame, SimClock::time_point now);
  void Queue(const SimBytes& bytes, SimClock::time_point now, const SimFaults& faults);
  void Flush(SimClock::time_point now);
  void AdvanceAll(SimClock::time_point now);
  SimMeter* FindMeter(int address);

  SimConfig config_;
  std::vector<std::unique_ptr<SimMeter>> meters_;
  bool rtu_;
  SimRequestScanner scanner_;
  SimLine line_;
  std::mt19937 noise_;

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::thread thread_;
  bool running_ = false;
  bool stop_ = false;
  int wakeRead_ = -1, wakeWrite_ = -1;
  bool woken_ = false;  // Windows: Wake() was called (no wake-up pipe there)

  SimFaults faults_;
  // Unplugging: asked by the API, carried out by the server thread.
  enum class LineRequest { None, Unplug, Plug };
  LineRequest lineRequest_ = LineRequest::None;
  std::chrono::milliseconds unplugFor_{0};
  std::optional<SimClock::time_point> plugAt_;
  bool plugged_ = true;
  std::string plugError_;
  unsigned lineGeneration_ = 0;  // counts finished plug/unplug requests

  std::deque<Chunk> output_;
  SimClock::time_point nextTick_{};
  SimClock::time_point started_;

  std::deque<SimRequest> log_;
  size_t total_ = 0;
  std::function<void(const SimRequest&)> observer_;
};
