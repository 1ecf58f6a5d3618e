#include "gateway/LinePoller.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>

#include "comm/LineFormat.h"
#include "comm/ModbusFrame.h"
#include "comm/SerialDeviceTcp.h"
#include "comm/Trans.h"
#include "gateway/GatewayLog.h"
#include "gateway/MbapParser.h"
#include "model/TR5.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::microseconds;
using std::chrono::milliseconds;

constexpr auto PORT_RETRY = std::chrono::seconds(2);
constexpr int FIRST_BACKOFF_MS = 1000;

// The margin beyond a meter's learnt answer delay never falls below this: it
// covers a USB adapter's latency and a busy machine's scheduling, and keeps a
// silent meter's try at 19200 bit/s to about a fifth of the usual time-out.
constexpr double LEARNT_MARGIN_FLOOR_MS = 100;
// Margin as a multiple of the jitter seen on the line.
constexpr double JITTER_FACTOR = 2;
// A silent meter's pause is at least this many times what its try cost: its
// tries then take at most 1 / (1 + 19) = 5 % of the line.
constexpr double SILENT_PAUSE_FACTOR = 19;
// Line characters of a request (functions 3 and 6): RTU bytes, ASCII text.
constexpr int RTU_REQUEST_CHARACTERS = 6 + 2;
constexpr int ASCII_REQUEST_CHARACTERS = 1 + 2 * (6 + 1) + 2;
// After a read beside the cycle the line is left to the cycle for this many
// times what the read cost: energy reads take at most 1 / (1 + 19) = 5 % of
// the line, harmonics reads at most 1 / (1 + 11) = 8 %, which with the cost of
// a turn of its own (the silence after each frame) keeps the process values
// at 90 % of their rate at least.
constexpr double ENERGY_PAUSE_FACTOR = 19;
constexpr double HARMONICS_PAUSE_FACTOR = 11;

std::chrono::steady_clock::duration Seconds(double s) {
  return std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(s));
}

// Line characters of a function-3 reply carrying dataBytes.
int ReplyCharacters(bool rtu, int dataBytes) {
  return rtu ? 3 + dataBytes + 2 : 1 + 2 * (3 + dataBytes + 1) + 2;
}

// Line characters of a frame of `decoded` bytes, its check included.
int FrameCharacters(bool rtu, int decoded) { return rtu ? decoded : 1 + 2 * decoded + 2; }

int ValueBytes(int blockStart, int count) {
  const char kind = ValueKindForRegister(blockStart);
  return count * (kind == 'i' ? 2 : 4);
}

}  // namespace

TLinePoller::TLinePoller(TLineConfig line, int firstMeter, TGatewayState& state, std::vector<TGatewaySink*> sinks)
    : Line(std::move(line)), State(state), Sinks(std::move(sinks)) {
  // The port opens the configured name, whatever index it is opened under:
  // COMn, a device path, or a network serial server's "tcp://host:port"; and
  // a lost device is reopened by that name only.
  Port = std::make_unique<TModbusPort>();
  Port->UseDevice(Line.Port);
  int index = firstMeter;
  for (const TMeterConfig& m : Line.Meters) {
    TPolled p;
    p.Meter = std::make_unique<TTR5>(true, Port.get());
    p.Meter->Kind = m.Type;
    p.Meter->Address = m.Address;
    // The model words its events with this name; DrainEvents puts the
    // configured one in its place.
    p.Meter->SetName((std::string(MeterModelName(m.Type)) + "_" + std::to_string(m.Address)).c_str());
    p.Meter->RelayReadInterval = static_cast<uint32_t>(Line.RelayIntervalMs);
    for (int group : {ENERGY_GROUP, TARIFF_GROUP})
      if (ModelHasGroup(m.Type, group)) p.EnergyGroup = group;
    for (int g = FIRST_HARMONICS_GROUP; g < FIRST_HARMONICS_GROUP + HARMONICS_GROUPS; ++g)
      if (ModelHasGroup(m.Type, g)) p.HarmonicGroups.push_back(g);
    p.Index = index++;
    std::fill(std::begin(p.LastCounter), std::end(p.LastCounter), std::numeric_limits<float>::lowest());
    Meters.push_back(std::move(p));
  }
}

