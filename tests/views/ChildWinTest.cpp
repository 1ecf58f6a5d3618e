// The trend charts window: sampling on each chart's trace time, missing and
// tiny values, the point cap, the "Others" page, scrolling and zooming, a
// change of meter, printing, and the window in the program against the
// simulated meter.
#include <gtest/gtest.h>
#include <QChart>
#include <QComboBox>
#include <QDateTimeAxis>
#include <QFile>
#include <QImage>
#include <QLineSeries>
#include <QListWidget>
#include <QMdiSubWindow>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QValueAxis>
#include <cmath>
#include <limits>

#include "model/TR5.h"
#include "tests/support/GuiTestSupport.h"
#include "tests/support/ViewTestSupport.h"
#include "views/ChildWin.h"

namespace {

constexpr qint64 T0 = 1'700'000'000'000;  // ms since the epoch

std::vector<double> Xs(const QLineSeries* s) {
  std::vector<double> x;
  for (const QPointF& p : s->points()) x.push_back(p.x());
  return x;
}

struct Range {
  double Min, Max;
};
Range TimeRange(QChart* chart) {
  auto* axis = qobject_cast<QDateTimeAxis*>(chart->axes(Qt::Horizontal).first());
  return {double(axis->min().toMSecsSinceEpoch()), double(axis->max().toMSecsSinceEpoch())};
}
QValueAxis* ValueAxis(QChart* chart, Qt::Alignment side) {
  for (QAbstractAxis* axis : chart->axes(Qt::Vertical)) {
    if (axis->alignment() == side) return qobject_cast<QValueAxis*>(axis);
  }
  return nullptr;
}
Range LeftRange(QChart* chart) {
  QValueAxis* axis = ValueAxis(chart, Qt::AlignLeft);
  return {axis->min(), axis->max()};
}

class ChartWindowTest : public ::testing::Test {
protected:
  TTR5 Meter{true};
  std::unique_ptr<TMDIChild> W;
  qint64 Now = T0;

  void SetUp() override {
    W = std::make_unique<TMDIChild>(Meter);
    W->Timer1->stop();  // the test ticks by hand on its own clock
    W->Clock = [this] { return Now; };
  }
  void Set(const char* name, float value) { Meter.FindByName(name, 0)->Update(value); }
  void TickAt(qint64 t) {
    Now = t;
    W->EvTimer();
  }
  void ChooseTraceTime(int index) {
    W->ComboBox1->setCurrentIndex(index);
    emit W->ComboBox1->activated(index);
  }
  void Choose(const char* item) {
    const auto found = W->ListBox1->findItems(item, Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1);
    W->ListBox1->setCurrentItem(found.first());
  }
  void ShowLaidOut() {
    W->show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return W->Chart1->plotArea().width() > 100; }, 10000));
  }
};

TEST_F(ChartWindowTest, EveryChartSamplesOnItsOwnTraceTimeCountedFromItsLastSample) {
  for (const char* name : {"U1", "I1", "P1", "Pf1", "tf"}) Set(name, 1.5f);
  // The first tick samples every chart, also those on hidden pages.
  TickAt(T0);
  for (QLineSeries* s :
       {W->SeriesAt(0, 0), W->SeriesAt(1, 0), W->SeriesAt(2, 0), W->SeriesAt(3, 0), W->SeriesAt(4, 0)}) {
    EXPECT_EQ(s->count(), 1) << s->objectName().toStdString();
  }
  // 5 s by default; a late tick moves the schedule, an early one is skipped.
  TickAt(T0 + 4999);
  TickAt(T0 + 5000);
  TickAt(T0 + 9990);
  TickAt(T0 + 10990);
  TickAt(T0 + 15000);
  EXPECT_EQ(Xs(W->SeriesAt(0, 0)), (std::vector<double>{T0, T0 + 5000, T0 + 10990}));

  // "1 min" on page "Currents": that chart samples at the next tick, then a
  // minute later; the points it has stay and the others keep 5 s.
  W->PageControl1->setCurrentIndex(1);
  EXPECT_EQ(W->ComboBox1->currentText(), "5 s");
  ChooseTraceTime(6);
  EXPECT_EQ(W->SeriesAt(1, 0)->count(), 3);
  TickAt(T0 + 16000);
  TickAt(T0 + 22000);
  TickAt(T0 + 75999);
  TickAt(T0 + 76000);
  EXPECT_EQ(Xs(W->SeriesAt(1, 0)), (std::vector<double>{T0, T0 + 5000, T0 + 10990, T0 + 16000, T0 + 76000}));
  EXPECT_EQ(Xs(W->SeriesAt(0, 0)).size(), 6u);  // 16000, 22000, 75999 on its own 5 s

  // The drop-down list shows the trace time of the chart on each page.
  W->PageControl1->setCurrentIndex(0);
  EXPECT_EQ(W->ComboBox1->currentText(), "5 s");
  W->PageControl1->setCurrentIndex(1);
  EXPECT_EQ(W->ComboBox1->currentText(), "1 min");

  // The PC's clock put back an hour: sampling goes on from the new time.
  TickAt(T0 - 3'600'000);
  EXPECT_EQ(W->SeriesAt(0, 0)->at(W->SeriesAt(0, 0)->count() - 1).x(), double(T0 - 3'600'000));
}

