// The measurement table window: a grid of labels and live values of Meter's
// quantities, a bar chart of the group of quantities chosen on a tab, and the
// list of link and alarm events, all refreshed once a second.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "model/ValueText.h"
#include "views/MeterView.h"
#include "views/TableChart.h"

class QFrame;
class QLabel;
class QListWidget;
class QSplitter;
class QTabBar;
class QTableWidget;
class QTimer;
class TTR5;
class TZmienna;

class TForm2 : public QWidget, public TMeterView, public TCsvSource {
  Q_OBJECT
public:
  static constexpr int GRID_SIZE = 15;  // columns and rows, the fixed ones included
  static constexpr int BAR_SLOTS = 10;
  static constexpr int BAR_NAME_SIZE = 20;  // terminator included
  // Events taken from the meter in one tick at most; the rest wait for the
  // next tick, so a source that never runs dry cannot hold the GUI thread.
  static constexpr int MAX_EVENTS_PER_TICK = 64;

  explicit TForm2(TTR5& meter, QWidget* parent = nullptr);

  // The layout of labels and bound quantities the window starts with.
  static const QStringList& TableLayout();

  void FormShow();
  void RebindMeter() override;
  void TakeEvents() override { ShowEvents(); }
  // Clears every non-fixed cell and applies entries "column,row,kind,text":
  // kind 0 puts text into the cell as a label, any other kind binds the cell
  // to the quantity named text. Malformed or out-of-grid entries are skipped.
  void LoadLayout(const QStringList& entries);
  void EvChartZmiana();
  void SetBar(int slot, const char* name);
  void EvTimer();
  void ShowValues();
  void ShowBars();
  void ShowEvents();
  // The event list, oldest first: time (ISO 8601) and event.
  std::vector<TCsvRow> CsvRows() const override;
  std::string CsvFileName() const override { return "events.csv"; }
  // Mouse moved over the grid (its cells or one of its fixed headers).
  void EvMouseMove(QObject* sender, const QPoint& position);

  // The text of a grid cell, fixed row and column included (Cells[col][row]).
  QString Cells(int column, int row) const;
  // The quantity a cell is bound to, or null.
  TZmienna* CellParam(int column, int row) const;
  // The hint text the mouse last set: the description of the quantity under it.
  const QString& Hint() const { return HintText; }

  // Bar slots: the quantity and its name, null and empty when unused.
  TZmienna* BarParam[BAR_SLOTS] = {};
  char BarName[BAR_SLOTS][BAR_NAME_SIZE] = {};

  // The time stamp source of the event list (the PC's clock).
  std::function<QDateTime()> CurrentTime = [] { return QDateTime::currentDateTime(); };

  TTR5& Meter;

  // Controls.
  QSplitter* Splitter2;
  QTableWidget* StringGrid1;
  QSplitter* Splitter1;
  QWidget* Panel1;
  QFrame* Bevel1;
  QLabel* Label4;
  QLabel* Label1;
  QLabel* Label3;
  QListWidget* ListBox1;
  QWidget* TabPage;
  QTabBar* TabControl1;
  TTableChart* Chart1;
  QTimer* Timer1;

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void SetCellText(int column, int row, const QString& text);
  void SetHint(const QString& text);

  TZmienna* Params[GRID_SIZE][GRID_SIZE] = {};  // [column][row]
  QString HintText;
  int TabStop = 0;  // of the event list, in pixels
};

// The table window for the program's main window: a widget that is also a
// TMeterView, bound to the context's meter.
QWidget* MakeTableWindow(const TViewContext& context);