TLinePoller::~TLinePoller() { Stop(); }

void TLinePoller::Start() {
  Stopping = false;
  PassQueue.Open();
  Thread = std::thread([this] { Run(); });
}

void TLinePoller::Stop() {
  {
    std::lock_guard lock(Mutex);
    Stopping = true;
  }
  Wake.notify_all();
  if (Thread.joinable()) Thread.join();
  PassQueue.FailAll(mbap::TARGET_FAILED, true);
}

bool TLinePoller::SleepFor(microseconds time) {
  std::unique_lock lock(Mutex);
  return !Wake.wait_for(lock, time, [this] { return Stopping.load(); });
}

double TLinePoller::CharacterSeconds() const {
  return static_cast<double>(lineformat::BitsPerCharacter(Line.Mode)) / Line.Baud;
}

bool TLinePoller::OpenPort() {
  Port->Configure(0, Line.BaudIndex, Line.Mode, Line.LinkType);
  if (Line.TimeoutMs > 0) Port->ReplyTimeout = static_cast<uint32_t>(Line.TimeoutMs);
  PortOpen = Port->PortIndex >= 0;
  DevicePresent = PortOpen;
  State.SetLineOpen(Line.Name, PortOpen);
  if (PortOpen) {
    GatewayLog(TLogLevel::Notice, "line " + Line.Name + ": port " + Line.Port + " open, " +
                                      std::to_string(Line.Baud) + " bit/s, " + (Port->IsRtu() ? "RTU" : "ASCII") +
                                      " mode " + std::to_string(Line.Mode) + ", " +
                                      std::to_string(Meters.size()) + " meters");
    PortErrorLogged = false;
  } else if (!PortErrorLogged) {
    GatewayLog(TLogLevel::Error, "line " + Line.Name + ": cannot open port " + Line.Port + "; trying again");
    PortErrorLogged = true;
  }
  return PortOpen;
}

void TLinePoller::Run() {
  size_t cursor = 0;
  while (!Stopping) {
    if (!PortOpen && !OpenPort()) {
      // Without a port every meter is down; the model words the link events.
      for (TPolled& p : Meters) {
        p.Meter->Update(0);
        DrainEvents(p);
      }
      PassQueue.FailAll(mbap::TARGET_FAILED, false);
      if (!SleepFor(PORT_RETRY)) break;
      continue;
    }

    // The next meter in turn whose pause is over.
    const auto now = Clock::now();
    TPolled* chosen = nullptr;
    auto earliest = now + std::chrono::hours(1);
    for (size_t k = 0; k < Meters.size() && !chosen; ++k) {
      TPolled& p = Meters[(cursor + k) % Meters.size()];
      if (p.NextTry <= now) {
        chosen = &p;
        cursor = (cursor + k + 1) % Meters.size();
      } else {
        earliest = std::min(earliest, p.NextTry);
      }
    }
    if (!chosen && PassQueue.Depth() > 0) {
      ServePassThrough();
      continue;
    }
    if (!chosen) {
      const auto wait = std::min<Clock::duration>(earliest - now, milliseconds(200));
      if (!SleepFor(std::chrono::duration_cast<microseconds>(wait))) break;
      continue;
    }
    if (!ReadBesideCycle(*chosen)) Transact(*chosen);
    // A device that went away (an adapter pulled out) is reopened by the port
    // itself; meanwhile the line shows as not open.
    const bool present = Port->Handle != nullptr;
    if (present != DevicePresent) {
      DevicePresent = present;
      State.SetLineOpen(Line.Name, present);
      GatewayLog(present ? TLogLevel::Notice : TLogLevel::Error,
                 "line " + Line.Name + ": port " + Line.Port + (present ? " is back" : " lost; reopening"));
    }
    // The silence that ends a frame on an RTU line before the next request.
    if (Port->IsRtu()) SleepFor(microseconds(static_cast<long>(std::ceil(3.5 * CharacterSeconds() * 1e6))));
    if (PassQueue.Depth() > 0 && !Stopping) {
      ServePassThrough();
      if (Port->IsRtu()) SleepFor(microseconds(static_cast<long>(std::ceil(3.5 * CharacterSeconds() * 1e6))));
    }
  }
  Port->Close();
  State.SetLineOpen(Line.Name, false);
}

