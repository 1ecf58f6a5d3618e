// The gateway against the simulator on a pseudo-terminal, in ASCII and RTU,
// with its outputs checked by the real outside parts: promtool for /metrics,
// a mosquitto broker and mosquitto_sub for MQTT, the SQLite file itself, and
// the kavrel-gateway program run as a service is.
#include <gtest/gtest.h>
#include <httplib.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "comm/LineFormat.h"
#include "comm/ModbusFrame.h"
#include "gateway/Gateway.h"
#include "gateway/SqliteRecorder.h"
#include "model/Registers.h"
#include "sim/SimServer.h"
#include "sim/SimTcpListener.h"
#include "tests/gateway/GatewayTestSupport.h"
#include "tests/support/PtyTools.h"
#include "tests/support/TcpPeer.h"

using namespace gatewaytest;
using namespace std::chrono_literals;

namespace {

struct TFraming {
  const char* Name;
  int Mode;
};
void PrintTo(const TFraming& f, std::ostream* os) { *os << f.Name; }

// The value of the series that starts with prefix (name and labels up to
// where they are given) in a /metrics text; NaN when there is none.
double SeriesValue(const std::string& metrics, const std::string& prefix) {
  for (size_t at = metrics.find(prefix); at != std::string::npos; at = metrics.find(prefix, at + 1)) {
    if (at != 0 && metrics[at - 1] != '\n') continue;
    const size_t end = metrics.find('\n', at);
    const std::string line = metrics.substr(at, end - at);
    return std::stod(line.substr(line.rfind(' ') + 1));
  }
  return std::nan("");
}

// The sum of every series that starts with prefix (a VR5's tariffs); 0 when there is none.
double SeriesSum(const std::string& metrics, const std::string& prefix) {
  double sum = 0;
  for (size_t at = metrics.find(prefix); at != std::string::npos; at = metrics.find(prefix, at + 1)) {
    const std::string line = metrics.substr(at, metrics.find('\n', at) - at);
    if (at == 0 || metrics[at - 1] == '\n') sum += std::stod(line.substr(line.rfind(' ') + 1));
  }
  return sum;
}

// The share of the line's time, from the first request that wants to the
// last, given to the requests that want: the time from each to the next.
double LineShare(const std::vector<SimRequest>& log, const std::function<bool(const SimRequest&)>& wanted) {
  double first = -1, taken = 0;
  for (size_t i = 0; i + 1 < log.size(); ++i) {
    if (!wanted(log[i])) continue;
    if (first < 0) first = log[i].Time;
    taken += log[i + 1].Time - log[i].Time;
  }
  return first < 0 || log.back().Time <= first ? 0 : taken / (log.back().Time - first);
}

bool IsEnergyRead(const SimRequest& r) {
  return r.Function == 3 &&
         ((r.Register >= 7534 && r.Register < 7540) || (r.Register >= 7780 && r.Register < 7792));
}
bool IsHarmonicsRead(const SimRequest& r) {
  return r.Function == 3 && r.Register >= 7630 && r.Register < 7780;
}

class Gateway : public ::testing::TestWithParam<TFraming> {
protected:
  void SetUp() override {
    SimConfig sim;
    sim.Meters = {{MT_TR5, 1}, {MT_VR5, 2}, {MT_TR8, 3}};
    sim.Mode = GetParam().Mode;
    sim.Baud = 19200;
    // Replies take the line's time, as on a real line: the gateway takes each
    // as it arrives and would otherwise poll as fast as the machine allows.
    sim.Pace = true;
    sim.LinkPath = Dir.Path() + "/COM1";
    Sim = std::make_unique<SimServer>(sim);
    std::string error;
    ASSERT_TRUE(Sim->Start(&error)) << error;
    Sim->HoldRegister(1, 7500, 231.5);  // U1 of the TR5
    Sim->HoldRegister(1, 7612, 3.5);    // its THD of U1, %
    Sim->HoldRegister(3, 7528, 49.94);  // f of the TR8

    TLineConfig line;
    line.Name = "board";
    line.Port = Dir.Path() + "/COM1";  // a path, as a device would be named
    line.Mode = GetParam().Mode;
    line.TimeoutMs = 300;
    line.Meters = {{"incomer", MT_TR5, 1}, {"feeder", MT_VR5, 2}, {"drive", MT_TR8, 3}};
    Config.Lines = {line};
    Config.Http.Enabled = true;
    Config.Http.Port = 0;
  }

  void TearDown() override {
    Gw.reset();
    if (Sim) Sim->Stop();
    for (const char* f : {"/g.db", "/g.db-wal", "/g.db-shm", "/sub.txt", "/sub2.txt", "/mosquitto.conf",
                          "/mosquitto.log", "/gw.txt", "/g.toml", "/metrics.txt"})
      std::remove((Dir.Path() + f).c_str());
  }

  void StartGateway() {
    Gw = std::make_unique<TGateway>(Config);
    std::string error;
    ASSERT_TRUE(Gw->Start(error)) << error;
  }

  std::string Get(const std::string& path, int* status = nullptr) {
    httplib::Client client("127.0.0.1", Gw->HttpPort());
    client.set_read_timeout(10, 0);
    auto res = client.Get(path.c_str());
    if (status) *status = res ? res->status : 0;
    return res ? res->body : std::string();
  }

  nlohmann::json Meter(const std::string& name) {
    const nlohmann::json doc = nlohmann::json::parse(Get("/api/meters"), nullptr, false);
    if (doc.is_discarded()) return {};
    for (const auto& m : doc["meters"])
      if (m["name"] == name) return m;
    return {};
  }

  uint64_t Counter(const std::string& meter, const char* name) {
    const nlohmann::json m = Meter(meter);
    return m.is_null() ? 0 : m["counters"][name].get<uint64_t>();
  }

