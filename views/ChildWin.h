// The trend charts window: five pages of running line charts of the current
// meter's quantities (phase voltages, currents, powers, power factors and one
// freely chosen quantity). Each chart samples its quantities on its own trace
// time, keeps the most recent points only, and can be scrolled, zoomed,
// cleared and printed.
#pragma once

#include <QList>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "views/MeterView.h"

class QAbstractAxis;
class QChart;
class QChartView;
class QComboBox;
class QDateTimeAxis;
class QLabel;
class QLineSeries;
class QListWidget;
class QPainter;
class QPrinter;
class QRectF;
class QTabWidget;
class QTimer;
class QToolButton;
class QValueAxis;
class TTR5;
class TZmiennaNum;

// The window for the main window's view factory.
QWidget* MakeChartWindow(const TViewContext& context);

class TMDIChild : public QWidget, public TTrendView, public TCsvSource {
  Q_OBJECT
public:
  static constexpr int CHART_COUNT = 5;
  // Entries of the per-chart sampling state; those above the charts are spare.
  static constexpr int STATE_SIZE = 10;
  // A series keeps at most this many points: before a sample the oldest point
  // goes once there are more than MAX_POINTS - 1, so a long run never grows.
  static constexpr int MAX_POINTS = 201;
  // The trace times of the "Trace time" list, in milliseconds.
  static constexpr int TRACE_TIME_COUNT = 10;
  static const std::array<qint64, TRACE_TIME_COUNT> TraceTimes;
  static constexpr int DEFAULT_TRACE_TIME = 2;  // 5 s

  explicit TMDIChild(TTR5& meter, QWidget* parent = nullptr);
  ~TMDIChild() override;

  // TTrendView.
  void RebindMeter() override;
  void PrintTrend() override;
  // Every series of the active page: a time stamp (ISO 8601, local, with
  // milliseconds) and one column per series; a series without a point at
  // that time leaves its field empty.
  std::vector<TCsvRow> CsvRows() const override;
  std::string CsvFileName() const override { return "trend.csv"; }

  void FormCreate();
  void BindSeries(int chartNumber, int seriesIndex, const char* name);
  void SampleChart(QChart* chart);
  void EvTimer();
  void PageControl1Change();
  void ComboBox1Change();
  void ListBox1Click();
  void PlayBtnClick();
  void ClearBtnClick();
  void StopBtnClick();
  void LeftBtnMouseDown();
  void RightBtnMouseDown();
  void UpBtnMouseDown();
  void DownBtnMouseDown();
  void ZoomInBtnClick();
  void ZoomOutBtnClick();
  void FormClose();

  // Prints the active chart alone on one page of printer, in landscape with
  // margins of 5 % of the page; the printer's page layout is restored
  // afterwards. False when there is no active chart or the printer fails.
  bool PrintChart(QPrinter& printer);
  // Draws the active chart into target of a device with the given resolution,
  // laid out for that size. False when there is no active chart.
  bool RenderActiveChart(QPainter& painter, const QRectF& target, double dotsPerInch);

  TTR5& Meter;
  // The printer "&Print" uses, made on first use; it keeps the user's choices
  // for the rest of the run.
  std::unique_ptr<QPrinter> Printer;
  // The PC's date and time in milliseconds since the epoch (replaceable for tests).
  std::function<qint64()> Clock;

  // Per-chart sampling state: the time at or after which the chart samples
  // next (0: at the next tick) and the index of its trace time.
  std::array<qint64, STATE_SIZE> NextSampleTime{};
  std::array<int, STATE_SIZE> TraceTimeIndex{};
  QChart* ActiveChart = nullptr;

  // Controls.
  QTabWidget* PageControl1;
  QWidget* Panel1;
  QToolButton* PlayBtn;
  QToolButton* ClearBtn;
  QToolButton* StopBtn;
  QToolButton* LeftBtn;
  QToolButton* RightBtn;
  QToolButton* UpBtn;
  QToolButton* DownBtn;
  QToolButton* ZoomInBtn;
  QToolButton* ZoomOutBtn;
  QLabel* Label1;
  QComboBox* ComboBox1;
  QListWidget* ListBox1;
  QTimer* Timer1;
  QChart* Chart1;
  QChart* Chart2;
  QChart* Chart3;
  QChart* Chart4;
  QChart* Chart5;
  std::array<QChartView*, CHART_COUNT> ChartViews{};
  // Series index of chart (0 .. CHART_COUNT - 1) in the order it was added:
  // phase voltages U1, U2, U3 and an inactive fourth; currents I1, I2, I3, Is;
  // powers P1, P2, P3 and on the right axis P, Pav; power factors Pf1, Pf2,
  // Pf3, Pf; the one series of "Others". Null for no such series.
  QLineSeries* SeriesAt(int chart, int index) const;

protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  QSize sizeHint() const override;

private:
  struct TSeriesSlot {
    QLineSeries* Series = nullptr;
    TZmiennaNum* Quantity = nullptr;
    bool OnRightAxis = false;
    const char* Bound = nullptr;  // the quantity FormCreate binds it to; null: none
  };
  struct TChartSlot {
    QChart* Chart = nullptr;
    QChartView* View = nullptr;
    int Number = -1;
    std::vector<TSeriesSlot> Series;
    QDateTimeAxis* Bottom = nullptr;
    QValueAxis* Left = nullptr;
    QValueAxis* Right = nullptr;
    bool AutoBottom = true;
    bool AutoLeft = true;
    bool AutoRight = true;
    qint64 TimeLabelIncrement = 30000;  // ms between time labels, at least
    double ValueLabelIncrement = 0;     // least step between value labels; 0 any
  };

  QWidget* MakeChartPage(int number, QChart*& chart, const QString& title, bool showTitle);
  QLineSeries* AddSeries(TChartSlot& slot, const char* name, const QColor& colour, bool right = false);
  void MakeAxes(TChartSlot& slot, bool numberLabels, bool rightAxis);
  void WatchRanges(TChartSlot& slot);
  TChartSlot* SlotOf(const QChart* chart);
  TChartSlot* ActiveSlot();
  // Rescales the axes that scale automatically to the points of their series.
  void AutoScale(TChartSlot& slot);
  void Relayout(TChartSlot& slot);
  void ScrollTime(int direction);
  void ScrollValues(int direction);
  void Zoom(int percent);

  std::array<TChartSlot, CHART_COUNT> Charts;
  bool SettingRanges = false;  // the window itself is changing axis ranges
};
