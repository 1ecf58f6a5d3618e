#include "app/Dlgport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "comm/SerialDevice.h"
#include "comm/SerialDeviceTcp.h"
#include "comm/Trans.h"
#include "views/MeterTexts.h"

namespace {

void Select(QComboBox* box, int index) {
  box->setCurrentIndex(index >= 0 && index < box->count() ? index : -1);
}

}  // namespace

TDialogPort::TDialogPort(TModbusPort& port, QWidget* parent) : QDialog(parent), ModbusPort(port) {
  setWindowTitle(tr("Port settings"));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);

  Bevel1 = new QFrame(this);
  Bevel1->setFrameShape(QFrame::Box);
  Bevel1->setFrameShadow(QFrame::Sunken);

  Label1 = new QLabel(tr("Port:"), Bevel1);
  ComboBox1 = new QComboBox(Bevel1);
  for (int i = 0; i < 8; ++i) {
    ComboBox1->addItem(QStringLiteral("COM%1").arg(i + 1));
    ComboBox1->setItemData(i, DescribePort(i), Qt::ToolTipRole);
  }
  ComboBox1->setMinimumWidth(73);

  Label2 = new QLabel(tr("Baud rate:"), Bevel1);
  ComboBox2 = new QComboBox(Bevel1);
  ComboBox2->addItems({"300 bit/s", "600 bit/s", "1200 bit/s", "2400 bit/s", "4800 bit/s",
                       "9600 bit/s", "19.2 kbit/s"});
  ComboBox2->setMinimumWidth(89);

  Label4 = new QLabel(tr("Link type:"), Bevel1);
  ComboBox4 = new QComboBox(Bevel1);
  ComboBox4->addItems({tr("RS485 card"), tr("KX7 converter")});
  ComboBox4->setMinimumWidth(129);

  Label3 = new QLabel(tr("Settings:"), Bevel1);
  ComboBox3 = new QComboBox(Bevel1);
  ComboBox3->addItems({
      tr("1- ASCII 8N1 - 8 data bits, lack of parity, stop bit"),
      tr("2- ASCII 7E1 - 7 data bits, even parity, stop bit"),
      tr("3 - ASCII 7O1 - 7 data bits, odd parity, stop bit"),
      tr("4 - RTU 8N2 - 8 data bits, lack of parity, 2 stop bit"),
      tr("5 - RTU 8E1 - 8 data bits, even parity,stop bit"),
      tr("6 - RTU 8O1 - 8 data bits, odd parity, stop bit"),
      tr("7 - RTU 8N1 - 8 data bits, stop bit"),
  });
  ComboBox3->setMinimumWidth(297);

  NetworkBox = new QCheckBox(tr("Network serial server (TCP)"), Bevel1);
  HostLabel = new QLabel(tr("Host:"), Bevel1);
  HostEdit = new QLineEdit(Bevel1);
  HostEdit->setMaxLength(253);
  HostEdit->setPlaceholderText(tr("name or IP address"));
  TcpPortLabel = new QLabel(tr("TCP port:"), Bevel1);
  TcpPortEdit = new QSpinBox(Bevel1);
  TcpPortEdit->setRange(1, 65535);
  TcpPortEdit->setValue(4001);

  PortDevice = new QLabel(Bevel1);
  PortDevice->setTextInteractionFlags(Qt::TextSelectableByMouse);

  auto* grid = new QGridLayout(Bevel1);
  grid->addWidget(Label1, 0, 0);
  grid->addWidget(Label2, 0, 1);
  grid->addWidget(Label4, 0, 2);
  grid->addWidget(ComboBox1, 1, 0);
  grid->addWidget(ComboBox2, 1, 1);
  grid->addWidget(ComboBox4, 1, 2);
  grid->addWidget(Label3, 2, 0, 1, 3);
  grid->addWidget(ComboBox3, 3, 0, 1, 3);
  grid->addWidget(NetworkBox, 4, 0, 1, 3);
  grid->addWidget(HostLabel, 5, 0);
  grid->addWidget(TcpPortLabel, 5, 2);
  grid->addWidget(HostEdit, 6, 0, 1, 2);
  grid->addWidget(TcpPortEdit, 6, 2);
  grid->addWidget(PortDevice, 7, 0, 1, 3);

  OKBtn = new QPushButton(tr("OK"), this);
  OKBtn->setDefault(true);
  CancelBtn = new QPushButton(tr("Cancel"), this);
  CancelBtn->setAutoDefault(false);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(OKBtn);
  buttons->addWidget(CancelBtn);
  buttons->addStretch(1);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 8, 8, 8);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  layout->addWidget(Bevel1);
  layout->addLayout(buttons);

  connect(ComboBox1, &QComboBox::currentIndexChanged, this, &TDialogPort::ShowPortDevice);
  connect(NetworkBox, &QCheckBox::toggled, this, &TDialogPort::ShowNetworkChoice);
  ShowNetworkChoice();
  connect(OKBtn, &QPushButton::clicked, this, [this] {
    if (OKBtnClick()) accept();
  });
  connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
}