  testsupport::ComDirectory Dir;
  std::unique_ptr<SimServer> Sim;
  TGatewayConfig Config;
  std::unique_ptr<TGateway> Gw;
};

TEST_P(Gateway, ServesTheSimulatorsValuesAsMetricsAndJson) {
  Config.Lines[0].TimeoutMs = 1000;  // room for the late replies below
  // Energy and harmonics asked for far more often than the line can give
  // them: they take their share of it and no more.
  Config.Lines[0].EnergyIntervalS = 0.05;
  Config.Lines[0].HarmonicsIntervalS = 1;
  Config.Lines[0].Meters[0].NominalVoltage = 400;
  Sim->HoldRegister(1, 7537, 2.5);  // the TR5's external active energy, Wh
  Sim->HoldRegister(1, 7632, 4.2);  // its 3rd harmonic of U1, %
  StartGateway();
  ASSERT_TRUE(WaitUntil([&] {
    const nlohmann::json m = Meter("incomer");
    return !m.is_null() && m["values"].contains("THD_U1") && m["values"].contains("ALR") &&
           m["values"].contains("EnP") && m["values"].contains("HarU1_3");
  }));
  const nlohmann::json incomer = Meter("incomer");
  EXPECT_EQ(incomer["link"], "up");
  EXPECT_FLOAT_EQ(incomer["values"]["U1"]["value"].get<float>(), 231.5f);
  EXPECT_EQ(incomer["values"]["U1"]["unit"], "V");
  EXPECT_LT(incomer["values"]["U1"]["age_s"].get<double>(), 10.0);
  // Values that drift are close to what the simulator holds now.
  const double u2 = *Sim->GetRegister(1, 7507);
  EXPECT_NEAR(incomer["values"]["U2"]["value"].get<double>(), u2, u2 * 0.05);

  ASSERT_TRUE(WaitUntil([&] { return Meter("drive")["values"].contains("f"); }));
  const nlohmann::json drive = Meter("drive");
  EXPECT_FLOAT_EQ(drive["values"]["f"]["value"].get<float>(), 49.94f);
  EXPECT_FALSE(drive["values"].contains("THD_U1"));  // a TR8 has no THD block
  // Counters in the meter's own units; the VR5's are its tariffs.
  EXPECT_EQ(incomer["values"]["EnP"]["unit"], "Wh");
  EXPECT_EQ(incomer["values"]["EnB"]["unit"], "VArh");
  EXPECT_FLOAT_EQ(incomer["values"]["EnPz"]["value"].get<float>(), 2.5f);
  ASSERT_TRUE(WaitUntil([&] { return Meter("feeder")["values"].contains("Est4"); }));
  EXPECT_EQ(Meter("feeder")["values"]["Eqt1"]["unit"], "Varh");
  EXPECT_FALSE(drive["values"].contains("EnP"));
  EXPECT_FALSE(drive["values"].contains("HarU1_1"));

  const std::string metrics = Get("/metrics");
  const std::string incomerLabels = "{meter=\"incomer\",model=\"TR5\",line=\"board\"";
  EXPECT_NE(metrics.find("kavrel_external_active_energy_joules_total" + incomerLabels + "} 9000\n"),
            std::string::npos)
      << metrics;
  EXPECT_NE(
      metrics.find(
          "kavrel_active_energy_joules_total{meter=\"feeder\",model=\"VR5\",line=\"board\",tariff=\"4\"} "),
      std::string::npos);
  EXPECT_NE(metrics.find("kavrel_harmonic_ratio" + incomerLabels +
                         ",quantity=\"voltage\",phase=\"L1\",order=\"3\"} 0.042\n"),
            std::string::npos);
  EXPECT_NE(metrics.find("kavrel_harmonic_ratio" + incomerLabels +
                         ",quantity=\"voltage\",phase=\"L1\",order=\"1\"} 1\n"),
            std::string::npos);
  EXPECT_EQ(metrics.find("kavrel_harmonic_ratio{meter=\"drive\""), std::string::npos);
  EXPECT_NE(metrics.find("kavrel_meter_info{meter=\"drive\",model=\"TR8\",line=\"board\",address=\"3\"} 1\n"),
            std::string::npos);
  EXPECT_NE(metrics.find("kavrel_meter_nominal_voltage_volts" + incomerLabels + "} 400\n"),
            std::string::npos);
  EXPECT_NE(
      metrics.find("kavrel_meter_nominal_voltage_volts{meter=\"feeder\",model=\"VR5\",line=\"board\"} 230\n"),
      std::string::npos);
  EXPECT_NE(metrics.find("kavrel_meter_counter_resets_total" + incomerLabels + ",counter=\"EnSz\"} 0\n"),
            std::string::npos);
  EXPECT_NE(metrics.find("kavrel_meter_counter_resets_total{meter=\"feeder\",model=\"VR5\",line=\"board\","
                         "counter=\"Est4\"} 0\n"),
            std::string::npos);
  EXPECT_EQ(metrics.find("kavrel_meter_counter_resets_total{meter=\"drive\""), std::string::npos);

  // The counters grow as the simulated meters consume: the TR5's own, the VR5's in the tariff of the hour.
  const std::string tr5 = "kavrel_active_energy_joules_total{meter=\"incomer\"";
  const std::string vr5 = "kavrel_active_energy_joules_total{meter=\"feeder\"";
  const double tr5Before = SeriesSum(metrics, tr5), vr5Before = SeriesSum(metrics, vr5);
  EXPECT_GT(tr5Before, 0);
  EXPECT_TRUE(WaitUntil([&] {
    const std::string later = Get("/metrics");
    return SeriesSum(later, tr5) > tr5Before && SeriesSum(later, vr5) > vr5Before;
  }));
  std::this_thread::sleep_for(3s);
  const std::vector<SimRequest> line = Sim->Requests();
  EXPECT_LE(LineShare(line, IsEnergyRead), 0.07);
  EXPECT_LE(LineShare(line, IsHarmonicsRead), 0.11);
  EXPECT_NE(metrics.find("kavrel_phase_voltage_volts{meter=\"incomer\",model=\"TR5\",line=\"board\",phase=\"L1\"} 231.5\n"),
            std::string::npos) << metrics;
  EXPECT_NE(metrics.find("kavrel_voltage_thd_ratio{meter=\"incomer\",model=\"TR5\",line=\"board\",phase=\"L1\"} 0.035"),
            std::string::npos);
  EXPECT_NE(metrics.find("kavrel_frequency_hertz{meter=\"drive\",model=\"TR8\",line=\"board\",phase=\"total\"} 49.94"),
            std::string::npos);
  EXPECT_EQ(metrics.find("kavrel_voltage_thd_ratio{meter=\"drive\""), std::string::npos);
  EXPECT_NE(metrics.find("kavrel_meter_reply_duration_seconds_bucket{meter=\"feeder\",model=\"VR5\",line=\"board\",le=\"+Inf\"}"),
            std::string::npos);
  EXPECT_NE(metrics.find("kavrel_meter_link_up{meter=\"feeder\",model=\"VR5\",line=\"board\"} 1"), std::string::npos);

  // Prometheus' own checker accepts the exposition.
  const std::string file = Dir.Path() + "/metrics.txt";
  std::ofstream(file) << metrics;
  const std::string command = "promtool check metrics < '" + file + "' 2>&1";
  FILE* p = popen(command.c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string said;
  char buffer[256];
  while (fgets(buffer, sizeof buffer, p)) said += buffer;
  // Its one remark is on the agreed name of the resets counter, which holds the word.
  const std::string remark =
      "kavrel_meter_counter_resets_total metric name should not include type 'counter'\n";
  const bool remarked = said.find(remark) != std::string::npos;
  if (remarked) said.erase(said.find(remark), remark.size());
  EXPECT_EQ(WEXITSTATUS(pclose(p)), remarked ? 3 : 0) << said;
  EXPECT_EQ(said, "");

  int status = 0;
  EXPECT_EQ(Get("/healthz", &status), "ok\n");
  EXPECT_EQ(status, 200);

  // The reply times spread over the histogram's buckets: short blocks answer
  // within 0.1 s, and replies that come 150 ms late fall above it. The first
  // of them outlasts the wait learnt from the quick ones and is missed; the
  // retry waits longer, hears the meter and learns its new delay.
  const std::string feeder =
      "kavrel_meter_reply_duration_seconds_bucket{meter=\"feeder\",model=\"VR5\",line=\"board\",le=";
  const double before =
      SeriesValue(Get("/metrics"), "kavrel_meter_reply_duration_seconds_sum{meter=\"feeder\"");
  Sim->SetFaults(SimFaults{.DelayMs = 150, .OnlyAddress = 2, .ForReplies = 5});
  ASSERT_TRUE(WaitUntil([&] { return !Sim->Faults().Any(); }));
  std::string histogram;
  double fast = 0, all = 0;
  EXPECT_TRUE(WaitUntil([&] {
    histogram = Get("/metrics");
    fast = SeriesValue(histogram, feeder + "\"0.1\"}");
    all = SeriesValue(histogram, feeder + "\"+Inf\"}");
    const double sum = SeriesValue(histogram, "kavrel_meter_reply_duration_seconds_sum{meter=\"feeder\"");
    return all - fast >= 4 && sum >= before + 4 * 0.15;  // the late replies are in
  })) << histogram;
  EXPECT_GT(fast, 0) << histogram;
  EXPECT_LE(SeriesValue(histogram, feeder + "\"0.05\"}"), fast);
  EXPECT_EQ(SeriesValue(histogram, "kavrel_meter_reply_duration_seconds_count{meter=\"feeder\""), all);
  // Nothing went down meanwhile, not even with late replies arriving in other reads' time.
  EXPECT_EQ(SeriesSum(Get("/metrics"), "kavrel_meter_counter_resets_total"), 0) << Get("/metrics");
}

// Seconds from each request of `address` in log[from, to) to the request that
// followed it on the line: how long the line was given to it.
std::vector<double> LineTimesOf(const std::vector<SimRequest>& log, size_t from, size_t to, int address) {
  std::vector<double> times;
  for (size_t i = from; i < to && i + 1 < log.size(); ++i)
    if (log[i].Address == address) times.push_back(log[i + 1].Time - log[i].Time);
  return times;
}

TEST_P(Gateway, ASilentMeterIsBackedOffWhileTheOthersKeepTheirRate) {
  // At 9600 bit/s a silent try of the process block costs its frames' line
  // time and the learnt margin, 0.26 s in RTU and 0.41 s in ASCII, far less
  // than the line's time-out; in ASCII 19 times that is more than
  // max_backoff_ms (5 s by default), which then sets the pause.
  // The simulator sends its replies at the line's pace, as meters do.
  SimConfig paced = Sim->Config();
  paced.Baud = 9600;
  paced.Pace = true;
  Sim->Stop();
  Sim = std::make_unique<SimServer>(paced);
  ASSERT_TRUE(Sim->Start());
  TLineConfig& line = Config.Lines[0];
  line.Baud = 9600;
  line.BaudIndex = 5;
  line.TimeoutMs = 2000;
  line.EnergyIntervalS =
      1;  // due at every try after a pause: the tries stay the cycle's, and so do the pauses
  StartGateway();
  ASSERT_TRUE(WaitUntil([&] { return Counter("feeder", "replies") > 3 && Counter("drive", "replies") > 3; }));
  const size_t calm = Sim->RequestCount();
  std::this_thread::sleep_for(4s);
  const size_t silenced = Sim->RequestCount();
  Sim->SetFaults(SimFaults{.NoReply = true, .OnlyAddress = 2});
  std::this_thread::sleep_for(14s);
  const size_t back = Sim->RequestCount();
  Sim->SetFaults(SimFaults{});
  const auto returned = std::chrono::steady_clock::now();
  const uint64_t repliesBefore = Counter("feeder", "replies");
  ASSERT_TRUE(WaitUntil([&] { return Counter("feeder", "replies") > repliesBefore; }, 15s));
  const double recovery = std::chrono::duration<double>(std::chrono::steady_clock::now() - returned).count();
  const std::vector<SimRequest> log = Sim->Requests();
  ASSERT_GE(log.size(), back);

  // The line time the other meters' answers took, per second, with every
  // meter answering and in every 5 s window while the feeder is silent: at
  // least 90 % of it. (Counted in line time rather than blocks, which are
  // few in 5 s at this speed and of very different lengths.)
  const bool rtu = GetParam().Mode >= 3;
  const double characterS = lineformat::BitsPerCharacter(GetParam().Mode) / 9600.0;
  auto served = [&](size_t from, size_t to, double t0, double t1) {
    double seconds = 0;
    for (size_t i = from; i < to; ++i) {
      const SimRequest& r = log[i];
      if (r.Address == 2 || r.Reply != 3 || r.Time < t0 || r.Time >= t1) continue;
      const int data = r.Count * (ValueKindForRegister(r.Register) == 'i' ? 2 : 4);
      seconds += (rtu ? 5 + data : 2 * (4 + data) + 3) * characterS;
    }
    return seconds;
  };
  const double baseline = served(calm, silenced, 0, 1e9) / (log[silenced - 1].Time - log[calm].Time);
  ASSERT_GT(baseline, 0.3);
  const double silentFrom = log[silenced].Time;
  const double silentTo = log[back - 1].Time;
  double worst = 1e9;
  for (double t = silentFrom; t + 5 <= silentTo; t += 0.25)
    worst = std::min(worst, served(silenced, back, t, t + 5) / 5.0);
  EXPECT_GE(worst, 0.9 * baseline) << "baseline " << baseline << " s of replies per s";

  // Each try is given no more than its frames' line time and a margin, far
  // less than the time-out.
  const std::vector<double> tries = LineTimesOf(log, silenced, back, 2);
  ASSERT_GE(tries.size(), 4u);
  std::vector<double> sorted = tries;
  std::sort(sorted.begin(), sorted.end());
  const double median = sorted[sorted.size() / 2];
  EXPECT_LT(median, 0.5 * line.TimeoutMs / 1000) << "median line time given to a silent try, s";
  // After the one retry in turn, the line is left to the others between two
  // tries for 19 times what a try took (the tries take 5 % of it), or for the
  // whole max_backoff_ms where that is less; never for longer.
  std::vector<double> starts;
  for (size_t i = silenced; i < back; ++i)
    if (log[i].Address == 2) starts.push_back(log[i].Time);
  for (size_t k = 1; k + 1 < starts.size(); ++k) {
    const double pause = starts[k + 1] - starts[k] - tries[k];
    EXPECT_GE(pause, std::min(0.7 * 19 * tries[k], 0.9 * 5.0)) << "after try " << k;
    EXPECT_LE(pause, 5.0 + 1.0) << "after try " << k;
  }
  // Back within 5 s, allowing for the try under way and the round of the others.
  EXPECT_LE(recovery, 5.0 + median + 1.0);

  EXPECT_GT(Counter("feeder", "timeouts"), 2u);
  EXPECT_EQ(Counter("feeder", "check_errors"), 0u);
  EXPECT_LE(Counter("incomer", "timeouts") * 50, Counter("incomer", "requests"));
  EXPECT_TRUE(WaitUntil([&] { return Meter("feeder")["link"] == "up"; }));
}

// A silent meter's values are not served as live: its quantity series leave
// /metrics, /api/meters gives null with the age, and the first good reply
// brings them back. A value read long ago goes stale while the link is up.
TEST_P(Gateway, ASilentMetersValuesAreNotServedAsLive) {
  // The relay state is read once at the start and then not for an hour: it
  // goes stale while the link stays up.
  Config.Lines[0].RelayIntervalMs = 3600000;
  Config.Lines[0].StaleAfterS = 5;
  Config.Lines[0].EnergyIntervalS = 1;  // well inside stale_after_s
  StartGateway();
  const std::string feederLabels = "{meter=\"feeder\",model=\"VR5\",line=\"board\"";
  const std::string feederEnergy = "kavrel_active_energy_joules_total" + feederLabels;
  ASSERT_TRUE(WaitUntil([&] {
    return Counter("feeder", "replies") > 3 && Counter("drive", "replies") > 3 &&
           Get("/metrics").find(feederEnergy) != std::string::npos;
  }));
  Sim->SetFaults(SimFaults{.NoReply = true, .OnlyAddress = 2});
  ASSERT_TRUE(WaitUntil([&] { return Meter("feeder")["link"] == "down"; }));
  const std::string down = Get("/metrics");
  EXPECT_NE(down.find("kavrel_meter_link_up" + feederLabels + "} 0"), std::string::npos);
  // A meter that is down leaves the quantity series; /api/meters keeps the values' age only.
  EXPECT_EQ(down.find("kavrel_phase_voltage_volts" + feederLabels), std::string::npos) << down;
  EXPECT_NE(down.find("kavrel_phase_voltage_volts{meter=\"incomer\""), std::string::npos);
  EXPECT_EQ(down.find(feederEnergy), std::string::npos) << down;
  EXPECT_NE(down.find("kavrel_active_energy_joules_total{meter=\"incomer\""), std::string::npos) << down;
  const nlohmann::json feeder = Meter("feeder");
  EXPECT_TRUE(feeder["values"]["U1"]["value"].is_null()) << feeder;
  EXPECT_GT(feeder["values"]["U1"]["age_s"].get<double>(), 0.0);
  const double lastReply = SeriesValue(down, "kavrel_meter_last_reply_timestamp_seconds" + feederLabels);
  const double now =
      std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
  EXPECT_GT(lastReply, now - 60);
  EXPECT_LT(lastReply, now);
  // Link up, but the relay state read long ago: stale too.
  ASSERT_TRUE(WaitUntil([&] { return Meter("incomer")["values"]["ALR"]["value"].is_null(); }));
  const std::string old = Get("/metrics");
  EXPECT_EQ(old.find("kavrel_relay_output_state{meter=\"incomer\""), std::string::npos);
  EXPECT_EQ(Meter("incomer")["link"], "up");
  EXPECT_TRUE(Meter("incomer")["values"]["U1"]["value"].is_number());

  // The first good reply brings the values back.
  Sim->SetFaults(SimFaults{});
  EXPECT_TRUE(WaitUntil([&] { return Meter("feeder")["values"]["U1"]["value"].is_number(); }));
  EXPECT_EQ(Meter("feeder")["link"], "up");
  const std::string back = Get("/metrics");
  EXPECT_NE(back.find("kavrel_phase_voltage_volts" + feederLabels), std::string::npos);
  EXPECT_GT(SeriesValue(back, "kavrel_meter_last_reply_timestamp_seconds" + feederLabels), lastReply);
}

// A spoilt reply or an exception ends the transaction as it arrives: the next
// request follows at once, not after the time a whole reply takes the line
// (at 600 bit/s, 0.48 s for the THD block and 2.35 s for the process block in
// RTU, twice that in ASCII), nor after the time-out.
TEST_P(Gateway, GarbledRepliesAndExceptionsAreCountedApart) {
  TLineConfig& line = Config.Lines[0];
  line.Baud = 600;
  line.BaudIndex = 1;
  line.TimeoutMs = 3000;
  StartGateway();
  ASSERT_TRUE(WaitUntil([&] { return Counter("incomer", "replies") > 2; }));
  const size_t spoilt = Sim->RequestCount();
  Sim->SetFaults(SimFaults{.BadCheck = true, .OnlyAddress = 1, .ForReplies = 2});
  EXPECT_TRUE(WaitUntil([&] { return Counter("incomer", "check_errors") >= 2; }));
  Sim->SetFaults(SimFaults{.ExceptionCode = 2, .OnlyAddress = 1, .ForReplies = 2});
  EXPECT_TRUE(WaitUntil([&] { return Counter("incomer", "exceptions") >= 2; }));
  const size_t refused = Sim->RequestCount();
  EXPECT_TRUE(WaitUntil([&] { return Sim->RequestCount() > refused + 1; }));
  // An answer from another address ends the wait too and counts as garbled.
  Sim->SetFaults(SimFaults{.WrongAddress = true, .OnlyAddress = 1, .ForReplies = 1});
  EXPECT_TRUE(WaitUntil([&] { return Counter("incomer", "check_errors") >= 3; }));
  EXPECT_EQ(Counter("incomer", "timeouts"), 0u);
  EXPECT_EQ(Counter("incomer", "check_errors"), 3u);

  const std::vector<SimRequest> log = Sim->Requests();
  const double characterS = lineformat::BitsPerCharacter(GetParam().Mode) / 600.0;
  const bool rtu = GetParam().Mode >= 3;
  int checked = 0;
  for (size_t i = spoilt; i + 1 < refused && i + 1 < log.size(); ++i) {
    if (log[i].Address != 1 || log[i].Count < 6) continue;
    const int data = log[i].Count * 4;
    const double wholeReply = (rtu ? 5 + data : 2 * (4 + data) + 3) * characterS;
    EXPECT_LT(log[i + 1].Time - log[i].Time, 0.5 * wholeReply) << "register " << log[i].Register;
    ++checked;
  }
  EXPECT_GE(checked, 2);
}

TEST_P(Gateway, APortThatGoesAwayIsUnhealthyUntilItComesBack) {
  StartGateway();
  ASSERT_TRUE(WaitUntil([&] { return Counter("incomer", "replies") > 2; }));
  Sim->Unplug();
  int status = 0;
  EXPECT_TRUE(WaitUntil([&] { return Get("/healthz", &status), status == 503; }));
  EXPECT_NE(Get("/metrics").find("kavrel_line_port_open{line=\"board\"} 0"), std::string::npos);
  ASSERT_TRUE(Sim->Plug());
  const uint64_t before = Counter("incomer", "replies");
  EXPECT_TRUE(WaitUntil([&] { return Counter("incomer", "replies") > before + 2; }));
  EXPECT_EQ(Get("/healthz", &status), "ok\n");
  EXPECT_EQ(status, 200);
}

// Rows of a query, each as its columns joined by '|'.
std::vector<std::string> Query(const std::string& path, const std::string& sql) {
  std::vector<std::string> rows;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_exec(
        db, sql.c_str(),
        [](void* out, int n, char** values, char**) {
          std::string row;
          for (int i = 0; i < n; ++i) row += std::string(i ? "|" : "") + (values[i] ? values[i] : "NULL");
          static_cast<std::vector<std::string>*>(out)->push_back(row);
          return 0;
        },
        &rows, nullptr);
  }
  sqlite3_close(db);
  return rows;
}

TEST_P(Gateway, RecordsSamplesAndEventsInSqliteAndDropsOldRows) {
  const std::string path = Dir.Path() + "/g.db";
  {
    // A row from long ago, from an earlier run.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    sqlite3_exec(db,
                 "CREATE TABLE samples (time REAL NOT NULL, meter TEXT NOT NULL, quantity TEXT NOT NULL,"
                 " value REAL NOT NULL, unit TEXT NOT NULL);"
                 "INSERT INTO samples VALUES (1000, 'incomer', 'U1', 1, 'V');",
                 nullptr, nullptr, nullptr);
    sqlite3_close(db);
  }
  Config.Sqlite.Enabled = true;
  Config.Sqlite.Path = path;
  Config.Sqlite.IntervalS = 0;
  Config.Lines[0].EnergyIntervalS = 0.5;
  StartGateway();
  ASSERT_TRUE(WaitUntil([&] { return Counter("drive", "replies") > 5; }));
  // The TR5's active energy counter cancelled, as the master would write it.
  const std::string energyRows = "SELECT count(*) >= 2 FROM samples WHERE meter='incomer' AND quantity='EnP'";
  // Limits for a loaded machine: the energy reads yield to the cycle.
  // Ten reads' worth of energy first, so that the counter read after the
  // cancellation is still below the one read before it, on a slow build too.
  const std::string readsBefore =
      "SELECT count(*) >= 10 FROM samples WHERE meter='incomer' AND quantity='EnP'";
  ASSERT_TRUE(WaitUntil([&] { return Query(path, readsBefore) == std::vector<std::string>{"1"}; }, 60s));
  ASSERT_EQ(Sim->WriteRegister(1, 4010, 1), 0);
  ASSERT_TRUE(WaitUntil(
      [&] {
        return Query(path, energyRows + " AND time > (SELECT max(time) FROM counter_resets)") ==
               std::vector<std::string>{"1"};
      },
      40s));
  EXPECT_EQ(SeriesValue(Get("/metrics"),
                        "kavrel_meter_counter_resets_total{meter=\"incomer\",model=\"TR5\","
                        "line=\"board\",counter=\"EnP\"}"),
            1);
  Sim->SetFaults(SimFaults{.NoReply = true, .OnlyAddress = 3});
  ASSERT_TRUE(WaitUntil([&] { return Meter("drive")["link"] == "down"; }));
  Gw->Stop();

