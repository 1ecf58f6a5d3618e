// The meter driver on a line: against the simulated meter over a
// pseudo-terminal, and against replies played by hand where the order of
// bytes on the line matters.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "comm/ModbusFrame.h"
#include "comm/Trans.h"
#include "model/ParamDef.h"
#include "model/TR5.h"
#include "sim/SimFraming.h"
#include "sim/SimServer.h"
#include "tests/support/PtyTools.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int BAUD_9600 = 5;
constexpr int MODE_ASCII_8N1 = 0;
constexpr int MODE_RTU_8N1 = 6;
constexpr uint32_t NEVER = 3600000;  // a relay read interval no test reaches
constexpr auto LIMIT = 15s;          // generous bound for anything that should take ms
constexpr uint32_t ANSWERED = 5000;  // reply time-out where the meter answers
constexpr uint32_t SILENT = 100;     // reply time-out where it is meant to run out

// (register, count) of the function-3 requests in a log.
std::vector<std::pair<int, int>> Reads(const std::vector<SimRequest>& log) {
  std::vector<std::pair<int, int>> reads;
  for (const SimRequest& r : log)
    if (r.Function == 3) reads.emplace_back(r.Register, r.Count);
  return reads;
}

// The last function-6 request in a log (Function 0 when there is none).
SimRequest LastWrite(const std::vector<SimRequest>& log) {
  for (auto r = log.rbegin(); r != log.rend(); ++r)
    if (r->Function == 6) return *r;
  return SimRequest{};
}

const std::pair<int, int> P{7500, 34};
const std::pair<int, int> T{7612, 6};

class DriverLine : public ::testing::Test {
protected:
  void StartMeter(int type, int mode = MODE_ASCII_8N1) {
    Sim.reset();
    Port.Close();
    SimConfig config;
    config.Meters = {SimMeterConfig{type, 1}};
    config.Mode = mode;
    config.Baud = 9600;
    config.LinkPath = Dir.Path() + "/COM1";
    config.ForceLink = true;
    Sim = std::make_unique<SimServer>(config);
    std::string error;
    ASSERT_TRUE(Sim->Start(&error)) << error;
    ASSERT_EQ(Port.Configure(0, BAUD_9600, mode, 0), 0);
    Port.ReplyTimeout = ANSWERED;
    Meter.Kind = type;
    Meter.Address = 1;
    Meter.SetName("Feeder_1");
    Meter.ResetValues();
  }

  // One finished acquisition step (as many timer ticks as it takes).
  void Step() {
    const auto deadline = Clock::now() + LIMIT;
    while (Meter.Update(0) == MB_PENDING) {
      ASSERT_LT(Clock::now(), deadline) << "step never finished";
      std::this_thread::sleep_for(1ms);
    }
  }
  // n finished steps; Blocks gets the (register, count) each of them asked for.
  void Steps(int n) {
    Blocks.clear();
    for (int i = 0; i < n; ++i) {
      Blocks.emplace_back(Meter.BlockStart, Meter.BlockCount);
      ASSERT_NO_FATAL_FAILURE(Step());
    }
  }

  // Runs the cycle and drains the events into Events until done() holds.
  bool RunUntil(const std::function<bool()>& done) {
    const auto deadline = Clock::now() + LIMIT;
    while (!done()) {
      if (Clock::now() > deadline) return false;
      Meter.Update(0);
      int code = 0;
      std::string text;
      while (Meter.NextEvent(code, text) == 1) Events.push_back(text);
      std::this_thread::sleep_for(1ms);
    }
    return true;
  }
  bool RunUntilEvent(const std::string& text) {
    const size_t seen = Events.size();
    return RunUntil([&] {
      for (size_t i = seen; i < Events.size(); ++i)
        if (Events[i] == text) return true;
      return false;
    });
  }

  float Value(const char* name) { return Meter.FindByName(name, 0)->GetValue(); }

  std::string Plain(int selector) {
    std::string text;
    Meter.ReadOrFormatValue(selector, text, nullptr);
    return text;
  }

  std::string Show(int selector) {
    std::string text;
    Meter.FormatValueWithUnit(selector, text, nullptr);
    return text;
  }

