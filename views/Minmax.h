// The extreme values window: the minima and maxima the current meter has
// recorded for one group of quantities, read on demand and shown in a table;
// on a VR5 with the times at which they occurred.
#pragma once

#include <QString>
#include <QWidget>
#include <string>
#include <vector>

#include "views/MeterView.h"

class QPushButton;
class QTabBar;
class QTableWidget;
class TTR5;

class TExtrema : public QWidget, public TCsvSource {
  Q_OBJECT
public:
  // A top-level window working on meter, destroyed when closed.
  explicit TExtrema(TTR5& meter, QWidget* parent = nullptr);

  // Tabs "Voltages and currents" .. "THD harmonics".
  QTabBar* TabControl1;
  // Columns: quantity, minimum, maximum, time min, time max. The header row is
  // the table's column header, so grid row r (r >= 1) is table row r - 1.
  QTableWidget* StringGrid1;
  QPushButton* CloseBtn;  // "Close"; Escape closes too

  // Reads the extremes of the selected tab and fills the table; also the
  // handler of a double click in the table.
  void TabControl1Change();
  void FormShow();

  // The extremes of the shown tab: quantity, minimum, maximum, their times
  // (ISO 8601, where the model keeps them) and unit.
  std::vector<TCsvRow> CsvRows() const override { return Shown; }
  std::string CsvFileName() const override { return "extremes.csv"; }

  // Number of grid rows, the header row included.
  int RowCount() const;
  // Text of a cell; grid row 0 is the header.
  QString Cell(int column, int gridRow) const;

protected:
  void showEvent(QShowEvent* event) override;

private:
  void SetCell(int column, int gridRow, const QString& text);
  // Formats items first + 1 .. first + count into the column pair starting at
  // column: odd items (minima) there, even items (maxima) one to the right.
  void FillPairs(int first, int count, int column);

  TTR5& Meter;
  std::vector<TCsvRow> Shown;
};

// Factory for the main window's "&Extreme" command.
QWidget* MakeExtremeWindow(const TViewContext& context);