  EXPECT_EQ(Query(path, "PRAGMA journal_mode"), std::vector<std::string>{"wal"});
  EXPECT_EQ(Query(path, "SELECT count(*) FROM samples WHERE time < 2000"), std::vector<std::string>{"0"});
  const auto u1 = Query(path, "SELECT DISTINCT value, unit FROM samples WHERE meter='incomer' AND quantity='U1'");
  EXPECT_EQ(u1, std::vector<std::string>{"231.5|V"});
  const auto thd = Query(path, "SELECT count(*) > 0 FROM samples WHERE meter='feeder' AND quantity='THD_I3'");
  EXPECT_EQ(thd, std::vector<std::string>{"1"});
  // Events name the meter as configured, with its line and address, in the
  // model's own words: the link up, and for the drive the link lost after it.
  const auto events = Query(path, "SELECT meter, text FROM events ORDER BY time");
  auto naming = [&](const std::string& meter, int address) {
    return Query(path, "SELECT count(*) FROM events WHERE code <> 9000 AND meter='" + meter +
                           "' AND text LIKE '% " + meter + " (line board, address " +
                           std::to_string(address) + ")'")[0];
  };
  EXPECT_EQ(naming("incomer", 1), "1") << testing::PrintToString(events);
  EXPECT_GE(std::stoi(naming("drive", 3)), 2) << testing::PrintToString(events);
  for (const std::string& e : events) EXPECT_EQ(e.find("TR8_3"), std::string::npos) << e;
  // A sample row per value read: as many U1 rows of the TR5 as its process blocks answered.
  const auto perBlock = Query(path, "SELECT count(*) = (SELECT count(*) FROM samples WHERE meter='incomer' AND "
                                    "quantity='Pav') FROM samples WHERE meter='incomer' AND quantity='U1'");
  EXPECT_EQ(perBlock, std::vector<std::string>{"1"});

