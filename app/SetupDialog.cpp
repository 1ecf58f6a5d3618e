#include "app/SetupDialog.h"

#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <ctime>

#include "model/LocalTime.h"
#include "model/TR5.h"
#include "settings/Settings.h"
#include "views/MeterTexts.h"
#include "views/WaitCursor.h"

namespace {

enum Column { SELECTOR, CODE, DESCRIPTION, FILE_VALUE, METER_VALUE, UNIT, RESULT, COLUMN_COUNT };

QString Text(const std::string& s) { return QString::fromStdString(s); }

void SetCell(QTableWidget* table, int row, int column, const QString& text) {
  auto* item = new QTableWidgetItem(text);
  item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
  table->setItem(row, column, item);
}

}  // namespace

bool SaveMeterSetup(TTR5& meter, const QString& path, QString& error, int* items) {
  TSetup setup;
  std::string why;
  {
    TWaitCursor wait;
    if (!ReadSetup(meter, setup, why)) {
      error = Text(why);
      return false;
    }
  }
  setup.Date = IsoLocalTime(std::time(nullptr));
  if (!WriteFileAtomically(path.toStdString(), FormatSetup(setup), why)) {
    error = Text(why);
    return false;
  }
  if (items) *items = static_cast<int>(setup.Items.size());
  return true;
}

TSetupDialog::TSetupDialog(TTR5& meter, TMode mode, const QString& path, QWidget* parent)
    : QDialog(parent), Meter(meter), Mode(mode) {
  setWindowTitle(mode == TMode::Compare ? tr("Compare with file") : tr("Restore from file"));
  Summary = new QLabel(this);
  Summary->setWordWrap(true);
  Table = new QTableWidget(0, COLUMN_COUNT, this);
  Table->setHorizontalHeaderLabels({tr("Item"), tr("Code"), tr("Description"), tr("File"), tr("Meter"),
                                    tr("Unit"), mode == TMode::Restore ? tr("Result") : tr("Limits")});
  Table->verticalHeader()->hide();
  Table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  Table->horizontalHeader()->setStretchLastSection(true);
  WriteBtn = new QPushButton(tr("Write"), this);
  WriteBtn->setVisible(mode == TMode::Restore);
  WriteBtn->setEnabled(false);
  CloseBtn = new QPushButton(mode == TMode::Restore ? tr("Cancel") : tr("Close"), this);
  CloseBtn->setDefault(true);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(WriteBtn);
  buttons->addWidget(CloseBtn);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Summary);
  layout->addWidget(Table, 1);
  layout->addLayout(buttons);
  resize(760, 420);

  connect(WriteBtn, &QPushButton::clicked, this, &TSetupDialog::WriteClick);
  connect(CloseBtn, &QPushButton::clicked, this, &QDialog::reject);
  Load(path);
}

void TSetupDialog::Load(const QString& path) {
  QFile in(path);
  if (!in.open(QIODevice::ReadOnly)) {
    Summary->setText(tr("Cannot read %1: %2.").arg(path, in.errorString()));
    return;
  }
  if (in.size() > (1 << 20)) {
    Summary->setText(tr("Cannot read %1: larger than a setup file can be (1 MB).").arg(path));
    return;
  }
  const QByteArray bytes = in.readAll();
  TSetup file, meter;
  std::string error;
  if (!ParseSetup(std::string_view(bytes.constData(), size_t(bytes.size())), file, error) ||
      !CheckSetupForMeter(file, Meter.Kind, error)) {
    Summary->setText(tr("%1 is refused, nothing is sent: %2").arg(path, Text(error)));
    return;
  }
  {
    TWaitCursor wait;
    if (!ReadSetup(Meter, meter, error)) {
      Summary->setText(tr("The meter's setup could not be read: %1").arg(Text(error)));
      return;
    }
  }
  Found = CompareSetup(file, meter);
  Table->setRowCount(int(Found.size()));
  for (int row = 0; row < int(Found.size()); ++row) {
    const TSetupDifference& d = Found[size_t(row)];
    SetCell(Table, row, SELECTOR, QString::number(d.Item.Selector));
    SetCell(Table, row, CODE, Text(d.Item.Code));
    SetCell(Table, row, DESCRIPTION, TranslatedMeterText(d.Item.Description));
    SetCell(Table, row, FILE_VALUE, Text(SetupValueText(d.Item.Value)));
    SetCell(Table, row, METER_VALUE, d.InMeter ? Text(SetupValueText(d.MeterValue)) : QString());
    SetCell(Table, row, UNIT, Text(d.Item.Unit));
    // A value outside its limits is shown, and marked; restore refuses it.
    SetCell(Table, row, RESULT, Text(OutsideLimits(d.Item.Selector, d.Item.Code, d.Item.Value)));
  }
  const QString name = QString::fromUtf8(Meter.Name);
  if (Found.empty()) {
    Summary->setText(tr("%1 holds the setup of the file: no item differs.").arg(name));
  } else if (Mode == TMode::Restore && !CheckRestore(Found, error)) {
    Summary->setText(tr("%1 is refused, nothing is sent: %2").arg(path, Text(error)));
  } else if (Mode == TMode::Restore) {
    Summary->setText(tr("%1 of %2 items of %3 differ from the file. Write the file's values?")
                         .arg(Found.size())
                         .arg(file.Items.size())
                         .arg(name));
    WriteBtn->setEnabled(true);
  } else {
    Summary->setText(
        tr("%1 of %2 items of %3 differ from the file.").arg(Found.size()).arg(file.Items.size()).arg(name));
  }
}

// What became of one item's write, in the window's language (DescribeRestore's words).
QString TSetupDialog::RestoreText(const TRestoreResult& r) {
  switch (r.Outcome) {
    case TRestoreOutcome::Written:
      return tr("written");
    case TRestoreOutcome::Refused:
      return tr("refused: %1").arg(TranslatedMeterText(r.Message));
    case TRestoreOutcome::NotConfirmed:
      break;
  }
  return tr("not confirmed: %1").arg(TranslatedMeterText(r.Message));
}

void TSetupDialog::WriteClick() {
  WriteBtn->setEnabled(false);
  std::vector<TRestoreResult> results;
  {
    TWaitCursor wait;
    results = RestoreSetup(Meter, Found);
  }
  int written = 0;
  for (int row = 0; row < int(results.size()); ++row) {
    const TRestoreResult& r = results[size_t(row)];
    SetCell(Table, row, RESULT, RestoreText(r));
    if (r.Outcome == TRestoreOutcome::Written) {
      ++written;
      const TParamDef* def = FindParamDef(r.Item.Selector);
      if (def) SetCell(Table, row, METER_VALUE, Text(SetupValueText(def->LastValue)));
    }
  }
  Summary->setText(tr("%1 of %2 items written.").arg(written).arg(results.size()));
  CloseBtn->setText(tr("Close"));
}