  testsupport::ComDirectory Dir;
  TModbusPort Port;
  TTR5 Meter{true, &Port};
  std::unique_ptr<SimServer> Sim;
  std::vector<std::string> Events;
  std::vector<std::pair<int, int>> Blocks;
};

TEST_F(DriverLine, SuccessfulCycleAlternatesBlocksAndStoresEachVariable) {
  ASSERT_NO_FATAL_FAILURE(StartMeter(MT_TR5));
  Meter.RelayReadInterval = NEVER;
  Sim->HoldRegister(1, 7500, 231.5);   // U1
  Sim->HoldRegister(1, 7533, -12.25);  // Pav, the last of the process block
  Sim->HoldRegister(1, 7617, 4.25);    // THD_I3, the last of the THD block
  Sim->HoldRegister(1, 4030, 2);       // relay output

  // The first tick sends and the step stays open until the reply is in.
  EXPECT_EQ(Meter.Update(0), MB_PENDING);
  EXPECT_EQ(Meter.BlockStart, 7500);
  ASSERT_NO_FATAL_FAILURE(Steps(7));
  EXPECT_EQ(Meter.ErrorCount, 0);
  EXPECT_EQ(Reads(Sim->Requests()),
            (std::vector<std::pair<int, int>>{P, T, {4030, 1}, P, T, P, T}));

  EXPECT_FLOAT_EQ(Value("U1"), 231.5f);
  EXPECT_FLOAT_EQ(Value("Pav"), -12.25f);
  EXPECT_FLOAT_EQ(Value("THD_I3"), 4.25f);
  EXPECT_FLOAT_EQ(Value("ALR"), 2.0f);
  EXPECT_EQ(Meter.FindByName("THD_U1", 0)->GetState(), 1);
}

TEST_F(DriverLine, Tr8ReadsTheProcessBlockOnlyAndItsOwnRelayRegister) {
  ASSERT_NO_FATAL_FAILURE(StartMeter(MT_TR8));
  Meter.RelayReadInterval = NEVER;
  Sim->HoldRegister(1, 4019, 1);
  ASSERT_NO_FATAL_FAILURE(Steps(4));
  EXPECT_EQ(Reads(Sim->Requests()), (std::vector<std::pair<int, int>>{P, {4019, 1}, P, P}));
  EXPECT_FLOAT_EQ(Value("ALR"), 1.0f);
  EXPECT_EQ(Value("THD_U1"), NO_VALUE);
}

TEST_F(DriverLine, RefusedAndUnansweredStepsAdvanceAndCountToThree) {
  ASSERT_NO_FATAL_FAILURE(StartMeter(MT_TR5));
  Meter.RelayReadInterval = NEVER;
  Sim->SetFaults(SimFaults{.ExceptionCode = 4});
  ASSERT_NO_FATAL_FAILURE(Steps(5));
  EXPECT_EQ(Meter.ErrorCount, 3);
  EXPECT_EQ(Blocks, (std::vector<std::pair<int, int>>{P, T, {4030, 1}, P, T}));
  EXPECT_EQ(Value("U1"), NO_VALUE);
  EXPECT_EQ(Meter.FindByName("U1", 0)->GetState(), 0);

  // Silence: each step ends by its time-out, still moving on. (The line's log
  // is no witness here: a request the meter has not taken in yet is purged
  // by the next send.)
  Port.ReplyTimeout = SILENT;
  Sim->SetFaults(SimFaults{.NoReply = true});
  ASSERT_NO_FATAL_FAILURE(Steps(3));
  EXPECT_EQ(Meter.ErrorCount, 3);
  EXPECT_EQ(Blocks, (std::vector<std::pair<int, int>>{P, T, P}));

  // While a reply is awaited the block does not move; one success clears the count.
  Sim->SetFaults(SimFaults{});
  Port.ReplyTimeout = ANSWERED;
  EXPECT_EQ(Meter.Update(0), MB_PENDING);
  EXPECT_EQ(Meter.BlockStart, 7612);
  ASSERT_NO_FATAL_FAILURE(Step());
  EXPECT_EQ(Meter.ErrorCount, 0);
  EXPECT_NE(Value("THD_U1"), NO_VALUE);
  EXPECT_EQ(Value("U1"), NO_VALUE);
  EXPECT_EQ(Meter.BlockStart, 7500);
}