TEST_F(ChartWindowTest, MissingValuesAddNoPointAndTinyOnesArePlottedAsZero) {
  Set("U1", NO_VALUE);
  Set("U2", 0.00005f);
  Set("U3", -0.0002f);
  TickAt(T0);
  EXPECT_EQ(W->SeriesAt(0, 0)->count(), 0);
  ASSERT_EQ(W->SeriesAt(0, 1)->count(), 1);
  EXPECT_EQ(W->SeriesAt(0, 1)->at(0).y(), 0.0);
  ASSERT_EQ(W->SeriesAt(0, 2)->count(), 1);
  EXPECT_EQ(W->SeriesAt(0, 2)->at(0).y(), double(-0.0002f));

  const float inf = std::numeric_limits<float>::infinity();
  Set("U1", -NO_VALUE);
  Set("U2", std::numeric_limits<float>::quiet_NaN());
  Set("U3", -inf);
  TickAt(T0 + 5000);
  EXPECT_EQ(W->SeriesAt(0, 0)->count(), 0);
  EXPECT_EQ(W->SeriesAt(0, 1)->count(), 1);
  EXPECT_EQ(W->SeriesAt(0, 2)->count(), 1);

  // The line goes on from the last point at the next valid sample.
  Set("U2", 229.0f);
  TickAt(T0 + 10000);
  EXPECT_EQ(Xs(W->SeriesAt(0, 1)), (std::vector<double>{T0, T0 + 10000}));
}

TEST_F(ChartWindowTest, ALongRunKeepsTheNewest201PointsPerSeries) {
  for (int i = 0; i < 1000; ++i) {
    Set("U1", float(i));
    TickAt(T0 + i * 5000LL);
  }
  ASSERT_EQ(W->SeriesAt(0, 0)->count(), TMDIChild::MAX_POINTS);
  EXPECT_EQ(W->SeriesAt(0, 0)->at(0).x(), double(T0 + 799 * 5000LL));
  EXPECT_EQ(W->SeriesAt(0, 0)->at(200).y(), 999.0);
  EXPECT_EQ(W->SeriesAt(0, 3)->count(), 0);  // bound to nothing
  // A missing value at the cap loses the oldest point and adds none.
  Set("U1", NO_VALUE);
  TickAt(T0 + 1000 * 5000LL);
  EXPECT_EQ(W->SeriesAt(0, 0)->count(), TMDIChild::MAX_POINTS - 1);
  EXPECT_EQ(W->SeriesAt(0, 0)->at(0).x(), double(T0 + 800 * 5000LL));
}

