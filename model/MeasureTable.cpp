#include "model/MeasureTable.h"

#include <iterator>

namespace {

// clang-format off (a table, kept in its rows)
constexpr TMeasureCell CELLS[] = {
    // Row labels of the phases.
    {1, 2, false, "L1"}, {1, 3, false, "L2"}, {1, 4, false, "L3"},
    // Column headings and the phase values under them.
    {2, 1, false, "U [V]"}, {2, 2, true, "U1"}, {2, 3, true, "U2"}, {2, 4, true, "U3"},
    {3, 1, false, "I [A]"}, {3, 2, true, "I1"}, {3, 3, true, "I2"}, {3, 4, true, "I3"},
    {4, 1, false, "P [W]"}, {4, 2, true, "P1"}, {4, 3, true, "P2"}, {4, 4, true, "P3"},
    {5, 1, false, "Q [VAr]"}, {5, 2, true, "Q1"}, {5, 3, true, "Q2"}, {5, 4, true, "Q3"},
    {6, 1, false, "S [VA]"}, {6, 2, true, "S1"}, {6, 3, true, "S2"}, {6, 4, true, "S3"},
    {7, 1, false, "Pf"}, {7, 2, true, "Pf1"}, {7, 3, true, "Pf2"}, {7, 4, true, "Pf3"},
    {8, 1, false, "tf"}, {8, 2, true, "tf1"}, {8, 3, true, "tf2"}, {8, 4, true, "tf3"},
    {9, 1, false, "THD_U[%]"}, {9, 2, true, "THD_U1"}, {9, 3, true, "THD_U2"}, {9, 4, true, "THD_U3"},
    {10, 1, false, "THD_I[%]"}, {10, 2, true, "THD_I1"}, {10, 3, true, "THD_I2"}, {10, 4, true, "THD_I3"},
    // Three-phase values.
    {1, 5, false, "L1-L2-L3"}, {2, 5, true, "Us"}, {3, 5, true, "Is"}, {4, 5, true, "P"},
    {5, 5, true, "Q"}, {6, 5, true, "S"}, {7, 5, true, "Pf"}, {8, 5, true, "tf"},
    // Frequency, line voltages and average power, under their headings.
    {1, 7, false, "f [Hz]"}, {1, 8, true, "f"}, {2, 7, false, "U12 [V]"},
    {2, 8, true, "U12"}, {3, 7, false, "U23 [V]"}, {3, 8, true, "U23"},
    {4, 7, false, "U31 [V]"}, {4, 8, true, "U31"}, {5, 7, false, "U123 [V]"},
    {5, 8, true, "U123"}, {6, 7, false, "Pav [W]"}, {6, 8, true, "Pav"},
};
// clang-format on

}  // namespace

std::span<const TMeasureCell> MeasureTableCells() { return {CELLS, std::size(CELLS)}; }