TEST_F(DriverLine, LinkEventsThroughConnectLossAndRecovery) {
  ASSERT_NO_FATAL_FAILURE(StartMeter(MT_TR5));
  ASSERT_TRUE(RunUntilEvent("\tConnection to Feeder_1"));
  EXPECT_EQ(Meter.LinkState, 1);

  Port.ReplyTimeout = SILENT;
  Sim->SetFaults(SimFaults{.NoReply = true});
  ASSERT_TRUE(RunUntilEvent("\tTransmission error with Feeder_1"));
  EXPECT_EQ(Meter.LinkState, 3);
  int code = 0;
  std::string text = "untouched";
  EXPECT_EQ(Meter.NextEvent(code, text), -1);
  EXPECT_EQ(text, "untouched");

  // Link down: a group read sends nothing (the cycle never reads 4027/3).
  Meter.ReadOrFormatValue(200, text, nullptr);
  EXPECT_EQ(text, "");

  Sim->SetFaults(SimFaults{});
  Port.ReplyTimeout = ANSWERED;
  ASSERT_TRUE(RunUntilEvent("\tConnection to Feeder_1"));
  // The meter answers in order, so by now it has seen every request made.
  for (const auto& read : Reads(Sim->Requests())) EXPECT_NE(read.first, 4027);
  EXPECT_EQ(Events,
            (std::vector<std::string>{"\tConnection to Feeder_1", "\tTransmission error with Feeder_1",
                                      "\tConnection to Feeder_1"}));
}

TEST_F(DriverLine, AlarmEventsFollowEachModelsRelayRegister) {
  const std::pair<int, int> models[] = {
      {MT_TR5, 4030}, {MT_VR5, 4039}, {MT_VR5B, 4039}, {MT_TR5B, 4025}, {MT_TR8, 4019}};
  for (auto [type, reg] : models) {
    SCOPED_TRACE(type);
    Events.clear();
    ASSERT_NO_FATAL_FAILURE(StartMeter(type));
    Meter.AlarmFlags = 0;
    Meter.RelayReadInterval = 0;
    // A VR5 or VR5B has a fourth output (bit 3): the alarms are bits 0 to 2 whatever it does.
    const int output4 = type == MT_VR5 || type == MT_VR5B ? 8 : 0;
    Sim->HoldRegister(1, reg, 6 | output4);
    ASSERT_TRUE(RunUntilEvent("\tStart of alarm A3"));
    Sim->HoldRegister(1, reg, 1 | output4);
    ASSERT_TRUE(RunUntilEvent("\tEnd of alarm A3"));
    EXPECT_EQ(Events, (std::vector<std::string>{"\tConnection to Feeder_1", "\tStart of alarm A2",
                                                "\tStart of alarm A3", "\tStart of alarm A1",
                                                "\tEnd of alarm A2", "\tEnd of alarm A3"}));
    EXPECT_EQ(Meter.AlarmFlags, 1);
  }
}

TEST_F(DriverLine, DefaultRelayReadIntervalKeepsTheProcessRefresh) {
  ASSERT_NO_FATAL_FAILURE(StartMeter(MT_TR5));
  Sim->HoldRegister(1, 4030, 1);
  // The relay state is read soon after start...
  ASSERT_TRUE(RunUntilEvent("\tStart of alarm A1"));
  // ...and then not again for RelayReadInterval.
  Sim->ClearRequests();
  ASSERT_NO_FATAL_FAILURE(Steps(10));
  for (const auto& read : Reads(Sim->Requests())) EXPECT_NE(read.first, 4030);
}

