#include "app/Konfig.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVBoxLayout>
#include <functional>
#include <utility>

#include "app/ScanDialog.h"
#include "comm/Trans.h"
#include "model/ParamDef.h"
#include "settings/Settings.h"

int MeterTypeOfModel(const QString& model) { return ModelType(model.toLatin1().constData()); }

namespace {

// The grid's delegate, which reports every text typed into a cell, also one
// that leaves the cell as it was.
class TCommitDelegate : public QStyledItemDelegate {
public:
  TCommitDelegate(std::function<void(const QModelIndex&, const QString&)> committed, QObject* parent)
      : QStyledItemDelegate(parent), Committed(std::move(committed)) {}
  void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override {
    const auto* line = qobject_cast<QLineEdit*>(editor);
    const QString typed = line ? line->text() : QString();
    QStyledItemDelegate::setModelData(editor, model, index);
    Committed(index, typed);
  }

private:
  std::function<void(const QModelIndex&, const QString&)> Committed;
};

}  // namespace

TDialogKonfig::TDialogKonfig(std::vector<std::string>* deviceLines, QWidget* parent)
    : QDialog(parent), DeviceLines(deviceLines) {
  setWindowTitle(tr("Device List"));
  setObjectName(QStringLiteral("DialogKonfig"));

  ComboBox1 = new QComboBox(this);
  ComboBox1->addItems({"TR5", "TR5B", "VR5", "VR5B", "TR8"});
  ComboBox1->setMinimumWidth(101);
  Button1 = new QPushButton(tr("Add"), this);
  Button2 = new QPushButton(tr("Delete"), this);
  OKBtn = new QPushButton(tr("OK"), this);
  FindBtn = new QPushButton(tr("Find meters\u2026"), this);
  for (auto* b : {Button1, Button2, FindBtn}) b->setAutoDefault(false);
  OKBtn->setDefault(true);

  StringGrid1 = new QTableWidget(1, 3, this);
  StringGrid1->verticalHeader()->hide();
  StringGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
  StringGrid1->setSelectionBehavior(QAbstractItemView::SelectItems);
  StringGrid1->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                               QAbstractItemView::AnyKeyPressed);
  StringGrid1->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  StringGrid1->horizontalHeader()->setStretchLastSection(true);
  StringGrid1->setColumnWidth(0, 61);
  StringGrid1->setColumnWidth(1, 57);
  StringGrid1->setColumnWidth(2, 247);
  StringGrid1->verticalHeader()->setDefaultSectionSize(qMax(18, fontMetrics().height() + 6));
  StringGrid1->setShowGrid(true);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(ComboBox1);
  buttons->addWidget(Button1);
  buttons->addWidget(Button2);
  buttons->addStretch(1);
  buttons->addWidget(FindBtn);
  buttons->addWidget(OKBtn);
  Message = new QLabel(this);
  Message->setStyleSheet(QStringLiteral("color: #b00000"));
  Message->setWordWrap(true);
  Message->hide();

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 10, 6, 5);
  layout->addLayout(buttons);
  layout->addWidget(StringGrid1, 1);
  layout->addWidget(Message);
  resize(400, 224);

  connect(Button1, &QPushButton::clicked, this, &TDialogKonfig::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &TDialogKonfig::Button2Click);
  connect(FindBtn, &QPushButton::clicked, this, &TDialogKonfig::FindBtnClick);
  connect(OKBtn, &QPushButton::clicked, this, [this] {
    OKBtnClick();
    accept();
  });
  connect(StringGrid1, &QTableWidget::itemChanged, this, &TDialogKonfig::AddressEdited);
  // An address typed again as it stands changes no item, but corrects the
  // row all the same: the error goes.
  StringGrid1->setItemDelegate(new TCommitDelegate(
      [this](const QModelIndex& index, const QString& typed) {
        int address = 0;
        if (index.column() == 1 && ParseWholeNumber(typed.toStdString(), address) && IsSlaveAddress(address))
          Message->hide();
      },
      StringGrid1));
  connect(StringGrid1, &QTableWidget::currentCellChanged, this,
          [this](int row, int column, int, int) {
            if (row >= 0) StringGrid1SelectCell(row + 1, column);
          });
}

void TDialogKonfig::showEvent(QShowEvent* event) {
  if (!Shown) {
    Shown = true;
    FormShow();
  }
  QDialog::showEvent(event);
}

int TDialogKonfig::GridRowCount() const { return StringGrid1->rowCount() + 1; }

int TDialogKonfig::CurrentGridRow() const {
  const int row = StringGrid1->currentRow();
  return row < 0 ? 1 : row + 1;
}

QString TDialogKonfig::Cell(int column, int gridRow) const {
  const QTableWidgetItem* item = StringGrid1->item(gridRow - 1, column);
  return item ? item->text() : QString();
}

void TDialogKonfig::AppendRow(const QString& type, const QString& address,
                              const QString& description) {
  const int row = StringGrid1->rowCount();
  StringGrid1->insertRow(row);
  // The model of a row is fixed once the row exists.
  auto* typeItem = new QTableWidgetItem(type);
  typeItem->setFlags(Qt::ItemIsEnabled);
  StringGrid1->setItem(row, 0, typeItem);
  auto* addressItem = new QTableWidgetItem(address);
  addressItem->setData(Qt::UserRole, address);  // what a refused edit goes back to
  Reverting = true;  // the rows as given, not an edit
  StringGrid1->setItem(row, 1, addressItem);
  StringGrid1->setItem(row, 2, new QTableWidgetItem(description));
  Reverting = false;
  StringGrid1->setRowHidden(0, true);
}

