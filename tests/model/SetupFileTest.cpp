// Setup files: the text written, read back, compared and checked, and what a
// damaged or foreign file is refused for.
#include <gtest/gtest.h>

#include <string>

#include "model/Csv.h"
#include "model/ParamDef.h"
#include "model/SetupFile.h"

namespace {

TSetup MeterSetup(int type) {
  TSetup s;
  s.MeterType = type;
  s.Address = 7;
  s.Name = "Rozdzielnia \u0142";
  s.Date = "2026-12-08T10:00:00";
  for (int selector : SetupSelectors(type)) {
    const TParamDef* def = FindParamDef(selector);
    s.Items.push_back({selector, def->Code, def->Description, def->Min, def->Unit});
  }
  return s;
}

TEST(SetupFile, EveryModelRoundTripsAndLeavesOutClockAndRelay) {
  for (int type : {MT_TR5, MT_TR5B, MT_VR5, MT_VR5B, MT_TR8}) {
    SCOPED_TRACE(type);
    const TSetup written = MeterSetup(type);
    ASSERT_FALSE(written.Items.empty());
    for (const TSetupItem& item : written.Items) {
      EXPECT_NE(item.Code, "ALR");
      EXPECT_NE(item.Code, "HourMin");
      EXPECT_LT(FindParamDef(item.Selector)->Register, 7500);
    }
    const std::string text = FormatSetup(written);
    TSetup read;
    std::string error;
    ASSERT_TRUE(ParseSetup(text, read, error)) << error;
    EXPECT_EQ(read.MeterType, type);
    EXPECT_EQ(read.Address, 7);
    EXPECT_EQ(read.Name, written.Name);
    EXPECT_EQ(FormatSetup(read), text);
    EXPECT_TRUE(CompareSetup(written, read).empty());
    EXPECT_TRUE(CheckSetupForMeter(read, type, error)) << error;
  }
  // The VR5B's per-mille thresholds keep their unit.
  EXPECT_NE(FormatSetup(MeterSetup(MT_VR5B)).find("\t\u2030\n"), std::string::npos);
}

TEST(SetupFile, DifferencesAndRefusals) {
  TSetup file = MeterSetup(MT_TR5);
  TSetup meter = file;
  meter.Items[0].Value = 250;
  meter.Items[3].Value = file.Items[3].Value + 1;
  const auto differences = CompareSetup(file, meter);
  ASSERT_EQ(differences.size(), 2u);
  EXPECT_EQ(differences[0].Item.Code, "tr_I");
  EXPECT_EQ(differences[0].Item.Value, file.Items[0].Value);
  EXPECT_EQ(differences[0].MeterValue, 250);
  EXPECT_EQ(differences[1].Item.Selector, file.Items[3].Selector);

  std::string error;
  EXPECT_FALSE(CheckSetupForMeter(file, MT_VR5, error));
  EXPECT_EQ(error, "the file is for a TR5, the meter is a VR5");
  // A value outside its limits belongs to the file all the same; restore
  // refuses it only where it would write it.
  file.Items[0].Value = 20001;  // tr_I: 1 to 20000
  EXPECT_TRUE(CheckSetupForMeter(file, MT_TR5, error)) << error;
  EXPECT_FALSE(CheckRestore(CompareSetup(file, meter), error));
  EXPECT_EQ(error, "tr_I = 20001 is outside its limits 1 to 20000");
  meter.Items[0].Value = 20001;
  EXPECT_TRUE(CheckRestore(CompareSetup(file, meter), error)) << error;

  const std::string good = FormatSetup(MeterSetup(MT_TR5));
  const struct {
    std::string Text;
    const char* Why;
  } damaged[] = {
      {good.substr(0, good.size() - 40), "needs 5 fields"},  // cut inside an item
      {good.substr(0, good.rfind('\n', good.size() - 2) + 1), "is missing"},  // cut after a line
      {"Model=TR6\n", "unknown model"},
      {"1\ttr_I\tx\t5\t\n", "before the model"},
      {"", "not a setup file"},
      {"\x89PNG\r\n\x1a\n", "neither a setting nor an item"},
  };
  for (const auto& d : damaged) {
    TSetup s;
    EXPECT_FALSE(ParseSetup(d.Text, s, error)) << d.Why;
    EXPECT_NE(error.find(d.Why), std::string::npos) << error;
  }
  std::string edited = good;
  edited.replace(edited.find("\ttr_I\t"), 6, "\ttr_U\t");
  TSetup s;
  EXPECT_FALSE(ParseSetup(edited, s, error));
  EXPECT_NE(error.find("item 1 is tr_I, not tr_U"), std::string::npos) << error;
  edited = good;
  const size_t value = edited.find("Ratio of current transformer\t") + 29;
  edited.replace(value, 1, "x");
  EXPECT_FALSE(ParseSetup(edited, s, error));
  EXPECT_NE(error.find("is no number"), std::string::npos) << error;
}

TEST(Csv, QuotesWhatNeedsItAndWritesNumbersWithAPoint) {
  EXPECT_EQ(CsvText({{"time", "event"}, {"2026-12-08T10:00:00", "Start of alarm A1"}, {"a,b", "say \"hi\"\nnow"}}),
            "time,event\r\n2026-12-08T10:00:00,Start of alarm A1\r\n\"a,b\",\"say \"\"hi\"\"\nnow\"\r\n");
  EXPECT_EQ(CsvNumber(2.79f), "2.79");
  EXPECT_EQ(CsvNumber(0.1), "0.1");
  EXPECT_EQ(CsvNumber(-1200), "-1200");
  EXPECT_EQ(CsvNumber(NO_VALUE), "");
}

}  // namespace
