// Setup shared by the window tests that run against the simulated meter: the
// simulator on "COM1" of a temporary working directory, the settings file the
// main window reads, and a fixture with the main window for tests that drive
// one window and watch what it reads on the line.
#pragma once

#include <QTimer>
#include <cstdint>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/Main.h"
#include "comm/Trans.h"
#include "model/TR5.h"
#include "sim/SimServer.h"
#include "tests/support/PtyTools.h"
#include "tests/support/SimPort.h"

constexpr uint32_t ANSWERED = 5000;  // reply time-out where the meter answers
constexpr uint32_t SILENT = 100;     // reply time-out where it is meant to run out

// (register, count) of read requests.
using Reads = std::vector<std::pair<int, int>>;

// Starts a simulator for config with its link at "COM1" in dir, where the
// port "COM1" opens it. Use as ASSERT_TRUE(StartSimulator(...)).
inline ::testing::AssertionResult StartSimulator(const testsupport::ComDirectory& dir, SimConfig config,
                                                 std::unique_ptr<SimServer>& sim) {
  ServeComPort(config, dir.Path(), 1);
  sim = std::make_unique<SimServer>(config);
  std::string error;
  if (!sim->Start(&error)) return ::testing::AssertionFailure() << error;
  return ::testing::AssertionSuccess();
}

// Writes Kavrel.INI in the working directory: COM1, 19200, ASCII 8N1 (the
// simulator's defaults) and a meter of this type at address 1, then `more`
// (whole lines, each ending in "\r\n").
inline void WriteSettings(int meterType, const std::string& more = "") {
  std::ofstream("Kavrel.INI") << "COM=0\r\nBaud=6\r\nMode=0\r\nType=0\r\nMeterAdr=1\r\nMeterType=" << meterType
                              << "\r\n" << more;
}

// The main window over a simulated meter, with no acquisition in between: the
// line's log then holds the reads of the window under test only.
class WindowOverSimulator : public ::testing::Test {
protected:
  // Starts the simulator for config and makes the main window with these
  // views; the link counts as up. Use inside ASSERT_NO_FATAL_FAILURE.
  void StartProgram(SimConfig config, TViewFactories views) {
    ASSERT_TRUE(StartSimulator(Dir, std::move(config), Sim));
    Form = std::make_unique<TMainForm>(Port, Meter, std::move(views));
    Form->Timer1->stop();
    ASSERT_NE(Port.Handle, nullptr);
    Port.ReplyTimeout = ANSWERED;
    Meter.LinkState = 1;
  }

  // (register, count) of the reads the meter has seen since the last call.
  Reads TakeReads() {
    Reads reads;
    for (const SimRequest& r : Sim->Requests())
      if (r.Function == 3) reads.emplace_back(r.Register, r.Count);
    Sim->ClearRequests();
    return reads;
  }

  testsupport::ComDirectory Dir;
  std::unique_ptr<SimServer> Sim;
  TModbusPort Port;
  TTR5 Meter{true, &Port};
  std::unique_ptr<TMainForm> Form;
};
