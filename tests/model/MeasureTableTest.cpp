// The measurement table's cells, which the table window and kavrel-cli lay
// out by.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <utility>

#include "model/MeasureTable.h"
#include "model/ParamDef.h"

TEST(MeasureTable, EveryMeasuredQuantityHasOneValueCellAndNoCellIsTakenTwice) {
  std::map<std::string, int> valueCells;
  std::set<std::pair<int, int>> places;
  for (const TMeasureCell& c : MeasureTableCells()) {
    EXPECT_TRUE(places.insert({c.Column, c.Row}).second) << c.Column << "," << c.Row;
    // Inside the window's grid of 14 x 14 cells and the width of the CLI's rows.
    EXPECT_TRUE(c.Column >= 1 && c.Column <= 10 && c.Row >= 1 && c.Row <= 14) << c.Text;
    ASSERT_NE(c.Text, nullptr);
    if (c.Value) ++valueCells[c.Text];
  }
  // Every model polls the acquisition list: its process block and THD block
  // (a TR8's THD values stay without a value); the relay state is no cell.
  size_t measured = 0;
  for (const TParamDef& d : AcquisitionList) {
    if (IsSetupRegister(d.Register)) {
      EXPECT_EQ(valueCells.count(d.Code), 0u) << d.Code;
      continue;
    }
    ++measured;
    EXPECT_EQ(valueCells[d.Code], 1) << d.Code;
  }
  EXPECT_EQ(measured, static_cast<size_t>(PROCESS_BLOCK_LENGTH + THD_BLOCK_LENGTH));
  EXPECT_EQ(valueCells.size(), measured);
  for (int type : METER_TYPES) {
    const TParamGroup* process = GetParamGroup(type == MT_TR8 ? 40 : 19);
    ASSERT_TRUE(process->Models & ModelMask(type)) << type;
    for (int i = 0; i < process->Count; ++i) EXPECT_EQ(valueCells[process->Definitions[i].Code], 1) << type;
  }
}

TEST(MeasureTable, LabelsStandBesideAndAboveTheirValues) {
  std::map<std::pair<int, int>, const TMeasureCell*> at;
  for (const TMeasureCell& c : MeasureTableCells()) at[{c.Column, c.Row}] = &c;
  auto text = [&at](int column, int row) -> std::string {
    const auto it = at.find({column, row});
    return it == at.end() ? std::string() : std::string(it->second->Value ? "=" : "") + it->second->Text;
  };
  EXPECT_EQ(text(1, 2), "L1");
  EXPECT_EQ(text(2, 1), "U [V]");
  EXPECT_EQ(text(2, 2), "=U1");
  EXPECT_EQ(text(10, 4), "=THD_I3");
  EXPECT_EQ(text(1, 5), "L1-L2-L3");
  EXPECT_EQ(text(8, 5), "=tf");
  EXPECT_EQ(text(9, 5), "");
  EXPECT_EQ(text(6, 7), "Pav [W]");
  EXPECT_EQ(text(6, 8), "=Pav");
  for (int column = 1; column <= 10; ++column) EXPECT_EQ(text(column, 6), "") << column;
}
