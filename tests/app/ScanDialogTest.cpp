// "Find meters…" from the device list, against simulated meters on a
// pseudo-terminal: the scan runs beside a responsive window, polling pauses
// for it, and the meters chosen land in the device list.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <fstream>
#include <gtest/gtest.h>

#include "app/Konfig.h"
#include "app/Main.h"
#include "app/ScanDialog.h"
#include "comm/Trans.h"
#include "model/TR5.h"
#include "sim/SimServer.h"
#include "tests/support/GuiTestSupport.h"
#include "tests/support/PtyTools.h"
#include "tests/support/SimPort.h"

namespace {

std::unique_ptr<SimServer> StartSim(const std::string& dir, std::vector<SimMeterConfig> meters, SimFaults faults = {}) {
  SimConfig config;
  config.Meters = std::move(meters);
  config.Mode = 6;  // RTU 8N1
  config.Baud = 19200;
  ServeComPort(config, dir, 1);
  auto sim = std::make_unique<SimServer>(config);
  std::string error;
  EXPECT_TRUE(sim->Start(&error)) << error;
  sim->SetFaults(faults);
  return sim;
}

bool IsScanRead(const SimRequest& r) { return r.Function == 3 && r.Count == 1 && r.Register >= 4000 && r.Register <= 4040; }

}  // namespace

TEST(FindMeters, ScanFromTheDeviceListPausesPollingAndAddsTheChosenMeters) {
  testsupport::ComDirectory dir;
  // Meter 3 answers late: found by its second probe, after 17, and still listed first.
  auto sim = StartSim(dir.Path(), {{MT_TR5, 3}, {MT_VR5, 17}}, SimFaults{.DelayMs = 150, .OnlyAddress = 3});
  std::ofstream("Kavrel.INI") << "COM=0\r\nBaud=6\r\nMode=6\r\nType=0\r\nMeterAdr=3\r\nMeterType=80\r\n";
  TModbusPort port;
  TTR5 meter(true, &port);
  TMainForm form(port, meter);
  port.ReplyTimeout = 5000;
  ASSERT_TRUE(QTest::qWaitFor([&] { return sim->RequestCount() >= 2; }, 30000));  // polling runs

  bool timerDuringScan = false;
  size_t scanStart = 0;
  OnNextModal<TDialogKonfig>([&](TDialogKonfig* list) {
    EXPECT_TRUE(list->FindBtn->isEnabled());
    EXPECT_EQ(list->FindBtn->text(), QStringLiteral("Find meters\u2026"));
    OnNextModal<TScanDialog>([&](TScanDialog* scan) {
      scan->ToBox->setValue(20);
      scan->FromBox->setValue(1);
      EXPECT_TRUE(scan->EstimateLabel->text().startsWith("This takes about ")) << scan->EstimateLabel->text().toStdString();
      scanStart = sim->RequestCount();
      scan->StartButton->click();
      EXPECT_TRUE(scan->Running());
      EXPECT_TRUE(scan->CancelButton->isEnabled());
      // The window stays responsive: events are handled while the scan runs.
      ASSERT_TRUE(QTest::qWaitFor([&] {
        const bool scanning = scan->Running();
        timerDuringScan = timerDuringScan || (scanning && form.Timer1->isActive());
        return !scanning;
      }, 60000));
      EXPECT_EQ(scan->StatusLabel->text(), QStringLiteral("Scan done: 2 found."));
      ASSERT_EQ(scan->FindList->rowCount(), 2);
      EXPECT_EQ(scan->FindList->item(0, 1)->text(), QStringLiteral("3"));
      EXPECT_EQ(scan->FindList->item(0, 2)->text(), QStringLiteral("TR5"));
      EXPECT_EQ(scan->FindList->item(0, 0)->checkState(), Qt::Checked);
      EXPECT_EQ(scan->FindList->item(1, 1)->text(), QStringLiteral("17"));
      auto* model = qobject_cast<QComboBox*>(scan->FindList->cellWidget(1, 2));
      ASSERT_NE(model, nullptr);
      EXPECT_EQ(model->currentText(), QStringLiteral("VR5 or VR5B"));
      EXPECT_EQ(model->count(), 3);

      // Ticked without a model chosen: not added, the user is told.
      scan->FindList->item(1, 0)->setCheckState(Qt::Checked);
      scan->AddButton->click();
      EXPECT_TRUE(scan->isVisible());
      EXPECT_EQ(scan->StatusLabel->text(), QStringLiteral("Choose the model of the meter at address 17."));
      model->setCurrentIndex(model->findText(QStringLiteral("VR5B")));
      scan->AddButton->click();
    });
    // The TR5 at address 3 is listed already; an error is showing.
    list->Button1->click();
    list->StringGrid1->item(1, 1)->setText("3");
    list->StringGrid1->item(1, 1)->setText("x");
    ASSERT_TRUE(list->Message->isVisible());
    list->FindBtn->click();
    // The meter already listed is not added twice, and the list says so in
    // place of the old error.
    EXPECT_TRUE(list->Message->isVisible());
    EXPECT_EQ(list->Message->text(), QStringLiteral("Already in the list: TR5 at address 3."));
    ASSERT_EQ(list->GridRowCount(), 4);
    EXPECT_EQ(list->Cell(0, 2), QStringLiteral("TR5"));
    EXPECT_EQ(list->Cell(1, 2), QStringLiteral("3"));
    EXPECT_EQ(list->Cell(0, 3), QStringLiteral("VR5B"));
    EXPECT_EQ(list->Cell(1, 3), QStringLiteral("17"));
    list->OKBtn->click();
  });
  form.Konfig1Click();

  EXPECT_FALSE(timerDuringScan);
  EXPECT_TRUE(form.Timer1->isActive());
  ASSERT_TRUE(form.DeviceLines.has_value());
  EXPECT_EQ(*form.DeviceLines, (std::vector<std::string>{"Dev0=TR5,3,,", "Dev1=VR5B,17,,"}));

  // Nothing but the scan's reads while it ran (the one poll request already
  // on the line aside), and polling of meter 3 comes back afterwards.
  const auto log = sim->Requests();
  size_t lastScanRead = scanStart;
  for (size_t i = scanStart; i < log.size(); ++i)
    if (IsScanRead(log[i]) && log[i].Register != 4030) lastScanRead = i;
  for (size_t i = scanStart + 1; i < lastScanRead; ++i) EXPECT_TRUE(IsScanRead(log[i])) << i;
  const size_t after = sim->RequestCount();
  ASSERT_TRUE(QTest::qWaitFor([&] {
    const auto now = sim->Requests();
    return std::any_of(now.begin() + static_cast<long>(std::min(after, now.size())), now.end(),
                       [](const SimRequest& r) { return r.Address == 3 && r.Count > 1; });
  }, 30000));
}

