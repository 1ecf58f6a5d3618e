// What the main window needs of the windows it opens for the current meter.
// The windows themselves live in their own library; the program hands the
// main window a factory for each, and a command whose window has no factory
// stays disabled.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "Csv.h"

class QWidget;
class TMainForm;

// A window that shows the quantities of Meter.
class TMeterView {
public:
  virtual ~TMeterView() = default;
  // Binds the window to Meter's quantities again after the meter changed.
  virtual void RebindMeter() = 0;
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
  std::function<QWidget*(TMainForm&)> ChartWindow;
  std::function<QWidget*(TMainForm&)> TableWindow;
  // The harmonics and extreme values windows, created on demand as top-level
  // windows owned by the main window; each is destroyed when it is closed.
  std::function<QWidget*(TMainForm&)> Harmonics;
  std::function<QWidget*(TMainForm&)> Extreme;
  // Runs the modal parameter programming dialog for Meter.
  std::function<void(TMainForm&)> Programming;
};
