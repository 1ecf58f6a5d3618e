// The measurement table: which label or quantity stands in which cell. The
// table window lays out its grid by it, kavrel-cli prints its poll by it.
#pragma once

#include <span>

// One cell of the table. Columns and rows count from 1 (column 1 is the
// grid's column A).
struct TMeasureCell {
  int Column;
  int Row;
  bool Value;        // the live value of the quantity whose code is Text; else Text is a label
  const char* Text;
};

// Every cell the table fills: three phase rows and a row of three-phase values
// under the column headings, then the frequency, line voltages and average
// power under their own headings. Every measured quantity of the acquisition
// list (all but the relay output state) has exactly one value cell.
std::span<const TMeasureCell> MeasureTableCells();