void TLinePoller::WaitReply(const std::function<int()>& step, int replyCharacters) {
  // The reply is taken as it arrives: an exception or a spoilt frame ends the
  // wait long before a full reply could have crossed the line. Look often
  // while the reply is due, less often once it is overdue.
  const double expected = replyCharacters * CharacterSeconds();
  const auto start = Clock::now();
  const int ringWrite = Port->RingWrite;
  for (;;) {
    if (step() != MB_PENDING) return;
    // Still waiting, yet bytes came: whatever ends this transaction, the line was not silent.
    if (Port->RingWrite != ringWrite) BytesSeen = true;
    const double waited = std::chrono::duration<double>(Clock::now() - start).count();
    std::this_thread::sleep_for(waited < expected + 0.02 ? microseconds(300) : milliseconds(1));
  }
}

uint32_t TLinePoller::ReplyWaitMs(const TPolled& polled, int replyCharacters) const {
  double delay = polled.AnswerDelayMs;
  // A meter not heard yet is given the slowest answer the line has shown.
  if (delay < 0)
    for (const TPolled& p : Meters) delay = std::max(delay, p.AnswerDelayMs);
  if (delay < 0) return 0;
  const int request = Port->IsRtu() ? RTU_REQUEST_CHARACTERS : ASCII_REQUEST_CHARACTERS;
  const double lineMs = (request + replyCharacters) * CharacterSeconds() * 1000;
  const double margin = std::max(LEARNT_MARGIN_FLOOR_MS, JITTER_FACTOR * JitterMs);
  double wait = lineMs + delay + margin;
  // A meter that missed its last tries may have become slower than learnt
  // (a busy meter, a slower path to it): each miss doubles its margin, but a
  // try never grows past what its pause leaves it of the line, so that the
  // others keep their rate. Its first answer teaches the new delay.
  if (polled.FailStreak > 0) {
    const double grown = lineMs + delay + margin * std::exp2(std::min(polled.FailStreak, 10));
    wait = std::max(wait, std::min(grown, Line.MaxBackoffMs / (SILENT_PAUSE_FACTOR + 1)));
  }
  return static_cast<uint32_t>(std::ceil(wait));
}

void TLinePoller::LearnAnswerDelay(TPolled& polled, double seconds) {
  const bool rtu = Port->IsRtu();
  const int decoded = static_cast<int>(Port->Reply.Tail - Port->Reply.Data);
  const int characters =
      (rtu ? RTU_REQUEST_CHARACTERS : ASCII_REQUEST_CHARACTERS) + FrameCharacters(rtu, decoded);
  const double delay = std::max(0.0, seconds * 1000 - characters * CharacterSeconds() * 1000);
  if (polled.AnswerDelayMs < 0) {
    polled.AnswerDelayMs = delay;
    return;
  }
  JitterMs = std::max(std::abs(delay - polled.AnswerDelayMs), JitterMs * 63 / 64);
  polled.AnswerDelayMs += (delay - polled.AnswerDelayMs) / 4;
}

