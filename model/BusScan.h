// Finding the meters on a line: every address of a range is probed with a
// short read, every address that stayed silent is probed once more with a
// longer wait (for a slow meter, a slow adapter or a network's round trip),
// and each address that answers is asked a few registers whose answers (a
// value, or exception 02 "illegal data address") tell the models apart by
// their register maps.
//
//   TBusScan scan(port);                 // the port open, at its line settings
//   scan.From = 1; scan.To = 247;
//   scan.OnFind = [](const TScanFind& f) { ... };   // as they are found
//   TScanResult r = scan.Run();          // blocking; Cancel() from any thread
//
// Run() uses the port exclusively while it runs (nothing else may talk on it)
// and leaves it at the line settings and reply time-out it found.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TModbusPort;

// One line setting: baud index 0..6 (300..19200 bit/s) and transmission mode
// 0..6 (0-2 ASCII, 3-6 RTU), as TModbusPort::Configure takes them.
struct TLineSetting {
  int BaudIndex = 6;
  int Mode = 0;
  bool operator==(const TLineSetting&) const = default;
};

// "19200 bit/s, mode 0 (ASCII 8N1)".
std::string LineSettingText(const TLineSetting& setting);
// "22 s", "14 min", "1 h 25 min".
std::string DurationText(uint64_t ms);
// Every baud rate and mode, fastest baud rate first.
std::vector<TLineSetting> AllLineSettings();

// How a register of the identification set answered.
enum class TRegisterAnswer {
  Value,     // a function-3 reply with one register
  Absent,    // exception 02, illegal data address
  Refused,   // another exception code
  NoReply,   // nothing, even at the normal reply time-out
  Odd,       // a reply that is neither (another function, a wrong size)
};

// A meter found.
struct TScanFind {
  int Address = 0;
  TLineSetting Setting;
  std::vector<int> Candidates;  // meter types (MT_*) whose register map fits; empty: unknown
  std::string Detail;           // why it is unknown; empty otherwise

  // The model when exactly one fits, else 0.
  int MeterType() const { return Candidates.size() == 1 ? Candidates[0] : 0; }
  // "TR5", "VR5 or VR5B", "unknown".
  std::string ModelText() const;
};

struct TScanProgress {
  int Done = 0;   // probes made or passed over (an address that answered is not probed again)
  int Total = 0;  // two per address and setting: the first probe and the second one
  int Address = 0;
  TLineSetting Setting;
  int Found = 0;
  bool Second = false;  // the second, longer probe of an address that stayed silent
};

struct TScanResult {
  std::vector<TScanFind> Finds;
  bool Cancelled = false;
  bool PortClosed = false;  // the port is not open: nothing was probed
};

class TBusScan {
public:
  explicit TBusScan(TModbusPort& port);

  int From = 1;  // address range, 1..247
  int To = 247;
  // Settings to sweep; empty: the port's own settings only.
  std::vector<TLineSetting> Settings;
  // What the first probe allows beyond its own line time: the meter's
  // turnaround and the latency of a serial adapter.
  uint32_t ProbeMarginMs = 50;
  // What the second probe of a silent address allows beyond its line time and
  // the measured latency.
  uint32_t SecondMarginMs = 250;
  // What the transport adds to a reply beyond the line time of the exchange
  // (the meter's turnaround, an adapter, a network's round trip): the most
  // seen on any answer so far. Run() measures it; it may be given the figure
  // of an earlier scan of the same port.
  uint32_t LatencyMs = 0;

  // Called before every probe, and for every meter as soon as it is named;
  // on the thread that runs the scan.
  std::function<void(const TScanProgress&)> OnProgress;
  std::function<void(const TScanFind&)> OnFind;

  // Stops the scan after the transaction on the line; safe from any thread.
  void Cancel() { CancelFlag = true; }
  bool Cancelled() const { return CancelFlag; }

  TScanResult Run();

  // The line time of a probe's request and of the longest answer to it.
  static uint32_t ExchangeLineTimeMs(const TLineSetting& setting);
  // The first probe's reply time-out at a setting: the line time plus ProbeMarginMs.
  uint32_t ProbeTimeoutMs(const TLineSetting& setting) const;
  // The second probe's: the line time plus LatencyMs plus SecondMarginMs.
  uint32_t SecondProbeTimeoutMs(const TLineSetting& setting) const;
  // What a sweep of the range over the settings (the port's own when none are
  // set) takes on a line where nothing answers: both probes of every address.
  uint32_t EstimateMs() const;
  // What naming one meter found takes at most, at a setting.
  uint32_t IdentifyEstimateMs(const TLineSetting& setting) const;

  // The registers asked to name a model, and whether a model has each one
  // (from the program's register tables).
  static const std::vector<int>& IdentifyRegisters();
  static bool ModelHasRegister(int meterType, int reg);
  // The models whose register map gives exactly these answers (one per
  // IdentifyRegisters entry); with any answer other than Value or Absent the
  // meter cannot be named and the list is empty, the reason in detail.
  static std::vector<int> MatchModels(const std::vector<TRegisterAnswer>& answers, int refusedCode,
                                      std::string& detail);

private:
  std::vector<TLineSetting> SweepSettings() const;
  TRegisterAnswer Ask(int address, int reg, uint32_t timeoutMs, int& exceptionCode);
  bool Identify(int address, const TLineSetting& setting, TScanFind& find);
  // Probes one address; names the meter when it answers.
  bool Probe(int address, const TLineSetting& setting, uint32_t timeoutMs, TScanProgress& progress,
             TScanResult& result);

  TModbusPort& Port;
  std::atomic<bool> CancelFlag{false};
  uint32_t NormalTimeout = 0;  // the port's reply time-out at the setting being swept
  uint32_t SweepLineTimeMs = 0;  // ExchangeLineTimeMs of the setting being swept
};
