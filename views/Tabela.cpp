// The measurement table window.
#include "Tabela.h"

#include <QApplication>
#include <QFontMetrics>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QSplitter>
#include <QStatusTipEvent>
#include <QStyledItemDelegate>
#include <QTabBar>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "Main.h"
#include "MeasureTable.h"
#include "TR5.h"

namespace {

constexpr int TIMER_INTERVAL_MS = 1000;
constexpr double NO_VALUE_LIMIT = 1.0e20;

// Bars of each tab, slot 0 first.
struct TTabBars {
  const char* Caption;
  const char* Names[TForm2::BAR_SLOTS];
};
const TTabBars TAB_BARS[] = {
    {"Voltages", {"U1", "U2", "U3", "U12", "U23", "U31"}},
    {"Currents", {"I1", "I2", "I3"}},
    {"Power P", {"P1", "P2", "P3", "P", "Pav"}},
    {"Power Q", {"Q1", "Q2", "Q3", "Q"}},
    {"Power S", {"S1", "S2", "S3", "S"}},
    {"Power factor", {"Pf1", "Pf2", "Pf3", "Pf"}},
    {"THD", {"THD_U1", "THD_U2", "THD_U3", "THD_I1", "THD_I2", "THD_I3"}},
};

// The bars' own colours, by slot.
const QColor BAR_PALETTE[TForm2::BAR_SLOTS] = {
    QColor(220, 20, 20),  QColor(0, 150, 0),    QColor(230, 200, 0), QColor(20, 60, 220),
    QColor(150, 150, 150), QColor(200, 0, 200), QColor(0, 140, 140), QColor(0, 0, 128),
    QColor(128, 0, 0),    QColor(255, 140, 0),
};
const QColor LEFT_WALL(255, 255, 128);
const QColor BOTTOM_WALL(255, 255, 255);
constexpr int WALL_SIZE = 8;

bool IsNoValue(double v) { return !(std::fabs(v) < NO_VALUE_LIMIT); }

// Draws the event lines: the time at the left, each piece after a tab at the
// next tab stop, like a list box with tab stops.
class TEventDelegate : public QStyledItemDelegate {
public:
  TEventDelegate(int tabStop, QObject* parent) : QStyledItemDelegate(parent), TabStop(tabStop) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QString text = opt.text;
    opt.text.clear();
    const QWidget* widget = opt.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

    painter->save();
    painter->setFont(opt.font);
    const bool selected = opt.state & QStyle::State_Selected;
    painter->setPen(opt.palette.color(QPalette::Normal, selected ? QPalette::HighlightedText
                                                                 : QPalette::Text));
    const QRect r = opt.rect;
    Lay(text, QFontMetrics(opt.font), [&](int x, const QString& piece) {
      painter->drawText(QRect(r.left() + x, r.top(), std::max(0, r.width() - x), r.height()),
                        Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, piece);
    });
    painter->restore();
  }

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QFontMetrics metrics(opt.font);
    const int width = Lay(opt.text, metrics, [](int, const QString&) {});
    return QSize(width + 4, std::max(13, metrics.height() + 2));
  }

private:
  // Calls put with the x of each tab-separated piece; returns the end of the last.
  int Lay(const QString& text, const QFontMetrics& metrics,
          const std::function<void(int, const QString&)>& put) const {
    int x = 2;
    const QStringList pieces = text.split(QLatin1Char('\t'));
    for (int i = 0; i < pieces.size(); ++i) {
      if (i > 0) x = (x / TabStop + 1) * TabStop;
      put(x, pieces[i]);
      x += metrics.horizontalAdvance(pieces[i]);
    }
    return x;
  }

  int TabStop;
};

