// The device list dialog: the meters on the bus (model, address, description)
// and the choice of the one the program talks to.
#pragma once

#include <QDialog>
#include <QString>
#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QTableWidgetItem;
class QPushButton;
class QTableWidget;
class TModbusPort;

// MeterType code of a model text: "TR5" 80, "TR5B" 81, "VR5" 85, "VR5B" 86,
// "TR8" 118, anything else 0. Letter case counts.
int MeterTypeOfModel(const QString& model);

class TDialogKonfig : public QDialog {
  Q_OBJECT
public:
  // deviceLines is the main window's device list, edited in place on OK; with
  // none the dialog shows no devices and OK leaves the list alone.
  explicit TDialogKonfig(std::vector<std::string>* deviceLines, QWidget* parent = nullptr);

  // Set by the main window before showing; on OK with a device row selected,
  // the chosen device.
  int DeviceType = 0;
  int DeviceAddress = 0;
  int SelectedRow = 1;
  QString DeviceDescription;
  QString DeviceName;

  QComboBox* ComboBox1;
  QPushButton* Button1;  // Add
  QPushButton* Button2;  // Delete
  QPushButton* OKBtn;
  // "Find meters…": scans the line of ScanPort (set by the main window; the
  // button is off without it) and adds the meters chosen to the list.
  QPushButton* FindBtn;
  TModbusPort* ScanPort = nullptr;
  // Grid row r (0 the header, 1 the hidden empty row, 2 on the devices) is
  // row r - 1 of the table; the header row is the table's column header.
  QTableWidget* StringGrid1;
  QLabel* Message;  // why a typed address was refused

  void FormShow();
  void Button1Click();
  void Button2Click();
  void StringGrid1SelectCell(int gridRow, int column);
  void OKBtnClick();
  void FindBtnClick();

  // Number of grid rows, header and hidden row included.
  int GridRowCount() const;
  // The grid's current row: 1 when no device row is current.
  int CurrentGridRow() const;
  QString Cell(int column, int gridRow) const;

signals:
  // A scan holds the port: polling pauses while running is true.
  void ScanRunning(bool running);

protected:
  void showEvent(QShowEvent* event) override;

private:
  void AppendRow(const QString& type, const QString& address, const QString& description);
  void CommitPendingEdit();
  void AddressEdited(QTableWidgetItem* item);

  std::vector<std::string>* DeviceLines;
  bool Shown = false;
  bool Reverting = false;
};
