#include "model/BusScan.h"

#include <algorithm>
#include <cstdio>

#include "comm/LineFormat.h"
#include "comm/ModbusFrame.h"
#include "comm/Trans.h"
#include "model/ParamDef.h"

namespace {

using lineformat::BAUD_COUNT;
using lineformat::BAUD_RATES;
using lineformat::MODE_COUNT;
// The name of each mode.
constexpr const char* MODE_NAMES[MODE_COUNT] = {"ASCII 8N1", "ASCII 7E1", "ASCII 7O1", "RTU 8N2",
                                                "RTU 8E1",   "RTU 8O1",   "RTU 8N1"};

// Every meter has register 4000 (the current transformer's ratio): the probe
// reads it, and any answer, an exception too, means a meter is there.
constexpr int PROBE_REGISTER = 4000;

// Line characters of a one-register read and of its answer (the exception
// answer is shorter): ASCII ':' + hex pairs + LRC + CR LF, RTU bytes + CRC.
constexpr int ASCII_EXCHANGE = (2 * 6 + 5) + (2 * (3 + 2) + 5);
constexpr int RTU_EXCHANGE = (6 + 2) + (3 + 2 + 2);

// What a transaction costs beyond its reply time-out: the pause the port keeps
// before each request, and the port's polling step.
constexpr uint32_t TRANSACTION_OVERHEAD_MS = 22;

// What a read gives back: its function code, or that code with the exception flag.
constexpr int RESULT_READ = modbus::READ_HOLDING_REGISTERS;
constexpr int RESULT_READ_EXCEPTION = modbus::READ_HOLDING_REGISTERS | modbus::EXCEPTION_FLAG;

int BaudOf(int index) { return index >= 0 && index < BAUD_COUNT ? index : 5; }
int ModeOf(int mode) { return mode >= 0 && mode < MODE_COUNT ? mode : 0; }
bool IsRtuMode(int mode) { return mode >= 3 && mode <= 6; }

std::string Hex2(int code) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "%02X", code & 0xFF);
  return buffer;
}

// Puts the port back to the line settings and reply time-out it had.
class TPortRestore {
public:
  explicit TPortRestore(TModbusPort& port)
      : Port(port), Original{port.BaudIndex, port.Mode}, Timeout(port.ReplyTimeout) {}
  ~TPortRestore() {
    if (Changed) Port.Configure(-1, Original.BaudIndex, Original.Mode, -1);
    Port.ReplyTimeout = Timeout;
  }
  TPortRestore(const TPortRestore&) = delete;
  TPortRestore& operator=(const TPortRestore&) = delete;

  // Switches the line to a setting; returns the normal reply time-out there.
  uint32_t Use(const TLineSetting& setting) {
    if (setting == Original) {
      if (Changed) Port.Configure(-1, setting.BaudIndex, setting.Mode, -1);
      Changed = false;
      return Timeout;
    }
    Port.Configure(-1, setting.BaudIndex, setting.Mode, -1);
    Changed = true;
    return Port.ReplyTimeout;
  }

private:
  TModbusPort& Port;
  TLineSetting Original;
  uint32_t Timeout;
  bool Changed = false;
};

}  // namespace

std::string LineSettingText(const TLineSetting& setting) {
  const int mode = ModeOf(setting.Mode);
  return std::to_string(BAUD_RATES[BaudOf(setting.BaudIndex)]) + " bit/s, mode " + std::to_string(mode) +
         " (" + MODE_NAMES[mode] + ")";
}

std::vector<TLineSetting> AllLineSettings() {
  std::vector<TLineSetting> all;
  for (int b = BAUD_COUNT - 1; b >= 0; --b)
    for (int m = 0; m < MODE_COUNT; ++m) all.push_back({b, m});
  return all;
}

std::string DurationText(uint64_t ms) {
  const uint64_t s = std::max<uint64_t>((ms + 500) / 1000, 1);
  if (s < 90) return std::to_string(s) + " s";
  const uint64_t m = (s + 30) / 60;
  if (s < 2 * 3600) return std::to_string(m) + " min";
  return std::to_string(m / 60) + " h " + std::to_string(m % 60) + " min";
}

std::string TScanFind::ModelText() const {
  if (Candidates.empty()) return "unknown";
  std::string text;
  for (int type : Candidates) {
    if (!text.empty()) text += " or ";
    const char* name = ModelName(type);
    text += name ? name : "?";
  }
  return text;
}

TBusScan::TBusScan(TModbusPort& port) : Port(port) {}

