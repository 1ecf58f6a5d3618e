// The bus scan against simulated meters on a pseudo-terminal.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>

#include "comm/Trans.h"
#include "model/BusScan.h"
#include "model/ParamDef.h"
#include "sim/SimServer.h"
#include "tests/support/PtyTools.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int BAUD_19200 = 6;
constexpr int BAUD_9600 = 5;
constexpr uint32_t ANSWERED = 5000;  // normal reply time-out: a loaded machine never reaches it

class BusScanLine : public ::testing::TestWithParam<int> {
protected:
  void Start(std::vector<SimMeterConfig> meters, int mode, SimFaults faults = {}) {
    SimConfig config;
    config.Meters = std::move(meters);
    config.Mode = mode;
    config.Baud = 19200;
    config.LinkPath = Dir.Path() + "/COM1";
    Sim = std::make_unique<SimServer>(config);
    std::string error;
    ASSERT_TRUE(Sim->Start(&error)) << error;
    Sim->SetFaults(faults);
    ASSERT_EQ(Port.Configure(0, BAUD_19200, mode, 0), 0);
    Port.ReplyTimeout = ANSWERED;
  }

  static std::map<int, std::string> Models(const TScanResult& r) {
    std::map<int, std::string> m;
    for (const TScanFind& f : r.Finds) m[f.Address] = f.ModelText();
    return m;
  }

  testsupport::ComDirectory Dir;
  TModbusPort Port;
  std::unique_ptr<SimServer> Sim;
};

// Every model at a scattered address, in ASCII and in RTU: exactly those are
// found and named, the one pair the registers cannot separate as such. An
// address is probed a second time only when it stayed silent at the first.
TEST_P(BusScanLine, FindsAndNamesEveryMeterOfTheLine) {
  const int mode = GetParam();
  ASSERT_NO_FATAL_FAILURE(
      Start({{MT_TR5, 210}, {MT_VR5, 213}, {MT_TR5B, 227}, {MT_VR5B, 240}, {MT_TR8, 247}}, mode));
  TBusScan scan(Port);
  scan.From = 210;
  int progressCalls = 0, lastDone = -1, lastFirst = 209;
  bool second = false;
  std::set<int> foundFirst, probedSecond;
  std::vector<int> announced;
  scan.OnProgress = [&](const TScanProgress& p) {
    ++progressCalls;
    EXPECT_EQ(p.Total, 2 * 38);
    EXPECT_GT(p.Done, lastDone);
    lastDone = p.Done;
    EXPECT_FALSE(second && !p.Second);  // the first probes all come first
    second = p.Second;
    if (p.Second) {
      probedSecond.insert(p.Address);
    } else {
      EXPECT_EQ(p.Address, lastFirst + 1);
      lastFirst = p.Address;
    }
  };
  scan.OnFind = [&](const TScanFind& f) {
    announced.push_back(f.Address);
    if (!second) foundFirst.insert(f.Address);
  };

  const TScanResult r = scan.Run();
  EXPECT_FALSE(r.Cancelled);
  EXPECT_EQ(lastFirst, 247);
  EXPECT_EQ(Models(r),
            (std::map<int, std::string>{
                {210, "TR5"}, {213, "VR5 or VR5B"}, {227, "TR5B"}, {240, "VR5 or VR5B"}, {247, "TR8"}}));
  std::vector<int> sorted = announced;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted, (std::vector<int>{210, 213, 227, 240, 247}));
  for (const TScanFind& f : r.Finds) {
    EXPECT_EQ(f.Setting, (TLineSetting{BAUD_19200, mode}));
    EXPECT_TRUE(f.Detail.empty()) << f.Detail;
  }
  EXPECT_EQ(r.Finds[0].MeterType(), MT_TR5);
  EXPECT_EQ(r.Finds[1].MeterType(), 0);  // two fit: the user chooses
  EXPECT_EQ(r.Finds[1].Candidates, (std::vector<int>{MT_VR5, MT_VR5B}));
  // Every silent address was probed again, no meter that answered at once was.
  for (int a = 210; a <= 247; ++a) {
    if (!Models(r).count(a)) EXPECT_TRUE(probedSecond.count(a)) << a;
    if (foundFirst.count(a)) EXPECT_FALSE(probedSecond.count(a)) << a;
  }
  EXPECT_EQ(progressCalls, 38 + static_cast<int>(probedSecond.size()));

  // Only one-register reads went out; and the port keeps its time-out.
  for (const SimRequest& q : Sim->Requests()) {
    EXPECT_EQ(q.Function, 3);
    EXPECT_EQ(q.Count, 1);
  }
  EXPECT_EQ(Port.ReplyTimeout, ANSWERED);
}

