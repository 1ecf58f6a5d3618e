// The extreme values window against a simulated TR5, VR5 and VR5B on a
// pseudo-terminal: rows and labels of each tab, values and times in their
// columns, the groups read, and what is left when the meter cannot be read.
#include <gtest/gtest.h>
#include <QPushButton>
#include <QTabBar>
#include <QTableWidget>
#include <QTest>
#include <chrono>
#include <cstdlib>
#include <utility>

#include "tests/support/ViewTestSupport.h"
#include "views/Minmax.h"

namespace {

using namespace std::chrono_literals;

// 2004-01-10 13:37:59 UTC on the meter's clock, which runs an hour ahead of
// the PC's epoch seconds.
constexpr double METER_TIME = 1073741879.0 + 3600.0;

class ExtremeWindow : public WindowOverSimulator {
protected:
  void Start(int type) {
    // Times are shown in the local time zone; this program pins it to UTC.
#ifdef _WIN32
    _putenv_s("TZ", "UTC0");
    _tzset();
#else
    setenv("TZ", "UTC0", 1);
    tzset();
#endif

    SimConfig config;  // ASCII 19200 8N1 at address 1: the program's defaults
    config.Meters = {SimMeterConfig{type, 1}};
    TViewFactories views;
    views.Extreme = MakeExtremeWindow;
    ASSERT_NO_FATAL_FAILURE(StartProgram(config, views));
    Meter.Kind = type;

    Sim->HoldRegister(1, 7544, 228.44);  // U1 min
    Sim->HoldRegister(1, 7545, 241.37);  // U1 max
    Sim->HoldRegister(1, 7555, 0.5);     // I3 max
    Sim->HoldRegister(1, 7610, -1500);   // Pav min, last row of "3-phase parameters"
    Sim->HoldRegister(1, 7629, 12.347);  // THD I3 max
    if (type == MT_VR5 || type == MT_VR5B) {
      Sim->HoldRegister(1, 7844, METER_TIME);          // U1 min
      Sim->HoldRegister(1, 7855, METER_TIME + 86400);  // I3 max
    }
  }

  TExtrema* Open() {
    Form->Ekstrema1Click();
    return qobject_cast<TExtrema*>(Form->Extrema.data());
  }

  // The texts of columns 1 to 4 of every quantity row, run together.
  static QString ValueCells(const TExtrema& w) {
    QString all;
    for (int r = 1; r < w.RowCount(); ++r)
      for (int c = 1; c < 5; ++c) all += w.Cell(c, r);
    return all;
  }

