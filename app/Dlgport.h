// The port settings dialog: serial port, baud rate, transmission mode and
// link type, applied to the Modbus master on OK.
#pragma once

#include <QDialog>

class QComboBox;
class QFrame;
class QLabel;
class QPushButton;
class TModbusPort;

class TDialogPort : public QDialog {
  Q_OBJECT
public:
  explicit TDialogPort(TModbusPort& port, QWidget* parent = nullptr);

  QFrame* Bevel1;
  QLabel* Label1;
  QComboBox* ComboBox1;  // port
  QLabel* Label2;
  QComboBox* ComboBox2;  // baud rate
  QLabel* Label3;
  QComboBox* ComboBox3;  // transmission mode
  QLabel* Label4;
  QComboBox* ComboBox4;  // link type
  // Where the chosen COM name leads on this machine.
  QLabel* PortDevice;
  QPushButton* OKBtn;
  QPushButton* CancelBtn;

  void FormShow();
  // Applies the choice; false (and the dialog stays open) when the port
  // cannot be opened.
  bool OKBtnClick();

  // "COM1 → /dev/ttyUSB0", or that nothing answers to the name here.
  static QString DescribePort(int portIndex);
  // Why the last attempt to open the port failed, with the fix where there is
  // one (no permission: the group to join); empty when there is no more to say.
  static QString OpenProblem(int portIndex);

protected:
  void showEvent(QShowEvent* event) override;

private:
  void ShowPortDevice();

  TModbusPort& ModbusPort;
  bool Shown = false;
};