TEST(FindMeters, CancelStopsTheScanAtOnceAndClosingStopsItToo) {
  testsupport::ComDirectory dir;
  auto sim = StartSim(dir.Path(), {{MT_TR5, 1}}, SimFaults{.NoReply = true});
  TModbusPort port;
  ASSERT_EQ(port.Configure(0, 6, 6, 0), 0);
  TScanDialog scan(&port);
  QSignalSpy running(&scan, &TScanDialog::ScanRunning);
  scan.show();
  scan.StartButton->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return scan.Progress->value() >= 3; }, 30000));
  scan.CancelButton->click();
  const auto cancelled = std::chrono::steady_clock::now();
  EXPECT_EQ(scan.StatusLabel->text(), QStringLiteral("Scan cancelled: 0 found."));
  EXPECT_FALSE(scan.CancelButton->isEnabled());
  const int shown = scan.Progress->value();
  // The probe on the line ends by its time-out.
  const auto probeWait = std::chrono::milliseconds(TBusScan(port).SecondProbeTimeoutMs({6, 6}));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !scan.Running(); }, 5000));
  EXPECT_LT(std::chrono::steady_clock::now() - cancelled, probeWait + testsupport::LoadAllowance());
  EXPECT_EQ(scan.Progress->value(), shown);
  EXPECT_LT(shown, 20);
  ASSERT_TRUE(QTest::qWaitFor([&] { return running.count() == 2; }, 5000));
  EXPECT_EQ(running.at(0).at(0).toBool(), true);
  EXPECT_EQ(running.at(1).at(0).toBool(), false);
  EXPECT_TRUE(scan.StartButton->isEnabled());

  // Closing the window while a scan runs ends the scan and hands the port back.
  scan.StartButton->click();
  ASSERT_TRUE(scan.Running());
  scan.CloseButton->click();
  EXPECT_FALSE(scan.Running());
  ASSERT_EQ(running.count(), 4);
  EXPECT_EQ(running.at(3).at(0).toBool(), false);
  // The request on the line as the window closed may still be in the
  // pseudo-terminal on its way to the simulator; nothing follows it.
  const size_t seen = sim->RequestCount();
  sim->WaitForRequests(seen + 1, testsupport::LoadAllowance());
  const size_t settled = sim->RequestCount();
  EXPECT_LE(settled, seen + 1);
  QTest::qWait(static_cast<int>(3 * probeWait.count()));
  EXPECT_EQ(sim->RequestCount(), settled);
}
