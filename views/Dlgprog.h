// The parameter programming dialog: the setup menus of the current meter, the
// parameters of the chosen menu with their values and units, and a field in
// which a new value is entered and written to the meter.
#pragma once

#include <QDialog>
#include <string>

class QComboBox;
class QFrame;
class QLabel;
class QListWidget;
class QPushButton;
struct TViewContext;
class TSlownik;

class TDialogProgram : public QDialog {
  Q_OBJECT
public:
  explicit TDialogProgram(QWidget* parent = nullptr);

  // The meter to program, handed over before the dialog is shown; none gives
  // an empty dialog.
  TSlownik* Meter = nullptr;

  // Menus and parameter lines carry their selector (group * 100 + item) in
  // this role.
  static constexpr int SelectorRole = Qt::UserRole;

  QFrame* Bevel1;
  QLabel* Label1;
  QComboBox* ComboBox3;  // menus of the meter
  QLabel* Label2;
  QListWidget* ListBox2;  // parameter lines of the chosen menu
  QLabel* Label5;
  QComboBox* ComboBox1;  // the value to write
  QPushButton* Button1;  // "Use"
  QPushButton* OKBtn;    // "Close"
  QLabel* Label3;        // status line: the message of the last write

  void FormShow();
  // Lists the menus that apply to the meter's model.
  void ComboBox2Change();
  // Reads the chosen menu's group from the meter and lists its parameters.
  void ComboBox3Click();
  // Puts the chosen parameter's value into the value field.
  void ListBox2Click();
  // Writes the value field to the chosen parameter.
  void Button1Click();

  // The meter the dialog works with since it was shown; none before.
  TSlownik* MeterInUse() const { return Program; }
  // Row of the selected parameter line, -1 when none is selected.
  int SelectedLine() const;
  // Where the values of the parameter lines start, in pixels from the left
  // of a line: past the longest description of the meter's model.
  int ValueColumn() const { return Column; }

protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  // Sets the value column and the list's width so that the longest
  // description of the model shows with its value and unit.
  void FitToModel();
  // Why a value was refused as out of range: not a number at all, or the
  // range the parameter accepts.
  static QString RefusalReason(int selector, const char* text);
  // "description\tvalue  unit" of a parameter from the value the meter keeps.
  QString ParameterLine(int selector, const std::string& description);

  TSlownik* Program = nullptr;
  int Column = 0;
};

// Runs the dialog modally for the context's meter, over its owner, and
// destroys it after.
void RunProgrammingDialog(const TViewContext& context);
