#include "views/ChildWin.h"

#include <map>

#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QHBoxLayout>
#include <QLabel>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QListWidget>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QScopedValueRollback>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>

#include "model/TR5.h"
#include "views/ChartScale.h"
#include "views/MeterTexts.h"
#include "views/QtText.h"

namespace {

const char* const TRACE_TIME_TEXTS[TMDIChild::TRACE_TIME_COUNT] = {
    "1 s", "2 s", "5 s", "10 s", "15 s", "30 s", "1 min", "2 min", "5 min", "10 min"};

const char* const OTHERS_ITEMS[] = {
    "U1",  "I1",  "P1",  "Q1",   "S1",   "Pf1",    "tf1",    "U2",     "I2",     "P2",
    "Q2",  "S2",  "Pf2", "tf2",  "U3",   "I3",     "P3",     "Q3",     "S3",     "Pf3",
    "tf3", "Us",  "Is",  "P",    "Q",    "S",      "Pf",     "tf",     "f",      "U12",
    "U23", "U31", "U123", "Pav", "THD_U1", "THD_U2", "THD_U3", "THD_I1", "THD_I2", "THD_I3"};

// The series of the five charts, in the order they are added to each chart
// (their index there). Each is named after itself until FormCreate binds it
// to its quantity; the one of "Others" is bound from the list.
struct TSeriesDesc {
  int Chart;
  const char* Name;
  QColor Colour;
  bool OnRightAxis;
  const char* Quantity;  // null: bound to nothing at FormCreate
  bool Shown;            // in the chart and its legend
};
const TSeriesDesc SERIES[] = {
    {0, "Series1", QColor("red"), false, "U1", true},
    {0, "Series2", QColor("green"), false, "U2", true},
    {0, "Series3", QColor("yellow"), false, "U3", true},
    {0, "Series16", QColor("blue"), false, nullptr, false},  // inactive fourth series
    {1, "Series4", QColor("red"), false, "I1", true},
    {1, "Series5", QColor("green"), false, "I2", true},
    {1, "Series6", QColor("yellow"), false, "I3", true},
    {1, "Series17", QColor("blue"), false, "Is", true},
    {2, "Series7", QColor("red"), false, "P1", true},
    {2, "Series8", QColor("green"), false, "P2", true},
    {2, "Series9", QColor("yellow"), false, "P3", true},
    {2, "Series10", QColor("blue"), true, "P", true},
    {2, "Series15", QColor(255, 128, 64), true, "Pav", true},
    {3, "Series11", QColor("red"), false, "Pf1", true},
    {3, "Series12", QColor("green"), false, "Pf2", true},
    {3, "Series13", QColor("yellow"), false, "Pf3", true},
    {3, "Series14", QColor("blue"), false, "Pf", true},
    {4, "Series18", QColor("red"), false, nullptr, true},
};

// A value axis label: thousands grouped, at most two decimals, trailing zeros
// dropped ("1,234.5", "230", "0.25"), with the separators of the locale.
QString FormatAxisNumber(double value) {
  double rounded = std::round(value * 100.0) / 100.0;
  if (rounded == 0.0) rounded = 0.0;  // never "-0"
  const QLocale locale;
  QString text = locale.toString(rounded, 'f', 2);
  const QString point = locale.decimalPoint();
  const QString zero = locale.zeroDigit();
  if (text.contains(point)) {
    while (text.endsWith(zero)) text.chop(zero.size());
    if (text.endsWith(point)) text.chop(point.size());
  }
  return text;
}

// Puts the labels of a number axis on round values inside its range.
void LabelNumberAxis(QCategoryAxis* axis, const QChart* chart, double leastStep) {
  const QStringList old = axis->categoriesLabels();
  for (const QString& label : old) axis->remove(label);
  const std::optional<TAxisLabels> labels =
      NumberAxisLabels(axis->min(), axis->max(), MaxValueLabels(chart->plotArea().height()), leastStep);
  if (!labels) return;
  axis->setStartValue(labels->Start);
  for (double value : labels->Values) axis->append(FormatAxisNumber(value), value);
}

}  // namespace