void TLinePoller::Transact(TPolled& polled) {
  TTR5& meter = *polled.Meter;
  const int blockStart = meter.BlockStart;
  const int blockCount = meter.BlockCount;
  const int replyCharacters = ReplyCharacters(Port->IsRtu(), ValueBytes(blockStart, blockCount));
  Port->Reply.Function = 0;
  Port->ReplyWaitMs = ReplyWaitMs(polled, replyCharacters);
  BytesSeen = false;
  const auto began = Clock::now();
  if (meter.Update(0) == MB_PENDING) WaitReply([&meter] { return meter.Update(0); }, replyCharacters);
  const auto ended = Clock::now();
  const double seconds = std::chrono::duration<double>(ended - began).count();

  const bool stored = meter.ErrorCount == 0;
  const bool exception = !stored && (Port->Reply.Function & modbus::EXCEPTION_FLAG) != 0;
  const bool answered = stored || exception;
  if (answered) {
    polled.FailStreak = 0;
    polled.NextTry = {};
    LearnAnswerDelay(polled, seconds);
  } else {
    ++polled.FailStreak;
    // The first miss is tried again in turn; then the pause doubles, but stays
    // long against what a try costs so that the others keep their rate.
    if (polled.FailStreak >= 2) {
      const double doubling = std::min<double>(
          FIRST_BACKOFF_MS * std::exp2(std::min(polled.FailStreak - 2, 20)), Line.MaxBackoffMs);
      // max_backoff_ms stays the cap: a meter that comes back is read again
      // within it, on a slow line too.
      const double pause =
          std::min<double>(std::max(doubling, SILENT_PAUSE_FACTOR * seconds * 1000), Line.MaxBackoffMs);
      polled.NextTry = ended + microseconds(static_cast<long long>(pause * 1000));
    }
  }
  // No valid answer: a spoilt frame, a reply that ended the wait otherwise
  // (another address, a wrong size) or bytes seen while waiting make it a
  // garbled answer; else the meter was silent.
  const bool garbled = !answered && (BytesSeen || Port->LastEnd == TModbusPort::TReplyEnd::Broken ||
                                     Port->LastEnd == TModbusPort::TReplyEnd::Reply);
  polled.Answering = answered;
  CountTransaction(polled, answered, exception, garbled, seconds);
  // The link event first: values that come back follow their meter's "up".
  DrainEvents(polled);
  if (stored) {
    State.Registers.Store(polled.Index, blockStart, blockCount, Port->Reply.Data + 3, Port->Reply.ByteCount,
                          ended);
    Publish(polled, blockStart, blockCount);
  }
}

void TLinePoller::CountTransaction(TPolled& polled, bool answered, bool exception, bool garbled,
                                   double seconds) {
  const int streak = polled.FailStreak;
  const double retryIn =
      answered || streak < 2 ? 0 : std::chrono::duration<double>(polled.NextTry - Clock::now()).count();
  State.Update(polled.Index, [&](TMeterSnapshot& s) {
    TLinkCounters& c = s.Counters;
    ++c.Requests;
    if (answered) {
      s.LastReply = std::chrono::system_clock::now();
      ++c.Replies;
      if (exception) ++c.Exceptions;
      ++c.ReplyCount;
      c.ReplySeconds += seconds;
      for (size_t b = 0; b < REPLY_TIME_BUCKETS.size(); ++b) {
        if (seconds <= REPLY_TIME_BUCKETS[b]) {
          ++c.Buckets[b];
          break;
        }
      }
    } else if (garbled) {
      ++c.CheckErrors;
    } else {
      ++c.Timeouts;
    }
    s.FailStreak = streak;
    s.RetryInS = std::max(0.0, retryIn);
  });
}

