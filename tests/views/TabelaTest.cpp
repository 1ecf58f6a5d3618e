// The measurement table window: what its grid, bars and event list show of a
// meter, and the window at work in the program against a simulated meter.
#include <gtest/gtest.h>
#include <QApplication>
#include <QFontMetrics>
#include <QHeaderView>
#include <QListWidget>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTabBar>
#include <QTableWidget>
#include <QTest>
#include <cmath>
#include <limits>
#include <memory>
#include <set>

#include "model/TR5.h"
#include "tests/support/ViewTestSupport.h"
#include "views/Tabela.h"

namespace {

void SetValue(TTR5& meter, const char* name, float value) {
  auto* param = dynamic_cast<TZmiennaNum*>(meter.FindByName(name, 0));
  ASSERT_NE(param, nullptr) << name;
  param->Value = value;
}

// Every quantity of the meter gets a value of its own.
void SetDistinctValues(TTR5& meter) {
  int i = 0;
  for (TZmienna* p = meter.FirstChild(); p; p = p->Next.get()) p->Update(100.0f + 10.0f * i++);
}

// The grid's columns are lettered: B2 is column 2, row 2.
QString Cell(const TForm2& form, const char* ref) {
  return form.Cells(ref[0] - 'A' + 1, std::atoi(ref + 1));
}

// Moves the mouse over the grid's cell area (position in its viewport).
void MouseOver(QWidget* target, QPoint position) {
  QMouseEvent move(QEvent::MouseMove, position, target->mapToGlobal(position), Qt::NoButton,
                   Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(target, &move);
}
QPoint CellCentre(const TForm2& form, const char* ref) {
  return form.StringGrid1->visualRect(form.StringGrid1->model()->index(std::atoi(ref + 1) - 1, ref[0] - 'A'))
      .center();
}

}  // namespace

// The common magnitudes go through the grid below; these are the borders.
TEST(TableValueText, BordersOfTheMagnitudesAndTheNoValueMark) {
  const std::pair<double, const char*> cases[] = {
      {0.0, "0.000"}, {1.0, "1.00"}, {10.0, "10.0"}, {1000.0, "1000"}, {-1000.4, "-1000"},
      {1.0e20, "----"}, {-1.0e20, "----"}, {std::numeric_limits<double>::quiet_NaN(), "----"},
      {-INFINITY, "----"},
  };
  for (const auto& [value, text] : cases) EXPECT_EQ(TableValueText(value), text) << value;
}

TEST(TableWindow, GridBindsTheLayoutsQuantitiesAndFormatsThem) {
  TTR5 meter(true);
  TForm2 form(meter);
  // Before any reading every bound cell shows the no-value mark.
  EXPECT_EQ(Cell(form, "B2"), "----");
  EXPECT_EQ(Cell(form, "F8"), "----");

  SetDistinctValues(meter);
  SetValue(meter, "U1", 230.44f);
  SetValue(meter, "I3", 0.5f);
  SetValue(meter, "Pf", -0.87f);
  SetValue(meter, "THD_I2", 9.999f);
  SetValue(meter, "P1", 999.96f);
  SetValue(meter, "f", 49.98f);
  SetValue(meter, "Pav", 12345.6f);
  SetValue(meter, "U123", NO_VALUE);
  form.EvTimer();

  EXPECT_EQ(Cell(form, "B2"), "230.4");
  EXPECT_EQ(Cell(form, "C4"), "0.500");
  EXPECT_EQ(Cell(form, "G5"), "-0.870");
  EXPECT_EQ(Cell(form, "J3"), "10.00");
  EXPECT_EQ(Cell(form, "D2"), "1000.0");
  EXPECT_EQ(Cell(form, "A8"), "50.0");
  EXPECT_EQ(Cell(form, "F8"), "12346");
  EXPECT_EQ(Cell(form, "E8"), "----");
  // Labels, fixed headers, and cells the layout leaves empty.
  EXPECT_EQ(Cell(form, "B1"), "U [V]");
  EXPECT_EQ(Cell(form, "J1"), "THD_I[%]");
  EXPECT_EQ(Cell(form, "A5"), "L1-L2-L3");
  EXPECT_EQ(Cell(form, "F7"), "Pav [W]");
  EXPECT_EQ(form.Cells(1, 0), "A");
  EXPECT_EQ(form.Cells(14, 0), "N");
  EXPECT_EQ(form.Cells(0, 14), "14");
  EXPECT_EQ(form.StringGrid1->verticalHeader()->width(), 32);
  for (int c = 1; c < TForm2::GRID_SIZE; ++c) {
    EXPECT_TRUE(form.Cells(c, 6).isEmpty()) << c;
    EXPECT_TRUE(form.Cells(c, 9).isEmpty()) << c;
  }
  // The grid writes in the platform's interface font (a font of another
  // system would be replaced by a stand-in of the font system's choosing),
  // small and bold; every fixed text fits its column whole: "THD_U[%]" is not cut.
  EXPECT_EQ(form.StringGrid1->font().family().toStdString(), QApplication::font().family().toStdString());
  EXPECT_EQ(form.StringGrid1->font().pointSize(), 8);
  EXPECT_TRUE(form.StringGrid1->font().bold());
  const QFontMetrics metrics(form.StringGrid1->font());
  for (int c = 1; c < TForm2::GRID_SIZE; ++c)
    for (int r = 1; r < TForm2::GRID_SIZE; ++r)
      if (!form.CellParam(c, r))
        EXPECT_LT(metrics.horizontalAdvance(form.Cells(c, r)), form.StringGrid1->columnWidth(c - 1) - 4)
            << form.Cells(c, r).toStdString();

  // 40 value cells, each bound to a quantity of its own and showing its value.
  std::set<TZmienna*> bound;
  for (int c = 0; c < TForm2::GRID_SIZE; ++c)
    for (int r = 0; r < TForm2::GRID_SIZE; ++r)
      if (TZmienna* p = form.CellParam(c, r)) {
        bound.insert(p);
        EXPECT_EQ(form.Cells(c, r).toStdString(), TableValueText(p->GetValue())) << c << "," << r;
        EXPECT_TRUE(c >= 1 && c <= 10 && r >= 2 && r <= 8) << c << "," << r;
      }
  EXPECT_EQ(bound.size(), 40u);
  EXPECT_EQ(bound.count(meter.FindByName("ALR", 0)), 0u);
  // Cells are not editable.
  EXPECT_FALSE(form.StringGrid1->item(1, 1)->flags() & Qt::ItemIsEditable);
}

TEST(TableWindow, BarsFollowTheChosenTabAndShowTheGridsDigits) {
  TTR5 meter(true);
  SetDistinctValues(meter);
  SetValue(meter, "I1", 4.56789f);
  SetValue(meter, "I2", NO_VALUE);
  SetValue(meter, "THD_I1", 0.1234f);
  TForm2 form(meter);
  EXPECT_EQ(form.windowTitle(), "Table");
  ASSERT_EQ(form.TabControl1->count(), 7);

  // The bars change with the tab at once, without waiting for the timer.
  form.TabControl1->setCurrentIndex(1);
  EXPECT_EQ(form.TabControl1->tabText(1), "Currents");
  auto points = form.Chart1->Series1.Points();
  ASSERT_EQ(points.size(), 3u);
  EXPECT_EQ(points[0].Label, "I1");
  EXPECT_FLOAT_EQ(points[0].Y, 4.57f);
  EXPECT_EQ(points[0].Mark, "4.57");
  EXPECT_EQ(points[0].Mark, Cell(form, "C2"));
  EXPECT_TRUE(points[0].Drawn());
  // No value: the bar keeps place and label but is not drawn.
  EXPECT_EQ(points[1].Label, "I2");
  EXPECT_EQ(points[1].X, 1);
  EXPECT_FALSE(points[1].Drawn());
  EXPECT_EQ(points[1].Y, 0);
  EXPECT_TRUE(form.Chart1->BarRect(1).isEmpty());

  form.TabControl1->setCurrentIndex(6);
  points = form.Chart1->Series1.Points();
  ASSERT_EQ(points.size(), 6u);
  EXPECT_EQ(points[3].Label, "THD_I1");
  EXPECT_EQ(points[3].X, 3);
  EXPECT_EQ(points[3].Mark, "0.123");
  EXPECT_EQ(std::string(form.BarName[3]), "THD_I1");
  EXPECT_EQ(form.BarParam[6], nullptr);

  // On every tab each bar shows the value of the quantity it is labelled with.
  for (int tab = 0; tab < form.TabControl1->count(); ++tab) {
    form.TabControl1->setCurrentIndex(tab);
    const auto& bars = form.Chart1->Series1.Points();
    EXPECT_GE(bars.size(), 3u) << tab;
    for (size_t i = 0; i < bars.size(); ++i) {
      EXPECT_EQ(bars[i].X, int(i));
      TZmienna* p = meter.FindByName(bars[i].Label.toUtf8().constData(), 0);
      ASSERT_NE(p, nullptr) << bars[i].Label.toStdString();
      if (bars[i].Drawn()) {
        EXPECT_EQ(bars[i].Mark.toStdString(), TableValueText(p->GetValue()));
      }
    }
  }
}

TEST(TableWindow, UnknownNamesLeaveGapsAndRebindingResolvesNamesAgain) {
  // A meter lacking U2.
  TTR5 meter(false);
  for (const TParamDef& def : AcquisitionList)
    if (std::string(def.Code) != "U2") meter.AddChild(std::make_unique<TZmiennaNum>(def));
  SetDistinctValues(meter);
  TForm2 form(meter);
  EXPECT_EQ(form.CellParam(2, 3), nullptr);
  EXPECT_TRUE(Cell(form, "B3").isEmpty());
  EXPECT_FALSE(Cell(form, "B4").isEmpty());
  // Voltages: slot 1 stays empty, the other bars keep their places.
  std::vector<int> xs;
  for (const auto& p : form.Chart1->Series1.Points()) xs.push_back(p.X);
  EXPECT_EQ(xs, (std::vector<int>{0, 2, 3, 4, 5}));
  EXPECT_EQ(form.BarName[1][0], '\0');

  // The meter gains U2 and is reset, as after a change of device: the window
  // finds U2 now and shows the no-value mark everywhere at once.
  for (const TParamDef& def : AcquisitionList)
    if (std::string(def.Code) == "U2") meter.AddChild(std::make_unique<TZmiennaNum>(def));
  meter.ResetValues();
  form.RebindMeter();
  EXPECT_NE(form.CellParam(2, 3), nullptr);
  for (int c = 0; c < TForm2::GRID_SIZE; ++c)
    for (int r = 0; r < TForm2::GRID_SIZE; ++r)
      if (form.CellParam(c, r)) {
        EXPECT_EQ(form.Cells(c, r), "----") << c << "," << r;
      }
  const auto& bars = form.Chart1->Series1.Points();
  ASSERT_EQ(bars.size(), 6u);
  EXPECT_EQ(bars[1].Label, "U2");
  for (const auto& p : bars) EXPECT_FALSE(p.Drawn()) << p.Label.toStdString();

  SetValue(meter, "U2", 231.0f);
  form.EvTimer();
  EXPECT_EQ(Cell(form, "B3"), "231.0");
}

TEST(TableWindow, LoadLayoutSkipsMalformedEntries) {
  TTR5 meter(true);
  SetDistinctValues(meter);
  TForm2 form(meter);
  form.LoadLayout({"", "1,2", "x,2,0,bad", "15,2,0,bad", "0,2,0,bad", "2,0,0,bad", "-1,3,1,U1",
                   "3,3,0,ok", "4,4,0,a,b", "5,5,1,NoSuch", "14,14,1,f"});
  form.EvTimer();
  EXPECT_EQ(Cell(form, "C3"), "ok");
  EXPECT_EQ(Cell(form, "D4"), "b");
  EXPECT_EQ(Cell(form, "N14"), QString::fromStdString(TableValueText(meter.FindByName("f", 0)->GetValue())));
  int filled = 0;
  for (int c = 1; c < TForm2::GRID_SIZE; ++c)
    for (int r = 1; r < TForm2::GRID_SIZE; ++r) filled += !form.Cells(c, r).isEmpty();
  EXPECT_EQ(filled, 3);
  EXPECT_EQ(form.Cells(2, 0), "B");  // the fixed row keeps its letters
}

TEST(TableWindow, EventsGoOnTopWithTheTicksTimeStamp) {
  TTR5 meter(true);
  meter.SetName("TR5_1");
  SetValue(meter, "ALR", 1);  // relay state: alarm A1 on
  QDateTime now(QDate(2024, 3, 7), QTime(14, 5, 9));
  TForm2 form(meter);
  form.CurrentTime = [&now] { return now; };
  // The window's first refresh ran at creation, with the PC's time.
  ASSERT_EQ(form.ListBox1->count(), 2);
  form.ListBox1->clear();
  meter.LinkState = 0;
  meter.ErrorCount = 0;
  meter.AlarmFlags = 0;

  // Two events in one tick: the same stamp, the second one on top.
  form.EvTimer();
  ASSERT_EQ(form.ListBox1->count(), 2);
  EXPECT_EQ(form.ListBox1->item(0)->text(), "03/07 14:05:09\tStart of alarm A1");
  EXPECT_EQ(form.ListBox1->item(1)->text(), "03/07 14:05:09\tConnection to TR5_1");
  EXPECT_EQ(meter.LinkState, 1);

  now = now.addSecs(3600 * 10);
  meter.ErrorCount = 3;
  form.EvTimer();
  form.EvTimer();  // nothing new to report
  ASSERT_EQ(form.ListBox1->count(), 3);
  EXPECT_EQ(form.ListBox1->item(0)->text(), "03/08 00:05:09\tTransmission error with TR5_1");
  EXPECT_EQ(form.ListBox1->item(2)->text(), "03/07 14:05:09\tConnection to TR5_1");
}

TEST(TableWindow, ASourceThatNeverRunsDryDoesNotHoldTheTimer) {
  struct Chatty : TTR5 {
    using TTR5::TTR5;
    int NextEvent(int&, std::string& text) override {
      text = "\tStart of alarm A1";
      return 1;
    }
  } meter(true);
  TForm2 form(meter);  // the first refresh returns
  EXPECT_EQ(form.ListBox1->count(), TForm2::MAX_EVENTS_PER_TICK);
  form.EvTimer();
  EXPECT_EQ(form.ListBox1->count(), 2 * TForm2::MAX_EVENTS_PER_TICK);
}

TEST(TableWindow, MouseOverABoundCellSetsTheHintToItsDescription) {
  TTR5 meter(true);
  TForm2 form(meter);
  form.resize(1600, 600);
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  QWidget* cells = form.StringGrid1->viewport();

  MouseOver(cells, CellCentre(form, "B2"));
  EXPECT_EQ(form.Hint(), "L1 phase voltage");
  // Past the last column: outside the cells, the hint stays.
  const QRect last = form.StringGrid1->visualRect(form.StringGrid1->model()->index(1, 13));
  ASSERT_LT(last.right() + 20, cells->width());
  MouseOver(cells, QPoint(last.right() + 10, last.center().y()));
  EXPECT_EQ(form.Hint(), "L1 phase voltage");
  // A label cell, an empty cell and a fixed cell clear it.
  MouseOver(cells, CellCentre(form, "B1"));
  EXPECT_EQ(form.Hint(), "");
  MouseOver(cells, CellCentre(form, "F5"));
  EXPECT_EQ(form.Hint(), "3-phase apparent power");
  MouseOver(cells, CellCentre(form, "K5"));
  EXPECT_EQ(form.Hint(), "");
  MouseOver(cells, CellCentre(form, "F5"));
  MouseOver(form.StringGrid1->horizontalHeader(), QPoint(70, 5));
  EXPECT_EQ(form.Hint(), "");
}

TEST(TableChart, BarsStandOnTheZeroLineInsideThePlot) {
  TTableChart chart;
  chart.resize(400, 300);
  chart.Series1.Add(0, 230.4, "U1", TTableBars::AutoColor(), "230.4");
  chart.Series1.Add(1, 0, "U2", TTableBars::NoColor());
  chart.Series1.Add(2, -120.0, "P", TTableBars::AutoColor(), "-120.0");
  const auto layout = chart.Layout();
  EXPECT_LE(layout.AxisLow, -120.0);
  EXPECT_GE(layout.AxisHigh, 230.4);
  EXPECT_EQ(layout.Slots, 3);
  const QRectF up = chart.BarRect(0), none = chart.BarRect(1), down = chart.BarRect(2);
  EXPECT_TRUE(none.isEmpty());
  EXPECT_TRUE(layout.Plot.contains(up) && layout.Plot.contains(down));
  EXPECT_DOUBLE_EQ(up.bottom(), down.top());  // both meet the zero line
  EXPECT_NEAR(up.height() / down.height(), 230.4 / 120.0, 0.02);
  EXPECT_LT(up.right(), down.left());

  const QImage image = chart.grab().toImage();
  EXPECT_EQ(image.pixelColor(up.center().toPoint()), chart.BarColor(0));
  EXPECT_EQ(image.pixelColor(down.center().toPoint()), chart.BarColor(2));
  EXPECT_NE(chart.BarColor(0), chart.BarColor(2));
}

// The window in the program: the main window polls a simulated meter, the
// table's timer turns link changes into events and shows the live values.
TEST(TableWindowInProgram, ShowsLinkEventsAndLiveValues) {
  testsupport::ComDirectory dir;
  std::unique_ptr<SimServer> sim;
  ASSERT_TRUE(StartSimulator(dir, SimConfig{}, sim));
  sim->SetFaults(SimFaults{.NoReply = true});
  WriteSettings(MT_TR5, "MeterName=TR5_1\r\n");

  TModbusPort port;
  TTR5 meter(true, &port);
  TViewFactories views;
  views.TableWindow = MakeTableWindow;
  TMainForm main(port, meter, views);
  main.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
  auto* table = qobject_cast<TForm2*>(main.TableWindow.data());
  ASSERT_NE(table, nullptr);
  const auto topLine = [table] {
    return table->ListBox1->count() ? table->ListBox1->item(0)->text() : QString();
  };

  // The meter does not answer: after three failed steps the window reports it.
  ASSERT_TRUE(QTest::qWaitFor([&] { return topLine().endsWith("\tTransmission error with TR5_1"); }, 30000))
      << topLine().toStdString();
  EXPECT_EQ(Cell(*table, "B2"), "----");
  EXPECT_NE(meter.LinkState, 1);

  // It answers again: the connection is reported and values come in.
  sim->SetFaults(SimFaults{});
  ASSERT_TRUE(QTest::qWaitFor([&] { return topLine().endsWith("\tConnection to TR5_1"); }, 30000))
      << topLine().toStdString();
  EXPECT_TRUE(QRegularExpression("^\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d\t").match(topLine()).hasMatch())
      << topLine().toStdString();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Cell(*table, "B2") != "----"; }, 30000));
  const QString u1 = Cell(*table, "B2");
  EXPECT_TRUE(QRegularExpression("^\\d{2,3}\\.\\d$").match(u1).hasMatch()) << u1.toStdString();
  const auto simU1 = sim->GetRegister(1, 7500);
  ASSERT_TRUE(simU1.has_value());
  EXPECT_NEAR(u1.toDouble(), *simU1, 0.1 * *simU1);
  EXPECT_EQ(meter.LinkState, 1);

  // The status bar shows the description of the quantity under the mouse.
  MouseOver(table->StringGrid1->viewport(), CellCentre(*table, "B2"));
  EXPECT_EQ(main.StatusBar->currentMessage(), "L1 phase voltage");
}
