#include "views/Dlgprog.h"

#include <QApplication>
#include <QComboBox>
#include <QFontMetricsF>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QStyledItemDelegate>
#include <QTextOption>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "model/TR5.h"
#include "model/Zmienna.h"
#include "views/MeterView.h"
#include "views/QtText.h"
#include "views/WaitCursor.h"

namespace {

// A selector is group * 100 + item; item 0 is the group itself.
constexpr int SELECTORS_PER_GROUP = 100;
// Bounds the walk over a catalogue that never reports its end.
constexpr int MAX_GROUPS = 1000;

// The list's tab stops, 160 dialog units apart: a dialog unit is a quarter of
// the average width of the letters of the font.
constexpr qreal TAB_STOP_DIALOG_UNITS = 160;

qreal TabStopFor(const QFont& font) {
  static const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  const qreal averageWidth = QFontMetricsF(font).horizontalAdvance(letters) / letters.size();
  return std::max<qreal>(1, TAB_STOP_DIALOG_UNITS * averageWidth / 4);
}

QString FromMeter(const std::string& text) { return QString::fromUtf8(text.data(), qsizetype(text.size())); }

// Reads one of the meter's fixed-width text fields, however it ends.
template <int Size, class Getter>
QString MeterText(Getter get) {
  char buffer[Size] = {};
  get(buffer, Size);
  return QtFieldText(buffer);
}

// Draws the parameter lines with the list's tab stops, so the values start in
// one column, and reports the width that takes so the list can scroll sideways
// to a value behind a long description.
class TTabStopDelegate : public QStyledItemDelegate {
public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QStyleOptionViewItem item(option);
    initStyleOption(&item, index);
    const QString text = item.text;
    item.text.clear();
    const QWidget* widget = item.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &item, painter, widget);

    QRect area = style->subElementRect(QStyle::SE_ItemViewItemText, &item, widget);
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    area.adjust(margin, 0, -margin, 0);
    const QPalette::ColorGroup group = !(item.state & QStyle::State_Enabled) ? QPalette::Disabled
                                       : (item.state & QStyle::State_Active)  ? QPalette::Normal
                                                                              : QPalette::Inactive;
    const QPalette::ColorRole role =
        (item.state & QStyle::State_Selected) ? QPalette::HighlightedText : QPalette::Text;

    QTextOption layout(Qt::AlignLeft | Qt::AlignVCenter);
    layout.setWrapMode(QTextOption::NoWrap);
    layout.setTabStopDistance(TabStopFor(item.font));
    painter->save();
    painter->setFont(item.font);
    painter->setPen(item.palette.color(group, role));
    painter->drawText(QRectF(area), text, layout);
    painter->restore();
  }

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    const QString text = index.data(Qt::DisplayRole).toString();
    const qsizetype tab = text.indexOf(QLatin1Char('\t'));
    if (tab < 0) return size;
    const QFontMetricsF metrics(option.font);
    const qreal stop = TabStopFor(option.font);
    const qreal column = (std::floor(metrics.horizontalAdvance(text.left(tab)) / stop) + 1) * stop;
    const qreal width = column + metrics.horizontalAdvance(text.mid(tab + 1)) + 8;
    size.setWidth(std::max(size.width(), int(std::ceil(width))));
    return size;
  }
};

}  // namespace

TDialogProgram::TDialogProgram(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Parameter programming"));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);

  Bevel1 = new QFrame(this);
  Bevel1->setFrameShape(QFrame::Box);
  Bevel1->setFrameShadow(QFrame::Sunken);

  Label1 = new QLabel(QStringLiteral("Menu"), Bevel1);
  ComboBox3 = new QComboBox(Bevel1);
  ComboBox3->setMaxVisibleItems(12);
  ComboBox3->setMinimumWidth(315);
  ComboBox3->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);

  Label2 = new QLabel(QStringLiteral("Parameter/Value"), Bevel1);
  ListBox2 = new QListWidget(Bevel1);
  ListBox2->setSelectionMode(QAbstractItemView::SingleSelection);
  ListBox2->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  ListBox2->setItemDelegate(new TTabStopDelegate(ListBox2));
  ListBox2->setMinimumSize(348, 151);

  Label5 = new QLabel(QStringLiteral("Value"), Bevel1);
  ComboBox1 = new QComboBox(Bevel1);
  ComboBox1->setEditable(true);
  // The field takes a value to write; what is typed never becomes an item.
  ComboBox1->setInsertPolicy(QComboBox::NoInsert);
  ComboBox1->lineEdit()->installEventFilter(this);
  ComboBox1->setMinimumWidth(185);

  Button1 = new QPushButton(QStringLiteral("Use"), Bevel1);
  Button1->setAutoDefault(false);
  Button1->setMinimumWidth(75);
  OKBtn = new QPushButton(QStringLiteral("Close"), Bevel1);
  OKBtn->setDefault(true);
  OKBtn->setMinimumWidth(75);

  Label3 = new QLabel(Bevel1);
  Label3->setFixedSize(349, std::max(17, Label3->fontMetrics().height()));

  auto* menuRow = new QHBoxLayout;
  menuRow->addWidget(Label1);
  menuRow->addWidget(ComboBox3, 1);
  auto* valueRow = new QHBoxLayout;
  valueRow->addWidget(ComboBox1, 1);
  valueRow->addSpacing(4);
  valueRow->addWidget(Button1);
  valueRow->addWidget(OKBtn);

  auto* inner = new QVBoxLayout(Bevel1);
  inner->setContentsMargins(7, 7, 7, 7);
  inner->addLayout(menuRow);
  inner->addWidget(Label2);
  inner->addWidget(ListBox2, 1);
  inner->addWidget(Label5);
  inner->addLayout(valueRow);
  inner->addWidget(Label3);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(3, 3, 3, 3);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  layout->addWidget(Bevel1);

  connect(ComboBox3, &QComboBox::activated, this, &TDialogProgram::ComboBox3Click);
  // A line is chosen by the mouse (also the line already selected) or by the keys.
  connect(ListBox2, &QListWidget::itemClicked, this, &TDialogProgram::ListBox2Click);
  connect(ListBox2, &QListWidget::itemSelectionChanged, this, &TDialogProgram::ListBox2Click);
  connect(Button1, &QPushButton::clicked, this, &TDialogProgram::Button1Click);
  connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
}