  // One reset: an event, and a row that keeps what the counter held before.
  EXPECT_EQ(Query(path, "SELECT text FROM events WHERE code = 9000"),
            std::vector<std::string>{"Active energy counter reset on incomer (line board, address 1)"});
  EXPECT_EQ(Query(path, "SELECT meter, quantity, unit, before > after FROM counter_resets"),
            std::vector<std::string>{"incomer|EnP|Wh|1"});
  // The consumption over the run, by the README's query, is what the counter
  // counted step by step, with no negative step: after the reset it counts from 0.
  double counted = 0, previous = -1;
  int down = 0;
  for (const std::string& row :
       Query(path, "SELECT value FROM samples WHERE meter='incomer' AND quantity='EnP' ORDER BY time")) {
    const double v = std::stod(row);
    if (previous >= 0) counted += v >= previous ? v - previous : v;
    down += previous >= 0 && v < previous;
    previous = v;
  }
  EXPECT_EQ(down, 1);
  const std::string consumption =
      "SELECT (SELECT value FROM samples WHERE meter = 'incomer' AND quantity = 'EnP' AND time <= 1e12 ORDER "
      "BY time DESC LIMIT 1)"
      " - (SELECT value FROM samples WHERE meter = 'incomer' AND quantity = 'EnP' AND time >= 0 ORDER BY "
      "time LIMIT 1)"
      " + (SELECT coalesce(sum(before), 0) FROM counter_resets WHERE meter = 'incomer' AND quantity = 'EnP'"
      " AND time > 0 AND time <= 1e12)";
  EXPECT_GT(counted, 0);
  EXPECT_NEAR(std::stod(Query(path, consumption).at(0)), counted, 1e-3);
}