// Reads "column,row,kind,text": three decimal integers, then the text after the
// last comma. False when the entry has not that shape.
bool ParseEntry(const QString& entry, int& column, int& row, int& kind, QString& text) {
  const QStringList fields = entry.split(QLatin1Char(','));
  if (fields.size() < 4) return false;
  bool ok[3];
  column = fields[0].trimmed().toInt(&ok[0], 10);
  row = fields[1].trimmed().toInt(&ok[1], 10);
  kind = fields[2].trimmed().toInt(&ok[2], 10);
  if (!ok[0] || !ok[1] || !ok[2]) return false;
  text = fields.last();
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// The chart

void TTableBars::Add(int x, double y, const QString& label, const QColor& color, const QString& mark) {
  Items.push_back(TPoint{x, y, label, mark, color});
}

TTableChart::TTableChart(QWidget* parent) : QWidget(parent) {
  setMinimumSize(120, 100);
  setAutoFillBackground(true);
}

TTableChart::TLayout TTableChart::Layout() const {
  TLayout layout;
  double low = 0, high = 0;
  int maxX = 0;
  for (const auto& p : Series1.Points()) {
    maxX = std::max(maxX, p.X);
    if (!p.Drawn()) continue;
    low = std::min(low, p.Y);
    high = std::max(high, p.Y);
  }
  layout.Slots = maxX + 1;
  if (high - low <= 0) high = low + 1;
  // Ticks at 1, 2 or 5 times a power of ten, about five of them.
  const double raw = (high - low) / 5;
  const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
  const double norm = raw / magnitude;
  layout.Step = (norm <= 1 ? 1 : norm <= 2 ? 2 : norm <= 5 ? 5 : 10) * magnitude;
  layout.AxisLow = std::floor(low / layout.Step) * layout.Step;
  layout.AxisHigh = std::ceil(high / layout.Step) * layout.Step;
  if (layout.AxisHigh <= layout.AxisLow) layout.AxisHigh = layout.AxisLow + layout.Step;

  const QFontMetrics metrics(font());
  int labelWidth = 0;
  const int decimals = std::max(0, static_cast<int>(-std::floor(std::log10(layout.Step))));
  for (double v = layout.AxisLow; v <= layout.AxisHigh + layout.Step / 2; v += layout.Step)
    labelWidth = std::max(labelWidth, metrics.horizontalAdvance(QString::number(v, 'f', decimals)));
  const int line = metrics.height();
  const double left = labelWidth + 8 + WALL_SIZE;
  const double top = line + 10;                 // room for the marks of the highest bars
  const double bottom = line + 8 + WALL_SIZE;   // room for the bar labels
  const double right = 10;
  layout.Plot = QRectF(left, top, std::max(1.0, width() - left - right),
                       std::max(1.0, height() - top - bottom - (layout.AxisLow < 0 ? line + 4 : 0)));
  return layout;
}

QRectF TTableChart::BarRect(size_t i) const {
  const auto& points = Series1.Points();
  if (i >= points.size() || !points[i].Drawn()) return QRectF();
  const TLayout l = Layout();
  const auto toY = [&l](double v) {
    return l.Plot.bottom() - (v - l.AxisLow) / (l.AxisHigh - l.AxisLow) * l.Plot.height();
  };
  const double slot = l.Plot.width() / l.Slots;
  const double x = l.Plot.left() + points[i].X * slot + slot * 0.15;
  const double y0 = toY(0), y1 = toY(points[i].Y);
  return QRectF(QPointF(x, std::min(y0, y1)), QPointF(x + slot * 0.7, std::max(y0, y1)));
}

QColor TTableChart::BarColor(size_t i) const {
  const auto& points = Series1.Points();
  if (i >= points.size()) return QColor();
  const QColor& c = points[i].Color;
  if (!c.isValid()) return BAR_PALETTE[static_cast<unsigned>(points[i].X) % TForm2::BAR_SLOTS];
  return c;
}

void TTableChart::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing, false);
  const TLayout l = Layout();
  const QRectF& plot = l.Plot;
  const QFontMetrics metrics(font());
  const QColor axisColor(64, 64, 64);

  // Walls: the left one along the value axis, the bottom one under the bars.
  painter.setPen(axisColor);
  painter.setBrush(LEFT_WALL);
  painter.drawRect(QRectF(plot.left() - WALL_SIZE, plot.top(), WALL_SIZE, plot.height()));
  painter.setBrush(BOTTOM_WALL);
  painter.drawRect(QRectF(plot.left(), plot.bottom(), plot.width(), WALL_SIZE));

  // Value axis with grid lines.
  const auto toY = [&l](double v) {
    return l.Plot.bottom() - (v - l.AxisLow) / (l.AxisHigh - l.AxisLow) * l.Plot.height();
  };
  const int decimals = std::max(0, static_cast<int>(-std::floor(std::log10(l.Step))));
  for (int k = 0;; ++k) {
    const double v = l.AxisLow + k * l.Step;
    if (v > l.AxisHigh + l.Step / 2) break;
    const double y = toY(v);
    painter.setPen(QPen(QColor(200, 200, 200), 0, Qt::DotLine));
    painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
    painter.setPen(axisColor);
    const QString text = QString::number(std::fabs(v) < l.Step / 2 ? 0.0 : v, 'f', decimals);
    painter.drawText(QRectF(0, y - metrics.height() / 2.0, plot.left() - WALL_SIZE - 4, metrics.height()),
                     Qt::AlignRight | Qt::AlignVCenter, text);
  }
  painter.setPen(axisColor);
  painter.drawLine(plot.bottomLeft(), plot.topLeft());
  painter.drawLine(QPointF(plot.left(), toY(0)), QPointF(plot.right(), toY(0)));

  // Bars, their labels and value marks.
  const double slot = plot.width() / l.Slots;
  const auto& points = Series1.Points();
  for (size_t i = 0; i < points.size(); ++i) {
    const auto& p = points[i];
    const double centre = plot.left() + (p.X + 0.5) * slot;
    painter.setPen(axisColor);
    painter.drawText(QRectF(centre - slot / 2, plot.bottom() + WALL_SIZE + 2, slot, metrics.height()),
                     Qt::AlignHCenter | Qt::AlignTop, p.Label);
    if (!p.Drawn()) continue;
    const QRectF bar = BarRect(i);
    painter.setPen(QColor(0, 0, 0));
    painter.setBrush(BarColor(i));
    painter.drawRect(bar);
    if (p.Mark.isEmpty()) continue;
    const double w = metrics.horizontalAdvance(p.Mark) + 6, h = metrics.height() + 2;
    const double y = p.Y < 0 ? bar.bottom() + 2 : bar.top() - h - 2;
    const QRectF box(centre - w / 2, y, w, h);
    painter.setBrush(QColor(255, 255, 225));
    painter.drawRect(box);
    painter.drawText(box, Qt::AlignCenter, p.Mark);
  }
}

