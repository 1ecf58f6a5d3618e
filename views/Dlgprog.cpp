#include "views/Dlgprog.h"

#include <QApplication>
#include <QComboBox>
#include <QFontMetrics>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QStyledItemDelegate>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "model/TR5.h"
#include "model/Zmienna.h"
#include "views/MeterTexts.h"
#include "views/MeterView.h"
#include "views/QtText.h"
#include "views/WaitCursor.h"

namespace {

// A selector is group * 100 + item; item 0 is the group itself.
constexpr int SELECTORS_PER_GROUP = 100;
// Bounds the walk over a catalogue that never reports its end.
constexpr int MAX_GROUPS = 1000;

// Room between the longest description and the value column, in pixels.
constexpr int VALUE_COLUMN_GAP = 16;
// What the value column allows for a value: a signed number of this width.
const char* const WIDEST_VALUE = "-20000.000";

QString FromMeter(const std::string& text) { return QString::fromUtf8(text.data(), qsizetype(text.size())); }

// Reads one of the meter's fixed-width text fields, however it ends.
template <int Size, class Getter>
QString MeterText(Getter get) {
  char buffer[Size] = {};
  get(buffer, Size);
  return QtFieldText(buffer);
}

// Draws a parameter line "description\tvalue  unit" in two columns: the
// value starts at the dialog's value column, so the values of all lines stand
// one under the other however long the descriptions are.
class TValueColumnDelegate : public QStyledItemDelegate {
public:
  TValueColumnDelegate(const TDialogProgram& dialog, QObject* parent)
      : QStyledItemDelegate(parent), Dialog(dialog) {}

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

    const qsizetype tab = text.indexOf(QLatin1Char('\t'));
    const int column = Dialog.ValueColumn();
    painter->save();
    painter->setFont(item.font);
    painter->setPen(item.palette.color(group, role));
    const int align = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine;
    painter->drawText(area.adjusted(0, 0, -(area.width() - std::min(area.width(), column)), 0), align,
                      text.left(tab));
    if (tab >= 0) painter->drawText(area.adjusted(column, 0, 0, 0), align, text.mid(tab + 1));
    painter->restore();
  }

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    const QString text = index.data(Qt::DisplayRole).toString();
    const qsizetype tab = text.indexOf(QLatin1Char('\t'));
    if (tab < 0) return size;
    const int width =
        Dialog.ValueColumn() + QFontMetrics(option.font).horizontalAdvance(text.mid(tab + 1)) + 8;
    size.setWidth(std::max(size.width(), width));
    return size;
  }

private:
  const TDialogProgram& Dialog;
};

}  // namespace

TDialogProgram::TDialogProgram(QWidget* parent) : QDialog(parent) {
  setWindowTitle(tr("Parameter programming"));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
  setSizeGripEnabled(true);

  Bevel1 = new QFrame(this);
  Bevel1->setFrameShape(QFrame::Box);
  Bevel1->setFrameShadow(QFrame::Sunken);

  Label1 = new QLabel(tr("Menu"), Bevel1);
  ComboBox3 = new QComboBox(Bevel1);
  ComboBox3->setMaxVisibleItems(12);
  ComboBox3->setMinimumWidth(315);
  ComboBox3->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);

  Label2 = new QLabel(tr("Parameter/Value"), Bevel1);
  ListBox2 = new QListWidget(Bevel1);
  ListBox2->setSelectionMode(QAbstractItemView::SingleSelection);
  ListBox2->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  ListBox2->setItemDelegate(new TValueColumnDelegate(*this, ListBox2));
  ListBox2->setMinimumSize(348, 151);

  Label5 = new QLabel(tr("Value"), Bevel1);
  ComboBox1 = new QComboBox(Bevel1);
  ComboBox1->setEditable(true);
  // The field takes a value to write; what is typed never becomes an item.
  ComboBox1->setInsertPolicy(QComboBox::NoInsert);
  ComboBox1->lineEdit()->installEventFilter(this);
  ComboBox1->setMinimumWidth(185);

  Button1 = new QPushButton(tr("Use"), Bevel1);
  Button1->setAutoDefault(false);
  Button1->setMinimumWidth(75);
  OKBtn = new QPushButton(tr("Close"), Bevel1);
  OKBtn->setDefault(true);
  OKBtn->setMinimumWidth(75);

  Label3 = new QLabel(Bevel1);
  Label3->setMinimumSize(349, std::max(17, Label3->fontMetrics().height()));

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
    FormShow();
    if (QScreen* screen = this->screen()) move(screen->availableGeometry().center() - rect().center());
  }
  QDialog::showEvent(event);
}