TEST_F(ChartWindowTest, OthersPagePlotsTheChosenQuantity) {
  EXPECT_EQ(W->ListBox1->currentItem()->text(), "tf");
  EXPECT_EQ(W->Chart5->title(), "tf - tangent fi(=Q/P) [  ]");
  Set("tf", 0.25f);
  Set("U1", 231.5f);
  TickAt(T0);
  ASSERT_EQ(W->SeriesAt(4, 0)->count(), 1);
  EXPECT_EQ(W->SeriesAt(4, 0)->at(0).y(), 0.25);

  // Another quantity: the series starts over and samples at the next tick.
  Choose("U1");
  EXPECT_EQ(W->Chart5->title(), "U1 - L1 phase voltage [ V ]");
  EXPECT_EQ(W->SeriesAt(4, 0)->count(), 0);
  TickAt(T0 + 1000);
  ASSERT_EQ(W->SeriesAt(4, 0)->count(), 1);
  EXPECT_EQ(W->SeriesAt(4, 0)->at(0).y(), 231.5);

  // "Clear" empties the series but keeps it bound.
  W->PageControl1->setCurrentIndex(4);
  QTest::mouseClick(W->ClearBtn, Qt::LeftButton);
  EXPECT_EQ(W->SeriesAt(4, 0)->count(), 0);
  EXPECT_EQ(W->SeriesAt(0, 0)->count(), 1);  // other charts untouched
  TickAt(T0 + 6000);
  EXPECT_EQ(W->SeriesAt(4, 0)->count(), 1);

  // A name the meter does not know: nothing plotted, the title stays.
  Meter.FindByName("THD_I3", 0)->SetName("THD_X");
  Choose("THD_I3");
  TickAt(T0 + 7000);
  TickAt(T0 + 20000);
  EXPECT_EQ(W->SeriesAt(4, 0)->count(), 0);
  EXPECT_EQ(W->Chart5->title(), "U1 - L1 phase voltage [ V ]");
}

TEST_F(ChartWindowTest, ZoomAndScrollHoldTheViewUntilAuto) {
  ShowLaidOut();
  for (int i = 0; i < 20; ++i) {
    Set("U1", 220.0f + float(i % 7));
    TickAt(T0 + i * 5000LL);
  }
  // Automatic scaling shows every point.
  Range x = TimeRange(W->Chart1);
  Range y = LeftRange(W->Chart1);
  EXPECT_LE(x.Min, T0);
  EXPECT_GE(x.Max, T0 + 19 * 5000LL);
  EXPECT_LE(y.Min, 220.0);
  EXPECT_GE(y.Max, 226.0);

  // "<>": every axis narrows by a tenth of its range at each end.
  QTest::mouseClick(W->ZoomInBtn, Qt::LeftButton);
  Range zx = TimeRange(W->Chart1);
  Range zy = LeftRange(W->Chart1);
  const double dx = (x.Max - x.Min) / 10, dy = (y.Max - y.Min) / 10;
  EXPECT_NEAR(zx.Min, x.Min + dx, 1.0);
  EXPECT_NEAR(zx.Max, x.Max - dx, 1.0);
  EXPECT_NEAR(zy.Min, y.Min + dy, 1e-9);
  EXPECT_NEAR(zy.Max, y.Max - dy, 1e-9);
  // New points do not move a zoomed view.
  Set("U1", 300.0f);
  TickAt(T0 + 20 * 5000LL);
  EXPECT_EQ(TimeRange(W->Chart1).Max, zx.Max);
  EXPECT_EQ(LeftRange(W->Chart1).Max, zy.Max);
  // "><" widens by a tenth at each end.
  QTest::mouseClick(W->ZoomOutBtn, Qt::LeftButton);
  EXPECT_NEAR(LeftRange(W->Chart1).Min, zy.Min - (zy.Max - zy.Min) / 10, 1e-9);

  // "Auto" brings every point into view again.
  QTest::mouseClick(W->PlayBtn, Qt::LeftButton);
  EXPECT_GE(TimeRange(W->Chart1).Max, T0 + 20 * 5000LL);
  EXPECT_GE(LeftRange(W->Chart1).Max, 300.0);

  // "<<", pressed with any mouse button: earlier times by a fifth of the plot
  // width in whole pixels; the values keep scaling by themselves.
  x = TimeRange(W->Chart1);
  const int width = int(W->Chart1->plotArea().width());
  QTest::mousePress(W->LeftBtn, Qt::RightButton);
  QTest::mouseRelease(W->LeftBtn, Qt::RightButton);
  const double shift = (x.Max - x.Min) * (width / 5) / width;
  EXPECT_NEAR(TimeRange(W->Chart1).Min, x.Min - shift, 1.0);
  EXPECT_NEAR(TimeRange(W->Chart1).Max, x.Max - shift, 1.0);
  Set("U1", 400.0f);
  TickAt(T0 + 21 * 5000LL);
  EXPECT_NEAR(TimeRange(W->Chart1).Max, x.Max - shift, 1.0);
  EXPECT_GE(LeftRange(W->Chart1).Max, 400.0);
  // ">>" undoes it; "Auto X" brings the newest point back.
  QTest::mousePress(W->RightBtn, Qt::LeftButton);
  EXPECT_NEAR(TimeRange(W->Chart1).Max, x.Max, 2.0);
  QTest::mouseClick(W->StopBtn, Qt::LeftButton);
  EXPECT_GE(TimeRange(W->Chart1).Max, T0 + 21 * 5000LL);

  // "Up": higher values by a fifth of the plot height; they then stay put
  // while time goes on scaling by itself.
  y = LeftRange(W->Chart1);
  const int height = int(W->Chart1->plotArea().height());
  QTest::mousePress(W->UpBtn, Qt::LeftButton);
  const double lift = (y.Max - y.Min) * (height / 5) / height;
  EXPECT_NEAR(LeftRange(W->Chart1).Min, y.Min + lift, 1e-9);
  Set("U1", 900.0f);
  TickAt(T0 + 22 * 5000LL);
  EXPECT_NEAR(LeftRange(W->Chart1).Max, y.Max + lift, 1e-9);
  EXPECT_GE(TimeRange(W->Chart1).Max, T0 + 22 * 5000LL);
  QTest::mousePress(W->DownBtn, Qt::LeftButton);
  EXPECT_NEAR(LeftRange(W->Chart1).Min, y.Min, 1e-9);

  // A zoom rectangle drawn with the mouse holds the view the same way.
  QTest::mouseClick(W->PlayBtn, Qt::LeftButton);
  const QRectF plot = W->Chart1->plotArea();
  W->Chart1->zoomIn(QRectF(plot.topLeft(), plot.size() / 2));
  y = LeftRange(W->Chart1);
  Set("U1", 2000.0f);
  TickAt(T0 + 23 * 5000LL);
  EXPECT_EQ(LeftRange(W->Chart1).Max, y.Max);
  QTest::mouseClick(W->PlayBtn, Qt::LeftButton);
  EXPECT_GE(LeftRange(W->Chart1).Max, 2000.0);
}