TEST_F(DriverLine, GroupReadsTakeValueWidthFromTheStartRegister) {
  ASSERT_NO_FATAL_FAILURE(StartMeter(MT_VR5));
  Meter.LinkState = 1;
  const char* tz = std::getenv("TZ");
  const std::string savedTz = tz ? tz : "";
  setenv("TZ", "UTC0", 1);
  tzset();

  Sim->HoldRegister(1, 4000, 250);     // IRatio, 16-bit
  Sim->HoldRegister(1, 4008, -1200);   // Al1On, a negative 16-bit value, "%"
  Sim->HoldRegister(1, 7500, 230.12);  // U1, float
  Sim->HoldRegister(1, 7612, 3.14159); // THD_U1, kind 7
  Sim->HoldRegister(1, 7781, 1234.4);  // Ept2, "Wh"
  // 2004-01-10 13:37:59 as the meter counts it; a float could not hold it.
  Sim->HoldRegister(1, 7845, 1073741879.0 + 3600.0);
  for (int group : {5, 6, 19, 20, 33, 34}) {
    std::string text = "stale";
    Meter.ReadOrFormatValue(group * 100, text, nullptr);
    EXPECT_EQ(text, "");
    EXPECT_EQ(Meter.LastGroupReadOk, 1) << group;
  }
  EXPECT_EQ(Plain(501), "250");
  EXPECT_EQ(Show(602), "-1200 %");
  EXPECT_EQ(Show(1901), "230.1 V");
  EXPECT_EQ(Show(2001), "3.14 %");
  EXPECT_EQ(Show(3302), "1234 Wh");
  EXPECT_EQ(Show(3402), "04/01/10 13:37");
  std::string code;
  EXPECT_EQ(Reads(Sim->Requests()),
            (std::vector<std::pair<int, int>>{{4000, 7}, {4007, 13}, P, T, {7780, 12}, {7844, 12}}));

  // A refused read leaves every item of the group without a value.
  Sim->SetFaults(SimFaults{.ExceptionCode = 2});
  Meter.ReadOrFormatValue(500, code, nullptr);
  EXPECT_EQ(Meter.LastGroupReadOk, 0);
  EXPECT_EQ(Show(501), "");
  EXPECT_EQ(FindParamDef(507)->LastValue, NO_VALUE);
  EXPECT_EQ(Meter.FormatValueWithUnit(501, code, nullptr), NO_VALUE);

  if (tz) {
    setenv("TZ", savedTz.c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
}

TEST_F(DriverLine, WriteResults) {
  ASSERT_NO_FATAL_FAILURE(StartMeter(MT_TR5));
  Meter.LinkState = 1;
  std::string message = "stale";
  auto lastWrite = [&] { return LastWrite(Sim->Requests()).Value; };

  // Written, then read back: the item keeps what the meter holds.
  EXPECT_EQ(Meter.WriteParameter(1, "12.7", message), 1);  // tr_I
  EXPECT_EQ(message, "");
  EXPECT_EQ(lastWrite(), 12);
  EXPECT_EQ(Sim->GetRegister(1, 4000), 12.0);
  EXPECT_EQ(FindParamDef(1)->LastValue, 12.0);
  EXPECT_EQ(Plain(1), "12");
  const auto log = Sim->Requests();
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[log.size() - 1].Function, 3);
  EXPECT_EQ(log[log.size() - 1].Register, 4000);
  EXPECT_EQ(log[log.size() - 1].Count, 1);

  // What follows the number is ignored, as a C "%f" ignores it.
  EXPECT_EQ(Meter.WriteParameter(1, "150abc", message), 1);
  EXPECT_EQ(Sim->GetRegister(1, 4000), 150.0);

  const size_t sent = Sim->RequestCount();
  EXPECT_EQ(Meter.WriteParameter(1, "20001", message), 33);
  EXPECT_EQ(message, "Out of range");
  EXPECT_EQ(Meter.WriteParameter(1901, "5", message), 16);
  EXPECT_EQ(message, "Parameter read-only");
  Meter.LinkState = 3;
  EXPECT_EQ(Meter.WriteParameter(1, "5", message), 0);
  EXPECT_EQ(message, "No transmission with ");
  EXPECT_EQ(Sim->RequestCount(), sent);  // none of these reached the line
  Meter.LinkState = 1;

  Sim->SetFaults(SimFaults{.ExceptionCode = 4});
  EXPECT_EQ(Meter.WriteParameter(1, "99", message), 9);
  EXPECT_EQ(message, "Impossible request");
  EXPECT_EQ(FindParamDef(1)->LastValue, 150.0);

  Port.ReplyTimeout = SILENT;
  Sim->SetFaults(SimFaults{.NoReply = true});
  EXPECT_EQ(Meter.WriteParameter(1, "99", message), 9);
  EXPECT_EQ(FindParamDef(1)->LastValue, 150.0);
  Sim->SetFaults(SimFaults{});

  // Truncation toward zero of a negative value.
  ASSERT_NO_FATAL_FAILURE(StartMeter(MT_VR5));
  Meter.LinkState = 1;
  EXPECT_EQ(Meter.WriteParameter(602, "-0.5", message), 1);  // Al1On, -1200..1200
  EXPECT_EQ(lastWrite(), 0);
  EXPECT_EQ(Meter.WriteParameter(602, "-1199.9", message), 1);
  EXPECT_EQ(lastWrite(), -1199);

  // The relay outputs P1..P4 are bits 0 to 3: the table lets 16 be written,
  // but a meter with four outputs cannot hold it. (Output 1 off its alarm first.)
  EXPECT_EQ(Meter.WriteParameter(601, "41", message), 1);
  EXPECT_EQ(Meter.WriteParameter(901, "15", message), 1);
  EXPECT_EQ(Meter.WriteParameter(901, "16", message), 9);
  EXPECT_EQ(lastWrite(), 16);
  EXPECT_EQ(FindParamDef(901)->LastValue, 15.0);
}

// A change of meter while the old meter's reply is on its way: that reply is
// dropped, and once a group read has ended the old transaction the new
// meter's first reply is stored.
TEST_F(DriverLine, ChangeOfMeterDropsTheReplyInFlight) {
  ASSERT_NO_FATAL_FAILURE(StartMeter(MT_TR5));
  Meter.RelayReadInterval = NEVER;
  Sim->HoldRegister(1, 7500, 231.5);
  // Late enough to be still on its way when the step after the change polls.
  Sim->SetFaults(SimFaults{.DelayMs = 500});
  for (const bool groupReadBetween : {false, true}) {
    SCOPED_TRACE(groupReadBetween ? "group read in between" : "next step");
    ASSERT_EQ(Meter.Update(0), MB_PENDING);
    Meter.Kind = Meter.Kind == MT_TR5 ? MT_TR5B : MT_TR5;  // same address, another model
    Meter.ResetValues();
    ASSERT_EQ(Meter.Update(0), MB_PENDING);
    if (groupReadBetween) {
      Meter.LinkState = 1;
      std::string text;
      Meter.ReadOrFormatValue(0, text, nullptr);
      EXPECT_EQ(Meter.LastGroupReadOk, 1);
    }
    ASSERT_NO_FATAL_FAILURE(Step());
    EXPECT_EQ(Value("U1"), groupReadBetween ? 231.5f : NO_VALUE);
    ASSERT_NO_FATAL_FAILURE(Step());
    EXPECT_FLOAT_EQ(Value("U1"), 231.5f);
  }
}

// The faults real lines have, in both framings: the values shown, the link
// events, and that no write is reported done that the meter does not hold.
class DriverLineFaults : public DriverLine, public ::testing::WithParamInterface<int> {};

TEST_P(DriverLineFaults, ValuesEventsAndWritesStayTrue) {
  ASSERT_NO_FATAL_FAILURE(StartMeter(MT_TR5, GetParam()));
  Meter.RelayReadInterval = NEVER;
  std::string message;
  const struct {
    const char* Name;
    SimFaults Faults;
  } cells[] = {
      {"clean line", {}},
      {"local echo", {.Echo = true}},
      {"noise before replies", {.NoiseBytes = 7}},
      {"local echo and noise", {.NoiseBytes = 3, .Echo = true}},
  };
  int value = 100;
  for (const auto& cell : cells) {
    SCOPED_TRACE(cell.Name);
    Sim->SetFaults(cell.Faults);
    Sim->HoldRegister(1, 7500, 231.5 + value);
    ASSERT_NO_FATAL_FAILURE(Steps(2));
    EXPECT_EQ(Meter.ErrorCount, 0);
    EXPECT_FLOAT_EQ(Value("U1"), static_cast<float>(231.5 + value));
    EXPECT_NE(Value("THD_I3"), NO_VALUE);
    Meter.LinkState = 1;
    ++value;
    EXPECT_EQ(Meter.WriteParameter(1, std::to_string(value).c_str(), message), 1) << message;
    EXPECT_EQ(Sim->GetRegister(1, 4000), value);
    EXPECT_EQ(FindParamDef(1)->LastValue, value);
    // A command acts and reads 0 again: done all the same.
    FindParamDef(11)->LastValue = 1;
    EXPECT_EQ(Meter.WriteParameter(11, "1", message), 1) << message;  // EnPO
    EXPECT_EQ(LastWrite(Sim->Requests()).Reply, 6);
    EXPECT_EQ(FindParamDef(11)->LastValue, 0.0);
  }

  // A meter that confirms a write but keeps its old value has not done it;
  // a command that reads back neither the value sent nor 0 neither.
  Sim->HoldRegister(1, 4000, value);
  Sim->HoldRegister(1, 4009, 5);  // PI_O
  for (const int item : {1, 10}) {
    SCOPED_TRACE(item);
    EXPECT_EQ(Meter.WriteParameter(item, "1", message), 9);
    EXPECT_EQ(message, "Impossible request");
    EXPECT_EQ(LastWrite(Sim->Requests()).Reply, 6);
  }
  EXPECT_EQ(FindParamDef(1)->LastValue, value);
  Sim->ReleaseRegister(1, 4000);
  Sim->ReleaseRegister(1, 4009);

  // Setup values whose bytes bring the running CRC of the reply to 0 inside
  // it: the group is read whole every time, not cut at that point.
  Sim->SetFaults(SimFaults{});
  const uint8_t header[] = {1, 3, 17 * 2};
  const uint16_t crc = modbus::Crc16(header, sizeof header);
  const int16_t early = static_cast<int16_t>((crc & 0xFF) << 8 | crc >> 8);
  Sim->HoldRegister(1, 4000, early);
  for (int k = 0; k < 3; ++k) {
    Meter.ReadOrFormatValue(0, message, nullptr);
    EXPECT_EQ(Meter.LastGroupReadOk, 1);
    EXPECT_EQ(FindParamDef(1)->LastValue, early);
  }
  value = early;

  // The meter gone, the adapter still echoing: our own bytes are no reply,
  // the link goes down and a write is not reported done.
  Port.ReplyTimeout = SILENT;
  Sim->SetFaults(SimFaults{.NoReply = true, .Echo = true});
  ASSERT_TRUE(RunUntilEvent("\tTransmission error with Feeder_1"));
  EXPECT_EQ(Meter.LinkState, 3);
  Meter.LinkState = 1;
  EXPECT_EQ(Meter.WriteParameter(1, "77", message), 9);
  EXPECT_EQ(message, "Impossible request");
  EXPECT_EQ(Sim->GetRegister(1, 4000), value);
  EXPECT_EQ(FindParamDef(1)->LastValue, value);
  Meter.LinkState = 3;
  Sim->SetFaults(SimFaults{.Echo = true});
  Port.ReplyTimeout = ANSWERED;
  ASSERT_TRUE(RunUntilEvent("\tConnection to Feeder_1"));

  // A line whose echo is not known yet, and a meter that misses one request:
  // a command is done only when the meter itself confirmed it, never on the
  // strength of a copy that may be our own echo. A quiet line stays unknown
  // when the meter misses the read that was to learn it: nothing is written.
  // The time-out lets one silence run out and is many times the replies' line time.
  Port.ReplyTimeout = 1000;
  for (const bool echo : {true, false}) {
    SCOPED_TRACE(echo ? "echoing" : "quiet");
    ASSERT_EQ(Port.Configure(0, BAUD_9600, GetParam(), 0), 0);
    Sim->ClearRequests();
    Sim->SetFaults(SimFaults{.NoReply = true, .ForReplies = 1, .Echo = echo});
    EXPECT_EQ(Meter.WriteParameter(11, "1", message), echo ? 1 : 9);
    EXPECT_EQ(LastWrite(Sim->Requests()).Reply, echo ? 6 : 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Framing, DriverLineFaults, ::testing::Values(MODE_ASCII_8N1, MODE_RTU_8N1),
                         [](const auto& info) { return info.param >= 3 ? "Rtu" : "Ascii"; });

// Replies played by hand in RTU, so that a reply can be given to the wrong
// request on purpose.
class DriverHandPlayed : public ::testing::Test {
protected:
  void SetUp() override {
    Dir.Link(1, Line.SlavePath());
    ASSERT_EQ(Port.Configure(0, BAUD_9600, MODE_RTU_8N1, 0), 0);
    Port.ReplyTimeout = SILENT;
    Meter.Address = 1;
    Meter.RelayReadInterval = NEVER;
    Meter.ResetValues();
  }

  // The 8 bytes of the next request; empty when none comes.
  std::vector<uint8_t> Request() { return Line.ReadCount(8, 2000); }

  static SimBytes FloatReply(int count, float value) {
    SimBytes pdu{1, 3, static_cast<uint8_t>(count * 4)};
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    for (int i = 0; i < count; ++i)
      for (int shift = 24; shift >= 0; shift -= 8) pdu.push_back(static_cast<uint8_t>(bits >> shift));
    return SimFrameReply(true, pdu);
  }

  int FinishStep() {
    const auto deadline = Clock::now() + LIMIT;
    int r;
    while ((r = Meter.Update(0)) == MB_PENDING && Clock::now() < deadline)
      std::this_thread::sleep_for(1ms);
    return r;
  }

  testsupport::PtyPair Line;
  testsupport::ComDirectory Dir;
  TModbusPort Port;
  TTR5 Meter{true, &Port};
};

TEST_F(DriverHandPlayed, LateReplyToTheProcessBlockIsNotStoredAsThd) {
  EXPECT_EQ(Meter.Update(0), MB_PENDING);
  std::vector<uint8_t> request = Request();
  ASSERT_EQ(request.size(), 8u);
  EXPECT_EQ(request[2] * 256 + request[3], 7500);
  EXPECT_EQ(FinishStep(), 0);  // time-out
  EXPECT_EQ(Meter.ErrorCount, 2);
  Port.ReplyTimeout = ANSWERED;  // from here on every reply comes in time

  EXPECT_EQ(Meter.Update(0), MB_PENDING);
  request = Request();
  ASSERT_EQ(request.size(), 8u);
  EXPECT_EQ(request[2] * 256 + request[3], 7612);
  // The slow meter's answer to the process block arrives now.
  ASSERT_TRUE(Line.Write(FloatReply(34, 230.0f)));
  EXPECT_EQ(FinishStep(), 0);
  EXPECT_EQ(Meter.ErrorCount, 3);
  for (const char* name : {"THD_U1", "THD_U2", "THD_U3", "THD_I1", "THD_I2", "THD_I3"})
    EXPECT_EQ(Meter.FindByName(name, 0)->GetValue(), NO_VALUE) << name;

  // The relay read comes next; its right answer is taken.
  EXPECT_EQ(Meter.Update(0), MB_PENDING);
  request = Request();
  ASSERT_EQ(request.size(), 8u);
  EXPECT_EQ(request[2] * 256 + request[3], 4030);
  ASSERT_TRUE(Line.Write(SimFrameReply(true, SimBytes{1, 3, 2, 0, 5})));
  EXPECT_EQ(FinishStep(), 0);
  EXPECT_EQ(Meter.ErrorCount, 0);
  EXPECT_EQ(Meter.FindByName("ALR", 0)->GetValue(), 5.0f);

  // And a process block of the right size is stored.
  EXPECT_EQ(Meter.Update(0), MB_PENDING);
  ASSERT_EQ(Request().size(), 8u);
  ASSERT_TRUE(Line.Write(FloatReply(34, 229.5f)));
  EXPECT_EQ(FinishStep(), 0);
  EXPECT_EQ(Meter.FindByName("Pav", 0)->GetValue(), 229.5f);
}

TEST_F(DriverHandPlayed, GroupReadOfTheWrongSizeStoresNothing) {
  Meter.LinkState = 1;
  Port.ReplyTimeout = ANSWERED;
  FindParamDef(2001)->LastValue = 1.5;
  auto answer = [&](SimBytes reply) {
    std::thread meter([&] {
      if (Request().size() == 8u) Line.Write(reply);
    });
    std::string text;
    Meter.ReadOrFormatValue(2000, text, nullptr);
    meter.join();
  };
  answer(FloatReply(2, 7.0f));  // six THD values asked for, two came
  EXPECT_EQ(Meter.LastGroupReadOk, 0);
  for (int item = 1; item <= 6; ++item) EXPECT_EQ(FindParamDef(2000 + item)->LastValue, NO_VALUE);

  answer(FloatReply(6, 7.0f));
  EXPECT_EQ(Meter.LastGroupReadOk, 1);
  for (int item = 1; item <= 6; ++item) EXPECT_EQ(FindParamDef(2000 + item)->LastValue, 7.0);
}

}  // namespace