const std::vector<int>& TBusScan::IdentifyRegisters() {
  // Each model's setup registers run from 4000 without a gap and end on a
  // register of its own: 4019 (TR8, its relay state), 4026 (TR5B), 4031 (TR5)
  // and 4039 (VR5 and VR5B, their relay state). The relay-state registers and
  // the first register past each end tell the four maps apart; every answer is
  // checked, so a device that answers any register is not taken for a meter.
  static const std::vector<int> registers = {4019, 4020, 4025, 4027, 4030, 4032, 4039, 4040};
  return registers;
}

bool TBusScan::ModelHasRegister(int meterType, int reg) {
  const uint16_t mask = ModelMask(meterType);
  if (mask == 0) return false;
  for (int g = 0; g < PARAM_GROUP_COUNT; ++g) {
    const TParamGroup* group = GetParamGroup(g);
    if (!group || !(group->Models & mask) || !group->Definitions) continue;
    for (int i = 0; i < group->Count; ++i)
      if (group->Definitions[i].Register == reg) return true;
  }
  return false;
}

std::vector<int> TBusScan::MatchModels(const std::vector<TRegisterAnswer>& answers, int refusedCode,
                                       std::string& detail) {
  const std::vector<int>& registers = IdentifyRegisters();
  detail.clear();
  if (answers.size() != registers.size()) {
    detail = "not all registers asked";
    return {};
  }
  size_t refused = 0;
  for (size_t i = 0; i < answers.size(); ++i) {
    const std::string reg = std::to_string(registers[i]);
    switch (answers[i]) {
      case TRegisterAnswer::Refused:
        ++refused;
        if (detail.empty()) detail = "exception " + Hex2(refusedCode) + " to register " + reg;
        break;
      case TRegisterAnswer::NoReply:
        if (detail.empty()) detail = "no reply to register " + reg;
        break;
      case TRegisterAnswer::Odd:
        if (detail.empty()) detail = "unexpected reply to register " + reg;
        break;
      default:
        break;
    }
  }
  if (refused == answers.size()) detail = "exception " + Hex2(refusedCode) + " to every read";
  if (!detail.empty()) return {};

  std::vector<int> fits;
  for (int type : METER_TYPES) {
    bool fit = true;
    for (size_t i = 0; i < answers.size() && fit; ++i)
      fit = ModelHasRegister(type, registers[i]) == (answers[i] == TRegisterAnswer::Value);
    if (fit) fits.push_back(type);
  }
  if (fits.empty()) detail = "register map of no known model";
  return fits;
}

uint32_t TBusScan::ExchangeLineTimeMs(const TLineSetting& setting) {
  const long bits = static_cast<long>(IsRtuMode(setting.Mode) ? RTU_EXCHANGE : ASCII_EXCHANGE) *
                    lineformat::BitsPerCharacter(ModeOf(setting.Mode));
  const long rate = BAUD_RATES[BaudOf(setting.BaudIndex)];
  return static_cast<uint32_t>((bits * 1000 + rate - 1) / rate);
}

uint32_t TBusScan::ProbeTimeoutMs(const TLineSetting& setting) const {
  return ExchangeLineTimeMs(setting) + ProbeMarginMs;
}

uint32_t TBusScan::SecondProbeTimeoutMs(const TLineSetting& setting) const {
  return ExchangeLineTimeMs(setting) + LatencyMs + SecondMarginMs;
}

std::vector<TLineSetting> TBusScan::SweepSettings() const {
  if (!Settings.empty()) return Settings;
  return {TLineSetting{Port.BaudIndex, Port.Mode}};
}

uint32_t TBusScan::EstimateMs() const {
  const int count = To >= From ? To - From + 1 : 0;
  uint64_t ms = 0;
  for (const TLineSetting& s : SweepSettings())
    ms += static_cast<uint64_t>(count) *
          (ProbeTimeoutMs(s) + SecondProbeTimeoutMs(s) + 2 * TRANSACTION_OVERHEAD_MS);
  return ms > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(ms);
}

uint32_t TBusScan::IdentifyEstimateMs(const TLineSetting& setting) const {
  return static_cast<uint32_t>(IdentifyRegisters().size()) *
         (2 * ProbeTimeoutMs(setting) + LatencyMs + TRANSACTION_OVERHEAD_MS);
}