// ---------------------------------------------------------------------------
// The window

const QStringList& TForm2::TableLayout() {
  static const QStringList layout = [] {
    QStringList entries;
    for (const TMeasureCell& c : MeasureTableCells())
      entries << QString::number(c.Column) + QLatin1Char(',') + QString::number(c.Row) +
                     (c.Value ? QStringLiteral(",1,") : QStringLiteral(",0,")) + QString::fromUtf8(c.Text);
    return entries;
  }();
  return layout;
}

TForm2::TForm2(TTR5& meter, QWidget* parent) : QWidget(parent), Meter(meter) {
  setObjectName(QStringLiteral("Form2"));
  setWindowTitle(QStringLiteral("Table"));
  resize(640, 480);

  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  Splitter2 = new QSplitter(Qt::Vertical, this);
  Splitter2->setHandleWidth(8);
  Splitter2->setChildrenCollapsible(false);
  outer->addWidget(Splitter2);

  // The grid: one fixed row of column letters, one fixed column of row numbers.
  StringGrid1 = new QTableWidget(GRID_SIZE - 1, GRID_SIZE - 1, Splitter2);
  QFont gridFont(QStringLiteral("MS Sans Serif"), 8, QFont::Bold);
  StringGrid1->setFont(gridFont);
  StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  StringGrid1->setSelectionMode(QAbstractItemView::ContiguousSelection);
  StringGrid1->setShowGrid(true);
  StringGrid1->setWordWrap(false);
  StringGrid1->horizontalHeader()->setDefaultSectionSize(64);
  StringGrid1->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  StringGrid1->horizontalHeader()->setHighlightSections(false);
  StringGrid1->verticalHeader()->setMinimumSectionSize(8);
  StringGrid1->verticalHeader()->setDefaultSectionSize(20);
  StringGrid1->verticalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  StringGrid1->verticalHeader()->setHighlightSections(false);
  StringGrid1->verticalHeader()->setDefaultAlignment(Qt::AlignCenter);
  for (int c = 1; c < GRID_SIZE; ++c)
    for (int r = 1; r < GRID_SIZE; ++r) {
      auto* item = new QTableWidgetItem;
      item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
      StringGrid1->setItem(r - 1, c - 1, item);
    }
  StringGrid1->viewport()->setMouseTracking(true);
  StringGrid1->horizontalHeader()->setMouseTracking(true);
  StringGrid1->verticalHeader()->setMouseTracking(true);
  StringGrid1->viewport()->installEventFilter(this);
  StringGrid1->horizontalHeader()->installEventFilter(this);
  StringGrid1->verticalHeader()->installEventFilter(this);
  Splitter2->addWidget(StringGrid1);

  Splitter1 = new QSplitter(Qt::Horizontal, Splitter2);
  Splitter1->setHandleWidth(8);
  Splitter1->setChildrenCollapsible(false);
  Splitter2->addWidget(Splitter1);

  // The event list with its headings.
  Panel1 = new QWidget(Splitter1);
  auto* panelLayout = new QVBoxLayout(Panel1);
  panelLayout->setContentsMargins(0, 0, 0, 0);
  panelLayout->setSpacing(0);
  Bevel1 = new QFrame(Panel1);
  Bevel1->setFrameShape(QFrame::StyledPanel);
  Bevel1->setFrameShadow(QFrame::Raised);
  Bevel1->setFixedHeight(35);
  Label4 = new QLabel(QStringLiteral("List of events"), Bevel1);
  QFont captionFont = Label4->font();
  captionFont.setPointSize(10);
  captionFont.setBold(true);
  Label4->setFont(captionFont);
  Label4->adjustSize();
  Label4->move(2, 1);
  Label1 = new QLabel(QStringLiteral("Time"), Bevel1);
  Label3 = new QLabel(QStringLiteral("Description"), Bevel1);
  ListBox1 = new QListWidget(Panel1);
  ListBox1->setUniformItemSizes(true);
  // A tab stop every 55 dialog units (a quarter of the font's mean letter
  // width each), but never so close that the time runs into the description.
  {
    const QFontMetrics metrics(ListBox1->font());
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    TabStop = std::max(55 * letters / (52 * 4),
                       metrics.horizontalAdvance(QStringLiteral("00/00 00:00:00")) + 10);
  }
  ListBox1->setItemDelegate(new TEventDelegate(TabStop, ListBox1));
  const int headingTop = 35 - Label1->sizeHint().height() - 2;
  Label1->adjustSize();
  Label1->move(2, headingTop);
  Label3->adjustSize();
  Label3->move(TabStop + 2, headingTop);  // over the descriptions
  panelLayout->addWidget(Bevel1);
  panelLayout->addWidget(ListBox1);
  Splitter1->addWidget(Panel1);

  // The tabs and the chart inside them.
  TabPage = new QWidget(Splitter1);
  auto* tabLayout = new QVBoxLayout(TabPage);
  tabLayout->setContentsMargins(0, 0, 0, 0);
  tabLayout->setSpacing(0);
  TabControl1 = new QTabBar(TabPage);
  TabControl1->setExpanding(false);
  for (const TTabBars& tab : TAB_BARS) TabControl1->addTab(QString::fromUtf8(tab.Caption));
  Chart1 = new TTableChart(TabPage);
  tabLayout->addWidget(TabControl1);
  tabLayout->addWidget(Chart1, 1);
  Splitter1->addWidget(TabPage);
  Splitter1->setStretchFactor(1, 1);
  Splitter1->setSizes({249, 400});
  Splitter2->setStretchFactor(1, 1);
  Splitter2->setSizes({209, 270});

  connect(TabControl1, &QTabBar::currentChanged, this, [this] { EvChartZmiana(); });

  Timer1 = new QTimer(this);
  Timer1->setInterval(TIMER_INTERVAL_MS);
  connect(Timer1, &QTimer::timeout, this, &TForm2::EvTimer);

  FormShow();
  Timer1->start();
}

