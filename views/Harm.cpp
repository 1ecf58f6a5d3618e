// The harmonics window.
#include "views/Harm.h"

#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QListWidget>
#include <QPushButton>
#include <QShowEvent>
#include <QStackedBarSeries>
#include <QTabBar>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <iterator>
#include <string>

#include "model/ParamDef.h"
#include "model/TR5.h"
#include "views/WaitCursor.h"

namespace {

// What each tab shows: the THD item of its quantity in the THD group (2000)
// and the group of its harmonics, whose item n is harmonic order n.
struct THarmonicsTab {
  const char* Caption;
  int ThdSelector;
  int GroupSelector;
};

constexpr THarmonicsTab TABS[] = {
    {QT_TRANSLATE_NOOP("THarmoniczne", "Voltage L1"), 2001, 2200},
    {QT_TRANSLATE_NOOP("THarmoniczne", "Voltage L2"), 2002, 2300},
    {QT_TRANSLATE_NOOP("THarmoniczne", "Voltage L3"), 2003, 2400},
    {QT_TRANSLATE_NOOP("THarmoniczne", "Current L1"), 2004, 2500},
    {QT_TRANSLATE_NOOP("THarmoniczne", "Current L2"), 2005, 2600},
    {QT_TRANSLATE_NOOP("THarmoniczne", "Current L3"), 2006, 2700},
};
constexpr int TAB_COUNT = int(std::size(TABS));

constexpr int THD_GROUP = 2000;
constexpr int HIGHEST_ORDER = 25;
constexpr int LOWEST_DRAWN_ORDER = 2;  // the fundamental is listed, not drawn
constexpr int DRAWN_COUNT = HIGHEST_ORDER - LOWEST_DRAWN_ORDER + 1;
// A bar series puts the value at index k of a bar set at X = k, so a set
// holds one slot for every order from 0 up.
constexpr int SLOT_COUNT = HIGHEST_ORDER + 1;

QString Line(const std::string& name, const std::string& value) {
  return QString::fromStdString(name) + QStringLiteral(" = ") + QString::fromStdString(value);
}

}  // namespace

THarmoniczne::THarmoniczne(TTR5& meter, QWidget* parent)
    : QWidget(parent, Qt::Window), Meter(meter) {
  setWindowTitle(tr("Harmonics"));
  setAttribute(Qt::WA_DeleteOnClose);

  TabControl2 = new QTabBar(this);
  for (const THarmonicsTab& tab : TABS) TabControl2->addTab(tr(tab.Caption));
  TabControl2->setExpanding(false);

  // Left: the list with its two buttons below.
  // 125 pixels as designed, wider where the font needs it for a full line.
  Panel1 = new QWidget(this);
  const int lineWidth = Panel1->fontMetrics().horizontalAdvance(QStringLiteral("HarU1_25 = 100.00 %"));
  Panel1->setFixedWidth(std::max(125, lineWidth + 32));
  Label1 = new QLabel(tr("List of values:"), Panel1);
  ListBox1 = new QListWidget(Panel1);
  Button2 = new QPushButton(tr("Restore"), Panel1);
  Button1 = new QPushButton(tr("Close"), Panel1);
  auto* strip = new QWidget(Panel1);
  strip->setFixedHeight(28);
  auto* stripLayout = new QHBoxLayout(strip);
  stripLayout->setContentsMargins(0, 0, 0, 0);
  stripLayout->addWidget(Button2);
  stripLayout->addWidget(Button1);
  auto* panelLayout = new QVBoxLayout(Panel1);
  panelLayout->setContentsMargins(0, 0, 0, 0);
  panelLayout->addWidget(Label1);
  panelLayout->addWidget(ListBox1, 1);
  panelLayout->addWidget(strip);

  // Right: the bar chart of orders 2 to 25.
  Chart1 = new QChart;
  Chart1->setTitle(tr("Harmonics of the current and voltage run"));
  QLinearGradient background(0, 0, 0, 1);
  background.setCoordinateMode(QGradient::ObjectBoundingMode);
  background.setColorAt(0, Qt::white);
  background.setColorAt(1, QColor(192, 192, 192));  // silver
  Chart1->setBackgroundBrush(background);
  Chart1->setPlotAreaBackgroundBrush(QColor(255, 255, 128));
  Chart1->setPlotAreaBackgroundVisible(true);
  Chart1->legend()->hide();

  Series1 = new QStackedBarSeries;
  Series1->setBarWidth(0.25);
  Series1->setLabelsVisible(false);
  Chart1->addSeries(Series1);

  // Fixed on orders 2 to 25, half a slot of room at either end so that the
  // outer bars show whole; a label at every order.
  BottomAxis = new QValueAxis;
  BottomAxis->setRange(LOWEST_DRAWN_ORDER - 0.5, HIGHEST_ORDER + 0.5);
  BottomAxis->setTickType(QValueAxis::TicksDynamic);
  BottomAxis->setTickAnchor(LOWEST_DRAWN_ORDER);
  BottomAxis->setTickInterval(1);
  BottomAxis->setLabelFormat(QStringLiteral("%d"));
  BottomAxis->setLabelsAngle(-90);
  BottomAxis->setTruncateLabels(false);
  BottomAxis->setMinorTickCount(0);
  BottomAxis->setGridLineVisible(false);
  Chart1->addAxis(BottomAxis, Qt::AlignBottom);
  Series1->attachAxis(BottomAxis);

  LeftAxis = new QValueAxis;
  LeftAxis->setLabelFormat(QStringLiteral("%.2f"));
  LeftAxis->setMinorTickCount(0);
  LeftAxis->setRange(0, 1);
  Chart1->addAxis(LeftAxis, Qt::AlignLeft);
  Series1->attachAxis(LeftAxis);

  ChartView1 = new QChartView(Chart1, this);  // takes the chart
  ChartView1->setRenderHint(QPainter::Antialiasing);
  // Room for the title, the rotated order labels and a plot area in which
  // 24 bars and the value labels can be told apart.
  ChartView1->setMinimumSize(480, 300);

  auto* page = new QHBoxLayout;
  page->setContentsMargins(4, 4, 4, 4);
  page->addWidget(Panel1);
  page->addWidget(ChartView1, 1);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(TabControl2);
  layout->addLayout(page, 1);
  resize(layout->totalMinimumSize().expandedTo(QSize(638, 317)));

  // Connected once the tabs exist, so that building them reads nothing.
  connect(TabControl2, &QTabBar::currentChanged, this, [this] { TabControl2Change(); });
  connect(Button2, &QPushButton::clicked, this, [this] { TabControl2Change(); });
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
}

