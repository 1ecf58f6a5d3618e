#include "app/ScanDialog.h"

#include <algorithm>
#include <iterator>

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

#include "comm/Trans.h"
#include "model/ParamDef.h"

namespace {

enum Column { COL_ADD, COL_ADDRESS, COL_MODEL, COL_SETTINGS, COLUMN_COUNT };

QString Text(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

TScanDialog::TScanDialog(TModbusPort* port, QWidget* parent) : QDialog(parent), Port(port) {
  setWindowTitle(tr("Find meters"));
  setObjectName(QStringLiteral("ScanDialog"));

  FromBox = new QSpinBox(this);
  ToBox = new QSpinBox(this);
  for (QSpinBox* box : {FromBox, ToBox}) box->setRange(1, 247);
  FromBox->setValue(1);
  ToBox->setValue(247);
  AllSettingsBox = new QCheckBox(tr("Try every baud rate and mode"), this);
  EstimateLabel = new QLabel(this);
  StartButton = new QPushButton(tr("Start"), this);
  CancelButton = new QPushButton(tr("Cancel"), this);
  CancelButton->setEnabled(false);
  Progress = new QProgressBar(this);
  Progress->setRange(0, 1);
  Progress->setValue(0);
  StatusLabel = new QLabel(this);
  StatusLabel->setWordWrap(true);

  FindList = new QTableWidget(0, COLUMN_COUNT, this);
  FindList->setHorizontalHeaderLabels({tr("Add"), tr("Address"), tr("Model"), tr("Settings")});
  FindList->verticalHeader()->hide();
  FindList->setEditTriggers(QAbstractItemView::NoEditTriggers);
  FindList->setSelectionMode(QAbstractItemView::NoSelection);
  FindList->horizontalHeader()->setStretchLastSection(true);
  FindList->setColumnWidth(COL_ADD, 40);
  FindList->setColumnWidth(COL_ADDRESS, 60);
  FindList->setColumnWidth(COL_MODEL, 150);

  AddButton = new QPushButton(tr("Add to device list"), this);
  AddButton->setEnabled(false);
  CloseButton = new QPushButton(tr("Close"), this);
  for (QPushButton* b : {StartButton, CancelButton, AddButton, CloseButton}) b->setAutoDefault(false);

  auto* range = new QHBoxLayout;
  range->addWidget(new QLabel(tr("Addresses"), this));
  range->addWidget(FromBox);
  range->addWidget(new QLabel(tr("to"), this));
  range->addWidget(ToBox);
  range->addStretch(1);
  range->addWidget(StartButton);
  range->addWidget(CancelButton);
  auto* bottom = new QHBoxLayout;
  bottom->addStretch(1);
  bottom->addWidget(AddButton);
  bottom->addWidget(CloseButton);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(range);
  layout->addWidget(AllSettingsBox);
  layout->addWidget(EstimateLabel);
  layout->addWidget(Progress);
  layout->addWidget(StatusLabel);
  layout->addWidget(FindList, 1);
  layout->addLayout(bottom);
  resize(520, 380);

  connect(StartButton, &QPushButton::clicked, this, &TScanDialog::StartClick);
  connect(CancelButton, &QPushButton::clicked, this, &TScanDialog::CancelClick);
  connect(AddButton, &QPushButton::clicked, this, &TScanDialog::AddClick);
  connect(CloseButton, &QPushButton::clicked, this, &QDialog::reject);
  connect(FromBox, &QSpinBox::valueChanged, this, &TScanDialog::UpdateEstimate);
  connect(ToBox, &QSpinBox::valueChanged, this, &TScanDialog::UpdateEstimate);
  connect(AllSettingsBox, &QCheckBox::toggled, this, &TScanDialog::UpdateEstimate);

  const bool open = Port && Port->PortIndex >= 0;
  StartButton->setEnabled(open);
  if (!open) StatusLabel->setText(tr("The port is not open: choose one under COM setting."));
  UpdateEstimate();
}

TScanDialog::~TScanDialog() { StopWorker(); }

void TScanDialog::StopWorker() {
  if (!Worker.joinable()) return;
  Scan->Cancel();
  Worker.join();  // the transaction on the line ends by its short time-out
  ReleasePort();
}

void TScanDialog::ReleasePort() {
  if (!PortTaken) return;
  PortTaken = false;
  emit ScanRunning(false);
}

void TScanDialog::done(int result) {
  StopWorker();
  QDialog::done(result);
}

void TScanDialog::UpdateEstimate() {
  if (!Port) return;
  TBusScan scan(*Port);
  scan.From = FromBox->value();
  scan.To = ToBox->value();
  scan.ProbeMarginMs = ProbeMarginMs;
  scan.LatencyMs = LatencyMs;
  if (AllSettingsBox->isChecked()) scan.Settings = AllLineSettings();
  const bool ok = scan.From <= scan.To;
  StartButton->setEnabled(ok && !Running() && Port->PortIndex >= 0);
  if (!ok) {
    EstimateLabel->setText(tr("The first address must not be above the last."));
    return;
  }
  QString text = tr("This takes about %1").arg(Text(DurationText(scan.EstimateMs())));
  if (AllSettingsBox->isChecked())
    text += tr(" (%1 line settings)").arg(scan.Settings.size());
  else
    text += tr(" at %1").arg(Text(LineSettingText({Port->BaudIndex, Port->Mode})));
  EstimateLabel->setText(text + QLatin1Char('.'));
}

void TScanDialog::StartClick() {
  if (!Port || Running() || FromBox->value() > ToBox->value()) return;
  Scan = std::make_unique<TBusScan>(*Port);
  Scan->From = FromBox->value();
  Scan->To = ToBox->value();
  Scan->ProbeMarginMs = ProbeMarginMs;
  Scan->LatencyMs = LatencyMs;
  if (AllSettingsBox->isChecked()) Scan->Settings = AllLineSettings();
  // The scan's thread reports through queued calls; they are dropped once
  // this dialog is gone.
  Scan->OnProgress = [this](const TScanProgress& p) {
    QMetaObject::invokeMethod(this, [this, p] { ShowProgress(p); }, Qt::QueuedConnection);
  };
  Scan->OnFind = [this](const TScanFind& f) {
    QMetaObject::invokeMethod(this, [this, f] { ShowFind(f); }, Qt::QueuedConnection);
  };

  Finds.clear();
  FindList->setRowCount(0);
  Progress->setRange(0, 1);
  Progress->setValue(0);
  StatusLabel->setText(tr("Scanning..."));
  for (QWidget* w : std::initializer_list<QWidget*>{StartButton, FromBox, ToBox, AllSettingsBox, AddButton})
    w->setEnabled(false);
  CancelButton->setEnabled(true);

  PortTaken = true;
  emit ScanRunning(true);
  TBusScan* scan = Scan.get();
  Worker = std::thread([this, scan] {
    const TScanResult result = scan->Run();
    QMetaObject::invokeMethod(this, [this, result] { Finish(result); }, Qt::QueuedConnection);
  });
}

void TScanDialog::CancelClick() {
  if (!Running()) return;
  Scan->Cancel();
  // The list is final from here on; the thread ends with the transaction on
  // the line and then hands the port back.
  CancelButton->setEnabled(false);
  StatusLabel->setText(tr("Scan cancelled: %1 found.").arg(Finds.size()));
}

void TScanDialog::ShowProgress(const TScanProgress& p) {
  if (!Scan || Scan->Cancelled()) return;
  Progress->setRange(0, std::max(p.Total, 1));
  Progress->setValue(p.Done);
  StatusLabel->setText(tr("Address %1 at %2%3: %4 found")
                           .arg(p.Address)
                           .arg(Text(LineSettingText(p.Setting)))
                           .arg(p.Second ? tr(", second try") : QString())
                           .arg(Finds.size()));
}

void TScanDialog::ShowFind(const TScanFind& f) {
  if (!Scan || Scan->Cancelled()) return;
  // Listed by address: a meter found by its second probe goes in front of
  // the later ones found at once.
  size_t at = Finds.size();
  while (at > 0 && Finds[at - 1].Setting == f.Setting && Finds[at - 1].Address > f.Address) --at;
  Finds.insert(Finds.begin() + static_cast<long>(at), f);
  const int row = static_cast<int>(at);
  FindList->insertRow(row);
  auto* add = new QTableWidgetItem;
  add->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
  add->setCheckState(f.MeterType() ? Qt::Checked : Qt::Unchecked);
  FindList->setItem(row, COL_ADD, add);
  FindList->setItem(row, COL_ADDRESS, new QTableWidgetItem(QString::number(f.Address)));
  FindList->setItem(row, COL_SETTINGS, new QTableWidgetItem(Text(LineSettingText(f.Setting))));
  if (f.MeterType()) {
    FindList->setItem(row, COL_MODEL, new QTableWidgetItem(QString::fromLatin1(ModelName(f.MeterType()))));
    return;
  }
  // Not named for sure: the user picks the model; the first entry says what
  // the scan knows and adds nothing.
  auto* model = new QComboBox(FindList);
  QString first = Text(f.ModelText());
  if (!f.Detail.empty()) first += QStringLiteral(" (%1)").arg(Text(f.Detail));
  model->addItem(first, 0);
  for (int type : f.Candidates.empty() ? std::vector<int>(std::begin(METER_TYPES), std::end(METER_TYPES)) : f.Candidates)
    model->addItem(QString::fromLatin1(ModelName(type)), type);
  model->setToolTip(first);
  connect(model, &QComboBox::currentIndexChanged, this, [add, model](int) {
    if (model->currentData().toInt() != 0) add->setCheckState(Qt::Checked);
  });
  FindList->setCellWidget(row, COL_MODEL, model);
}

void TScanDialog::Finish(const TScanResult& result) {
  if (Worker.joinable()) Worker.join();
  if (Scan) LatencyMs = Scan->LatencyMs;
  ReleasePort();
  CancelButton->setEnabled(false);
  for (QWidget* w : std::initializer_list<QWidget*>{FromBox, ToBox, AllSettingsBox}) w->setEnabled(true);
  UpdateEstimate();
  AddButton->setEnabled(!Finds.empty());
  if (result.PortClosed) {
    StatusLabel->setText(tr("The port is not open: choose one under COM setting."));
  } else if (!result.Cancelled) {
    Progress->setValue(Progress->maximum());
    StatusLabel->setText(Finds.empty() ? tr("No meter answered.")
                                       : tr("Scan done: %1 found.").arg(Finds.size()));
  }
  emit ScanDone();
}

void TScanDialog::AddClick() {
  std::vector<TChosen> chosen;
  for (int row = 0; row < FindList->rowCount() && row < static_cast<int>(Finds.size()); ++row) {
    if (FindList->item(row, COL_ADD)->checkState() != Qt::Checked) continue;
    const TScanFind& f = Finds[static_cast<size_t>(row)];
    int type = f.MeterType();
    if (auto* model = qobject_cast<QComboBox*>(FindList->cellWidget(row, COL_MODEL))) type = model->currentData().toInt();
    if (type == 0) {
      StatusLabel->setText(tr("Choose the model of the meter at address %1.").arg(f.Address));
      return;
    }
    chosen.push_back({type, f.Address, f.Setting});
  }
  ChosenList = std::move(chosen);
  accept();
}