void TForm2::FormShow() {
  StringGrid1->verticalHeader()->setFixedWidth(32);
  for (int c = 1; c < GRID_SIZE; ++c)
    StringGrid1->setHorizontalHeaderItem(c - 1, new QTableWidgetItem(QString(QChar(64 + c))));
  for (int r = 1; r < GRID_SIZE; ++r)
    StringGrid1->setVerticalHeaderItem(r - 1, new QTableWidgetItem(QString::number(r)));
  LoadLayout(TableLayout());
  EvChartZmiana();
  EvTimer();
}

void TForm2::RebindMeter() {
  LoadLayout(TableLayout());
  EvChartZmiana();
  EvTimer();
}

void TForm2::LoadLayout(const QStringList& entries) {
  for (int c = 1; c < GRID_SIZE; ++c)
    for (int r = 1; r < GRID_SIZE; ++r) {
      Params[c][r] = nullptr;
      SetCellText(c, r, QString());
    }
  for (const QString& entry : entries) {
    int column, row, kind;
    QString text;
    if (!ParseEntry(entry, column, row, kind, text)) continue;
    if (column < 1 || column >= GRID_SIZE || row < 1 || row >= GRID_SIZE) continue;
    if (kind != 0) {
      // The text shows at the next refresh.
      Params[column][row] = Meter.FindByName(text.toUtf8().constData(), 0);
    } else {
      SetCellText(column, row, text);
    }
  }
}