// Meters that answer 150 ms late, beyond the first probe's wait: the second
// probe finds them, and the time they took is measured and waited for from
// then on. In ASCII and RTU.
TEST_P(BusScanLine, SlowMetersAreFoundByTheSecondProbe) {
  const int mode = GetParam();
  ASSERT_NO_FATAL_FAILURE(Start({{MT_TR8, 2}, {MT_TR5, 5}}, mode, SimFaults{.DelayMs = 150}));
  const TLineSetting own{BAUD_19200, mode};
  TBusScan scan(Port);
  scan.From = 1;
  scan.To = 6;
  // The simulator's 150 ms are its own; a busy machine may add to them.
  scan.SecondMarginMs += static_cast<uint32_t>(testsupport::LoadAllowanceMs());
  ASSERT_LT(scan.ProbeTimeoutMs(own), 150u);
  const uint32_t estimate = scan.EstimateMs();
  const TScanResult r = scan.Run();
  EXPECT_EQ(Models(r), (std::map<int, std::string>{{2, "TR8"}, {5, "TR5"}}));
  for (const TScanFind& f : r.Finds) EXPECT_TRUE(f.Detail.empty()) << f.Detail;
  // A pseudo-terminal carries the bytes at once: the delay is all there is
  // beyond the line time the scan reckons with.
  const uint32_t lineTime = TBusScan::ExchangeLineTimeMs(own);
  EXPECT_GE(scan.LatencyMs + lineTime, 150u);
  EXPECT_GE(scan.SecondProbeTimeoutMs(own), 150u + scan.SecondMarginMs);
  EXPECT_GE(scan.EstimateMs(), estimate + 6 * (150 - lineTime));
}

INSTANTIATE_TEST_SUITE_P(Framing, BusScanLine, ::testing::Values(0, 6),
                         [](const auto& info) { return info.param < 3 ? "Ascii" : "Rtu"; });

// Both probes of every address waited for, within the estimate.
TEST_F(BusScanLine, SilentLineGivesNothingWithinTheEstimate) {
  ASSERT_NO_FATAL_FAILURE(Start({{MT_TR5, 1}}, 6, SimFaults{.NoReply = true}));
  TBusScan scan(Port);
  EXPECT_LT(scan.EstimateMs(), 120000u);  // the whole range at 19200 bit/s: under two minutes
  EXPECT_LT(scan.ProbeTimeoutMs({BAUD_19200, 6}), 100u);
  EXPECT_GT(scan.ProbeTimeoutMs({0, 0}), 1000u);  // 300 bit/s ASCII: the line time itself is a second

  scan.To = 30;
  const uint32_t estimate = scan.EstimateMs();
  const auto t0 = Clock::now();
  const TScanResult r = scan.Run();
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count();
  EXPECT_TRUE(r.Finds.empty());
  EXPECT_FALSE(r.Cancelled);
  // Each address waited for, twice; the slack is for a loaded machine only.
  EXPECT_LT(ms, estimate * 3 / 2 + testsupport::LoadAllowanceMs());
  EXPECT_GT(ms, estimate * 3 / 4);
  EXPECT_TRUE(Sim->WaitForRequests(2 * 30, testsupport::LoadAllowance()));
  EXPECT_EQ(Sim->RequestCount(), 2u * 30);
  EXPECT_EQ(Port.ReplyTimeout, ANSWERED);
}