TEST_F(ChartWindowTest, RebindAfterAMeterChangeStartsOverAndLooksNamesUpAgain) {
  W->PageControl1->setCurrentIndex(3);
  ChooseTraceTime(9);  // 10 min on "Power factor"
  Choose("U1");
  for (const char* name : {"U1", "U2", "I1", "Pf1", "P1"}) Set(name, 0.5f);
  TickAt(T0);
  TickAt(T0 + 5000);
  ASSERT_EQ(W->SeriesAt(0, 0)->count(), 2);

  // The new meter has no "U2" (the name now belongs to nothing).
  Meter.FindByName("U2", 0)->SetName("U2x");
  Meter.ResetValues();
  W->RebindMeter();
  for (QLineSeries* s : {W->SeriesAt(0, 0), W->SeriesAt(0, 1), W->SeriesAt(1, 0), W->SeriesAt(2, 0),
                         W->SeriesAt(3, 0), W->SeriesAt(4, 0)}) {
    EXPECT_EQ(s->count(), 0) << s->objectName().toStdString();
  }
  EXPECT_EQ(W->PageControl1->currentIndex(), 3);
  EXPECT_EQ(W->ActiveChart, W->Chart4);
  EXPECT_EQ(W->ComboBox1->currentText(), "5 s");
  EXPECT_EQ(W->ListBox1->currentItem()->text(), "tf");
  EXPECT_EQ(W->Chart5->title(), "tf - tangent fi(=Q/P) [  ]");
  EXPECT_EQ(W->SeriesAt(0, 1)->name(), "U2");

  // Sampling starts at once on 5 s everywhere; "U2" stays empty.
  for (const char* name : {"U1", "U2x", "Pf1"}) Set(name, 0.7f);
  TickAt(T0 + 6000);
  TickAt(T0 + 10999);
  TickAt(T0 + 11000);
  EXPECT_EQ(W->SeriesAt(0, 0)->count(), 2);
  EXPECT_EQ(W->SeriesAt(3, 0)->count(), 2);
  EXPECT_EQ(W->SeriesAt(0, 1)->count(), 0);
}