void TDialogKonfig::FormShow() {
  StringGrid1->setHorizontalHeaderLabels({tr("Type"), tr("Address"), tr("Description")});
  StringGrid1->setRowHidden(0, true);
  ComboBox1->setCurrentIndex(0);
  FindBtn->setEnabled(ScanPort != nullptr);
  if (DeviceLines) {
    const std::size_t count = DeviceLines->size();
    for (std::size_t i = 0; i < count; ++i) {
      const std::string value = GetText(*DeviceLines, "Dev" + std::to_string(i));
      if (value.empty()) continue;
      const QStringList pieces = QString::fromStdString(value).split(QLatin1Char(','));
      AppendRow(pieces.value(0), pieces.value(1), pieces.value(2));
    }
  }
  StringGrid1->setRowHidden(0, true);
  // No device row is current when the dialog opens.
  StringGrid1->setCurrentCell(SelectedRow - 1, 1, QItemSelectionModel::NoUpdate);
  StringGrid1->clearSelection();
}

void TDialogKonfig::Button1Click() {
  AppendRow(ComboBox1->currentText(), QStringLiteral("1"), QString());
}

// Only a slave address (1 to 247) is taken into an Address cell; anything else
// is refused with the reason and the cell keeps what it had.
void TDialogKonfig::AddressEdited(QTableWidgetItem* item) {
  if (Reverting || !item || item->column() != 1) return;
  const QString text = item->text();
  int address = 0;
  if (ParseWholeNumber(text.toStdString(), address) && IsSlaveAddress(address)) {
    item->setData(Qt::UserRole, text);
    Message->hide();
    return;
  }
  Reverting = true;
  item->setText(item->data(Qt::UserRole).toString());
  Reverting = false;
  Message->setText(tr("\"%1\" is not a slave address: enter a whole number from 1 to 247.").arg(text));
  Message->show();
}

void TDialogKonfig::Button2Click() {
  const int gridRow = CurrentGridRow();
  if (gridRow < 2) return;
  StringGrid1->removeRow(gridRow - 1);
  StringGrid1->setRowHidden(0, true);
}

void TDialogKonfig::StringGrid1SelectCell(int gridRow, int column) {
  // Type cells cannot be selected: the Address cell of the row takes over.
  if (column == 0 && gridRow >= 1) StringGrid1->setCurrentCell(gridRow - 1, 1);
}

void TDialogKonfig::CommitPendingEdit() {
  // Moving the current cell away and back makes the grid commit an open
  // editor, so text still being typed when OK is pressed counts.
  const int row = StringGrid1->currentRow();
  const int column = StringGrid1->currentColumn();
  if (row < 1) return;  // no device row, so no editor
  StringGrid1->setCurrentCell(0, 1, QItemSelectionModel::NoUpdate);  // the hidden row
  StringGrid1->setCurrentCell(row, column);
}

void TDialogKonfig::OKBtnClick() {
  CommitPendingEdit();
  if (!DeviceLines) return;
  DeviceLines->clear();
  for (int r = 2; r < GridRowCount(); ++r) {
    QString line = QStringLiteral("Dev%1=").arg(r - 2);
    for (int column = 0; column < 3; ++column) line += Cell(column, r) + QLatin1Char(',');
    DeviceLines->push_back(line.toStdString());
  }
  const int r = CurrentGridRow();
  if (r < 2) return;
  // A row whose address is no slave address (written so into the file by
  // hand) is never chosen: the current meter stays.
  int address = 0;
  if (!ParseWholeNumber(Cell(1, r).toStdString(), address) || !IsSlaveAddress(address)) return;
  DeviceName = Cell(0, r) + QLatin1Char('_') + Cell(1, r);
  DeviceDescription = Cell(2, r);
  DeviceType = MeterTypeOfModel(Cell(0, r));
  DeviceAddress = address;
  SelectedRow = r;
}

void TDialogKonfig::FindBtnClick() {
  if (!ScanPort) return;
  TScanDialog scan(ScanPort, this);
  connect(&scan, &TScanDialog::ScanRunning, this, &TDialogKonfig::ScanRunning);
  if (scan.exec() != QDialog::Accepted) return;
  // What the message said was about the rows before the scan.
  Message->hide();
  const TLineSetting own{ScanPort->BaudIndex, ScanPort->Mode};
  QStringList already;
  for (const TScanDialog::TChosen& c : scan.Chosen()) {
    const QString type = QString::fromLatin1(ModelName(c.MeterType));
    const QString address = QString::number(c.Address);
    bool listed = false;
    for (int r = 2; r < GridRowCount() && !listed; ++r) listed = Cell(0, r) == type && Cell(1, r) == address;
    if (listed) {
      already << tr("%1 at address %2").arg(type, address);
      continue;
    }
    // A meter found at other line settings says so in its description (no
    // comma: the list's entries are split at commas).
    QString description;
    if (!(c.Setting == own))
      description = QString::fromStdString("found at " + LineSettingText(c.Setting)).remove(QLatin1Char(','));
    AppendRow(type, address, description);
  }
  if (!already.isEmpty()) {
    Message->setText(tr("Already in the list: %1.").arg(already.join(QStringLiteral(", "))));
    Message->show();
  }
}