const std::array<qint64, TMDIChild::TRACE_TIME_COUNT> TMDIChild::TraceTimes = {
    1 * SECOND_MS,  2 * SECOND_MS, 5 * SECOND_MS, 10 * SECOND_MS, 15 * SECOND_MS,
    30 * SECOND_MS, MINUTE_MS,     2 * MINUTE_MS, 5 * MINUTE_MS,  10 * MINUTE_MS};

QWidget* MakeChartWindow(const TViewContext& context) { return new TMDIChild(context.Meter); }

TMDIChild::TMDIChild(TTR5& meter, QWidget* parent)
    : QWidget(parent), Meter(meter), Clock([] { return QDateTime::currentMSecsSinceEpoch(); }) {
  setObjectName(QStringLiteral("MDIChild"));
  setWindowTitle(tr("Charts"));
  resize(604, 404);

  PageControl1 = new QTabWidget(this);
  PageControl1->setObjectName(QStringLiteral("PageControl1"));
  PageControl1->addTab(MakeChartPage(0, Chart1, tr("Phase voltages trends  [V]"), true),
                       tr("Phase Voltages"));
  PageControl1->addTab(MakeChartPage(1, Chart2, QString(), false), tr("Currents"));
  PageControl1->addTab(MakeChartPage(2, Chart3, QString(), false), tr("Powers"));
  PageControl1->addTab(MakeChartPage(3, Chart4, tr("Power factors"), true), tr("Power factor"));

  // Page "Others": the list of quantities left of the chart.
  auto* others = new QWidget;
  auto* othersLayout = new QHBoxLayout(others);
  othersLayout->setContentsMargins(0, 0, 0, 0);
  othersLayout->setSpacing(0);
  ListBox1 = new QListWidget(others);
  ListBox1->setObjectName(QStringLiteral("ListBox1"));
  ListBox1->setFixedWidth(73);
  for (const char* item : OTHERS_ITEMS) ListBox1->addItem(QString::fromUtf8(item));
  othersLayout->addWidget(ListBox1);
  QWidget* chart5Page = MakeChartPage(4, Chart5, QString(), true);
  othersLayout->addWidget(chart5Page, 1);
  PageControl1->addTab(others, tr("Others"));

  // The axes, then the series of every chart.
  MakeAxes(Charts[0], true, false);
  MakeAxes(Charts[1], false, false);
  Charts[1].Left->setTitleText(tr("Current [A]"));
  Charts[1].Left->setMinorTickCount(4);
  MakeAxes(Charts[2], true, true);
  Charts[2].Left->setTitleText(tr("Active power P1, P2, P3  [ W ]"));
  Charts[2].Right->setTitleText(tr("Power P, Pav [ W ]"));
  Charts[2].Right->setGridLineVisible(false);
  Charts[2].Right->setMinorGridLineVisible(false);
  MakeAxes(Charts[3], false, false);
  Charts[4].TimeLabelIncrement = 10 * SECOND_MS;
  Charts[4].ValueLabelIncrement = 0.01;
  MakeAxes(Charts[4], true, false);
  for (const TSeriesDesc& desc : SERIES) {
    TChartSlot& slot = Charts[size_t(desc.Chart)];
    QLineSeries* series = AddSeries(slot, desc.Name, desc.Colour, desc.OnRightAxis);
    slot.Series.back().Bound = desc.Quantity;
    if (desc.Shown) continue;
    series->setVisible(false);
    for (QLegendMarker* marker : slot.Chart->legend()->markers(series)) marker->setVisible(false);
  }
  Chart3->legend()->setAlignment(Qt::AlignBottom);
  Chart5->legend()->hide();

  for (TChartSlot& slot : Charts) WatchRanges(slot);

  // Panel1: the speed buttons, the trace time label and list.
  Panel1 = new QWidget(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setFixedHeight(28);
  auto* panelLayout = new QHBoxLayout(Panel1);
  panelLayout->setContentsMargins(2, 1, 2, 1);
  panelLayout->setSpacing(2);
  const auto button = [this, panelLayout](const char* name, const QString& caption) {
    auto* b = new QToolButton(Panel1);
    b->setObjectName(QString::fromUtf8(name));
    b->setText(caption);
    b->setFocusPolicy(Qt::NoFocus);
    b->setMinimumWidth(38);
    panelLayout->addWidget(b);
    return b;
  };
  PlayBtn = button("PlayBtn", tr("Auto"));
  ClearBtn = button("ClearBtn", tr("Clear"));
  StopBtn = button("StopBtn", tr("Auto X"));
  LeftBtn = button("LeftBtn", QStringLiteral("<<"));
  RightBtn = button("RightBtn", QStringLiteral(">>"));
  UpBtn = button("UpBtn", tr("Up"));
  DownBtn = button("DownBtn", tr("Down"));
  ZoomInBtn = button("ZoomInBtn", QStringLiteral("<>"));
  ZoomOutBtn = button("ZoomOutBtn", QStringLiteral("><"));
  Label1 = new QLabel(tr("Trace time"), Panel1);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setContentsMargins(8, 0, 4, 0);
  panelLayout->addWidget(Label1);
  ComboBox1 = new QComboBox(Panel1);
  ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
  ComboBox1->setEditable(false);
  for (const char* text : TRACE_TIME_TEXTS) ComboBox1->addItem(QString::fromUtf8(text));
  panelLayout->addWidget(ComboBox1);
  panelLayout->addStretch(1);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(PageControl1, 1);
  layout->addWidget(Panel1);

  connect(PlayBtn, &QToolButton::clicked, this, &TMDIChild::PlayBtnClick);
  connect(ClearBtn, &QToolButton::clicked, this, &TMDIChild::ClearBtnClick);
  connect(StopBtn, &QToolButton::clicked, this, &TMDIChild::StopBtnClick);
  connect(ZoomInBtn, &QToolButton::clicked, this, &TMDIChild::ZoomInBtnClick);
  connect(ZoomOutBtn, &QToolButton::clicked, this, &TMDIChild::ZoomOutBtnClick);
  // The scroll buttons act once on every press of any mouse button.
  for (QToolButton* b : {LeftBtn, RightBtn, UpBtn, DownBtn}) b->installEventFilter(this);
  connect(PageControl1, &QTabWidget::currentChanged, this, &TMDIChild::PageControl1Change);
  connect(ComboBox1, &QComboBox::activated, this, &TMDIChild::ComboBox1Change);
  connect(ListBox1, &QListWidget::currentRowChanged, this, &TMDIChild::ListBox1Click);

  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setInterval(1000);
  connect(Timer1, &QTimer::timeout, this, &TMDIChild::EvTimer);

  FormCreate();
  Timer1->start();
}

TMDIChild::~TMDIChild() = default;

QWidget* TMDIChild::MakeChartPage(int number, QChart*& chart, const QString& title, bool showTitle) {
  TChartSlot& slot = Charts[size_t(number)];
  chart = new QChart;
  chart->setObjectName(QStringLiteral("Chart%1").arg(number + 1));
  if (showTitle) chart->setTitle(title);
  chart->legend()->setAlignment(Qt::AlignRight);
  chart->setMargins(QMargins(4, 4, 4, 4));
  auto* view = new QChartView(chart);
  view->setRubberBand(QChartView::RectangleRubberBand);
  slot.Chart = chart;
  slot.View = view;
  slot.Number = number;
  ChartViews[size_t(number)] = view;
  return view;
}

void TMDIChild::MakeAxes(TChartSlot& slot, bool numberLabels, bool rightAxis) {
  slot.Bottom = new QDateTimeAxis;
  slot.Bottom->setFormat(QStringLiteral("h:mm:ss"));
  slot.Chart->addAxis(slot.Bottom, Qt::AlignBottom);
  const auto valueAxis = [numberLabels]() -> QValueAxis* {
    if (!numberLabels) return new QValueAxis;
    auto* axis = new QCategoryAxis;
    axis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    return axis;
  };
  slot.Left = valueAxis();
  slot.Chart->addAxis(slot.Left, Qt::AlignLeft);
  if (rightAxis) {
    slot.Right = valueAxis();
    slot.Chart->addAxis(slot.Right, Qt::AlignRight);
  }
  // An empty chart shows the last minute until its first samples come.
  const qint64 now = Clock();
  slot.Bottom->setRange(QDateTime::fromMSecsSinceEpoch(now - MINUTE_MS),
                        QDateTime::fromMSecsSinceEpoch(now));
  slot.Left->setRange(0, 1);
  if (slot.Right) slot.Right->setRange(0, 1);
}

QLineSeries* TMDIChild::AddSeries(TChartSlot& slot, const char* name, const QColor& colour,
                                  bool right) {
  auto* series = new QLineSeries;
  series->setObjectName(QString::fromUtf8(name));
  series->setName(QString::fromUtf8(name));
  series->setColor(colour);
  slot.Chart->addSeries(series);
  series->attachAxis(slot.Bottom);
  series->attachAxis(right ? slot.Right : slot.Left);
  slot.Series.push_back(TSeriesSlot{series, nullptr, right});
  return series;
}

void TMDIChild::WatchRanges(TChartSlot& slot) {
  // A range that changes other than through the window's own scaling (the
  // mouse's zoom rectangle) leaves that axis scaled by hand.
  connect(slot.Bottom, &QDateTimeAxis::rangeChanged, this, [this, &slot] {
    if (!SettingRanges) slot.AutoBottom = false;
  });
  const auto watch = [this, &slot](QValueAxis* axis, bool& automatic) {
    auto* numbers = qobject_cast<QCategoryAxis*>(axis);
    connect(axis, &QValueAxis::rangeChanged, this, [this, &slot, &automatic, numbers] {
      if (!SettingRanges) automatic = false;
      if (numbers) LabelNumberAxis(numbers, slot.Chart, slot.ValueLabelIncrement);
    });
    if (numbers) {
      connect(slot.Chart, &QChart::plotAreaChanged, numbers,
              [numbers, &slot] { LabelNumberAxis(numbers, slot.Chart, slot.ValueLabelIncrement); });
      LabelNumberAxis(numbers, slot.Chart, slot.ValueLabelIncrement);
    }
  };
  // The number of time labels that fit depends on the plot area's width.
  connect(slot.Chart, &QChart::plotAreaChanged, this, [this, &slot] { AutoScale(slot); },
          Qt::QueuedConnection);
  watch(slot.Left, slot.AutoLeft);
  if (slot.Right) watch(slot.Right, slot.AutoRight);
}

TMDIChild::TChartSlot* TMDIChild::SlotOf(const QChart* chart) {
  for (TChartSlot& slot : Charts) {
    if (chart && slot.Chart == chart) return &slot;
  }
  return nullptr;
}

TMDIChild::TChartSlot* TMDIChild::ActiveSlot() { return SlotOf(ActiveChart); }

QLineSeries* TMDIChild::SeriesAt(int chart, int index) const {
  if (chart < 0 || chart >= CHART_COUNT) return nullptr;
  const std::vector<TSeriesSlot>& series = Charts[size_t(chart)].Series;
  return index >= 0 && size_t(index) < series.size() ? series[size_t(index)].Series : nullptr;
}

std::vector<TCsvRow> TMDIChild::CsvRows() const {
  const TChartSlot* slot = nullptr;
  for (const TChartSlot& c : Charts)
    if (c.Chart && c.Chart == ActiveChart) slot = &c;
  TCsvRow header = {"time"};
  if (!slot) return {header};
  // Samples of one chart share their time stamps; gather them by time.
  std::map<qint64, TCsvRow> byTime;
  std::vector<const TSeriesSlot*> shown;  // series bound to a quantity
  for (const TSeriesSlot& s : slot->Series)
    if (s.Quantity) shown.push_back(&s);
  const size_t columns = shown.size();
  for (size_t k = 0; k < columns; ++k) {
    const TSeriesSlot& s = *shown[k];
    header.push_back(s.Series->name().toStdString());
    for (const QPointF& p : s.Series->points()) {
      TCsvRow& row = byTime[qint64(p.x())];
      row.resize(columns);
      row[k] = CsvNumber(p.y());
    }
  }
  std::vector<TCsvRow> rows = {header};
  for (auto& [time, values] : byTime) {
    TCsvRow row = {QDateTime::fromMSecsSinceEpoch(time).toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")).toStdString()};
    row.insert(row.end(), values.begin(), values.end());
    rows.push_back(std::move(row));
  }
  return rows;
}

QSize TMDIChild::sizeHint() const { return QSize(604, 404); }

void TMDIChild::closeEvent(QCloseEvent* event) {
  // The window lives as long as the main window: a close request does nothing.
  FormClose();
  event->ignore();
}

void TMDIChild::FormClose() {}

bool TMDIChild::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonPress) {
    if (watched == LeftBtn) LeftBtnMouseDown();
    if (watched == RightBtn) RightBtnMouseDown();
    if (watched == UpBtn) UpBtnMouseDown();
    if (watched == DownBtn) DownBtnMouseDown();
  }
  return QWidget::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------
// Set-up and binding

void TMDIChild::RebindMeter() { FormCreate(); }

void TMDIChild::FormCreate() {
  NextSampleTime.fill(0);
  TraceTimeIndex.fill(DEFAULT_TRACE_TIME);
  ActiveChart = nullptr;
  for (int n = 0; n < CHART_COUNT; ++n) Charts[size_t(n)].Number = n;

  for (int n = 0; n < CHART_COUNT; ++n) {
    const std::vector<TSeriesSlot>& series = Charts[size_t(n)].Series;
    for (size_t i = 0; i < series.size(); ++i)
      if (series[i].Bound) BindSeries(n, int(i), series[i].Bound);
  }

  const auto found = ListBox1->findItems(QStringLiteral("tf"), Qt::MatchExactly);
  {
    const QSignalBlocker block(ListBox1);
    if (!found.isEmpty()) ListBox1->setCurrentItem(found.first());
  }
  ListBox1Click();
  PageControl1Change();
}

void TMDIChild::BindSeries(int chartNumber, int seriesIndex, const char* name) {
  if (chartNumber < 0 || chartNumber >= CHART_COUNT) return;
  TChartSlot& slot = Charts[size_t(chartNumber)];
  if (seriesIndex >= 0 && seriesIndex < int(slot.Series.size())) {
    TSeriesSlot& s = slot.Series[size_t(seriesIndex)];
    s.Series->clear();
    s.Quantity = dynamic_cast<TZmiennaNum*>(Meter.FindByName(name, 0));
    s.Series->setName(QString::fromUtf8(name));
  }
  slot.Number = chartNumber;
}

// ---------------------------------------------------------------------------
// Sampling

void TMDIChild::EvTimer() {
  for (const TChartSlot& slot : Charts) SampleChart(slot.Chart);
}

void TMDIChild::SampleChart(QChart* chart) {
  TChartSlot* slot = SlotOf(chart);
  if (!slot || slot->Number < 0 || slot->Number >= STATE_SIZE) return;
  const size_t number = size_t(slot->Number);
  const int index = std::clamp(TraceTimeIndex[number], 0, TRACE_TIME_COUNT - 1);
  const qint64 traceTime = TraceTimes[size_t(index)];
  const qint64 now = Clock();
  if (!SampleDue(now, NextSampleTime[number], traceTime)) return;
  NextSampleTime[number] = now + traceTime;

  bool changed = false;
  for (TSeriesSlot& s : slot->Series) {
    if (s.Series->count() > MAX_POINTS - 1) {
      s.Series->remove(0);
      changed = true;
    }
    if (!s.Quantity) continue;
    // NO_VALUE (and anything not a number) adds no point.
    if (const std::optional<float> value = PlotValue(s.Quantity->GetValue(), NO_VALUE)) {
      s.Series->append(double(now), double(*value));
      changed = true;
    }
  }
  if (changed) AutoScale(*slot);
}

void TMDIChild::AutoScale(TChartSlot& slot) {
  const QScopedValueRollback<bool> guard(SettingRanges, true);
  TExtent x, left, right;
  for (const TSeriesSlot& s : slot.Series) {
    if (!s.Series->isVisible()) continue;
    TExtent& y = s.OnRightAxis ? right : left;
    const QList<QPointF> points = s.Series->points();
    for (const QPointF& p : points) {
      x.Add(p.x());
      y.Add(p.y());
    }
  }
  if (slot.AutoBottom && !x.Empty()) {
    const qint64 first = qint64(x.Min);
    const qint64 utcOffset = qint64(QDateTime::fromMSecsSinceEpoch(first).offsetFromUtc()) * SECOND_MS;
    const TTimeScale scale = TimeScale(first, qint64(x.Max), slot.TimeLabelIncrement,
                                       MaxTimeLabels(slot.Chart->plotArea().width()), utcOffset);
    slot.Bottom->setRange(QDateTime::fromMSecsSinceEpoch(scale.Min),
                          QDateTime::fromMSecsSinceEpoch(scale.Max));
    slot.Bottom->setTickCount(std::max(2, scale.Ticks));
  }
  const auto scaleValues = [&slot](QValueAxis* axis, const TExtent& extent) {
    if (!axis || extent.Empty()) return;
    const TValueScale scale =
        NiceScale(extent.Min, extent.Max, MaxValueLabels(slot.Chart->plotArea().height()),
                  slot.ValueLabelIncrement);
    axis->setRange(scale.Min, scale.Max);
    if (!qobject_cast<QCategoryAxis*>(axis)) {
      axis->setTickCount(std::clamp(int(std::lround((scale.Max - scale.Min) / scale.Step)) + 1, 2, 20));
    }
  };
  if (slot.AutoLeft) scaleValues(slot.Left, left);
  if (slot.AutoRight) scaleValues(slot.Right, right);
}

// ---------------------------------------------------------------------------
// User commands

void TMDIChild::PageControl1Change() {
  const int page = PageControl1->currentIndex();
  ActiveChart = page >= 0 && page < CHART_COUNT ? Charts[size_t(page)].Chart : nullptr;
  if (const TChartSlot* slot = ActiveSlot()) {
    const QSignalBlocker block(ComboBox1);
    ComboBox1->setCurrentIndex(TraceTimeIndex[size_t(slot->Number)]);
  }
}

void TMDIChild::ComboBox1Change() {
  const int index = ComboBox1->currentIndex();
  TChartSlot* slot = ActiveSlot();
  if (index < 0 || index >= TRACE_TIME_COUNT || !slot) return;
  TraceTimeIndex[size_t(slot->Number)] = index;
  NextSampleTime[size_t(slot->Number)] = 0;
}

void TMDIChild::ListBox1Click() {
  const QListWidgetItem* item = ListBox1->currentItem();
  if (!item) return;
  const QByteArray name = item->text().toUtf8();
  TSeriesSlot& s = Charts[4].Series[0];
  s.Quantity = dynamic_cast<TZmiennaNum*>(Meter.FindByName(name.constData(), 0));
  s.Series->clear();
  // The series goes by its quantity's name, in the export's header too.
  s.Series->setName(item->text());
  NextSampleTime[size_t(Charts[4].Number)] = 0;
  if (const TZmiennaNum* q = s.Quantity) {
    char qname[TZmienna::NAME_SIZE] = {};
    char description[TZmienna::DESCRIPTION_SIZE] = {};
    q->GetName(qname, sizeof qname);
    q->GetDescription(description, sizeof description);
    Chart5->setTitle(QStringLiteral("%1 - %2 [ %3 ]")
                         .arg(QtFieldText(qname), TranslatedMeterText(QtFieldText(description).toStdString()),
                              QtFieldText(q->Unit)));
  }
}

void TMDIChild::PlayBtnClick() {
  TChartSlot* slot = ActiveSlot();
  if (!slot) return;
  {
    const QScopedValueRollback<bool> guard(SettingRanges, true);
    slot->Chart->zoomReset();
  }
  slot->AutoBottom = slot->AutoLeft = slot->AutoRight = true;
  AutoScale(*slot);
}

void TMDIChild::ClearBtnClick() {
  TChartSlot* slot = ActiveSlot();
  if (!slot) return;
  for (TSeriesSlot& s : slot->Series) s.Series->clear();
  PlayBtnClick();
}

void TMDIChild::StopBtnClick() {
  TChartSlot* slot = ActiveSlot();
  if (!slot) return;
  slot->AutoBottom = true;
  AutoScale(*slot);
}

void TMDIChild::LeftBtnMouseDown() { ScrollTime(-1); }

void TMDIChild::RightBtnMouseDown() { ScrollTime(1); }

void TMDIChild::UpBtnMouseDown() { ScrollValues(1); }

void TMDIChild::DownBtnMouseDown() { ScrollValues(-1); }

void TMDIChild::ScrollTime(int direction) {
  TChartSlot* slot = ActiveSlot();
  if (!slot) return;
  slot->AutoBottom = false;
  // The plot rectangle moved by a fifth of its width (whole pixels).
  const double lo = double(slot->Bottom->min().toMSecsSinceEpoch());
  const double hi = double(slot->Bottom->max().toMSecsSinceEpoch());
  const std::optional<double> shift = ScrollShift(lo, hi, direction, int(slot->Chart->plotArea().width()));
  if (!shift || !ValidTimeRange(lo + *shift, hi + *shift)) return;
  const QScopedValueRollback<bool> guard(SettingRanges, true);
  slot->Bottom->setRange(QDateTime::fromMSecsSinceEpoch(qint64(std::llround(lo + *shift))),
                         QDateTime::fromMSecsSinceEpoch(qint64(std::llround(hi + *shift))));
}

void TMDIChild::ScrollValues(int direction) {
  TChartSlot* slot = ActiveSlot();
  if (!slot) return;
  // The plot rectangle moves for every value axis; both stop scaling by themselves.
  slot->AutoLeft = false;
  if (slot->Right) slot->AutoRight = false;
  const int height = int(slot->Chart->plotArea().height());
  const QScopedValueRollback<bool> guard(SettingRanges, true);
  for (QValueAxis* axis : {slot->Left, slot->Right}) {
    if (!axis) continue;
    const std::optional<double> shift = ScrollShift(axis->min(), axis->max(), direction, height);
    if (!shift) return;
    if (ValidValueRange(axis->min() + *shift, axis->max() + *shift)) {
      axis->setRange(axis->min() + *shift, axis->max() + *shift);
    }
  }
}

void TMDIChild::ZoomInBtnClick() { Zoom(110); }

void TMDIChild::ZoomOutBtnClick() { Zoom(90); }

void TMDIChild::Zoom(int percent) {
  TChartSlot* slot = ActiveSlot();
  if (!slot) return;
  // Every axis keeps the zoomed range until "Auto" (or "Auto X" for time).
  slot->AutoBottom = slot->AutoLeft = slot->AutoRight = false;
  const QScopedValueRollback<bool> guard(SettingRanges, true);
  const TRange time = ZoomRange(double(slot->Bottom->min().toMSecsSinceEpoch()),
                                double(slot->Bottom->max().toMSecsSinceEpoch()), percent);
  // A range too narrow or too wide to show stays as it is.
  if (ValidTimeRange(time.Min, time.Max)) {
    slot->Bottom->setRange(QDateTime::fromMSecsSinceEpoch(qint64(std::llround(time.Min))),
                           QDateTime::fromMSecsSinceEpoch(qint64(std::llround(time.Max))));
  }
  for (QValueAxis* axis : {slot->Left, slot->Right}) {
    if (!axis) continue;
    const TRange values = ZoomRange(axis->min(), axis->max(), percent);
    if (ValidValueRange(values.Min, values.Max)) axis->setRange(values.Min, values.Max);
  }
}

// ---------------------------------------------------------------------------
// Printing

void TMDIChild::PrintTrend() {
  if (!ActiveSlot()) return;
  if (!Printer) Printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
  QPrintDialog dialog(Printer.get(), this);
  if (dialog.exec() != QDialog::Accepted) return;
  PrintChart(*Printer);
}

bool TMDIChild::PrintChart(QPrinter& printer) {
  if (!ActiveSlot()) return false;
  const QPageLayout saved = printer.pageLayout();
  printer.setPageOrientation(QPageLayout::Landscape);
  // Margins of 5 % of the page on each side, or the printer's least ones.
  QPageLayout layout = printer.pageLayout();
  layout.setUnits(QPageLayout::Millimeter);
  const QSizeF page = layout.fullRect().size();
  const QMarginsF least = layout.minimumMargins();
  layout.setMargins(QMarginsF(std::max(page.width() * 0.05, least.left()),
                              std::max(page.height() * 0.05, least.top()),
                              std::max(page.width() * 0.05, least.right()),
                              std::max(page.height() * 0.05, least.bottom())));
  printer.setPageLayout(layout);

  QPainter painter;
  bool done = false;
  if (painter.begin(&printer)) {
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF target(QPointF(0, 0), printer.pageRect(QPrinter::DevicePixel).size());
    done = RenderActiveChart(painter, target, printer.resolution());
    done = painter.end() && done;
  }
  printer.setPageLayout(saved);
  return done;
}

void TMDIChild::Relayout(TChartSlot& slot) {
  // Lay the chart out for its new size, fit the automatic axes' labels to the
  // new plot area, and lay out once more for the new labels.
  QGraphicsLayout* layout = slot.Chart->layout();
  if (layout) layout->activate();
  AutoScale(slot);
  if (layout) layout->activate();
}

bool TMDIChild::RenderActiveChart(QPainter& painter, const QRectF& target, double dotsPerInch) {
  TChartSlot* slot = ActiveSlot();
  if (!slot || !(dotsPerInch > 0) || target.isEmpty()) return false;
  QChart* chart = slot->Chart;
  QGraphicsScene* scene = chart->scene();
  if (!scene) return false;
  // The chart is laid out for the page as a screen of the page's size would
  // show it, so fonts and lines keep their size in print and the page holds
  // correspondingly more of the plot; then it goes back to the window's size.
  const QSizeF onScreen = chart->size();
  const QSizeF logical = target.size() * (96.0 / dotsPerInch);
  {
    const QScopedValueRollback<bool> guard(SettingRanges, true);
    chart->resize(logical);
    Relayout(*slot);
    scene->render(&painter, target, QRectF(chart->pos(), logical));
    chart->resize(onScreen);
    Relayout(*slot);
  }
  return true;
}