bool TLinePoller::ReadBesideCycle(TPolled& polled) {
  if (!polled.Answering) return false;
  const auto now = Clock::now();
  int group = -1;
  if (polled.EnergyGroup >= 0 && Line.EnergyIntervalS > 0 && now >= polled.NextEnergy &&
      now >= EnergyNotBefore) {
    group = polled.EnergyGroup;
  } else if (!polled.HarmonicGroups.empty() && Line.HarmonicsIntervalS > 0 && now >= polled.NextHarmonics &&
             now >= HarmonicsNotBefore) {
    group = polled.HarmonicGroups[polled.HarmonicsCursor];
  }
  if (group < 0) return false;

  const TParamGroup& g = *GetParamGroup(group);
  const int address = polled.Meter->Address;
  const int replyCharacters = ReplyCharacters(Port->IsRtu(), ValueBytes(g.StartRegister, g.Count));
  Port->Reply.Function = 0;
  Port->ReplyWaitMs = ReplyWaitMs(polled, replyCharacters);
  BytesSeen = false;
  const auto began = Clock::now();
  auto step = [&] { return Port->ReadRegisters(address, g.StartRegister, g.Count); };
  int r = step();
  if (r == MB_PENDING) {
    WaitReply([&] { return r = step(); }, replyCharacters);
  }
  const auto ended = Clock::now();
  const double seconds = std::chrono::duration<double>(ended - began).count();

  // Only a reply of the group's size is the group's (its values are floats):
  // a late answer to an earlier request must not be taken for it.
  const bool stored = r == modbus::READ_HOLDING_REGISTERS && Port->Reply.ByteCount == g.Count * 4;
  const bool exception = !stored && (Port->Reply.Function & modbus::EXCEPTION_FLAG) != 0;
  const bool answered = stored || exception;
  std::vector<float> values;
  if (stored) {
    for (int i = 0; i < g.Count; ++i) {
      float v = NO_VALUE;
      Port->TakeValue('f', &v);
      values.push_back(v);
    }
  }
  if (answered) LearnAnswerDelay(polled, seconds);
  const bool garbled = !answered && (BytesSeen || Port->LastEnd == TModbusPort::TReplyEnd::Broken ||
                                     Port->LastEnd == TModbusPort::TReplyEnd::Reply);
  // A meter that did not answer is left to its cycle, which finds out whether
  // it is away: this miss was its first, so the cycle's try is the one retry
  // in turn before its pauses begin.
  polled.Answering = answered;
  if (!answered) ++polled.FailStreak;
  CountTransaction(polled, answered, exception, garbled, seconds);

  if (group == polled.EnergyGroup) {
    polled.NextEnergy = ended + Seconds(Line.EnergyIntervalS);
    EnergyNotBefore = ended + Seconds(ENERGY_PAUSE_FACTOR * seconds);
  } else {
    if (polled.HarmonicsCursor == 0) polled.SweepStarted = began;
    if (++polled.HarmonicsCursor >= polled.HarmonicGroups.size()) {
      polled.HarmonicsCursor = 0;
      polled.NextHarmonics = polled.SweepStarted + Seconds(Line.HarmonicsIntervalS);
    }
    HarmonicsNotBefore = ended + Seconds(HARMONICS_PAUSE_FACTOR * seconds);
  }
  if (stored) {
    // Kept as sent too, for the Modbus TCP clients that read the group.
    State.Registers.Store(polled.Index, g.StartRegister, g.Count, Port->Reply.Data + 3, Port->Reply.ByteCount,
                          ended);
    PublishGroup(polled, group, values);
  }
  return true;
}

