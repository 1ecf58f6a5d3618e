// kavrel-cli as a script uses it: the built program run in a temporary
// directory whose "COM<n>" links lead to the simulated meter, or with --tcp
// through the simulator's TCP listener.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <future>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "model/ParamDef.h"
#include "sim/SimServer.h"
#include "sim/SimTcpListener.h"
#include "tests/support/PtyTools.h"

#ifndef KAVREL_CLI
#error "KAVREL_CLI must name the kavrel-cli program"
#endif

namespace {

struct TRun {
  int Code = -1;
  std::string Out;
  std::string Err;
};

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

class Cli : public ::testing::Test {
protected:
  // Starts a simulated meter on COM<n> of the test's directory.
  void StartMeter(int type, int address, int com = 1, int mode = 0, int baud = 9600) {
    StartMeters({SimMeterConfig{type, address}}, com, mode, baud);
  }
  void StartMeters(std::vector<SimMeterConfig> meters, int com = 1, int mode = 0, int baud = 9600) {
    SimConfig config;
    config.Meters = std::move(meters);
    config.Mode = mode;
    config.Baud = baud;
    config.LinkPath = Dir.Path() + "/COM" + std::to_string(com);
    Sim = std::make_unique<SimServer>(config);
    std::string error;
    ASSERT_TRUE(Sim->Start(&error)) << error;
    if (!OverTcp) return;
    Net = std::make_unique<SimTcpListener>(*Sim);
    ASSERT_TRUE(Net->Start("127.0.0.1", 0, &error)) << error;
    Transport = "--tcp 127.0.0.1:" + std::to_string(Net->Port()) + " ";
  }

  void WriteSettings(const std::string& text) {
    std::ofstream out(Dir.Path() + "/Kavrel.INI", std::ios::binary);
    out << text;
  }

  // Runs kavrel-cli with the arguments in the test's directory. The reply
  // time-out is long unless the arguments set their own, so that a loaded
  // machine does not turn a slow answer into none. Standard input is the
  // given text, from a file.
  TRun Run(const std::string& arguments, const std::string& input = "") {
    const std::string in = Dir.Path() + "/in.txt";
    const std::string out = Dir.Path() + "/out.txt";
    const std::string err = Dir.Path() + "/err.txt";
    std::ofstream(in, std::ios::binary) << input;
    const std::string command = std::string("'") + KAVREL_CLI + "' --timeout 5000 " + Transport + arguments +
                                " >'" + out + "' 2>'" + err + "' <'" + in + "'";
    TRun run;
    const int status = std::system(command.c_str());
    run.Code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.Out = ReadAll(out);
    run.Err = ReadAll(err);
    return run;
  }

