// The extreme values window.
#include "views/Minmax.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QPushButton>
#include <QShortcut>
#include <QShowEvent>
#include <QStringList>
#include <QTabBar>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <iterator>
#include <string>

#include "model/ParamDef.h"
#include "model/TR5.h"
#include "views/MeterTexts.h"
#include "views/WaitCursor.h"

namespace {

// What each tab shows: the group of minima and maxima (item pairs, minimum
// first), the group of the times they occurred, and the number of items.
struct TExtremaTab {
  const char* Caption;
  int ValueGroup;
  int TimeGroup;
  int Count;
};

constexpr TExtremaTab TABS[] = {
    {QT_TRANSLATE_NOOP("TExtrema", "Voltages and currents"), 2800, 3400, 12},
    {QT_TRANSLATE_NOOP("TExtrema", "Powers"), 2900, 3500, 18},
    {QT_TRANSLATE_NOOP("TExtrema", "Coefficients"), 3000, 3600, 12},
    {QT_TRANSLATE_NOOP("TExtrema", "3-phase parameters"), 3100, 3700, 26},
    {QT_TRANSLATE_NOOP("TExtrema", "THD harmonics"), 2100, 3800, 12},
};
constexpr int TAB_COUNT = int(std::size(TABS));

constexpr int COLUMN_COUNT = 5;
constexpr int COLUMN_WIDTHS[COLUMN_COUNT] = {189, 82, 75, 85, 84};
constexpr const char* COLUMN_SAMPLES[COLUMN_COUNT] = {
    "Average voltage phase to phase", "-123456 VAr", "-123456 VAr", "00/00/00 00:00", "00/00/00 00:00"};
const char* const HEADER[] = {
    QT_TRANSLATE_NOOP("TExtrema", "Quantity"), QT_TRANSLATE_NOOP("TExtrema", "Minimum"),
    QT_TRANSLATE_NOOP("TExtrema", "Maximum"), QT_TRANSLATE_NOOP("TExtrema", "Time min"),
    QT_TRANSLATE_NOOP("TExtrema", "Time max")};
constexpr const char* MIN_MARK = "- min";  // ends the description of a minimum

}  // namespace

TExtrema::TExtrema(TTR5& meter, QWidget* parent)
    : QWidget(parent, Qt::Window), Meter(meter) {
  setWindowTitle(tr("Extreme values"));
  setAttribute(Qt::WA_DeleteOnClose);

  TabControl1 = new QTabBar(this);
  for (const TExtremaTab& tab : TABS) TabControl1->addTab(tr(tab.Caption));
  TabControl1->setExpanding(false);

  StringGrid1 = new QTableWidget(0, COLUMN_COUNT, this);
  StringGrid1->verticalHeader()->hide();
  StringGrid1->verticalHeader()->setDefaultSectionSize(18);
  StringGrid1->verticalHeader()->setMinimumSectionSize(18);
  StringGrid1->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  // The designed widths, wider where the font needs it for the longest texts.
  const QFontMetrics metrics = StringGrid1->fontMetrics();
  int tableWidth = 0;
  for (int c = 0; c < COLUMN_COUNT; ++c) {
    const int needed = metrics.horizontalAdvance(QString::fromUtf8(COLUMN_SAMPLES[c])) + 12;
    StringGrid1->setColumnWidth(c, std::max(COLUMN_WIDTHS[c], needed));
    tableWidth += StringGrid1->columnWidth(c);
  }
  StringGrid1->setShowGrid(true);
  StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  StringGrid1->setSelectionMode(QAbstractItemView::SingleSelection);

  resize(std::max(552, tableWidth + 2 * StringGrid1->frameWidth() + 20), 290);

  CloseBtn = new QPushButton(tr("Close"), this);
  CloseBtn->setAutoDefault(false);
  connect(CloseBtn, &QPushButton::clicked, this, &QWidget::close);
  // Escape closes it, as it closes a dialog.
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  escape->setContext(Qt::WindowShortcut);
  connect(escape, &QShortcut::activated, this, &QWidget::close);

  auto* buttons = new QHBoxLayout;
  buttons->setContentsMargins(6, 6, 6, 6);
  buttons->addStretch(1);
  buttons->addWidget(CloseBtn);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(TabControl1);
  layout->addWidget(StringGrid1, 1);
  layout->addLayout(buttons);

  // Connected once the tabs exist, so that building them reads nothing.
  connect(TabControl1, &QTabBar::currentChanged, this, [this] { TabControl1Change(); });
  connect(StringGrid1, &QTableWidget::cellDoubleClicked, this, [this] { TabControl1Change(); });
}