void TDialogProgram::FitToModel() {
  // The widest description and unit of every parameter of the model, not
  // only of the first menu: the dialog keeps its size from menu to menu.
  const QFontMetrics metrics(ListBox2->font());
  int description = 0;
  int unit = 0;
  std::string text;
  for (int group = 0; Program && group < MAX_GROUPS; ++group) {
    const int menu = group * SELECTORS_PER_GROUP;
    const int found = Program->GetCatalogText(menu, text);
    if (found == CATALOG_END) break;
    if (found != CATALOG_MENU) continue;
    for (int item = 1; item < SELECTORS_PER_GROUP; ++item) {
      const int kind = Program->GetCatalogText(menu + item, text);
      if (kind == CATALOG_END || kind == CATALOG_MENU || kind == CATALOG_OTHER_MODEL) break;
      if (kind != CATALOG_PARAMETER) continue;
      description = std::max(description, metrics.horizontalAdvance(TranslatedMeterText(text)));
      if (const TParamDef* def = FindParamDef(menu + item))
        unit = std::max(unit, metrics.horizontalAdvance(FromMeter(def->Unit)));
    }
  }
  Column = description + VALUE_COLUMN_GAP;
  const int value =
      metrics.horizontalAdvance(QString::fromLatin1(WIDEST_VALUE) + QStringLiteral("  ")) + unit;

  // The list shows a whole line without scrolling sideways: its frame, the
  // item's margins and the vertical scroll bar come on top of the text.
  const int margins = 2 * ListBox2->frameWidth() + 2 * style()->pixelMetric(QStyle::PM_FocusFrameHMargin) +
                      12 + style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  ListBox2->setMinimumWidth(std::max(348, Column + value + margins));
  adjustSize();
}

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
  FitToModel();

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
    if (found == CATALOG_MENU) ComboBox3->addItem(TranslatedMeterText(title), selector);
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
  } else if (result == WRITE_OUT_OF_RANGE) {
    Label3->setText(RefusalReason(selector, text.constData()));
    return;
  }
  Label3->setText(TranslatedMeterText(message));
}

QString TDialogProgram::RefusalReason(int selector, const char* text) {
  // The meter object refuses both with "Out of range"; the user is told
  // which it was, and what the parameter accepts.
  float v = 0;
  if (std::sscanf(text, "%f", &v) != 1 || std::isnan(v)) return tr("Not a number");
  const TParamDef* def = FindParamDef(selector);
  if (!def) return tr("Out of range");
  QString reason =
      tr("Out of range: allowed %1 to %2")
          .arg(QString::asprintf("%g", double(def->Min)), QString::asprintf("%g", double(def->Max)));
  if (*def->Unit) reason += QLatin1Char(' ') + FromMeter(def->Unit);
  return reason;
}

QString TDialogProgram::ParameterLine(int selector, const std::string& description) {
  std::string value, unit;
  Program->ReadOrFormatValue(selector, value, &unit);
  return TranslatedMeterText(description) + QLatin1Char('\t') + FromMeter(value) + QStringLiteral("  ") +
         FromMeter(unit);
}

void RunProgrammingDialog(const TViewContext& context) {
  TDialogProgram dialog(context.Owner);
  dialog.Meter = &context.Meter;
  dialog.exec();
}
