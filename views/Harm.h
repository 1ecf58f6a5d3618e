// The harmonics window: for one phase voltage or phase current of the current
// meter, its THD and the levels of harmonics 1 to 25, read from the meter on
// demand and shown as a list and as bars of orders 2 to 25.
#pragma once

#include <QWidget>
#include <string>
#include <vector>

#include "views/MeterView.h"

class QChart;
class QChartView;
class QLabel;
class QListWidget;
class QPushButton;
class QStackedBarSeries;
class QTabBar;
class QValueAxis;
class TTR5;

class THarmoniczne : public QWidget, public TCsvSource {
  Q_OBJECT
public:
  // A top-level window working on meter, destroyed when closed.
  explicit THarmoniczne(TTR5& meter, QWidget* parent = nullptr);

  // Tabs "Voltage L1" .. "Current L3".
  QTabBar* TabControl2;
  QWidget* Panel1;
  QLabel* Label1;
  QListWidget* ListBox1;
  QPushButton* Button2;  // "Restore"
  QPushButton* Button1;  // "Close"
  QChartView* ChartView1;
  QChart* Chart1;
  // One bar set per drawn harmonic, each with a colour of its own: a set holds
  // its height at the index of its order (its X) and zero at all others.
  QStackedBarSeries* Series1;
  QValueAxis* BottomAxis;  // orders 2 .. 25
  QValueAxis* LeftAxis;

  // Reads the THD and the harmonics of the selected tab and shows them; also
  // the handler of "Restore".
  void TabControl2Change();
  void FormShow();
  void Button1Click();

  // The THD and harmonics of the shown phase: phase, quantity, value, unit.
  std::vector<TCsvRow> CsvRows() const override { return Shown; }
  std::string CsvFileName() const override { return "harmonics.csv"; }

protected:
  void showEvent(QShowEvent* event) override;

private:
  TTR5& Meter;
  std::vector<TCsvRow> Shown;
};

// Factory for the main window's "&Harmonics..." command.
QWidget* MakeHarmonicsWindow(const TViewContext& context);