bool TDialogProgram::eventFilter(QObject* watched, QEvent* event) {
  // Enter in the value field writes the value: a user who types a value and
  // presses Enter means "use it", and closing the dialog instead would leave
  // the meter unchanged without a word. Elsewhere Enter closes as usual.
  if (watched == ComboBox1->lineEdit() && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
        (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
      Button1Click();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TDialogProgram::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) {
    if (QScreen* screen = this->screen()) move(screen->availableGeometry().center() - rect().center());
    FormShow();
  }
  QDialog::showEvent(event);
}

qreal TDialogProgram::TabStop() const { return TabStopFor(ListBox2->font()); }

int TDialogProgram::SelectedLine() const {
  const QList<QListWidgetItem*> selected = ListBox2->selectedItems();
  return selected.isEmpty() ? -1 : ListBox2->row(selected.first());
}

void TDialogProgram::FormShow() {
  ComboBox1->clear();
  ComboBox1->clearEditText();
  Label3->clear();
  Program = Meter;
  if (!Program) return;

  const QString description =
      MeterText<TZmienna::DESCRIPTION_SIZE>([this](char* b, int n) { Program->GetDescription(b, n); });
  const QString name = MeterText<TZmienna::NAME_SIZE>([this](char* b, int n) { Program->GetName(b, n); });
  setWindowTitle(description + QLatin1Char(' ') + name);

  // Shown once more, the dialog starts afresh rather than listing every menu twice.
  ComboBox3->clear();
  ListBox2->clear();
  ComboBox2Change();
  if (ComboBox3->count() > 0) {
    ComboBox3->setCurrentIndex(0);
    ComboBox3Click();
  }
}

void TDialogProgram::ComboBox2Change() {
  if (!Program) return;
  std::string title;
  for (int group = 0; group < MAX_GROUPS; ++group) {
    const int selector = group * SELECTORS_PER_GROUP;
    const int found = Program->GetCatalogText(selector, title);
    if (found == CATALOG_END) break;
    if (found == CATALOG_MENU) ComboBox3->addItem(FromMeter(title), selector);
  }
}

void TDialogProgram::ComboBox3Click() {
  if (!Program) return;
  const int index = ComboBox3->currentIndex();
  if (index < 0) return;
  ListBox2->clear();
  ComboBox1->clear();
  ComboBox1->clearEditText();
  Label3->clear();

  bool valid = false;
  const int menu = ComboBox3->itemData(index, SelectorRole).toInt(&valid);
  if (!valid) return;

  TWaitCursor wait;
  std::string none;
  Program->ReadOrFormatValue(menu, none, nullptr);  // reads the whole group from the meter

  std::string description;
  for (int item = 1; item < SELECTORS_PER_GROUP; ++item) {
    const int selector = menu + item;
    const int found = Program->GetCatalogText(selector, description);
    if (found == CATALOG_PARAMETER) {
      auto* line = new QListWidgetItem(ParameterLine(selector, description));
      line->setData(SelectorRole, selector);
      ListBox2->addItem(line);
    } else if (found == CATALOG_END || found == CATALOG_MENU || found == CATALOG_OTHER_MODEL) {
      break;  // past the group's last parameter
    }
  }
}

void TDialogProgram::ListBox2Click() {
  if (!Program) return;
  const int row = SelectedLine();
  if (row < 0) return;
  const int selector = ListBox2->item(row)->data(SelectorRole).toInt();
  std::string value;
  Program->ReadOrFormatValue(selector, value, nullptr);
  ComboBox1->setEditText(FromMeter(value));
}

void TDialogProgram::Button1Click() {
  if (!Program) return;
  const int row = SelectedLine();
  if (row < 0) return;
  QListWidgetItem* line = ListBox2->item(row);
  const int selector = line->data(SelectorRole).toInt();
  const QByteArray text = ComboBox1->currentText().toUtf8();

  std::string message;
  int result;
  {
    TWaitCursor wait;
    result = Program->WriteParameter(selector, text.constData(), message);
  }
  if (result == WRITE_OK) {
    // The line shows the value the meter object now keeps; nothing is read again.
    std::string description;
    Program->GetCatalogText(selector, description);
    line->setText(ParameterLine(selector, description));
  }
  Label3->setText(FromMeter(message));
}

QString TDialogProgram::ParameterLine(int selector, const std::string& description) {
  std::string value, unit;
  Program->ReadOrFormatValue(selector, value, &unit);
  return FromMeter(description) + QLatin1Char('\t') + FromMeter(value) + QStringLiteral("  ") +
         FromMeter(unit);
}

void RunProgrammingDialog(const TViewContext& context) {
  TDialogProgram dialog(context.Owner);
  dialog.Meter = &context.Meter;
  dialog.exec();
}