  testsupport::ComDirectory Dir;
  std::unique_ptr<SimServer> Sim;
  std::unique_ptr<SimTcpListener> Net;  // with OverTcp; stops before the server
  bool OverTcp = false;
  std::string Transport;  // the option that leads kavrel-cli to the listener
};

// The scenarios of the meter's commands run over the serial port and over TCP.
class CliOverLine : public Cli, public ::testing::WithParamInterface<bool> {
protected:
  void SetUp() override { OverTcp = GetParam(); }
};

TEST_F(Cli, HelpAndCommandLineErrors) {
  TRun run = Run("--help");
  EXPECT_EQ(run.Code, 0);
  EXPECT_NE(run.Out.find("Exit codes"), std::string::npos);
  EXPECT_NE(run.Out.find("write SELECTOR VALUE"), std::string::npos);

  for (const char* bad : {"",
                          "bogus",
                          "read",
                          "write 1",
                          "poll --cycles 0",
                          "poll --cycles",
                          "--baud 1234 poll",
                          "--port COM9 poll",
                          "--model TR6 groups",
                          "--address 0 poll",
                          "--address 248 poll",
                          "--address 300 poll",
                          "read 12x",
                          "read 4100",
                          "read 2426",
                          "groups --csv",
                          "--frobnicate poll",
                          "--from 3 poll",
                          "read 100 --all-settings",
                          "scan --from 9 --to 3",
                          "scan --to 248",
                          "scan --probe-margin x",
                          "scan 7",
                          "write 101 abc",
                          "write 101 12x",
                          "--framing x poll",
                          "--framing ascii --format 8N2 poll",
                          "--format 7E1 poll",
                          "--mode 6 --framing rtu poll"}) {
    run = Run(bad);
    EXPECT_EQ(run.Code, 2) << bad;
    EXPECT_NE(run.Err.find("kavrel-cli: "), std::string::npos) << bad;
  }
  // Each message says which mistake it is.
  const std::pair<const char*, const char*> said[] = {
      {"poll --bogus", "unknown option --bogus\n"},
      {"poll --cycles", "option --cycles needs a value\n"},
      {"write 101 abc", "'abc' is not a number\n"},
      {"--framing ascii --format 8n2 poll", "format \"8n2\" is not one of ASCII's 8N1, 7E1, 7O1\n"},
  };
  for (const auto& [arguments, message] : said)
    EXPECT_NE(Run(arguments).Err.find(std::string("kavrel-cli: ") + message), std::string::npos) << arguments;
}

TEST_F(Cli, SettingsFileChoosesPortAndMeterAndOptionsOverrideIt) {
  ASSERT_NO_FATAL_FAILURE(StartMeter(MT_VR5, 5, 2, 6, 19200));
  WriteSettings("COM=1\r\nBaud=6\r\nMode=6\r\nType=0\r\nMeterAdr=5\r\nMeterType=85\r\n"
                "MeterName=Incomer\r\nMeterDsc=Main board\r\n");
  TRun run = Run("groups");
  EXPECT_EQ(run.Code, 0);
  EXPECT_NE(run.Out.find("3300  Tariffs ("), std::string::npos) << run.Out;
  EXPECT_NE(run.Out.find("  Relay output (1 item)\n"), std::string::npos) << run.Out;
  EXPECT_EQ(run.Out.find("Energy"), std::string::npos);  // a TR5 group

  Sim->HoldRegister(5, 7780, 1500.0);
  run = Run("read 3301");
  EXPECT_EQ(run.Code, 0) << run.Err;
  EXPECT_NE(run.Out.find("Incomer: Tariffs"), std::string::npos) << run.Out;
  EXPECT_NE(run.Out.find("Ept1"), std::string::npos);
  EXPECT_NE(run.Out.find("1500 Wh"), std::string::npos);
  for (const SimRequest& r : Sim->Requests()) EXPECT_EQ(r.Address, 5);

  // Options take precedence; the meter is then named by model and address.
  run = Run("--port COM2 --model TR5 --address 5 groups");
  EXPECT_NE(run.Out.find("Groups of TR5"), std::string::npos);
  // The wrong model: the meter answers a group it lacks with exception 2.
  run = Run("--port COM2 --model TR5 --address 5 read 3200");
  EXPECT_EQ(run.Code, 3);
  EXPECT_NE(run.Err.find("TR5_5 answered the read of group 32 with exception 2 (illegal data address): "
                         "the registers do not exist on that meter; is the model right?"),
            std::string::npos)
      << run.Err;
  run = Run("--address 6 --timeout 100 read 3300");
  EXPECT_EQ(run.Code, 3);
  EXPECT_NE(run.Err.find("no reply from VR5_6 at address 6 on COM2"), std::string::npos) << run.Err;
  // A one-shot command fails at once, with the system's reason.
  Dir.Link(1, Dir.Path() + "/no-such-tty");
  run = Run("--port 1 read 3301");
  EXPECT_EQ(run.Code, 1);
  EXPECT_NE(run.Err.find("cannot open COM1: no such device"), std::string::npos) << run.Err;

  // A settings address that is no slave address: the default, and a word why.
  WriteSettings("COM=1\r\nBaud=6\r\nMode=6\r\nMeterAdr=300\r\nMeterType=85\r\n");
  run = Run("--timeout 100 read 3300");
  EXPECT_NE(run.Err.find("MeterAdr=300 is not a slave address (1 to 247): address 1 is used"), std::string::npos)
      << run.Err;
  EXPECT_NE(run.Err.find("at address 1 on COM2"), std::string::npos) << run.Err;

  std::remove((Dir.Path() + "/Kavrel.INI").c_str());
  ::mkdir((Dir.Path() + "/Kavrel.INI").c_str(), 0755);  // exists, cannot be read
  run = Run("groups");
  EXPECT_EQ(run.Code, 5);
  EXPECT_NE(run.Err.find("Cannot open file Kavrel.INI"), std::string::npos) << run.Err;
}

TEST_P(CliOverLine, PollPrintsTheTableAfterEachCycleWithEvents) {
  ASSERT_NO_FATAL_FAILURE(StartMeter(MT_TR5, 1));
  Sim->HoldRegister(1, 7500, 231.5);  // U1
  Sim->HoldRegister(1, 7501, 0.25);   // I1
  Sim->HoldRegister(1, 7528, 49.94);  // f
  Sim->HoldRegister(1, 4030, 1);      // relay: alarm A1
  TRun run = Run("poll --cycles 2");
  ASSERT_EQ(run.Code, 0) << run.Err;
  EXPECT_EQ(Count(run.Out, "  cycle "), 2u);
  const std::vector<std::string> lines = Lines(run.Out);
  ASSERT_GT(lines.size(), 2u);
  EXPECT_NE(lines[0].find("\tConnection to TR5_1"), std::string::npos) << run.Out;
  EXPECT_EQ(Count(run.Out, "\tStart of alarm A1"), 1u) << run.Out;
  bool sawL1 = false, sawF = false;
  for (const std::string& line : lines) {
    if (line.rfind("L1 ", 0) == 0) {
      sawL1 = true;
      EXPECT_NE(line.find(" 231.5 "), std::string::npos) << line;
      EXPECT_NE(line.find(" 0.250"), std::string::npos) << line;
    }
    if (line.rfind("49.9 ", 0) == 0) sawF = true;
  }
  EXPECT_TRUE(sawL1);
  EXPECT_TRUE(sawF) << run.Out;

  run = Run("poll --csv --cycles 1");
  ASSERT_EQ(run.Code, 0) << run.Err;
  const std::vector<std::string> csv = Lines(run.Out);
  ASSERT_EQ(csv.size(), 2u) << run.Out;
  EXPECT_EQ(csv[0].rfind("time,cycle,U1,I1,P1,", 0), 0u);
  EXPECT_EQ(Count(csv[0], ","), 41u);
  EXPECT_EQ(Count(csv[1], ","), 41u);
  EXPECT_NE(csv[1].find(",1,231.5,"), std::string::npos) << csv[1];
  EXPECT_NE(run.Err.find("\tConnection to TR5_1"), std::string::npos);

  // A meter that never answers: the cycles still end, without values.
  Sim->SetFaults(SimFaults{.NoReply = true});
  run = Run("--timeout 100 poll --cycles 1 --csv");
  EXPECT_EQ(run.Code, 3);
  EXPECT_NE(run.Out.find(",1,----,----,"), std::string::npos) << run.Out;
  EXPECT_NE(run.Err.find("\tTransmission error with TR5_1"), std::string::npos) << run.Err;
}

TEST_P(CliOverLine, ReadPrintsCodeDescriptionAndValueOfEachItem) {
  ASSERT_NO_FATAL_FAILURE(StartMeter(MT_TR5, 1));
  Sim->HoldRegister(1, 4000, 250);
  Sim->HoldRegister(1, 7500, 231.5);
  TRun run = Run("read 0");
  ASSERT_EQ(run.Code, 0) << run.Err;
  EXPECT_EQ(Lines(run.Out).size(), 18u);  // title and 17 items
  EXPECT_NE(run.Out.find("     1  tr_I       Ratio of current transformer"), std::string::npos);
  EXPECT_NE(run.Out.find(" 250\n"), std::string::npos) << run.Out;

  run = Run("read 1901");
  ASSERT_EQ(run.Code, 0) << run.Err;
  ASSERT_EQ(Lines(run.Out).size(), 2u);
  EXPECT_NE(run.Out.find("U1         L1 phase voltage"), std::string::npos) << run.Out;
  EXPECT_NE(run.Out.find("231.5 V\n"), std::string::npos) << run.Out;

  Sim->SetFaults(SimFaults{.ExceptionCode = 2});
  run = Run("read 1900");
  EXPECT_EQ(run.Code, 3);
  EXPECT_NE(run.Err.find("no reply"), std::string::npos) << run.Err;
}

TEST_P(CliOverLine, WriteReportsEachResult) {
  ASSERT_NO_FATAL_FAILURE(StartMeter(MT_TR5, 1));
  TRun run = Run("write 1 12.7");
  EXPECT_EQ(run.Code, 0) << run.Err;
  EXPECT_NE(run.Out.find("tr_I = 12 written"), std::string::npos) << run.Out;  // as read back
  EXPECT_EQ(Sim->GetRegister(1, 4000), 12.0);

  const size_t sent = Sim->RequestCount();
  run = Run("write 1 20001");
  EXPECT_EQ(run.Code, 4);
  EXPECT_EQ(run.Err, "kavrel-cli: Out of range\n");
  run = Run("write 1901 5");
  EXPECT_EQ(run.Code, 4);
  EXPECT_EQ(run.Err, "kavrel-cli: Parameter read-only\n");
  run = Run("write 0 5");  // a whole group cannot be written
  EXPECT_EQ(run.Code, 2);
  size_t writes = 0;
  for (const SimRequest& r : Sim->Requests()) writes += r.Function == 6;
  EXPECT_EQ(writes, 1u);
  EXPECT_GT(Sim->RequestCount(), sent);  // the refused ones still connected first

  // Within the table's limits 0..2400, but minute 99 is refused by the meter.
  run = Run("write 203 1299");
  EXPECT_EQ(run.Code, 3);
  EXPECT_EQ(run.Err, "kavrel-cli: Impossible request\n");
  EXPECT_EQ(Sim->Requests().back().Function, 6);
  EXPECT_NE(Sim->Requests().back().Exception, 0);
}

INSTANTIATE_TEST_SUITE_P(Transport, CliOverLine, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return std::string(info.param ? "Tcp" : "Serial");
                         });

