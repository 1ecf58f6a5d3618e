// The main window's timer polling a simulated meter over a pseudo-terminal,
// as the program does in use.
#include <QTest>
#include <fstream>
#include <gtest/gtest.h>

#include "app/Main.h"
#include "comm/Trans.h"
#include "model/TR5.h"
#include "sim/SimServer.h"
#include "tests/support/PtyTools.h"
#include "tests/support/SimPort.h"

TEST(MainTimer, PollsTheSelectedMeterBlockByBlockAtTheTimersPace) {
  testsupport::ComDirectory dir;
  SimConfig config;
  config.Meters = {SimMeterConfig{80, 3}};
  config.Mode = 4;  // RTU 8E1
  config.Baud = 19200;
  ServeComPort(config, dir.Path(), 2);
  SimServer sim(config);
  std::string error;
  ASSERT_TRUE(sim.Start(&error)) << error;
  std::ofstream("Kavrel.INI") << "COM=1\r\nBaud=6\r\nMode=4\r\nType=0\r\nMeterAdr=3\r\nMeterType=80\r\n";

  TModbusPort port;
  TTR5 meter(true, &port);
  TMainForm form(port, meter);
  ASSERT_NE(port.Handle, nullptr);
  ASSERT_TRUE(QTest::qWaitFor([&] { return sim.RequestCount() >= 8; }, 30000))
      << sim.RequestCount() << " requests";

  const auto log = sim.Requests();
  size_t blocks = 0;
  for (size_t i = 0; i < log.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(log[i].Address, 3);
    EXPECT_EQ(log[i].Function, 3);
    EXPECT_EQ(log[i].Reply, 3);
    // One step per 200 ms tick: no request follows another sooner.
    if (i > 0) {
      EXPECT_GE(log[i].Time - log[i - 1].Time, 0.15);
    }
    if (log[i].Count == 1 && log[i].Register < 7500) {
      // Now and then the relay output state, after a THD block.
      EXPECT_TRUE(i > 0 && log[i - 1].Register == 7612);
      continue;
    }
    // Otherwise the process block and the THD block in turn.
    EXPECT_EQ(log[i].Register, blocks % 2 ? 7612 : 7500);
    EXPECT_EQ(log[i].Count, blocks % 2 ? 6 : 34);
    ++blocks;
  }
  EXPECT_GE(blocks, 6u);
  const double mean = (log.back().Time - log.front().Time) / double(log.size() - 1);
  EXPECT_LT(mean, 2.0);  // and polling does not stall

  // The replies reached the meter's variables.
  EXPECT_NE(meter.FindByName("U1", 0)->GetValue(), NO_VALUE);
  EXPECT_NE(meter.FindByName("THD_I3", 0)->GetValue(), NO_VALUE);
}