TRegisterAnswer TBusScan::Ask(int address, int reg, uint32_t timeoutMs, int& exceptionCode) {
  Port.ReplyTimeout = timeoutMs;
  const int r = Port.ReadRegistersWait(address, static_cast<int16_t>(reg), 1);
  if (r == MB_NO_REPLY || r < 0) return TRegisterAnswer::NoReply;
  // Whatever the answer took beyond the line time is the transport's (the
  // reply's start tick is taken as the request goes out).
  const uint32_t took = GetTickCount32() - Port.Reply.StartTick;
  if (took > SweepLineTimeMs)
    LatencyMs = std::max(LatencyMs, std::min(took - SweepLineTimeMs, NormalTimeout));
  if (r == RESULT_READ) return Port.Reply.ByteCount == 2 ? TRegisterAnswer::Value : TRegisterAnswer::Odd;
  if (r == RESULT_READ_EXCEPTION && Port.Reply.Length >= 1) {
    exceptionCode = Port.Reply.Data[2];
    return exceptionCode == modbus::ILLEGAL_DATA_ADDRESS ? TRegisterAnswer::Absent : TRegisterAnswer::Refused;
  }
  return TRegisterAnswer::Odd;
}

bool TBusScan::Identify(int address, const TLineSetting& setting, TScanFind& find) {
  // The meter has answered once: the transport's latency is known by now.
  const uint32_t quick = 2 * ProbeTimeoutMs(setting) + LatencyMs;
  std::vector<TRegisterAnswer> answers;
  int refusedCode = 0;
  for (int reg : IdentifyRegisters()) {
    if (CancelFlag) {
      find.Detail = "scan cancelled before the model was named";
      return false;
    }
    int code = 0;
    TRegisterAnswer a = Ask(address, reg, quick, code);
    // A meter that answered the probe may still be slow now and then: give
    // it the normal reply time-out before taking silence for an answer.
    if (a == TRegisterAnswer::NoReply && !CancelFlag) a = Ask(address, reg, std::max(NormalTimeout, quick), code);
    if (a == TRegisterAnswer::Refused && refusedCode == 0) refusedCode = code;
    answers.push_back(a);
  }
  find.Candidates = MatchModels(answers, refusedCode, find.Detail);
  return true;
}

bool TBusScan::Probe(int address, const TLineSetting& setting, uint32_t timeoutMs, TScanProgress& progress,
                     TScanResult& result) {
  progress.Address = address;
  if (OnProgress) OnProgress(progress);
  if (CancelFlag) return false;
  int code = 0;
  const TRegisterAnswer a = Ask(address, PROBE_REGISTER, timeoutMs, code);
  ++progress.Done;
  if (a == TRegisterAnswer::NoReply) return false;
  TScanFind find;
  find.Address = address;
  find.Setting = setting;
  Identify(address, setting, find);
  result.Finds.push_back(find);
  progress.Found = static_cast<int>(result.Finds.size());
  if (OnFind) OnFind(find);
  return true;
}

TScanResult TBusScan::Run() {
  TScanResult result;
  if (Port.PortIndex < 0 || !Port.Handle) {
    result.PortClosed = true;
    return result;
  }
  const int from = std::max(From, 1);
  const int to = std::min(To, 247);
  const int count = std::max(to - from + 1, 0);
  const std::vector<TLineSetting> settings = SweepSettings();
  TScanProgress progress;
  progress.Total = 2 * static_cast<int>(settings.size()) * count;

  TPortRestore restore(Port);
  for (const TLineSetting& setting : settings) {
    if (CancelFlag) break;
    NormalTimeout = restore.Use(setting);
    SweepLineTimeMs = ExchangeLineTimeMs(setting);
    progress.Setting = setting;
    progress.Second = false;
    const size_t firstFind = result.Finds.size();
    std::vector<int> silent;
    for (int address = from; address <= to && !CancelFlag; ++address)
      if (!Probe(address, setting, ProbeTimeoutMs(setting), progress, result) && !CancelFlag)
        silent.push_back(address);
    // The addresses that answered are not probed again; the silent ones get
    // a wait that covers the latency measured on the answers seen so far
    // (a late answer to a first probe may also have cut the next one short).
    if (CancelFlag) break;
    progress.Done += count - static_cast<int>(silent.size());
    progress.Second = true;
    for (size_t i = 0; i < silent.size() && !CancelFlag; ++i)
      Probe(silent[i], setting, SecondProbeTimeoutMs(setting), progress, result);
    // Announced as found; listed by address.
    std::stable_sort(result.Finds.begin() + static_cast<long>(firstFind), result.Finds.end(),
                     [](const TScanFind& a, const TScanFind& b) { return a.Address < b.Address; });
  }
  result.Cancelled = CancelFlag;
  return result;
}