QString TDialogPort::DescribePort(int portIndex) {
  const QString name = QStringLiteral("COM%1").arg(portIndex + 1);
  const std::string device = ResolveSerialDeviceName(name.toStdString());
  if (device.empty()) return name + tr(": no such device on this computer");
  return name + QStringLiteral(" → ") + QString::fromStdString(device);
}

QString TDialogPort::OpenProblem(int portIndex) {
  const QString name = QStringLiteral("COM%1").arg(portIndex + 1);
  const std::string resolved = ResolveSerialDeviceName(name.toStdString());
  const QString device = QString::fromStdString(resolved);
  const QString port = device.isEmpty() ? name : QStringLiteral("%1 (%2)").arg(name, device);
  switch (LastSerialOpenError()) {
    case TSerialOpenError::NoPermission: {
      // Serial devices belong to the group dialout on Debian; name the
      // device's own group where it has another.
      QString group = device.isEmpty() ? QString() : QFileInfo(device).group();
      if (group.isEmpty() || group == QLatin1String("root")) group = QStringLiteral("dialout");
      const QString user = qEnvironmentVariable("USER", QStringLiteral("$USER"));
      return tr("No permission to open %1. Add your user to the group \"%2\" "
                "(sudo adduser %3 %2), then log out and log in again.")
          .arg(port, group, user);
    }
    case TSerialOpenError::InUse:
      return tr("%1 is in use by another program.").arg(port);
    default:
      return QString();
  }
}

void TDialogPort::ShowPortDevice() {
  if (NetworkBox->isChecked()) {
    // The server in use, or why the last attempt to reach it failed.
    const std::string& name = ModbusPort.NetworkName;
    if (name.empty()) PortDevice->clear();
    else if (ModbusPort.Handle)
      PortDevice->setText(QString::fromStdString(name) + tr(": connected"));
    else PortDevice->setText(QString::fromStdString(LastTcpError()));
    return;
  }
  const int index = ComboBox1->currentIndex();
  PortDevice->setText(index < 0 ? QString() : DescribePort(index));
}

void TDialogPort::ShowNetworkChoice() {
  const bool network = NetworkBox->isChecked();
  ComboBox1->setEnabled(!network);
  ComboBox4->setEnabled(!network);
  HostEdit->setEnabled(network);
  TcpPortEdit->setEnabled(network);
  ShowPortDevice();
}

void TDialogPort::showEvent(QShowEvent* event) {
  if (!Shown) {
    Shown = true;
    FormShow();
  }
  QDialog::showEvent(event);
}

void TDialogPort::FormShow() {
  int port, baud, mode, link, ioBase;
  ModbusPort.GetSettings(port, baud, mode, link, ioBase);
  Select(ComboBox1, port);
  Select(ComboBox2, baud);
  Select(ComboBox3, mode);
  Select(ComboBox4, link);
  TTcpAddress address;
  const bool network = ParseTcpAddress(ModbusPort.NetworkName, address);
  if (network) {
    HostEdit->setText(QString::fromStdString(address.Host));
    TcpPortEdit->setValue(address.Port);
  }
  NetworkBox->setChecked(network);
  ShowNetworkChoice();
}

bool TDialogPort::OKBtnClick() {
  int portIndex = ComboBox1->currentIndex();
  std::string network;
  if (NetworkBox->isChecked()) {
    TTcpAddress address;
    const std::string text = HostEdit->text().trimmed().toStdString() + ":" + std::to_string(TcpPortEdit->value());
    if (!ParseTcpAddress(text, address)) {
      QMessageBox box(QMessageBox::Information, tr("Message"), tr("Incorrect address"), QMessageBox::Ok,
                      this);
      box.exec();
      return false;
    }
    network = TcpDeviceName(address);
    // The server is reached under the COM index the settings file keeps.
    if (portIndex < 0) portIndex = ModbusPort.RequestedPortIndex >= 0 && ModbusPort.RequestedPortIndex <= 7
                                       ? ModbusPort.RequestedPortIndex : 0;
  }
  ModbusPort.UseNetwork(network);
  SetLastSerialOpenError(TSerialOpenError::None);
  const int result = ModbusPort.Configure(portIndex, ComboBox2->currentIndex(), ComboBox3->currentIndex(),
                                          ComboBox4->currentIndex());
  if (result >= 0) return true;
  QMessageBox box(QMessageBox::Information, tr("Message"), tr("Incorrect port"), QMessageBox::Ok, this);
  // The reason the user can fix, worded here; else the system's own reason.
  QString why = network.empty() ? OpenProblem(ComboBox1->currentIndex()) : QString();
  if (why.isEmpty()) why = TranslatedMeterText(PortOpenProblem(ModbusPort.WantedName()));
  box.setInformativeText(why);
  box.exec();
  ShowPortDevice();
  return false;
}
