// The measurement table window.
#include "views/Tabela.h"

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

#include "model/MeasureTable.h"
#include "model/TR5.h"
#include "views/MeterTexts.h"

namespace {

constexpr int TIMER_INTERVAL_MS = 1000;
constexpr double NO_VALUE_LIMIT = 1.0e20;

// Bars of each tab, slot 0 first.
struct TTabBars {
  const char* Caption;
  const char* Names[TForm2::BAR_SLOTS];
};
const TTabBars TAB_BARS[] = {
    {QT_TRANSLATE_NOOP("TForm2", "Voltages"), {"U1", "U2", "U3", "U12", "U23", "U31"}},
    {QT_TRANSLATE_NOOP("TForm2", "Currents"), {"I1", "I2", "I3"}},
    {QT_TRANSLATE_NOOP("TForm2", "Power P"), {"P1", "P2", "P3", "P", "Pav"}},
    {QT_TRANSLATE_NOOP("TForm2", "Power Q"), {"Q1", "Q2", "Q3", "Q"}},
    {QT_TRANSLATE_NOOP("TForm2", "Power S"), {"S1", "S2", "S3", "S"}},
    {QT_TRANSLATE_NOOP("TForm2", "Power factor"), {"Pf1", "Pf2", "Pf3", "Pf"}},
    {QT_TRANSLATE_NOOP("TForm2", "THD"), {"THD_U1", "THD_U2", "THD_U3", "THD_I1", "THD_I2", "THD_I3"}},
};

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
  setWindowTitle(tr("Table"));
  resize(640, 480);

  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  Splitter2 = new QSplitter(Qt::Vertical, this);
  Splitter2->setHandleWidth(8);
  Splitter2->setChildrenCollapsible(false);
  outer->addWidget(Splitter2);

  // The grid: one fixed row of column letters, one fixed column of row numbers.
  StringGrid1 = new QTableWidget(GRID_SIZE - 1, GRID_SIZE - 1, Splitter2);
  // The platform's own interface font (Segoe UI on Windows), small and bold.
  QFont gridFont = StringGrid1->font();
  gridFont.setPointSize(8);
  gridFont.setBold(true);
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
  Label4 = new QLabel(tr("List of events"), Bevel1);
  QFont captionFont = Label4->font();
  captionFont.setPointSize(10);
  captionFont.setBold(true);
  Label4->setFont(captionFont);
  Label4->adjustSize();
  Label4->move(2, 1);
  Label1 = new QLabel(tr("Time"), Bevel1);
  Label3 = new QLabel(tr("Description"), Bevel1);
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
  for (const TTabBars& tab : TAB_BARS) TabControl1->addTab(tr(tab.Caption));
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
  // A column is as wide as its longest fixed text needs ("THD_U[%]" in bold),
  // at least the default width.
  const QFontMetrics metrics(StringGrid1->font());
  const int padding =
      2 * StringGrid1->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, StringGrid1) + 8;
  for (int c = 1; c < GRID_SIZE; ++c) {
    int width = StringGrid1->horizontalHeader()->defaultSectionSize();
    for (int r = 1; r < GRID_SIZE; ++r)
      if (!Params[c][r])
        width = std::max(width, metrics.horizontalAdvance(StringGrid1->item(r - 1, c - 1)->text()) + padding);
    StringGrid1->setColumnWidth(c - 1, width);
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
    auto* item = new QListWidgetItem(stamp + TranslatedEvent(text));
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
  SetHint(param ? TranslatedMeterText(param->Description) : QString());
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

QWidget* MakeTableWindow(const TViewContext& context) { return new TForm2(context.Meter); }