// TCP= in the settings file leads to a network serial server; --port alone
// goes back to the serial port; a server that is not there is a port that
// cannot be opened, with the reason.
TEST_F(Cli, NetworkServerFromSettingsOrOption) {
  OverTcp = true;
  ASSERT_NO_FATAL_FAILURE(StartMeter(MT_TR5, 3, 2, 4));
  Transport.clear();
  WriteSettings("COM=6\r\nBaud=6\r\nMode=4\r\nType=1\r\nMeterAdr=3\r\nMeterType=80\r\n"
                "TCP=127.0.0.1:" + std::to_string(Net->Port()) + "\r\n");
  TRun run = Run("read 1901");
  EXPECT_EQ(run.Code, 0) << run.Err;  // COM7 with the converter has no I/O base: no matter over TCP
  EXPECT_NE(run.Out.find("L1 phase voltage"), std::string::npos) << run.Out;
  const int port = Net->Port();
  Net.reset();
  run = Run("read 1901");
  EXPECT_EQ(run.Code, 1);
  EXPECT_NE(run.Err.find("cannot open tcp://127.0.0.1:" + std::to_string(port) + ": connection refused"),
            std::string::npos) << run.Err;
  // poll waits for the server instead, and polls once it listens.
  auto late = std::async(std::launch::async, [&] { return Run("poll --cycles 1"); });
  bool waiting = false;
  for (int waited = 0; waited < 20000 && !waiting; waited += 20) {
    waiting = ReadAll(Dir.Path() + "/err.txt").find("waiting for tcp://127.0.0.1:") != std::string::npos;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  Net = std::make_unique<SimTcpListener>(*Sim);
  std::string error;
  EXPECT_TRUE(Net->Start("127.0.0.1", port, &error)) << error;
  run = late.get();
  EXPECT_TRUE(waiting) << run.Err;
  EXPECT_EQ(run.Code, 0) << run.Err;
  EXPECT_NE(run.Out.find("  cycle 1  "), std::string::npos) << run.Out;
  run = Run("--port COM2 read 1901");
  EXPECT_EQ(run.Code, 0) << run.Err;
  WriteSettings("COM=1\r\nTCP=converter\r\n");
  run = Run("read 1901");
  EXPECT_EQ(run.Code, 1);
  EXPECT_NE(run.Err.find("TCP=converter in Kavrel.INI is not HOST:PORT"), std::string::npos) << run.Err;
  for (const char* bad : {"--tcp converter read 1901", "--tcp host:0 read 1901", "--tcp read 1901"}) {
    run = Run(bad);
    EXPECT_EQ(run.Code, 2) << bad;
  }
}

// One line per meter found, the estimate first; the exit code tells whether
// any was found. Over the serial port and over TCP, with meters that answer
// 150 ms late: beyond the first probe's wait, found by the second.
TEST_P(CliOverLine, ScanListsTheMetersFoundWithModelAndSettings) {
  ASSERT_NO_FATAL_FAILURE(StartMeters({{MT_TR5, 3}, {MT_VR5, 17}, {MT_TR8, 9}}, 1, 6, 19200));
  Sim->SetFaults(SimFaults{.DelayMs = 150});
  const std::string line = "--baud 19200 --mode 6 scan ";
  TRun run = Run(line + "--from 1 --to 20");
  ASSERT_EQ(run.Code, 0) << run.Err;
  std::vector<std::string> finds = Lines(run.Out);
  std::sort(finds.begin(), finds.end());  // printed as found: a slow one may come after the next
  EXPECT_EQ(finds, (std::vector<std::string>{"  3  TR5          19200 bit/s, mode 6 (RTU 8N1)",
                                             "  9  TR8          19200 bit/s, mode 6 (RTU 8N1)",
                                             " 17  VR5 or VR5B  19200 bit/s, mode 6 (RTU 8N1)"}));
  EXPECT_EQ(run.Err.rfind("Scanning addresses 1 to 20 at 19200 bit/s, mode 6 (RTU 8N1): about 7 s", 0), 0u)
      << run.Err;
  EXPECT_NE(run.Err.find("3 meters found"), std::string::npos) << run.Err;

  run = Run(line + "--from 4 --to 8");
  EXPECT_EQ(run.Code, 3);
  EXPECT_EQ(run.Out, "");
  EXPECT_NE(run.Err.find("0 meters found"), std::string::npos) << run.Err;
  if (GetParam()) return;

  // Every baud rate and mode: a pseudo-terminal carries any baud rate, so the
  // meter answers at each RTU mode of each rate, and at no ASCII one.
  Sim->SetFaults({});
  run = Run(line + "--from 9 --to 9 --all-settings");
  ASSERT_EQ(run.Code, 0) << run.Err;
  finds = Lines(run.Out);
  EXPECT_EQ(finds.size(), 28u) << run.Out;
  for (const std::string& f : finds) {
    EXPECT_EQ(f.rfind("  9  TR8          ", 0), 0u) << f;
    EXPECT_NE(f.find("(RTU "), std::string::npos) << f;
  }
  EXPECT_NE(run.Err.find("at 49 line settings: about "), std::string::npos) << run.Err;
}

// A real line in both framings: an adapter that echoes, noise before the
// replies, the meter gone, and the adapter pulled out and put back mid-poll.
class CliLine : public Cli, public ::testing::WithParamInterface<int> {
protected:
  // The framing as a gateway line names it, which kavrel-cli takes too.
  std::string Args() const {
    return std::string("--baud 9600 ") +
           (GetParam() >= 3 ? "--framing rtu " : "--framing ASCII --format 8n1 ");
  }
  bool WaitForText(const std::string& file, const std::string& text, int ms) {
    for (int waited = 0; waited < ms; waited += 20) {
      if (ReadAll(Dir.Path() + "/" + file).find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }
};

TEST_P(CliLine, EchoNoiseSilenceAndUnplugging) {
  ASSERT_NO_FATAL_FAILURE(StartMeter(MT_TR5, 1, 1, GetParam(), 9600));
  Sim->SetFaults(SimFaults{.NoiseBytes = 3, .Echo = true});
  Sim->HoldRegister(1, 7500, 231.5);
  TRun run = Run(Args() + "poll --csv --cycles 2");
  ASSERT_EQ(run.Code, 0) << run.Err;
  EXPECT_EQ(Count(run.Out, ",231.5,"), 2u) << run.Out;
  run = Run(Args() + "write 1 12.7");
  EXPECT_EQ(run.Code, 0) << run.Err;
  EXPECT_NE(run.Out.find("tr_I = 12 written"), std::string::npos) << run.Out;
  // A command clears the active energy and reads 0 again: written.
  run = Run(Args() + "write 11 1");
  EXPECT_EQ(run.Code, 0) << run.Err;
  EXPECT_NE(run.Out.find("EnPO = 0 written"), std::string::npos) << run.Out;

  // Confirmed, but the meter keeps its old value: not written.
  Sim->HoldRegister(1, 4000, 12);
  run = Run(Args() + "write 1 50");
  EXPECT_EQ(run.Code, 3) << run.Out;
  EXPECT_EQ(run.Err, "kavrel-cli: Impossible request\n");
  const std::vector<SimRequest> log = Sim->Requests();
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[log.size() - 2].Reply, 6);  // confirmed, then read back
  Sim->ReleaseRegister(1, 4000);

  // Only the echo comes back: no write is reported done.
  Sim->SetFaults(SimFaults{.NoReply = true, .Echo = true});
  run = Run(Args() + "--timeout 300 write 1 99");
  EXPECT_EQ(run.Code, 3) << run.Out;
  EXPECT_EQ(Sim->GetRegister(1, 4000), 12.0);

  // A port missing at the start (its link leads nowhere yet) is waited for:
  // poll says so, and starts once the port is there.
  Sim->SetFaults(SimFaults{.Echo = true});
  Dir.Link(1, Dir.Path() + "/no-such-tty");
  auto late = std::async(std::launch::async, [&] { return Run(Args() + "poll --csv --cycles 1"); });
  const bool waiting = WaitForText("err.txt", "kavrel-cli: waiting for COM1: no such device", 20000);
  Dir.Link(1, Sim->DevicePath());
  run = late.get();
  EXPECT_TRUE(waiting) << run.Err;
  EXPECT_EQ(run.Code, 0) << run.Err;
  EXPECT_NE(run.Out.find(",1,231.5,"), std::string::npos) << run.Out;

  // Unplugged mid-poll: cycles without values, never the old ones again; the
  // port comes back through its COM1 link once the link is back.
  // Long enough for the simulator on a busy machine: only the unplugging leaves a cycle empty.
  const std::string timeout = "--timeout " + std::to_string(300 + testsupport::LoadAllowanceMs()) + " ";
  auto poll =
      std::async(std::launch::async, [&] { return Run(Args() + timeout + "poll --csv --cycles 20"); });
  ASSERT_TRUE(WaitForText("out.txt", ",2,", 20000));
  Sim->Unplug();
  const bool down = WaitForText("err.txt", "\tTransmission error with TR5_1", 20000);
  ASSERT_TRUE(Sim->Plug());
  run = poll.get();
  ASSERT_TRUE(down) << run.Err;
  EXPECT_EQ(run.Code, 0) << run.Err;
  EXPECT_EQ(Count(run.Err, "\tConnection to TR5_1"), 2u) << run.Err;
  const std::vector<std::string> csv = Lines(run.Out);
  ASSERT_EQ(csv.size(), 21u) << run.Out;
  size_t blank = 0;
  for (const std::string& line : csv) blank += line.find(",----,----,----,") != std::string::npos;
  EXPECT_GE(blank, 1u) << run.Out;
  EXPECT_NE(csv.back().find(",231.5,"), std::string::npos) << run.Out;
}

TEST_P(CliLine, SetupBackupDiffAndRestore) {
  ASSERT_NO_FATAL_FAILURE(StartMeter(MT_VR5, 1, 1, GetParam(), 9600));
  TRun run = Run(Args() + "--model VR5 backup before.txt");
  ASSERT_EQ(run.Code, 0) << run.Err;
  const std::string saved = ReadAll(Dir.Path() + "/before.txt");
  EXPECT_NE(saved.find("Model=VR5\n"), std::string::npos) << saved;
  EXPECT_EQ(saved.find("HourMin"), std::string::npos);  // the clock is no setup
  run = Run(Args() + "--model VR5 diff before.txt");
  EXPECT_EQ(run.Code, 0) << run.Out << run.Err;

  // Two items changed on the meter: diff names exactly those.
  ASSERT_EQ(Run(Args() + "--model VR5 write 501 250").Code, 0);
  ASSERT_EQ(Run(Args() + "--model VR5 write 602 -30").Code, 0);
  run = Run(Args() + "--model VR5 diff before.txt");
  EXPECT_EQ(run.Code, 1) << run.Err;
  EXPECT_EQ(Lines(run.Out).size(), 3u) << run.Out;
  EXPECT_NE(run.Out.find("   501  IRatio"), std::string::npos) << run.Out;
  EXPECT_NE(run.Out.find("meter 250"), std::string::npos) << run.Out;
  EXPECT_NE(run.Out.find("   602  "), std::string::npos) << run.Out;

  // Asked and not agreed: nothing written. Agreed: only the two, then no
  // difference. The answer, not echoed from a file, leaves its line end.
  const std::string question = "Write these 2 items into VR5_1 at address 1? [y/N] \n";
  run = Run(Args() + "--model VR5 restore before.txt", "n\n");
  EXPECT_EQ(run.Code, 7) << run.Out;
  EXPECT_TRUE(run.Out.ends_with("\n" + question + "Nothing written.\n")) << run.Out;
  EXPECT_EQ(Sim->GetRegister(1, 4000), 250.0);
  Sim->ClearRequests();
  run = Run(Args() + "--model VR5 restore before.txt", "y\n");
  EXPECT_EQ(run.Code, 0) << run.Out << run.Err;
  EXPECT_NE(run.Out.find("\n" + question + "   501  "), std::string::npos) << run.Out;
  EXPECT_EQ(Count(run.Out, " written\n"), 2u) << run.Out;
  size_t writes = 0;
  for (const SimRequest& r : Sim->Requests()) writes += r.Function == 6;
  EXPECT_EQ(writes, 2u);
  EXPECT_EQ(Run(Args() + "--model VR5 diff before.txt").Code, 0);
  // One item differing is asked about as one.
  ASSERT_EQ(Run(Args() + "--model VR5 write 501 260").Code, 0);
  run = Run(Args() + "--model VR5 restore before.txt", "n\n");
  EXPECT_TRUE(run.Out.ends_with("\nWrite this item into VR5_1 at address 1? [y/N] \nNothing written.\n"))
      << run.Out;

  // A file that asks for a command (ClearPav = 1) and a ratio the meter
  // confirms but does not take: the command is written, the ratio is not.
  auto withValue = [&](std::string text, const std::string& item, const std::string& value) {
    const size_t at = text.find("\n" + item + "\t");
    EXPECT_NE(at, std::string::npos) << saved;
    const size_t start = text.find('\t', text.find('\t', text.find('\t', at + 1) + 1) + 1) + 1;
    return text.replace(start, text.find('\t', start) - start, value);
  };
  std::ofstream(Dir.Path() + "/commands.txt", std::ios::binary)
      << withValue(withValue(saved, "504", "1"), "501", "300");
  Sim->HoldRegister(1, 4000, 250);
  run = Run(Args() + "--model VR5 restore commands.txt --yes");
  EXPECT_EQ(run.Code, 3) << run.Out << run.Err;
  EXPECT_NE(run.Out.find("   504  ClearPav   1 written\n"), std::string::npos) << run.Out;
  EXPECT_NE(run.Out.find("   501  IRatio     300 not confirmed: Impossible request\n"), std::string::npos)
      << run.Out;
  Sim->ReleaseRegister(1, 4000);

  // A meter that holds a value outside its item's limits: its backup diffs
  // clean, with the value marked, and restores nothing.
  Sim->HoldRegister(1, 4000, 30000);
  ASSERT_EQ(Run(Args() + "--model VR5 backup odd.txt").Code, 0);
  run = Run(Args() + "--model VR5 diff odd.txt");
  EXPECT_EQ(run.Code, 0) << run.Err;
  EXPECT_NE(run.Out.find("the same in both  [IRatio = 30000 is outside its limits 1 to 20000]"),
            std::string::npos)
      << run.Out;
  EXPECT_EQ(Run(Args() + "--model VR5 restore odd.txt --yes").Code, 0);
  Sim->ReleaseRegister(1, 4000);
  run = Run(Args() + "--model VR5 diff missing.txt");
  EXPECT_EQ(run.Code, 6);
  EXPECT_EQ(run.Err, "kavrel-cli: cannot read missing.txt: No such file or directory\n");

  // Refused before anything is written: another model, a value to write
  // outside its limits, a file cut short.
  const std::string outside = withValue(saved, "501", "99999");
  const std::pair<std::string, std::string> refused[] = {
      {"--model VR5B ", "the file is for a VR5, the meter is a VR5B"},
      {"--model VR5 ", "is outside its limits"},
      {"--model VR5 ", "needs 5 fields"},
  };
  const std::string files[] = {saved, outside, saved.substr(0, saved.size() - 30)};
  for (int i = 0; i < 3; ++i) {
    std::ofstream(Dir.Path() + "/bad.txt", std::ios::binary) << files[i];
    Sim->ClearRequests();
    run = Run(Args() + refused[i].first + "restore bad.txt --yes");
    EXPECT_EQ(run.Code, 6) << refused[i].second;
    EXPECT_NE(run.Err.find(refused[i].second), std::string::npos) << run.Err;
    // The limits are those of what would be written: the meter is read first.
    size_t sent = 0;
    for (const SimRequest& r : Sim->Requests()) sent += i == 1 ? r.Function == 6 : 1;
    EXPECT_EQ(sent, 0u) << refused[i].second;
  }
}

INSTANTIATE_TEST_SUITE_P(Framing, CliLine, ::testing::Values(0, 6),
                         [](const auto& info) { return info.param >= 3 ? "Rtu" : "Ascii"; });

}  // namespace
