// kavrel-cli poll: the acquisition cycle, printed as the measurement table or as CSV.
#include "tools/CliSession.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include "model/MeasureTable.h"

namespace cli {

// The measurement table, row by row: the first column 9 characters wide to
// the left, the others 10 wide to the right, each row up to its last cell;
// rows without cells are left out. A blank line ends the table.
void TSession::PrintTable(int cycle) {
  std::printf("%s  cycle %d  %s\n", Now().c_str(), cycle, Meter.Name);
  const auto cells = MeasureTableCells();
  int rows = 0;
  for (const TMeasureCell& c : cells) rows = std::max(rows, c.Row);
  for (int row = 1; row <= rows; ++row) {
    std::vector<std::string> texts;
    for (const TMeasureCell& c : cells) {
      if (c.Row != row) continue;
      if (texts.size() < static_cast<size_t>(c.Column)) texts.resize(static_cast<size_t>(c.Column));
      texts[static_cast<size_t>(c.Column) - 1] = c.Value ? TableValueText(Value(c.Text)) : c.Text;
    }
    if (texts.empty()) continue;
    for (size_t column = 0; column < texts.size(); ++column)
      std::printf(column == 0 ? "%-9s" : "%10s", texts[column].c_str());
    std::printf("\n");
  }
  std::printf("\n");
  std::fflush(stdout);
}

// The 40 quantities in register order: every variable but the relay state.
std::vector<TZmienna*> TSession::CsvColumns() {
  std::vector<TZmienna*> columns;
  for (TZmienna* z = Meter.FirstChild(); z; z = z->Next.get())
    if (IsMeasuredRegister(z->Id)) columns.push_back(z);
  return columns;
}

int TSession::Poll(const TOptions& o) {
  const std::vector<TZmienna*> columns = CsvColumns();
  if (o.Csv) {
    std::printf("time,cycle");
    for (TZmienna* z : columns) std::printf(",%s", z->Name);
    std::printf("\n");
    std::fflush(stdout);
  }
  bool answered = false;
  int cycle = 0;
  auto next = std::chrono::steady_clock::now();
  while (!Interrupted) {
    const int block = Meter.BlockStart;
    const int r = Meter.Update(0.0f);
    if (r == 0 && Meter.ErrorCount == 0) answered = true;
    DrainEvents(o.Csv);
    if (r == 0 && Meter.CompletesCycle(block)) {
      ++cycle;
      if (o.Csv) {
        std::printf("%s,%d", Now().c_str(), cycle);
        for (TZmienna* z : columns) std::printf(",%s", TableValueText(Fresh(z)).c_str());
        std::printf("\n");
        std::fflush(stdout);
      } else {
        PrintTable(cycle);
      }
      StartNextCycle();
      if (o.Cycles > 0 && cycle >= o.Cycles) break;
    }
    next += std::chrono::milliseconds(TICK_MS);
    const auto now = std::chrono::steady_clock::now();
    if (next < now) next = now;  // a slow step: keep the tick, do not catch up
    std::this_thread::sleep_until(next);
  }
  if (!answered) {
    std::fprintf(stderr, "kavrel-cli: no reply from %s at address %d on %s\n", Meter.Name, Meter.Address,
                 PortLabel().c_str());
    return RC_NO_REPLY;
  }
  return RC_OK;
}

}  // namespace cli