TEST_F(ChartWindowTest, PrintsTheActiveChartOnALandscapePage) {
  ShowLaidOut();
  for (int i = 0; i < 30; ++i) {
    Set("U1", 220.0f + float(i % 5));
    TickAt(T0 + i * 5000LL);
  }
  testsupport::ComDirectory dir;
  const QString pdf = QString::fromStdString(dir.Path() + "/trend.pdf");
  QPrinter printer;
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(pdf);
  printer.setPageOrientation(QPageLayout::Portrait);
  const QSizeF screenSize = W->Chart1->size();
  ASSERT_TRUE(W->PrintChart(printer));
  EXPECT_EQ(printer.pageLayout().orientation(), QPageLayout::Portrait);  // restored
  EXPECT_EQ(W->Chart1->size(), screenSize);

  QFile file(pdf);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray bytes = file.readAll();
  EXPECT_TRUE(bytes.startsWith("%PDF"));
  const int box = bytes.indexOf("/MediaBox [");
  ASSERT_GE(box, 0);
  const QList<QByteArray> numbers =
      bytes.mid(box + 11, bytes.indexOf(']', box) - box - 11).simplified().split(' ');
  ASSERT_EQ(numbers.size(), 4);
  EXPECT_GT(numbers[2].toDouble(), numbers[3].toDouble());
  EXPECT_GT(numbers[3].toDouble(), 0.0);

  // On a page the plot spreads over the page, not over a window-sized corner.
  QImage page(2200, 1500, QImage::Format_RGB32);
  page.fill(Qt::white);
  {
    QPainter painter(&page);
    ASSERT_TRUE(W->RenderActiveChart(painter, page.rect(), 200.0));
  }
  int left = page.width(), right = -1;
  for (int y = 0; y < page.height(); ++y) {
    for (int x = 0; x < page.width(); ++x) {
      const QColor c = page.pixelColor(x, y);
      if (c.red() > 200 && c.green() < 60 && c.blue() < 60) {
        left = std::min(left, x);
        right = std::max(right, x);
      }
    }
  }
  EXPECT_GT(right - left, page.width() / 2);
}

// "&Print" asks the print dialog first; cancelled, nothing is printed.
TEST_F(ChartWindowTest, PrintAsksThePrintDialogFirst) {
  ShowLaidOut();
  testsupport::ComDirectory dir;
  const QString viaDialog = QString::fromStdString(dir.Path() + "/dialog.pdf");
  W->Printer = std::make_unique<QPrinter>();
  W->Printer->setOutputFormat(QPrinter::PdfFormat);
  W->Printer->setOutputFileName(viaDialog);
  OnNextModal<QPrintDialog>([](QPrintDialog* d) { d->reject(); });
  W->PrintTrend();
  EXPECT_FALSE(QFile::exists(viaDialog));
  OnNextModal<QPrintDialog>([](QPrintDialog* d) { d->accept(); });
  W->PrintTrend();
  EXPECT_TRUE(QFile::exists(viaDialog));
}

// The window in the program: made by its factory as an MDI child of the main
// window, plotting what the acquisition cycle reads from a simulated meter.
TEST(ChartWindowInProgram, PlotsTheMeasuredValuesOfTheSimulatedMeter) {
  testsupport::ComDirectory dir;
  std::unique_ptr<SimServer> sim;
  ASSERT_TRUE(StartSimulator(dir, SimConfig{}, sim));
  WriteSettings(MT_TR5);

  TModbusPort port;
  TTR5 meter(true, &port);
  TViewFactories views;
  views.ChartWindow = MakeChartWindow;
  TMainForm form(port, meter, views);
  form.show();
  auto* charts = dynamic_cast<TMDIChild*>(form.ChartWindow.data());
  ASSERT_NE(charts, nullptr);
  QMdiSubWindow* child = form.SubWindowOf(charts);
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(child->windowTitle(), "Charts");

  // The timer of the window samples by itself once the meter answers.
  ASSERT_TRUE(QTest::qWaitFor([&] { return charts->SeriesAt(0, 0)->count() >= 2; }, 30000));
  const auto volts = sim->GetRegister(1, 7500);
  ASSERT_TRUE(volts.has_value());
  for (const QPointF& p : charts->SeriesAt(0, 0)->points()) EXPECT_NEAR(p.y(), *volts, *volts * 0.2);

  // Neither the window nor its frame can be closed.
  EXPECT_FALSE(child->close());
  EXPECT_FALSE(charts->close());
  EXPECT_TRUE(charts->isVisible());
}

}  // namespace