void TForm2::EvChartZmiana() {
  Chart1->Series1.Clear();
  for (int s = 0; s < BAR_SLOTS; ++s) {
    BarParam[s] = nullptr;
    BarName[s][0] = '\0';
  }
  const int tab = TabControl1->currentIndex();
  if (tab >= 0 && tab < static_cast<int>(std::size(TAB_BARS))) {
    const TTabBars& bars = TAB_BARS[tab];
    for (int s = 0; s < BAR_SLOTS && bars.Names[s]; ++s) SetBar(s, bars.Names[s]);
  }
  ShowBars();
}

void TForm2::SetBar(int slot, const char* name) {
  if (slot < 0 || slot >= BAR_SLOTS || name == nullptr) return;
  BarParam[slot] = Meter.FindByName(name, 0);
  if (BarParam[slot]) {
    const size_t n = std::min(std::strlen(name), static_cast<size_t>(BAR_NAME_SIZE - 1));
    std::memcpy(BarName[slot], name, n);
    BarName[slot][n] = '\0';
  } else {
    BarName[slot][0] = '\0';
  }
  Chart1->Series1.Add(slot, 0, QString::fromUtf8(name), TTableBars::AutoColor());
  Chart1->update();
}

void TForm2::EvTimer() {
  ShowValues();
  ShowBars();
  ShowEvents();
}

void TForm2::ShowValues() {
  for (int r = 0; r < GRID_SIZE; ++r)
    for (int c = 0; c < GRID_SIZE; ++c) {
      if (!Params[c][r]) continue;
      SetCellText(c, r, QString::fromStdString(TableValueText(Params[c][r]->GetValue())));
    }
}