TEST_P(Gateway, PublishesToMqttAndReconnectsAfterTheBrokerRestarts) {
  // The broker is not there yet when the gateway starts.
  TBroker broker(Dir.Path(), FreePort(), false);
  const std::string port = std::to_string(broker.GetPort());
  auto subscribe = [&](const char* file) {
    return std::make_unique<TChild>(
        std::vector<std::string>{"mosquitto_sub", "-p", port, "-v", "-t", "kavrel/#"}, Dir.Path() + file);
  };
  Config.Mqtt.Enabled = true;
  Config.Mqtt.Port = broker.GetPort();
  Config.Mqtt.IntervalS = 0;
  Config.Mqtt.ClientId = "gw-test";
  StartGateway();
  std::this_thread::sleep_for(1s);
  broker.Start();
  auto sub = subscribe("/sub.txt");
  const std::string availability = "kavrel/gateway/gw-test/availability ";
  EXPECT_TRUE(WaitUntil([&] {
    const std::string t = sub->Text();
    return t.find("kavrel/incomer/U1 231.5\n") != std::string::npos &&
           t.find("kavrel/drive/f 49.94\n") != std::string::npos &&
           t.find("kavrel/incomer/THD_U1 3.5\n") != std::string::npos &&
           // energy counters, a TR5's own and a VR5's by tariff, as the meter counts them
           t.find("kavrel/incomer/EnP ") != std::string::npos &&
           t.find("kavrel/feeder/Ept1 ") != std::string::npos;
  })) << sub->Text();
  EXPECT_NE(sub->Text().find(availability + "online\n"), std::string::npos);
  EXPECT_NE(sub->Text().find("kavrel/feeder/link up\n"), std::string::npos);

  broker.Stop();
  sub.reset();
  std::this_thread::sleep_for(1s);
  broker.Start();
  auto sub2 = subscribe("/sub2.txt");
  EXPECT_TRUE(WaitUntil([&] {
    const std::string t = sub2->Text();
    return t.find(availability + "online\n") != std::string::npos &&
           t.find("kavrel/incomer/U1 231.5\n") != std::string::npos &&
           t.find("kavrel/drive/link up\n") != std::string::npos;  // retained states given again
  }, 30s)) << sub2->Text();

  // A silent meter publishes no values until its link is up again, and its
  // events name it as configured.
  Sim->SetFaults(SimFaults{.NoReply = true, .OnlyAddress = 2});
  ASSERT_TRUE(WaitUntil([&] { return sub2->Text().find("kavrel/feeder/link down\n") != std::string::npos; }))
      << sub2->Text();
  Sim->SetFaults(SimFaults{});
  ASSERT_TRUE(WaitUntil(
      [&] {
        const std::string t = sub2->Text();
        const size_t up = t.find("kavrel/feeder/link up\n", t.find("kavrel/feeder/link down\n"));
        return up != std::string::npos && t.find("kavrel/feeder/U1 ", up) != std::string::npos;
      },
      30s))
      << sub2->Text();
  const std::string t = sub2->Text();
  const size_t down = t.find("kavrel/feeder/link down\n");
  const std::string whileDown = t.substr(down, t.find("kavrel/feeder/link up\n", down) - down);
  EXPECT_EQ(whileDown.find("kavrel/feeder/U1 "), std::string::npos) << whileDown;
  EXPECT_NE(t.find(" feeder (line board, address 2)\nkavrel/feeder/link down\n"), std::string::npos) << t;

  Gw->Stop();
  EXPECT_TRUE(WaitUntil([&] { return sub2->Text().find(availability + "offline\n") != std::string::npos; }))
      << sub2->Text();
}

