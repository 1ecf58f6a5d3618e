// What the windows of this library offer the program's main window, and what
// they take from it. The program hands the main window a factory for each
// window; a command whose window has no factory stays disabled. The windows
// know nothing of the main window: they get a TViewContext.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "model/Csv.h"

class QWidget;
class TTR5;

// What a window is given when it is made: the meter it shows and works on,
// and the window that owns it (the parent of a top-level window or dialog).
struct TViewContext {
  TTR5& Meter;
  QWidget* Owner = nullptr;
};

// A window that shows the quantities of Meter.
class TMeterView {
public:
  virtual ~TMeterView() = default;
  // Binds the window to Meter's quantities again after the meter changed.
  virtual void RebindMeter() = 0;
  // Logs the events Meter has pending now, before it changes; a window that
  // shows no events leaves them.
  virtual void TakeEvents() {}
};

// The trend charts window.
class TTrendView : public TMeterView {
public:
  // Prints the active chart.
  virtual void PrintTrend() = 0;
};

// A window that can hand what it shows to a CSV file ("File → Export…").
class TCsvSource {
public:
  virtual ~TCsvSource() = default;
  // What the window shows, header row first; only the header when it shows nothing.
  virtual std::vector<TCsvRow> CsvRows() const = 0;
  // The file name to offer, e.g. "events.csv".
  virtual std::string CsvFileName() const = 0;
};

struct TViewFactories {
  // The two MDI views, created once when the main window is first shown. Each
  // returns a widget that is also a TMeterView (the charts one a TTrendView);
  // the main window puts it into an MDI child window of its own.
  std::function<QWidget*(const TViewContext&)> ChartWindow;
  std::function<QWidget*(const TViewContext&)> TableWindow;
  // The harmonics and extreme values windows, created on demand as top-level
  // windows owned by the main window; each is destroyed when it is closed.
  // The main window keeps track of them itself.
  std::function<QWidget*(const TViewContext&)> Harmonics;
  std::function<QWidget*(const TViewContext&)> Extreme;
  // Runs the modal parameter programming dialog for the context's meter.
  std::function<void(const TViewContext&)> Programming;
};
