// The service report: one PDF (A4, page numbers) that leaves behind what a
// meter was and did when it was serviced: identity and link settings, the
// live values, THD and harmonics of each phase with bars, the extreme values
// (with their times where the model keeps them), the whole setup, the event
// list, and when and by which program version it was made.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

#include "model/Csv.h"

class TModbusPort;
class TTR5;

struct TReportOutcome {
  bool Written = false;    // the PDF exists
  bool Complete = false;   // every read answered and nothing was cancelled
  QString Error;           // why the PDF was not written
  QStringList Missing;     // what could not be read
};

// Reads the meter part by part; progress hears (step, steps, what) before each
// part and stops the reading by returning false: the report is then written
// with what was read, marked incomplete. Each read is bounded by the reply
// time-out, so a meter that stops answering never holds the report up.
TReportOutcome WriteServiceReport(TTR5& meter, const TModbusPort& port, const std::vector<TCsvRow>& events,
                                  const QString& path, const QString& version,
                                  const std::function<bool(int, int, const QString&)>& progress = {});