// A real Prometheus scrapes the gateway and answers a query with the meter's
// value (once: the scrape does not depend on the framing).
class GatewayScrape : public Gateway {};

TEST_P(GatewayScrape, APrometheusScrapesIt) {
  StartGateway();
  const std::string yml = Dir.Path() + "/prometheus.yml";
  std::ofstream(yml) << "global:\n  scrape_interval: 1s\nscrape_configs:\n  - job_name: kavrel\n"
                     << "    static_configs:\n      - targets: [\"127.0.0.1:" << Gw->HttpPort() << "\"]\n";
  const int port = FreePort();
  TChild prometheus({"prometheus", "--config.file=" + yml, "--storage.tsdb.path=" + Dir.Path() + "/tsdb",
                     "--web.listen-address=127.0.0.1:" + std::to_string(port)},
                    Dir.Path() + "/prometheus.log");
  httplib::Client client("127.0.0.1", port);
  const std::string query =
      "/api/v1/query?query=kavrel_phase_voltage_volts%7Bmeter%3D%22incomer%22%2Cphase%3D%22L1%22%7D";
  nlohmann::json result;
  EXPECT_TRUE(WaitUntil([&] {
    auto res = client.Get(query.c_str());
    if (!res || res->status != 200) return false;
    result = nlohmann::json::parse(res->body, nullptr, false);
    return !result.is_discarded() && !result["data"]["result"].empty();
  }, 60s)) << prometheus.Text();
  if (!result.is_discarded() && !result["data"]["result"].empty()) {
    const auto& sample = result["data"]["result"][0];
    EXPECT_EQ(sample["metric"]["model"], "TR5");
    EXPECT_EQ(sample["metric"]["line"], "board");
    EXPECT_EQ(sample["value"][1], "231.5");
  }
  prometheus.Stop();
  std::filesystem::remove_all(Dir.Path() + "/tsdb");
  std::remove(yml.c_str());
  std::remove((Dir.Path() + "/prometheus.log").c_str());
}

// A line reached through a network serial server ("tcp://HOST:PORT"): the
// simulator's line relayed over a TCP socket, in both framings.
class GatewayOverTcp : public Gateway {};

TEST_P(GatewayOverTcp, PollsALineBehindANetworkSerialServer) {
  SimTcpListener server(*Sim);
  std::string error;
  ASSERT_TRUE(server.Start("127.0.0.1", 0, &error)) << error;
  Config.Lines[0].Port = "tcp://127.0.0.1:" + std::to_string(server.Port());
  StartGateway();
  ASSERT_TRUE(WaitUntil([&] {
    const nlohmann::json m = Meter("incomer");
    return !m.is_null() && m["values"].contains("U1") && m["values"].contains("THD_U1");
  }));
  const nlohmann::json incomer = Meter("incomer");
  EXPECT_EQ(incomer["link"], "up");
  EXPECT_FLOAT_EQ(incomer["values"]["U1"]["value"].get<float>(), 231.5f);
  EXPECT_GE(server.Connections(), 1);
  Gw.reset();
}

// A meter that answers its energy group with twice the values asked for (as a
// late answer to a longer request would arrive): the reply is refused and
// counted as garbled, never taken for the counters.
TEST(GatewayEnergy, AReplyOfAnotherSizeIsNotTakenForTheCounters) {
  testsupport::TcpPeer meter;
  TLineConfig line;
  line.Name = "board";
  line.Port = meter.Name();
  line.TimeoutMs = 300;
  line.EnergyIntervalS = 0.1;
  line.Meters = {{"incomer", MT_TR5, 1}};
  TGatewayConfig config;
  config.Lines = {line};
  config.Http.Enabled = true;
  config.Http.Port = 0;
  TGateway gw(config);
  std::string error;
  ASSERT_TRUE(gw.Start(error)) << error;
  int energyReads = 0;
  for (const auto end = std::chrono::steady_clock::now() + 30s;
       energyReads < 3 && std::chrono::steady_clock::now() < end;) {
    const std::vector<uint8_t> request = meter.ReadCount(8, 500);
    if (request.size() < 8) continue;
    const int reg = request[2] << 8 | request[3];
    const int count = (request[4] << 8 | request[5]) * (reg == 7534 ? 2 : 1);
    const int width = reg < 7500 ? 2 : 4;
    std::vector<uint8_t> pdu = {1, 3, static_cast<uint8_t>(count * width)};
    for (int i = 0; i < count; ++i)
      for (uint8_t b :
           width == 2 ? std::vector<uint8_t>{0, 0} : std::vector<uint8_t>{0x44, 0x7A, 0, 0})  // 1000.0
        pdu.push_back(b);
    uint8_t frame[300];
    const int n = modbus::BuildRtuFrame(pdu.data(), static_cast<int>(pdu.size()), frame, sizeof frame);
    meter.Write({frame, frame + n});
    energyReads += reg == 7534;
  }
  ASSERT_GE(energyReads, 3);
  httplib::Client client("127.0.0.1", gw.HttpPort());
  const auto res = client.Get("/api/meters");
  ASSERT_TRUE(res);
  const nlohmann::json incomer = nlohmann::json::parse(res->body)["meters"][0];
  EXPECT_FLOAT_EQ(incomer["values"]["U1"]["value"].get<float>(), 1000.0f);
  EXPECT_FALSE(incomer["values"].contains("EnP")) << incomer;
  EXPECT_GE(incomer["counters"]["check_errors"].get<int>(), 2) << incomer;
}