TEST_F(BusScanLine, MeterAnsweringOnlyWithExceptionsIsListedAsUnknown) {
  ASSERT_NO_FATAL_FAILURE(Start({{MT_TR5, 5}, {MT_TR8, 6}, {MT_VR5, 7}}, 0,
                                SimFaults{.ExceptionCode = 4, .OnlyAddress = 5}));
  TBusScan scan(Port);
  scan.From = 4;
  scan.To = 8;
  TScanResult r = scan.Run();
  ASSERT_EQ(r.Finds.size(), 3u);
  EXPECT_EQ(r.Finds[0].ModelText(), "unknown");
  EXPECT_EQ(r.Finds[0].Detail, "exception 04 to every read");
  EXPECT_EQ(r.Finds[1].ModelText(), "TR8");
  EXPECT_EQ(r.Finds[2].ModelText(), "VR5 or VR5B");

  // A device that refuses every register as absent fits no model's map either.
  Sim->SetFaults(SimFaults{.ExceptionCode = 2, .OnlyAddress = 7});
  r = scan.Run();
  ASSERT_EQ(r.Finds.size(), 3u);
  EXPECT_EQ(r.Finds[2].ModelText(), "unknown");
  EXPECT_EQ(r.Finds[2].Detail, "register map of no known model");
}

TEST_F(BusScanLine, CancelStopsAtOnceAndLeavesThePortAsItWas) {
  ASSERT_NO_FATAL_FAILURE(Start({{MT_TR5, 200}}, 0, SimFaults{.NoReply = true}));
  TBusScan scan(Port);
  scan.Settings = AllLineSettings();
  std::atomic<int> probes{0};
  scan.OnProgress = [&](const TScanProgress&) { ++probes; };
  TScanResult r;
  std::atomic<bool> done{false};
  Clock::time_point ended;
  std::thread worker([&] {
    r = scan.Run();
    ended = Clock::now();
    done = true;
  });
  while (probes < 5) std::this_thread::sleep_for(1ms);
  const int before = probes;
  const auto cancelled = Clock::now();
  scan.Cancel();
  worker.join();
  ASSERT_TRUE(done);
  EXPECT_TRUE(r.Cancelled);
  // At most the probe on the line finishes, and one more may have been
  // announced but is not sent.
  EXPECT_LT(ended - cancelled, std::chrono::milliseconds(scan.SecondProbeTimeoutMs({BAUD_19200, 0})) +
                                   testsupport::LoadAllowance());
  EXPECT_LE(probes, before + 1);
  EXPECT_LE(Sim->RequestCount(), static_cast<size_t>(before + 1));
  int index, baud, mode, link, io;
  Port.GetSettings(index, baud, mode, link, io);
  EXPECT_EQ(baud, BAUD_19200);
  EXPECT_EQ(mode, 0);
  EXPECT_EQ(Port.ReplyTimeout, ANSWERED);
}

// The sweep over other settings finds the meter where its framing is spoken
// (a pseudo-terminal has no baud rate) and puts the line back afterwards.
TEST_F(BusScanLine, OtherSettingsReportWhereMetersAnswer) {
  ASSERT_NO_FATAL_FAILURE(Start({{MT_TR8, 2}}, 4));
  ASSERT_EQ(Port.Configure(-1, BAUD_9600, 0, -1), 0);  // the port at ASCII 9600
  Port.ReplyTimeout = ANSWERED;
  TBusScan scan(Port);
  scan.From = 1;
  scan.To = 3;
  scan.Settings = {{BAUD_19200, 0}, {BAUD_19200, 4}, {BAUD_9600, 6}};
  const TScanResult r = scan.Run();
  ASSERT_EQ(r.Finds.size(), 2u);
  EXPECT_EQ(r.Finds[0].Setting, (TLineSetting{BAUD_19200, 4}));
  EXPECT_EQ(r.Finds[1].Setting, (TLineSetting{BAUD_9600, 6}));
  EXPECT_EQ(LineSettingText(r.Finds[1].Setting), "9600 bit/s, mode 6 (RTU 8N1)");
  for (const TScanFind& f : r.Finds) EXPECT_EQ(f.ModelText(), "TR8");
  int index, baud, mode, link, io;
  Port.GetSettings(index, baud, mode, link, io);
  EXPECT_EQ(baud, BAUD_9600);
  EXPECT_EQ(mode, 0);
  EXPECT_EQ(Port.ReplyTimeout, ANSWERED);
}

}  // namespace
