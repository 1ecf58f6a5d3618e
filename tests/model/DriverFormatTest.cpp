// The meter driver without a line: formatting of item values, catalog texts,
// the refusals of WriteParameter, alarm events and the block sequence.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "model/ParamDef.h"
#include "model/TR5.h"

namespace {

// Selectors used below (group * 100 + item).
constexpr int SEL_U1 = 1901;       // process variables, kind 4, "V"
constexpr int SEL_THD_U1 = 2001;   // kind 7, "%"
constexpr int SEL_TR_I = 1;        // TR5 "tr_I", kind 2, limits 1..20000
constexpr int SEL_AO_O = 5;        // TR5 "Ao_O", kind 5, limits 0..1
constexpr int SEL_TIME_U1MIN = 3401;  // VR5 time of the U1 minimum, kind 6
constexpr int SEL_AL1ON = 602;     // VR5 "Al1On", limits -1200..1200

class DriverFormat : public ::testing::Test {
protected:
  void SetUp() override {
    const char* tz = std::getenv("TZ");
    HadTz = tz != nullptr;
    if (HadTz) SavedTz = tz;
    Meter.LinkState = 1;
  }
  void TearDown() override {
    if (HadTz) {
      setenv("TZ", SavedTz.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

  static void UseZone(const char* zone) {
    setenv("TZ", zone, 1);
    tzset();
  }

  std::string Plain(int selector, double value, std::string* unit = nullptr) {
    FindParamDef(selector)->LastValue = value;
    std::string text = "stale";
    Meter.ReadOrFormatValue(selector, text, unit);
    return text;
  }

  std::string WithUnit(int selector, double value, float* result = nullptr) {
    FindParamDef(selector)->LastValue = value;
    std::string text = "stale";
    std::string code;
    const float r = Meter.FormatValueWithUnit(selector, text, &code);
    if (result) *result = r;
    EXPECT_EQ(code, FindParamDef(selector)->Code);
    return text;
  }

  TTR5 Meter{true};
  bool HadTz = false;
  std::string SavedTz;
};

// Seconds as the meter counts them for a local calendar time: an hour ahead
// of the PC's epoch seconds.
double MeterSeconds(int year, int month, int day, int hour, int minute, int second) {
  struct tm t = {};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  t.tm_isdst = -1;
  return static_cast<double>(mktime(&t)) + 3600.0;
}

TEST_F(DriverFormat, MeasuredValuesTakeDecimalsByMagnitudeDecidedBeforeRounding) {
  EXPECT_EQ(Plain(SEL_U1, 0.5), "0.500");
  EXPECT_EQ(Plain(SEL_U1, -0.5), "-0.500");
  EXPECT_EQ(Plain(SEL_U1, 5.0), "5.00");
  EXPECT_EQ(Plain(SEL_U1, -5.0), "-5.00");
  EXPECT_EQ(Plain(SEL_U1, 9.999), "10.00");
  EXPECT_EQ(Plain(SEL_U1, 0.9999), "1.000");
  EXPECT_EQ(Plain(SEL_U1, 230.12), "230.1");
  EXPECT_EQ(Plain(SEL_U1, 999.96), "1000.0");
  EXPECT_EQ(Plain(SEL_U1, 1234.4), "1234");
  EXPECT_EQ(Plain(SEL_U1, -1234.6), "-1235");
  EXPECT_EQ(Plain(SEL_U1, 0.0), "0.000");  // a group never read holds 0.0
}

TEST_F(DriverFormat, UnitFollowsAfterOneBlank) {
  float value = 0;
  EXPECT_EQ(WithUnit(SEL_U1, 230.12, &value), "230.1 V");
  EXPECT_FLOAT_EQ(value, 230.12f);
  EXPECT_EQ(WithUnit(SEL_THD_U1, 3.14159), "3.14 %");

  std::string unit = "stale";
  EXPECT_EQ(Plain(SEL_U1, 230.12, &unit), "230.1");
  EXPECT_EQ(unit, "V");
  EXPECT_EQ(Plain(SEL_THD_U1, 3.14159, &unit), "3.14");
  EXPECT_EQ(unit, "%");
  EXPECT_EQ(Plain(SEL_THD_U1, 0.0), "0.00");
}

TEST_F(DriverFormat, SetupValuesShowNoDecimals) {
  EXPECT_EQ(Plain(SEL_TR_I, 20000), "20000");
  EXPECT_EQ(Plain(SEL_TR_I, 12.7), "13");
  EXPECT_EQ(Plain(SEL_AO_O, 1), "1");
  EXPECT_EQ(Plain(SEL_AL1ON, -1200), "-1200");
  EXPECT_EQ(WithUnit(SEL_AL1ON, 50), "50 %");
  EXPECT_EQ(Plain(SEL_TR_I, 0.0), "0");
}

TEST_F(DriverFormat, NoValueGivesEmptyTextsButTheCodeStillComes) {
  std::string unit = "stale";
  EXPECT_EQ(Plain(SEL_U1, NO_VALUE, &unit), "");
  EXPECT_EQ(unit, "");
  EXPECT_EQ(Plain(SEL_U1, -NO_VALUE, &unit), "");
  EXPECT_EQ(Plain(SEL_U1, 3.0e20), "");
  float value = 0;
  EXPECT_EQ(WithUnit(SEL_U1, NO_VALUE, &value), "");  // checks the code too
  EXPECT_EQ(value, NO_VALUE);
  EXPECT_EQ(WithUnit(SEL_TIME_U1MIN, NO_VALUE, &value), "");
  EXPECT_EQ(value, NO_VALUE);
}

TEST_F(DriverFormat, TimesShowInTheLocalZoneOneHourBehindTheMeterCount) {
  UseZone("UTC0");
  const double seconds = MeterSeconds(2002, 3, 24, 9, 5, 0);
  EXPECT_EQ(Plain(SEL_TIME_U1MIN, seconds), "02/03/24 09:05");
  EXPECT_EQ(WithUnit(SEL_TIME_U1MIN, seconds), "02/03/24 09:05");  // never a unit

  // The same count in a zone two hours east of UTC.
  UseZone("EET-2");
  EXPECT_EQ(Plain(SEL_TIME_U1MIN, seconds), "02/03/24 11:05");

  // Whole seconds count; the fraction is cut, not rounded.
  UseZone("UTC0");
  EXPECT_EQ(Plain(SEL_TIME_U1MIN, MeterSeconds(2010, 12, 31, 23, 59, 59) + 0.9),
            "10/12/31 23:59");
  // A count near 2^30 keeps its last second (a float would have moved it
  // into the next minute).
  EXPECT_EQ(Plain(SEL_TIME_U1MIN, MeterSeconds(2004, 1, 10, 13, 37, 59)), "04/01/10 13:37");
}

TEST_F(DriverFormat, TimesThatCannotBeShownGiveEmptyText) {
  UseZone("UTC0");
  EXPECT_EQ(Plain(SEL_TIME_U1MIN, 0.0), "");
  EXPECT_EQ(Plain(SEL_TIME_U1MIN, 0.7), "");     // truncates to 0
  EXPECT_EQ(Plain(SEL_TIME_U1MIN, 3599.0), "");  // before the epoch once shifted
  EXPECT_EQ(Plain(SEL_TIME_U1MIN, -2.0e9), "");
  EXPECT_EQ(Plain(SEL_TIME_U1MIN, 9.0e19), "");  // beyond any calendar
  EXPECT_EQ(Plain(SEL_TIME_U1MIN, 3600.0), "70/01/01 00:00");
}

TEST_F(DriverFormat, EmptyTextsWhenDisconnectedOrAddressingNothing) {
  FindParamDef(SEL_U1)->LastValue = 230.0;
  for (int state : {0, 2, 3, 4}) {
    Meter.LinkState = state;
    std::string text = "stale", unit = "stale", code = "stale";
    Meter.ReadOrFormatValue(SEL_U1, text, &unit);
    EXPECT_EQ(text, "");
    EXPECT_EQ(unit, "");
    EXPECT_EQ(Meter.FormatValueWithUnit(SEL_U1, text, &code), NO_VALUE);
    EXPECT_EQ(text, "");
    EXPECT_EQ(code, "");
  }
  Meter.LinkState = 1;
  for (int selector : {4100, 4101, -1, -100, 2426, 1935}) {
    std::string text = "stale", code = "stale";
    Meter.ReadOrFormatValue(selector, text, nullptr);
    EXPECT_EQ(text, "") << selector;
    EXPECT_EQ(Meter.FormatValueWithUnit(selector, text, &code), NO_VALUE) << selector;
    EXPECT_EQ(text, "") << selector;
  }
}

TEST_F(DriverFormat, CatalogAnswersByModelForGroupsAndAlwaysForItems) {
  std::string text;
  Meter.Kind = MT_TR5B;
  EXPECT_EQ(Meter.GetCatalogText(2400, text), 3);
  EXPECT_EQ(text, "");
  EXPECT_EQ(Meter.GetCatalogText(2401, text), 2);  // items are not model-checked
  EXPECT_EQ(text, " 1 harmonic of L3 phase voltage");

  Meter.Kind = MT_TR5;
  Meter.LinkState = 0;  // catalog texts do not wait for the link
  EXPECT_EQ(Meter.GetCatalogText(2400, text), 1);
  EXPECT_EQ(text, "Harmonics of U3 voltage");
  EXPECT_EQ(Meter.GetCatalogText(2425, text), 2);
  EXPECT_EQ(text, " 25 harmonic of L3 phase voltage");
  text = "stale";
  EXPECT_EQ(Meter.GetCatalogText(2426, text), 0);
  EXPECT_EQ(text, "");
  EXPECT_EQ(Meter.GetCatalogText(4100, text), 0);
  EXPECT_EQ(Meter.GetCatalogText(-5, text), 0);
  EXPECT_EQ(Meter.GetCatalogText(3900, text), 3);  // a TR8 group

  // What the programming dialog lists, walking 0, 100, 200 ...
  auto listed = [&](int type) {
    Meter.Kind = type;
    std::vector<int> groups;
    for (int g = 0; g < 45; ++g)
      if (Meter.GetCatalogText(g * 100, text) == 1) groups.push_back(g);
    return groups;
  };
  EXPECT_EQ(listed(MT_TR8), (std::vector<int>{39, 40}));
  EXPECT_EQ(listed(0), std::vector<int>{});
  EXPECT_EQ(listed(MT_TR5B), (std::vector<int>{15, 16, 17, 18, 19, 20, 21, 22, 23, 25, 26, 27, 28,
                                               29, 30, 31}));
}

// Refusals that happen before anything is sent; with no line attached a value
// that passes every check ends as "Impossible request" (not confirmed).
TEST_F(DriverFormat, WriteRefusalsAndTheirMessages) {
  std::string message = "untouched";
  EXPECT_EQ(Meter.WriteParameter(4101, "5", message), 0);
  EXPECT_EQ(message, "untouched");

  EXPECT_EQ(Meter.WriteParameter(SEL_THD_U1, "nonsense", message), 16);  // no parse needed

  EXPECT_EQ(Meter.WriteParameter(0, "5", message), 9);  // item 0 is no item
  EXPECT_EQ(message, "Impossible request");
  EXPECT_EQ(Meter.WriteParameter(18, "5", message), 9);  // group 0 has 17 items

  FindParamDef(SEL_TR_I)->LastValue = 7;
  for (const char* text : {"20001", "0", "0.99", "-1", "", "abc", "nan", "inf", "-inf", "1e30"}) {
    message.clear();
    EXPECT_EQ(Meter.WriteParameter(SEL_TR_I, text, message), 33) << text;
    EXPECT_EQ(message, "Out of range") << text;
  }
  EXPECT_EQ(Meter.WriteParameter(SEL_TR_I, nullptr, message), 33);
  // Trailing characters are ignored as a C "%f" ignores them: "20001abc" is 20001.
  EXPECT_EQ(Meter.WriteParameter(SEL_TR_I, "20001abc", message), 33);
  // Within the limits, but nothing confirms the write.
  EXPECT_EQ(Meter.WriteParameter(SEL_TR_I, " 20000", message), 9);
  EXPECT_EQ(message, "Impossible request");
  EXPECT_EQ(FindParamDef(SEL_TR_I)->LastValue, 7);

  // Limits are compared in single precision: 20000.0001 is 20000 there.
  EXPECT_EQ(Meter.WriteParameter(SEL_TR_I, "20000.0001", message), 9);
  EXPECT_EQ(Meter.WriteParameter(SEL_TR_I, "20000.01", message), 33);
  EXPECT_EQ(Meter.WriteParameter(SEL_AL1ON, "-1200.5", message), 33);
}

class DriverAlarms : public ::testing::Test {
protected:
  void SetUp() override {
    Meter.LinkState = 1;
    Meter.ErrorCount = 0;
    Alr = Meter.FindByName("ALR", 0);
    ASSERT_NE(Alr, nullptr);
  }
  // Drains the events; returns their texts, and the low 16 bits of their
  // codes in Codes (the high bits are the meter's serial number).
  std::vector<std::string> Drain(int* last = nullptr) {
    std::vector<std::string> texts;
    Codes.clear();
    int code = 0, r;
    std::string text;
    while ((r = Meter.NextEvent(code, text)) == 1) {
      texts.push_back(text);
      const uint32_t c = static_cast<uint32_t>(code);
      EXPECT_EQ(c >> 16, static_cast<uint32_t>(Meter.Serial) & 0xFFFF);
      Codes.push_back(static_cast<int>(c & 0xFFFF));
    }
    if (last) *last = r;
    return texts;
  }
  TTR5 Meter{true};
  TZmienna* Alr = nullptr;
  std::vector<int> Codes;
};

TEST_F(DriverAlarms, StartsAndEndsComeOneByOneLowestAlarmFirst) {
  Alr->Update(5);
  int last = 9;
  EXPECT_EQ(Drain(&last), (std::vector<std::string>{"\tStart of alarm A1", "\tStart of alarm A3"}));
  EXPECT_EQ(last, 0);
  EXPECT_EQ(Meter.AlarmFlags, 5);
  EXPECT_TRUE(Drain().empty());

  Alr->Update(2);
  EXPECT_EQ(Drain(),
            (std::vector<std::string>{"\tEnd of alarm A1", "\tStart of alarm A2", "\tEnd of alarm A3"}));
  EXPECT_EQ(Meter.AlarmFlags, 2);

  Alr->Update(7.9f);  // truncated to 7
  EXPECT_EQ(Drain(), (std::vector<std::string>{"\tStart of alarm A1", "\tStart of alarm A3"}));
  Alr->Update(0);
  EXPECT_EQ(Drain().size(), 3u);
  EXPECT_EQ(Meter.AlarmFlags, 0);
}

TEST_F(DriverAlarms, ValuesThatAreNoRelayStateAreIgnored) {
  // Three relay outputs (0..7) on a TR5, four (0..15) on a VR5 or VR5B.
  for (const int type : {MT_TR5, MT_VR5, MT_VR5B}) {
    SCOPED_TRACE(type);
    Meter.Kind = type;
    const float states = type == MT_TR5 ? 8.0f : 16.0f;
    Meter.AlarmFlags = 3;
    for (float v : {NO_VALUE, states, states + 1, 2 * states - 1, 32767.0f, -1.0f, -NO_VALUE}) {
      Alr->Update(v);
      int last = 9;
      EXPECT_TRUE(Drain(&last).empty()) << v;
      EXPECT_EQ(last, 0) << v;
      EXPECT_EQ(Meter.AlarmFlags, 3);
    }
    Alr->Update(states - 1);  // every output on: alarm A3 starts
    EXPECT_EQ(Drain(), std::vector<std::string>{"\tStart of alarm A3"});
  }
}

TEST_F(DriverAlarms, LinkEventsComeFirstAndAlarmsOnlyWhileConnected) {
  Meter.LinkState = 0;
  Meter.ErrorCount = 0;
  Alr->Update(1);
  EXPECT_EQ(Drain(), (std::vector<std::string>{"\tConnection to TR5", "\tStart of alarm A1"}));
  EXPECT_EQ(Codes, (std::vector<int>{1, 0}));  // link events add the new state

  Meter.ErrorCount = 3;
  Alr->Update(0);
  int last = 9;
  EXPECT_EQ(Drain(&last), (std::vector<std::string>{"\tTransmission error with TR5"}));
  EXPECT_EQ(Codes, std::vector<int>{3});
  EXPECT_EQ(last, -1);
  EXPECT_EQ(Meter.ErrorCount, 10);
  EXPECT_EQ(Meter.AlarmFlags, 1);  // the end of A1 waits for the link

  Meter.ErrorCount = 0;
  EXPECT_EQ(Drain(), (std::vector<std::string>{"\tConnection to TR5", "\tEnd of alarm A1"}));
}

// Without a line every step fails at once, which shows the block sequence
// and the error count without timing.
class DriverCycleOffline : public ::testing::Test {
protected:
  std::vector<int> Steps(int count) {
    std::vector<int> blocks;
    for (int i = 0; i < count; ++i) {
      blocks.push_back(Meter.BlockStart * 100 + Meter.BlockCount);
      EXPECT_EQ(Meter.Update(0), 0);
    }
    return blocks;
  }
  TTR5 Meter{true};
};

TEST_F(DriverCycleOffline, FailedStepsAdvanceAndCountToThree) {
  Meter.RelayReadInterval = 3600000;
  // The relay state is read once early, then only after the interval.
  EXPECT_EQ(Steps(7), (std::vector<int>{750034, 761206, 403001, 750034, 761206, 750034, 761206}));
  EXPECT_EQ(Meter.ErrorCount, 3);
  Meter.ErrorCount = 10;  // reported by NextEvent: counting stops
  Steps(2);
  EXPECT_EQ(Meter.ErrorCount, 10);
  Meter.ResetValues();
  Steps(1);
  EXPECT_EQ(Meter.ErrorCount, 2);
}

TEST_F(DriverCycleOffline, RelayReadFollowsTheCycleOnceTheIntervalHasPassed) {
  Meter.Kind = MT_VR5;
  Meter.RelayReadInterval = 0;
  EXPECT_EQ(Steps(7), (std::vector<int>{750034, 761206, 403901, 750034, 761206, 403901, 750034}));
  // A change of meter starts the cycle afresh: the step after the change
  // reads the process block, so the THD block is due next.
  Meter.Kind = 0;  // a model without a relay register
  Steps(1);
  EXPECT_EQ(Meter.BlockStart, 7612);
  EXPECT_EQ(Steps(3), (std::vector<int>{761206, 750034, 761206}));
  Meter.Kind = MT_TR5;
  Steps(2);
  ASSERT_EQ(Meter.BlockStart, 4030);  // the TR5's relay state is due next
  Meter.Kind = MT_VR5;                // ... and must not be read for the VR5
  Steps(1);
  EXPECT_EQ(Meter.BlockStart, 7612);
  Meter.Address = 9;
  Steps(1);
  EXPECT_EQ(Meter.BlockStart, 7612);
}

}  // namespace