void TLinePoller::PublishGroup(TPolled& polled, int group, const std::vector<float>& values) {
  const int first = FirstQuantityOfGroup(group);
  TSample sample;
  sample.Meter = polled.Index;
  sample.Time = std::chrono::system_clock::now();
  const std::string& name = Line.Meters[static_cast<size_t>(polled.Index - Meters.front().Index)].Name;
  for (size_t i = 0; i < values.size(); ++i) {
    const float value = values[i];
    if (!(value < NO_VALUE && value > -NO_VALUE)) continue;
    const int q = first + static_cast<int>(i);
    sample.Values.emplace_back(q, value);
    if (!IsCounterQuantity(q)) continue;
    const int c = q - FIRST_COUNTER_QUANTITY;
    const bool reset = value < polled.LastCounter[c];
    const TCounterReset counterReset{polled.Index, sample.Time, q, polled.LastCounter[c], value};
    polled.LastCounter[c] = value;
    if (!reset) continue;
    const std::string text = NameMeterInEvent(
        CounterInfo(q).Text + " reset", "",
        name + " (line " + Line.Name + ", address " + std::to_string(polled.Meter->Address) + ")");
    GatewayLog(TLogLevel::Notice, text + " (" + QuantityCode(q) + " " + std::to_string(counterReset.Before) +
                                      " -> " + std::to_string(value) + " " + QuantityUnit(q) + ")");
    State.Update(polled.Index, [&](TMeterSnapshot& s) { ++s.CounterResets[c]; });
    const TEventRecord event{polled.Index, sample.Time, COUNTER_RESET_EVENT, text};
    for (TGatewaySink* sink : Sinks) {
      sink->OnEvent(event);
      sink->OnCounterReset(counterReset);
    }
  }
  const auto now = Clock::now();
  State.Update(polled.Index, [&](TMeterSnapshot& s) {
    for (const auto& [q, value] : sample.Values) s.Store(q, value, now, sample.Time);
  });
  for (TGatewaySink* sink : Sinks) sink->OnSample(sample);
}

void TLinePoller::ServePassThrough() {
  TPassRequest request;
  if (!PassQueue.Pop(request)) return;
  const auto it =
      std::find_if(Meters.begin(), Meters.end(), [&](const TPolled& p) { return p.Index == request.Meter; });
  if (it == Meters.end() || Clock::now() > request.Deadline) {
    request.Done(TPassResult{mbap::TARGET_FAILED, {}});
    return;
  }
  request.Done(ServePassRequest(request, *Port, *it->Meter));
}

void TLinePoller::Publish(TPolled& polled, int blockStart, int blockCount) {
  TTR5& meter = *polled.Meter;
  const bool relay = meter.RelayRegister() != 0 && blockStart == meter.RelayRegister();
  TSample sample;
  sample.Meter = polled.Index;
  sample.Time = std::chrono::system_clock::now();
  for (TZmienna* v = meter.FirstChild(); v; v = v->Next.get()) {
    const bool inBlock = relay ? v->Id == RELAY_VARIABLE_ID
                               : v->Id >= blockStart && v->Id < blockStart + blockCount && v->Id != RELAY_VARIABLE_ID;
    if (!inBlock) continue;
    const int q = QuantityOfRegister(v->Id);
    const float value = v->GetValue();
    if (q < 0 || !(value < NO_VALUE && value > -NO_VALUE)) continue;
    sample.Values.emplace_back(q, value);
  }
  const auto now = Clock::now();
  const int linkState = meter.LinkState;
  State.Update(polled.Index, [&](TMeterSnapshot& s) {
    for (const auto& [q, value] : sample.Values) s.Store(q, value, now, sample.Time);
    s.LinkState = linkState;
  });
  for (TGatewaySink* sink : Sinks) sink->OnSample(sample);
}

void TLinePoller::DrainEvents(TPolled& polled) {
  TTR5& meter = *polled.Meter;
  for (int n = 0; n < 16; ++n) {
    int code = 0;
    std::string text;
    if (meter.NextEvent(code, text) != 1) break;
    if (!text.empty() && text[0] == '\t') text.erase(0, 1);
    const std::string& name = Line.Meters[static_cast<size_t>(polled.Index - Meters.front().Index)].Name;
    char modelName[TZmienna::NAME_SIZE] = {};
    meter.GetName(modelName, sizeof modelName);
    text = NameMeterInEvent(
        text, modelName, name + " (line " + Line.Name + ", address " + std::to_string(meter.Address) + ")");
    TEventRecord event{polled.Index, std::chrono::system_clock::now(), code, text};
    GatewayLog(meter.LinkState == 1 ? TLogLevel::Notice : TLogLevel::Warning, text);
    const int linkState = meter.LinkState;
    State.Update(polled.Index, [&](TMeterSnapshot& s) { s.LinkState = linkState; });
    for (TGatewaySink* sink : Sinks) sink->OnEvent(event);
  }
}