INSTANTIATE_TEST_SUITE_P(Framing, GatewayOverTcp, ::testing::Values(TFraming{"Ascii", 0}, TFraming{"Rtu", 6}),
                         [](const auto& info) { return std::string(info.param.Name); });
INSTANTIATE_TEST_SUITE_P(Framing, Gateway, ::testing::Values(TFraming{"Ascii", 0}, TFraming{"Rtu", 6}),
                         [](const auto& info) { return std::string(info.param.Name); });
INSTANTIATE_TEST_SUITE_P(Framing, GatewayScrape, ::testing::Values(TFraming{"Rtu", 6}),
                         [](const auto& info) { return std::string(info.param.Name); });

// When a value stops being live: the default limit follows the value's own
// read interval, a gap while the meter was away is no interval, and a link
// that is down makes every value stale.
TEST(GatewayState, AValueIsLiveForThreeOfItsIntervalsAtLeastTenSeconds) {
  const TSteadyTime t0{std::chrono::hours(1)};
  const TSystemTime wall{};
  TMeterSnapshot m;
  m.LinkState = 1;
  EXPECT_FALSE(m.IsLive(0, t0));
  m.Store(0, 230, t0, wall);
  EXPECT_TRUE(m.IsLive(0, t0 + 10s));
  EXPECT_FALSE(m.IsLive(0, t0 + 10001ms));  // never read again yet: 10 s
  m.Store(0, 230, t0 + 6s, wall);
  EXPECT_TRUE(m.IsLive(0, t0 + 6s + 18s));  // read every 6 s: three of them
  EXPECT_FALSE(m.IsLive(0, t0 + 6s + 18001ms));
  m.Store(0, 230, t0 + 90s, wall);            // back after an outage
  EXPECT_FALSE(m.IsLive(0, t0 + 90s + 19s));  // still 18 s, not three times the outage
  m.Store(0, 230, t0 + 91s, wall);
  EXPECT_FALSE(m.IsLive(0, t0 + 91s + 11s));  // read every second: the 10 s floor
  m.LinkState = 3;
  EXPECT_FALSE(m.IsLive(0, t0 + 92s));
  m.LinkState = 1;
  m.StaleAfterS = 0.5;
  EXPECT_TRUE(m.IsLive(0, t0 + 91500ms));
  EXPECT_FALSE(m.IsLive(0, t0 + 91501ms));
  EXPECT_FALSE(m.IsLive(1, t0 + 91s));  // never read
}

// The SQLite output in trouble: a queue that overflows, a disk that fills up,
// a database another connection keeps locked. Every row offered ends in the
// file or in the drop count, and the output shows down while writes fail and
// up again once they succeed.
enum class TTrouble { QueueFull, DiskFull, Locked };
void PrintTo(TTrouble t, std::ostream* os) {
  *os << (t == TTrouble::QueueFull ? "QueueFull" : t == TTrouble::DiskFull ? "DiskFull" : "Locked");
}

class SqliteRecorder : public ::testing::Test {
protected:
  SqliteRecorder() {
    Config.Lines = {TLineConfig{}};
    Config.Lines[0].Meters = {{"m", MT_TR5, 1}};
    State = std::make_unique<TGatewayState>(Config);
    for (const char* f : {"", "-wal", "-shm"}) std::remove((Path + f).c_str());
    Sqlite.Path = Path;
    Sqlite.IntervalS = 0;
  }
  ~SqliteRecorder() override {
    Recorder.reset();
    for (const char* f : {"", "-wal", "-shm"}) std::remove((Path + f).c_str());
  }
  void Start() {
    Recorder = std::make_unique<TSqliteRecorder>(Sqlite, *State);
    std::string error;
    ASSERT_TRUE(Recorder->Start(error)) << error;
  }
  // Samples of three values each.
  void Offer(int samples) {
    for (int i = 0; i < samples; ++i, ++Offered)
      Recorder->OnSample(
          TSample{0, T0 + std::chrono::milliseconds(Offered), {{0, 230.0f}, {1, 231.0f}, {2, 229.0f}}});
  }
  uint64_t Stored() { return std::stoull(Query(Path, "SELECT count(*) FROM samples").at(0)); }
  bool Up() { return State->OutputStatus().at(0).second.first; }
  uint64_t Dropped() { return State->OutputStatus().at(0).second.second; }

  // One file per test and process: ctest runs these cases side by side.
  const std::string Path = testing::TempDir() + "/trouble-" + std::to_string(getpid()) + ".db";
  const TSystemTime T0 = std::chrono::system_clock::now();
  TGatewayConfig Config;
  std::unique_ptr<TGatewayState> State;
  TSqliteConfig Sqlite;
  std::unique_ptr<TSqliteRecorder> Recorder;
  uint64_t Offered = 0;  // samples
};
class GatewaySqlite : public SqliteRecorder, public ::testing::WithParamInterface<TTrouble> {};