void THarmoniczne::TabControl2Change() {
  Series1->clear();
  ListBox1->clear();
  LeftAxis->setRange(0, 1);
  Shown = {{"phase", "quantity", "value", "unit"}};

  const int index = TabControl2->currentIndex();
  if (index < 0 || index >= TAB_COUNT) return;
  const THarmonicsTab& tab = TABS[index];
  TTR5& meter = Meter;
  std::string value, name;

  // Each group read holds the GUI thread for one transaction.
  TWaitCursor wait;
  meter.FormatValueWithUnit(THD_GROUP, value, &name);
  auto keep = [&](int selector, const std::string& code, float v) {
    const TParamDef* def = FindParamDef(selector);
    Shown.push_back({tab.Caption, code, CsvNumber(v), def ? def->Unit : ""});
  };
  const float thd = meter.FormatValueWithUnit(tab.ThdSelector, value, &name);
  if (thd == NO_VALUE) return;
  ListBox1->addItem(Line(name, value));
  keep(tab.ThdSelector, name, thd);

  meter.FormatValueWithUnit(tab.GroupSelector, value, &name);
  QList<QBarSet*> bars;
  float low = 0, high = 0;
  for (int order = 1; order <= HIGHEST_ORDER; ++order) {
    const float h = meter.FormatValueWithUnit(tab.GroupSelector + order, value, &name);
    if (h == NO_VALUE) continue;  // left out of list and chart alike
    ListBox1->addItem(Line(name, value));
    keep(tab.GroupSelector + order, name, h);
    if (order < LOWEST_DRAWN_ORDER) continue;
    auto* bar = new QBarSet(QString::fromStdString(name));
    for (int slot = 0; slot < SLOT_COUNT; ++slot)
      bar->append(slot == order ? double(h) : 0.0);
    // Hues spread round the colour circle: each order a colour of its own.
    bar->setColor(QColor::fromHsv((order - LOWEST_DRAWN_ORDER) * 360 / DRAWN_COUNT, 190, 235));
    bar->setBorderColor(Qt::transparent);
    bars.append(bar);
    low = std::min(low, h);
    high = std::max(high, h);
  }
  Series1->append(bars);
  if (high > low) {
    LeftAxis->setRange(low, high);
    LeftAxis->applyNiceNumbers();
  }
}

void THarmoniczne::FormShow() { TabControl2Change(); }

void THarmoniczne::Button1Click() { close(); }

void THarmoniczne::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // Read when the program shows the window, not when the system restores it.
  if (!event->spontaneous()) FormShow();
}

QWidget* MakeHarmonicsWindow(const TViewContext& context) {
  return new THarmoniczne(context.Meter, context.Owner);
}