  static void DoubleClickTable(TExtrema& w) {
    const QRect cell = w.StringGrid1->visualRect(w.StringGrid1->model()->index(1, 1));
    // As the system delivers it: press, release, double click, release.
    QTest::mouseClick(w.StringGrid1->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(w.StringGrid1->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseRelease(w.StringGrid1->viewport(), Qt::LeftButton, {}, cell.center());
  }
};

TEST_F(ExtremeWindow, EachTabListsItsQuantitiesWithMinimumAndMaximum) {
  ASSERT_NO_FATAL_FAILURE(Start(MT_TR5));
  TExtrema* w = Open();
  ASSERT_NE(w, nullptr);
  const QString header[] = {"Quantity", "Minimum", "Maximum", "Time min", "Time max"};
  for (int c = 0; c < 5; ++c) EXPECT_EQ(w->Cell(c, 0), header[c]);
  // Shown on the first tab; a TR5 has no times, so one group read per tab.
  EXPECT_EQ(TakeReads(), (Reads{{7544, 12}}));

  struct Expected {
    int Tab, Rows;
    std::pair<int, int> Read;
    int Row;
    const char *Label, *Min, *Max;
  };
  const Expected tabs[] = {
      {3, 14, {7586, 26}, 13, "Average active power", "-1500 W", nullptr},
      // From 14 rows back to 7: nothing of "3-phase parameters" may remain.
      {0, 7, {7544, 12}, 6, "L3 phase current", nullptr, "0.500 A"},
      {1, 10, {7556, 18}, 9, "L3 phase reactive power", nullptr, nullptr},
      {2, 7, {7574, 12}, 4, "L1 phase tangent fi", nullptr, nullptr},
      // "THD I3 - min" keeps the blank in front of its "- min".
      {4, 7, {7618, 12}, 6, "THD I3 ", nullptr, "12.35 %"},
  };
  for (const Expected& e : tabs) {
    SCOPED_TRACE(e.Tab);
    w->TabControl1->setCurrentIndex(e.Tab);
    EXPECT_EQ(TakeReads(), (Reads{e.Read}));
    EXPECT_EQ(w->RowCount(), e.Rows);
    EXPECT_EQ(w->Cell(0, e.Row), e.Label);
    if (e.Min) {
      EXPECT_EQ(w->Cell(1, e.Row), e.Min);
    }
    if (e.Max) {
      EXPECT_EQ(w->Cell(2, e.Row), e.Max);
    }
    for (int r = 1; r < w->RowCount(); ++r) {
      EXPECT_FALSE(w->Cell(0, r).isEmpty()) << r;
      EXPECT_FALSE(w->Cell(1, r).isEmpty()) << r;
      EXPECT_FALSE(w->Cell(2, r).isEmpty()) << r;
      EXPECT_EQ(w->Cell(3, r) + w->Cell(4, r), "") << r;
    }
  }

  // Closing, by Escape or by "Close", ends the window and clears the main
  // window's reference.
  for (bool escape : {true, false}) {
    SCOPED_TRACE(escape);
    if (!w) w = Open();
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowActive(w));
    QPointer<TExtrema> closing = w;
    if (escape)
      QTest::keyClick(w->StringGrid1, Qt::Key_Escape);
    else
      QTest::mouseClick(w->CloseBtn, Qt::LeftButton);
    EXPECT_TRUE(Form->Extrema.isNull());
    EXPECT_TRUE(QTest::qWaitFor([&] { return closing.isNull(); }, 10000));
    w = nullptr;
  }
}

TEST_F(ExtremeWindow, Vr5ShowsTheTimesOfItsExtremes) {
  ASSERT_NO_FATAL_FAILURE(Start(MT_VR5));
  TExtrema* w = Open();
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(TakeReads(), (Reads{{7544, 12}, {7844, 12}}));
  EXPECT_EQ(w->Cell(1, 1), "228.4 V");
  EXPECT_EQ(w->Cell(3, 1), "04/01/10 13:37");
  EXPECT_EQ(w->Cell(4, 6), "04/01/11 13:37");
  for (int r = 1; r < w->RowCount(); ++r) EXPECT_FALSE(w->Cell(4, r).isEmpty()) << r;

  w->TabControl1->setCurrentIndex(4);
  EXPECT_EQ(TakeReads(), (Reads{{7618, 12}, {7912, 12}}));
}

TEST_F(ExtremeWindow, Vr5bShowsNoTimes) {
  ASSERT_NO_FATAL_FAILURE(Start(MT_VR5B));
  TExtrema* w = Open();
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(TakeReads(), (Reads{{7544, 12}}));
  EXPECT_EQ(w->Cell(1, 1), "228.4 V");
  for (int r = 1; r < w->RowCount(); ++r) EXPECT_EQ(w->Cell(3, r) + w->Cell(4, r), "") << r;
}

TEST_F(ExtremeWindow, FailedReadOrLinkDownKeepsLabelsOnly) {
  ASSERT_NO_FATAL_FAILURE(Start(MT_VR5));
  TExtrema* w = Open();
  ASSERT_NE(w, nullptr);
  ASSERT_EQ(TakeReads().size(), 2u);
  ASSERT_EQ(w->Cell(3, 1), "04/01/10 13:37");
  w->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(w));

  // A silent meter: a double click reads again, both reads time out and no
  // value or time of the last read stays.
  Sim->SetFaults(SimFaults{.NoReply = true});
  Port.ReplyTimeout = SILENT;
  DoubleClickTable(*w);
  ASSERT_TRUE(Sim->WaitForRequests(2, 10s));
  EXPECT_EQ(TakeReads(), (Reads{{7544, 12}, {7844, 12}}));
  EXPECT_EQ(w->RowCount(), 7);
  EXPECT_EQ(w->Cell(0, 1), "L1 phase voltage");
  EXPECT_EQ(ValueCells(*w), "");

  // The meter answers again.
  Sim->SetFaults(SimFaults{});
  Port.ReplyTimeout = ANSWERED;
  DoubleClickTable(*w);
  EXPECT_EQ(TakeReads(), (Reads{{7544, 12}, {7844, 12}}));
  EXPECT_EQ(w->Cell(2, 1), "241.4 V");

  // Link down: the names of the quantities and nothing else, and nothing is
  // sent. The meter answers in order, so anything sent while the link was
  // down would come in front of the next read.
  Meter.LinkState = 3;
  w->TabControl1->setCurrentIndex(1);
  EXPECT_EQ(w->RowCount(), 10);
  EXPECT_EQ(w->Cell(0, 1), "L1 phase active power");
  EXPECT_EQ(ValueCells(*w), "");
  Meter.LinkState = 1;
  DoubleClickTable(*w);
  EXPECT_EQ(TakeReads(), (Reads{{7556, 18}, {7856, 18}}));
  EXPECT_FALSE(w->Cell(1, 1).isEmpty());
}

}  // namespace