int TExtrema::RowCount() const { return StringGrid1->rowCount() + 1; }

QString TExtrema::Cell(int column, int gridRow) const {
  if (column < 0 || column >= COLUMN_COUNT) return QString();
  if (gridRow == 0) {
    const QTableWidgetItem* header = StringGrid1->horizontalHeaderItem(column);
    return header ? header->text() : QString();
  }
  const QTableWidgetItem* item = StringGrid1->item(gridRow - 1, column);
  return item ? item->text() : QString();
}

void TExtrema::SetCell(int column, int gridRow, const QString& text) {
  const int row = gridRow - 1;
  if (row < 0 || row >= StringGrid1->rowCount() || column < 0 || column >= COLUMN_COUNT) return;
  QTableWidgetItem* item = StringGrid1->item(row, column);
  if (!item) {
    item = new QTableWidgetItem;
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    StringGrid1->setItem(row, column, item);
  }
  item->setText(text);
}

void TExtrema::FillPairs(int first, int count, int column) {
  std::string text;
  int row = 1;
  for (int item = 1; item <= count; ++item) {
    Meter.FormatValueWithUnit(first + item, text, nullptr);
    if (item % 2) {
      SetCell(column, row, QString::fromStdString(text));
    } else {
      SetCell(column + 1, row, QString::fromStdString(text));
      ++row;
    }
  }
}

void TExtrema::TabControl1Change() {
  QStringList header;
  for (const char* caption : HEADER) header << tr(caption);
  StringGrid1->setHorizontalHeaderLabels(header);

  const int index = TabControl1->currentIndex();
  if (index < 0 || index >= TAB_COUNT) return;
  const TExtremaTab& tab = TABS[index];
  TTR5& meter = Meter;

  // Nothing of the previous tab or read may remain in any cell.
  StringGrid1->clearContents();
  StringGrid1->setRowCount(tab.Count / 2);

  // Row labels come from the tables, whatever the link: the description of
  // each minimum without its "- min".
  std::string text;
  int row = 1;
  for (int item = tab.ValueGroup + 1; item < tab.ValueGroup + tab.Count; item += 2, ++row) {
    if (meter.GetCatalogText(item, text) != CATALOG_PARAMETER) break;
    const size_t mark = text.find(MIN_MARK);
    if (mark != std::string::npos) text.resize(mark);
    SetCell(0, row, TranslatedMeterText(text));
    for (int column = 1; column < COLUMN_COUNT; ++column) SetCell(column, row, QString());
  }

  // One group read for the values, and on a VR5 one for their times; each
  // holds the GUI thread for one transaction.
  TWaitCursor wait;
  meter.FormatValueWithUnit(tab.ValueGroup, text, nullptr);
  FillPairs(tab.ValueGroup, tab.Count, 1);
  const bool times = meter.Kind == MT_VR5;
  if (times) {
    meter.FormatValueWithUnit(tab.TimeGroup, text, nullptr);
    FillPairs(tab.TimeGroup, tab.Count, 3);
  }

  Shown = {{"quantity", "minimum", "maximum", "time of minimum", "time of maximum", "unit"}};
  row = 1;
  for (int item = 1; item < tab.Count; item += 2, ++row) {
    const TParamDef* low = FindParamDef(tab.ValueGroup + item);
    const TParamDef* high = FindParamDef(tab.ValueGroup + item + 1);
    if (!low || !high || meter.LinkState != 1) break;
    const TParamDef* lowTime = times ? FindParamDef(tab.TimeGroup + item) : nullptr;
    const TParamDef* highTime = times ? FindParamDef(tab.TimeGroup + item + 1) : nullptr;
    Shown.push_back({Cell(0, row).toStdString(), CsvNumber(low->LastValue), CsvNumber(high->LastValue),
                     lowTime ? MeterTimeIso(lowTime->LastValue) : "", highTime ? MeterTimeIso(highTime->LastValue) : "",
                     low->Unit});
  }
}

void TExtrema::FormShow() { TabControl1Change(); }

void TExtrema::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // Read when the program shows the window, not when the system restores it.
  if (!event->spontaneous()) FormShow();
}

QWidget* MakeExtremeWindow(const TViewContext& context) { return new TExtrema(context.Meter, context.Owner); }