void TForm2::ShowBars() {
  TTableBars& series = Chart1->Series1;
  series.Clear();
  for (int s = 0; s < BAR_SLOTS; ++s) {
    if (!BarParam[s]) continue;
    const QString label = QString::fromUtf8(BarName[s]);
    const double v = BarParam[s]->GetValue();
    if (IsNoValue(v)) {
      series.Add(s, 0, label, TTableBars::NoColor());
      continue;
    }
    // The bar's height is the value as the grid shows it, so its mark shows
    // the same digits.
    const std::string text = TableValueText(v);
    float shown = 0;
    std::from_chars(text.data(), text.data() + text.size(), shown);
    series.Add(s, shown, label, TTableBars::AutoColor(), QString::fromStdString(text));
  }
  Chart1->update();
}

void TForm2::ShowEvents() {
  const QDateTime now = CurrentTime();
  const QString stamp = now.toString(QStringLiteral("MM'/'dd HH:mm:ss"));
  for (int n = 0; n < MAX_EVENTS_PER_TICK; ++n) {
    int code = 0;
    std::string text;
    if (Meter.NextEvent(code, text) != 1) break;
    auto* item = new QListWidgetItem(stamp + QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    item->setData(Qt::UserRole, now);
    item->setData(Qt::UserRole + 1, QString::fromStdString(text).trimmed());
    ListBox1->insertItem(0, item);
  }
}

std::vector<TCsvRow> TForm2::CsvRows() const {
  std::vector<TCsvRow> rows = {{"time", "event"}};
  for (int i = ListBox1->count() - 1; i >= 0; --i) {
    const QListWidgetItem* item = ListBox1->item(i);
    rows.push_back({item->data(Qt::UserRole).toDateTime().toString(Qt::ISODate).toStdString(),
                    item->data(Qt::UserRole + 1).toString().toStdString()});
  }
  return rows;
}

void TForm2::EvMouseMove(QObject* sender, const QPoint& position) {
  int column = -1, row = -1;
  if (sender == StringGrid1->viewport()) {
    const QModelIndex index = StringGrid1->indexAt(position);
    if (!index.isValid()) return;
    column = index.column() + 1;
    row = index.row() + 1;
  } else if (sender == StringGrid1->horizontalHeader()) {
    column = StringGrid1->horizontalHeader()->logicalIndexAt(position) + 1;
    row = 0;
  } else if (sender == StringGrid1->verticalHeader()) {
    column = 0;
    row = StringGrid1->verticalHeader()->logicalIndexAt(position) + 1;
  } else {
    return;
  }
  if (column <= 0 && row <= 0) return;  // beyond the header's sections
  TZmienna* param = CellParam(column, row);
  SetHint(param ? QString::fromUtf8(param->Description) : QString());
}

void TForm2::SetHint(const QString& text) {
  HintText = text;
  // The main window shows status tips in its status bar.
  QStatusTipEvent tip(text);
  QCoreApplication::sendEvent(this, &tip);
}

bool TForm2::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseMove) {
    EvMouseMove(watched, static_cast<QMouseEvent*>(event)->position().toPoint());
  }
  return QWidget::eventFilter(watched, event);
}

QString TForm2::Cells(int column, int row) const {
  if (column < 0 || column >= GRID_SIZE || row < 0 || row >= GRID_SIZE) return QString();
  const QTableWidgetItem* item = nullptr;
  if (row == 0 && column == 0) return QString();
  if (row == 0) {
    item = StringGrid1->horizontalHeaderItem(column - 1);
  } else if (column == 0) {
    item = StringGrid1->verticalHeaderItem(row - 1);
  } else {
    item = StringGrid1->item(row - 1, column - 1);
  }
  return item ? item->text() : QString();
}

TZmienna* TForm2::CellParam(int column, int row) const {
  if (column < 0 || column >= GRID_SIZE || row < 0 || row >= GRID_SIZE) return nullptr;
  return Params[column][row];
}

void TForm2::SetCellText(int column, int row, const QString& text) {
  if (column < 1 || row < 1) return;  // the fixed cells keep letters and numbers
  if (QTableWidgetItem* item = StringGrid1->item(row - 1, column - 1)) item->setText(text);
}

QWidget* MakeTableWindow(TMainForm& form) { return new TForm2(form.Meter); }