TEST_P(GatewaySqlite, EveryRowIsStoredOrCountedAndFailuresShow) {
  if (GetParam() == TTrouble::QueueFull) {
    Sqlite.QueueLimit = 10;
    Start();
    Offer(20000);
    Recorder->Stop();
    EXPECT_GT(Dropped(), 0u);
  } else if (GetParam() == TTrouble::DiskFull) {
    Start();
    Offer(50);
    ASSERT_TRUE(WaitUntil([&] { return Stored() == 150; }));
    // No file of this process may grow now, as on a file system that is full.
    signal(SIGXFSZ, SIG_IGN);
    rlimit unlimited{}, full{};
    getrlimit(RLIMIT_FSIZE, &unlimited);
    full = unlimited;
    full.rlim_cur = 1;
    setrlimit(RLIMIT_FSIZE, &full);
    Offer(50);
    const bool wentDown = WaitUntil([&] { return !Up(); });
    const bool gaveUp = WaitUntil([&] { return Dropped() > 0; });
    setrlimit(RLIMIT_FSIZE, &unlimited);
    EXPECT_TRUE(wentDown);
    EXPECT_TRUE(gaveUp);
    Offer(50);
    EXPECT_TRUE(WaitUntil([&] { return Up(); }));
    Recorder->Stop();
  } else {
    Start();
    Offer(50);
    ASSERT_TRUE(WaitUntil([&] { return Stored() == 150; }));
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(Path.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    Offer(50);
    EXPECT_TRUE(WaitUntil([&] { return !Up(); }));
    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_TRUE(WaitUntil([&] { return Up(); }));
    Recorder->Stop();
    EXPECT_EQ(Dropped(), 0u);  // a lock shorter than the tries loses nothing
  }
  EXPECT_EQ(Stored() + Dropped(), 3 * Offered);
}

INSTANTIATE_TEST_SUITE_P(Trouble, GatewaySqlite,
                         ::testing::Values(TTrouble::QueueFull, TTrouble::DiskFull, TTrouble::Locked),
                         [](const auto& info) { return testing::PrintToString(info.param); });

// Old rows go while the gateway runs, not only when it starts.
TEST_F(SqliteRecorder, DeletesOldRowsWhileItRuns) {
  Sqlite.RetentionDays = 60.0 / 86400;  // a minute: pruned every 6 s
  Start();
  Offer(1);
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(Path.c_str(), &other), SQLITE_OK);
  sqlite3_busy_timeout(other, 5000);
  EXPECT_EQ(sqlite3_exec(other,
                         "INSERT INTO samples VALUES (1000, 'm', 'U1', 1, 'V');"
                         "INSERT INTO events VALUES (1000, 'm', 1, 'long ago');",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(other);
  EXPECT_TRUE(WaitUntil([&] {
    return Query(Path,
                 "SELECT (SELECT count(*) FROM samples WHERE time < 2000) + (SELECT count(*) FROM events)") ==
           std::vector<std::string>{"0"};
  }));
  EXPECT_EQ(Stored(), 3u);
}

// A counter cancelled while no gateway ran shows as a reset at the first read
// after the start, once, so that the consumption query stays right.
TEST_F(SqliteRecorder, ACounterThatWentDownWhileStoppedIsOneReset) {
  const int enp = FIRST_COUNTER_QUANTITY, enb = FIRST_COUNTER_QUANTITY + 1;
  ASSERT_STREQ(QuantityCode(enp), "EnP");
  auto offer = [&](int seconds, std::vector<std::pair<int, float>> values) {
    Recorder->OnSample(TSample{0, T0 + std::chrono::seconds(seconds), std::move(values)});
  };
  const std::string resets = "SELECT quantity || ' ' || before || ' ' || after FROM counter_resets";
  Start();
  offer(0, {{enp, 500}, {enb, 40}});
  Recorder->Stop();
  // EnP cancelled, EnB counted on: only EnP went down. Both reads of EnP in
  // one batch, and a later one, are all below 500: one reset all the same.
  Start();
  offer(1, {{enp, 10}, {enb, 45}});
  offer(2, {{enp, 12}});
  ASSERT_TRUE(WaitUntil([&] { return Stored() == 5; }));
  offer(3, {{enp, 11}});
  Recorder->Stop();
  EXPECT_EQ(Stored(), 6u);
  EXPECT_EQ(Query(Path, resets), std::vector<std::string>{"EnP 500.0 10.0"});
  // Started again on a counter that went on from where it was: nothing new.
  Start();
  offer(4, {{enp, 11}, {enb, 50}});
  Recorder->Stop();
  EXPECT_EQ(Query(Path, resets), std::vector<std::string>{"EnP 500.0 10.0"});
}

// The program as systemd runs it: bad files, SIGTERM, and a crash.
TEST(GatewayProgram, BadFileExitsTwoAndSignalsStopItCleanly) {
  testsupport::ComDirectory dir;
  const std::string out = dir.Path() + "/gw.txt";
  const std::string toml = dir.Path() + "/g.toml";
  std::ofstream(toml) << "[[line]]\nport = \"COM1\"\n\n[[line.meter]]\nmodel = \"TR5\"\naddress = 300\n";
  {
    TChild gw({KAVREL_GATEWAY, "--config", toml}, out);
    EXPECT_EQ(gw.Wait(), 2);
    EXPECT_NE(gw.Text().find(toml + ":6: "), std::string::npos) << gw.Text();
  }
  {
    TChild gw({KAVREL_GATEWAY, "--config", dir.Path() + "/none.toml"}, out);
    EXPECT_EQ(gw.Wait(), 2);
  }

  TBroker broker(dir.Path(), FreePort());
  SimConfig simConfig;
  simConfig.LinkPath = dir.Path() + "/COM1";
  SimServer sim(simConfig);
  ASSERT_TRUE(sim.Start());
  const std::string http = "127.0.0.1:" + std::to_string(FreePort());
  std::ofstream(toml)
      << "[http]\nport = " << http.substr(10) << "\n"
      << "[mqtt]\nport = " << broker.GetPort() << "\nclient_id = \"svc\"\n"
      << "[[line]]\nport = \"COM1\"\nframing = \"ascii\"\n[[line.meter]]\nmodel = \"TR5\"\naddress = 1\n";
  TChild sub({"mosquitto_sub", "-p", std::to_string(broker.GetPort()), "-v", "-t", "kavrel/gateway/svc/availability"},
             dir.Path() + "/sub.txt");
  std::this_thread::sleep_for(300ms);
  auto count = [&](const std::string& what) {
    const std::string t = sub.Text();
    size_t n = 0;
    for (size_t at = t.find(what); at != std::string::npos; at = t.find(what, at + 1)) ++n;
    return n;
  };
  {
    TChild gw({KAVREL_GATEWAY, "--config", toml}, out);
    ASSERT_TRUE(WaitUntil([&] {
      return gw.Text().find(" TR5_1 (line line1, address 1)\n") != std::string::npos;
    })) << gw.Text();
    EXPECT_TRUE(WaitUntil([&] { return count(" online\n") == 1; }));
    {
      // A second gateway on the same address stops before it polls or goes online.
      TChild second({KAVREL_GATEWAY, "--config", toml}, dir.Path() + "/gw2.txt");
      EXPECT_EQ(second.Wait(), 1);
      EXPECT_NE(second.Text().find("<3>http: cannot listen on " + http + ": Address already in use"),
                std::string::npos)
          << second.Text();
      EXPECT_EQ(second.Text().find("line line1"), std::string::npos) << second.Text();
      EXPECT_EQ(count(" online\n"), 1u) << sub.Text();
    }
    EXPECT_EQ(gw.Stop(SIGTERM), 0);
    EXPECT_NE(gw.Text().find("<5>stopping on SIGTERM\n"), std::string::npos) << gw.Text();
    EXPECT_TRUE(WaitUntil([&] { return count(" offline\n") == 1; })) << sub.Text();
  }
  {
    // Killed: the broker publishes the last will.
    TChild gw({KAVREL_GATEWAY, "--config", toml}, out);
    ASSERT_TRUE(WaitUntil([&] { return count(" online\n") == 2; })) << sub.Text();
    gw.Stop(SIGKILL);
    EXPECT_TRUE(WaitUntil([&] { return count(" offline\n") == 2; })) << sub.Text();
  }
  sim.Stop();
  for (const char* f : {"/gw.txt", "/gw2.txt", "/g.toml", "/sub.txt", "/mosquitto.conf", "/mosquitto.log"})
    std::remove((dir.Path() + f).c_str());
}

}  // namespace
