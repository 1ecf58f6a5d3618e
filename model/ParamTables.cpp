// The register tables of the five meter models: 41 groups of definition records.
//
// Setup groups are written out record by record. The long regular groups
// (harmonics, minima and maxima, times of the extremes) are generated at compile
// time from short quantity lists, so their texts live in read-only storage and
// every table is constant-initialised: nothing here depends on the order in
// which the program's static objects are constructed.
#include <array>
#include <cstddef>
#include <iterator>
#include <string_view>

#include "model/ParamDef.h"

namespace {

// The per-mille sign of the VR5B's relative thresholds, U+2030 in UTF-8.
constexpr const char* PER_MILLE = "\xE2\x80\xB0";

constexpr uint16_t MM_MEASURING = MM_TR5 | MM_TR5B | MM_VR5 | MM_VR5B;
constexpr uint16_t MM_NO_U3 = MM_TR5 | MM_VR5 | MM_VR5B;
constexpr uint16_t MM_VR5_BOTH = MM_VR5 | MM_VR5B;

// A writable setup record (kind 2 or 5).
constexpr TParamDef Setup(int16_t reg, int16_t kind, const char* code, const char* description,
                          float min, float max, const char* unit = "") {
  return TParamDef{reg, kind, code, description, min, max, unit, 0.0};
}

// A command record: written to make the meter act, it reads 0 again afterwards.
constexpr TParamDef Command(int16_t reg, const char* code, const char* description, float min, float max) {
  TParamDef def = Setup(reg, 2, code, description, min, max);
  def.Command = true;
  return def;
}

// A read-only measured record.
constexpr TParamDef Measured(int16_t reg, const char* code, const char* description,
                             const char* unit) {
  return TParamDef{reg, 4, code, description, 1.0f, 0.0f, unit, 0.0};
}

// ---------------------------------------------------------------------------
// Compile-time text building for the generated groups.

struct TGenText {
  char Code[16];
  char Description[64];
  const char* Unit;
};

struct TQuantity {
  const char* Code;
  const char* Text;
  const char* Unit;
};

// Not constexpr on purpose: reaching it during constant evaluation stops the build.
inline void GeneratedTextTooLong() {}

template <std::size_t N>
constexpr void Append(char (&dst)[N], const char* src) {
  std::size_t len = 0;
  while (dst[len] != '\0') ++len;
  for (; *src != '\0'; ++src, ++len) {
    if (len + 1 >= N) {
      GeneratedTextTooLong();
      dst[len] = '\0';
      return;
    }
    dst[len] = *src;
  }
  dst[len] = '\0';
}

template <std::size_t N>
constexpr void AppendNumber(char (&dst)[N], int n) {
  char digits[12] = {};
  int i = 10;
  do {
    digits[i--] = static_cast<char>('0' + n % 10);
    n /= 10;
  } while (n > 0 && i >= 0);
  Append(dst, &digits[i + 1]);
}

// Item n (1..25) of a harmonics group: "HarU1_7", " 7 harmonic of L1 phase voltage".
constexpr std::array<TGenText, 25> MakeHarmonics(const char* codePrefix, const char* quantity) {
  std::array<TGenText, 25> texts{};
  for (int n = 1; n <= 25; ++n) {
    TGenText& t = texts[static_cast<std::size_t>(n - 1)];
    Append(t.Code, codePrefix);
    AppendNumber(t.Code, n);
    Append(t.Description, " ");
    AppendNumber(t.Description, n);
    Append(t.Description, " harmonic of ");
    Append(t.Description, quantity);
    t.Unit = "%";
  }
  return texts;
}

// A minimum and a maximum record per quantity, minimum first. unit nullptr: the
// quantity's own unit.
template <std::size_t N>
constexpr std::array<TGenText, 2 * N> MakeExtremes(const TQuantity (&quantities)[N],
                                                   const char* codeMin, const char* codeMax,
                                                   const char* textMin, const char* textMax,
                                                   const char* unit = nullptr) {
  std::array<TGenText, 2 * N> texts{};
  for (std::size_t i = 0; i < N; ++i) {
    for (std::size_t m = 0; m < 2; ++m) {
      TGenText& t = texts[2 * i + m];
      Append(t.Code, quantities[i].Code);
      Append(t.Code, m == 0 ? codeMin : codeMax);
      Append(t.Description, quantities[i].Text);
      Append(t.Description, m == 0 ? textMin : textMax);
      t.Unit = unit != nullptr ? unit : quantities[i].Unit;
    }
  }
  return texts;
}

// Read-only records at consecutive registers from start. unit nullptr: the
// unit of the text entry.
template <std::size_t N>
constexpr std::array<TParamDef, N> MakeDefs(const std::array<TGenText, N>& texts, int start,
                                            int16_t kind, const char* unit = nullptr) {
  std::array<TParamDef, N> defs{};
  for (std::size_t i = 0; i < N; ++i) {
    defs[i] = TParamDef{static_cast<int16_t>(start + static_cast<int>(i)), kind, texts[i].Code,
                        texts[i].Description, 1.0f, 0.0f,
                        unit != nullptr ? unit : texts[i].Unit, 0.0};
  }
  return defs;
}

template <std::size_t N>
constexpr std::array<TParamDef, N> Copy(const TParamDef (&src)[N]) {
  std::array<TParamDef, N> defs{};
  for (std::size_t i = 0; i < N; ++i) defs[i] = src[i];
  return defs;
}

// The VR5B states its relative thresholds in per mille where the VR5 uses percent.
template <std::size_t N>
constexpr std::array<TParamDef, N> PerMille(std::array<TParamDef, N> defs) {
  for (TParamDef& d : defs) {
    if (d.Unit[0] == '%' && d.Unit[1] == '\0') d.Unit = PER_MILLE;
  }
  return defs;
}

// ---------------------------------------------------------------------------
// Quantity lists of the generated groups.

constexpr TQuantity kVoltagesCurrents[] = {
    {"U1", "L1 phase voltage", "V"}, {"U2", "L2 phase voltage", "V"},
    {"U3", "L3 phase voltage", "V"}, {"I1", "L1 phase current", "A"},
    {"I2", "L2 phase current", "A"}, {"I3", "L3 phase current", "A"},
};

constexpr TQuantity kPowers[] = {
    {"P1", "L1 phase active power", "W"},    {"P2", "L2 phase active power", "W"},
    {"P3", "L3 phase active power", "W"},    {"S1", "L1 phase apparent power", "VA"},
    {"S2", "L2 phase apparent power", "VA"}, {"S3", "L3 phase apparent power", "VA"},
    {"Q1", "L1 phase reactive power", "VAr"}, {"Q2", "L2 phase reactive power", "VAr"},
    {"Q3", "L3 phase reactive power", "VAr"},
};

constexpr TQuantity kFactors[] = {
    {"Pf1", "L1 phase active power factor", ""}, {"Pf2", "L2 phase active power factor", ""},
    {"Pf3", "L3 phase active power factor", ""}, {"tf1", "L1 phase tangent fi", ""},
    {"tf2", "L2 phase tangent fi", ""},          {"tf3", "L3 phase tangent fi", ""},
};

constexpr TQuantity kThreePhase[] = {
    {"Us", "3-phase voltage average", "V"},
    {"Is", "3-phase current average", "A"},
    {"P", "3-phase active power", "W"},
    {"Q", "3-phase reactive power", "VAr"},
    {"S", "3-phase apparent power", "VA"},
    {"Pf", "Active power factor", ""},
    {"tf", "tangent fi", ""},
    {"f", "Frequency", "Hz"},
    {"U12", "L1-L2 voltage", "V"},
    {"U23", "L2-L3 voltage", "V"},
    {"U31", "L3-L1 voltage", "V"},
    {"U123", "Average voltage phase to phase", "V"},
    {"Pav", "Average active power", "W"},
};

constexpr TQuantity kThd[] = {
    {"THD_U1", "THD U1", "%"}, {"THD_U2", "THD U2", "%"}, {"THD_U3", "THD U3", "%"},
    {"THD_I1", "THD I1", "%"}, {"THD_I2", "THD I2", "%"}, {"THD_I3", "THD I3", "%"},
};

constexpr auto kThdExtremeTexts = MakeExtremes(kThd, "", "", " - min", " - max");
constexpr auto kThdTimeTexts = MakeExtremes(kThd, "", "", " (min)", " (max)", "");
constexpr auto kVoltCurrExtremeTexts = MakeExtremes(kVoltagesCurrents, "min", "max", "- min", "- max");
constexpr auto kPowerExtremeTexts = MakeExtremes(kPowers, "min", "max", "- min", "- max");
constexpr auto kFactorExtremeTexts = MakeExtremes(kFactors, "min", "max", "- min", "- max");
constexpr auto kThreePhaseExtremeTexts = MakeExtremes(kThreePhase, "min", "max", "- min", "- max");

constexpr std::array<TGenText, 25> kHarmonicTexts[6] = {
    MakeHarmonics("HarU1_", "L1 phase voltage"), MakeHarmonics("HarU2_", "L2 phase voltage"),
    MakeHarmonics("HarU3_", "L3 phase voltage"), MakeHarmonics("HarI1_", "L1 phase current"),
    MakeHarmonics("HarI2_", "L2 phase current"), MakeHarmonics("HarI3_", "L3 phase current"),
};

// ---------------------------------------------------------------------------
// TR5 setup groups.

constinit TParamDef Tr5Setup[] = {
    Setup(4000, 2, "tr_I", "Ratio of current transformer", 1, 20000),
    Setup(4001, 2, "tr_U", "Ratio of voltage transformer", 1, 4000),
    Setup(4002, 2, "Ao_n", "Quantity on the continuous output", 0, 34),
    Setup(4003, 2, "Ao_L", "Factor of the output rescaling", 80, 120, "%"),
    Setup(4004, 5, "Ao_O", "Range of the continuous output(0-0..20;1-4..20mA)", 0, 1),
    Setup(4005, 5, "Po_n", "Quantity on the pulse output", 35, 37),
    Setup(4006, 2, "Po_c", "Constant of the pulse output", 0, 9999),
    Setup(4007, 5, "PI_n", "Quantity on the pulse input", 38, 40),
    Setup(4008, 2, "PI_c", "Constant of the external energy counter", 1, 9999),
    Command(4009, "PI_O", "Cancellation of the external energy counter(1-yes)", 0, 34),
    Command(4010, "EnPO", "Cancellation of the active energy counter (1-yes)", 0, 1),
    Command(4011, "EnQO", "Cancellation of the reactive energy counter (1-yes)", 0, 1),
    Command(4012, "EnSO", "Cancellation of the apparent energy counter(1-yes)", 0, 1),
    Command(4013, "PA_O", "Cancellation of the average active power Pav (1-yes)", 0, 1),
    Setup(4014, 2, "PA_t", "Time on average active power Pav(1-15,2-30,3-60min)", 1, 3),
    Setup(4015, 2, "PA_S", "Synch average power with RTC", 0, 1),
    Setup(4016, 2, "SECU", "Change of security code", 0, 9999),
};

constinit TParamDef Tr5Alarms[] = {
    Setup(4017, 2, "A1_n", "Alarm1 - quantity", 0, 34),
    Setup(4018, 2, "A1on", "Alarm1 - switching on value", 0, 1200),
    Setup(4019, 2, "A1oF", "Alarm1 - switching off value", 0, 1200),
    Setup(4020, 2, "A2_n", "Alarm2 - quantity", 0, 34),
    Setup(4021, 2, "A2on", "Alarm2 - switching on value", 0, 1200),
    Setup(4022, 2, "A2oF", "Alarm2 - switching off value", 0, 1200),
    Setup(4023, 2, "A3_n", "Alarm3 - quantity", 0, 34),
    Setup(4024, 2, "A3on", "Alarm3 - switching on value", 0, 1200),
    Setup(4025, 2, "A3oF", "Alarm3 - switching off value", 0, 1200),
    Setup(4026, 2, "Aldt", "Delay of alarm action", 0, 100),
};

constinit TParamDef Tr5Time[] = {
    Setup(4027, 2, "Year", "Year", 1998, 2083),
    Setup(4028, 2, "MonDay", "Date-month,day", 1, 1231),
    Setup(4029, 2, "HourMin", "Time-hour,minute", 0, 2400),
};

constinit TParamDef Tr5Relay[] = {
    Setup(4030, 2, "ALR", "Relay output state (b2b1b0=P3P2P1)", 0, 7),
};

constinit TParamDef Tr5Harmonics[] = {
    Setup(4031, 2, "Harm", "Harmonics (1-On,0-Off)", 0, 1),
};

// ---------------------------------------------------------------------------
// VR5 setup groups; the VR5B has the same registers in groups of its own.

constexpr TParamDef kVr5Mode[] = {
    Setup(4000, 2, "IRatio", "Ratio of current transformer", 1, 20000),
    Setup(4001, 2, "URatio", "Ratio of voltage transformer", 1, 4000),
    Command(4002, "ClearEt", "Cancellation of tariffs counters(1-yes)", 0, 1),
    Command(4003, "ClearPav", "Cancellation of power Pav,average(1-yes)", 0, 1),
    Setup(4004, 2, "PavTime", "Time on average active power", 1, 3),
    Setup(4005, 2, "PavWindow", "Synch. average power Pav", 0, 1),
    Setup(4006, 2, "Password", "Security code", 0, 9999),
};

constexpr TParamDef kVr5Alarms[] = {
    Setup(4007, 2, "Al1Param", "Output 1 - quantity", 1, 41),
    Setup(4008, 2, "Al1On", "Output 1 - switching on value", -1200, 1200, "%"),
    Setup(4009, 2, "Al1Off", "Output 1 - switching off value", -1200, 1200, "%"),
    Setup(4010, 2, "Al2Param", "Output 2 - quantity", 1, 41),
    Setup(4011, 2, "Al2On", "Output 2 - switching on value", -1200, 1200, "%"),
    Setup(4012, 2, "Al2Off", "Output 2 - switching off value", -1200, 1200, "%"),
    Setup(4013, 2, "Al3Param", "Output 3 - quantity", 1, 41),
    Setup(4014, 2, "Al3On", "Output 3 - switching on value", -1200, 1200, "%"),
    Setup(4015, 2, "Al3Off", "Output 3 - switching off value", -1200, 1200, "%"),
    Setup(4016, 2, "Al4Param", "Output 4 - quantity", 1, 41),
    Setup(4017, 2, "Al4On", "Output 4 - switching on value", -1200, 1200, "%"),
    Setup(4018, 2, "Al4Off", "Output 4 - switching off value", -1200, 1200, "%"),
    Setup(4019, 2, "AlDelay", "Delay of alarm action", 0, 100),
};

constexpr TParamDef kVr5Outputs[] = {
    Setup(4020, 2, "Out1Param", "Continuous output 1 - quantity", 1, 41),
    Setup(4021, 2, "Out1Low", "Continuous output 1 - low value", -1200, 1200, "%"),
    Setup(4022, 2, "Out1Hi", "Continuous output 1 - high value", -1200, 1200, "%"),
    Setup(4023, 2, "Out1Zero", "Continuous output 1 - type", 0, 3),
    Setup(4024, 2, "Out2Param", "Continuous output 2 - quantity", 1, 41),
    Setup(4025, 2, "Out2Low", "Continuous output 2 - low value", -1200, 1200, "%"),
    Setup(4026, 2, "Out2Hi", "Continuous output 2 - high value", -1200, 1200, "%"),
    Setup(4027, 2, "Out2Zero", "Continuous output 2 - type", 0, 3),
    Setup(4028, 2, "Out3Param", "Continuous output 3 - quantity", 1, 41),
    Setup(4029, 2, "Out3Low", "Continuous output 3 - low value", -1200, 1200, "%"),
    Setup(4030, 2, "Out3Hi", "Continuous output 3 - high value", -1200, 1200, "%"),
    Setup(4031, 2, "Out3Zero", "Continuous output 3 - type", 0, 3),
    Setup(4032, 2, "Out4Param", "Continuous output 4 - quantity", 1, 41),
    Setup(4033, 2, "Out4Low", "Continuous output 4 - low value", -1200, 1200, "%"),
    Setup(4034, 2, "Out4Hi", "Continuous output 4 - high value", -1200, 1200, "%"),
    Setup(4035, 2, "Out4Zero", "Continuous output 4 - type", 0, 3),
};

constexpr TParamDef kVr5Time[] = {
    Setup(4036, 2, "Year", "Year", 1998, 2083),
    Setup(4037, 2, "MonDay", "Date-month,day", 1, 1231),
    Setup(4038, 2, "HourMin", "Time-hour,minute", 0, 2400),
};

constexpr TParamDef kVr5Relay[] = {
    Setup(4039, 2, "ALR", "Relay output state (b3b2b1b0=P4P3P2P1)", 0, 16),
};

// The VR5B's analogue outputs: per-mille limits, and the fourth record of each
// output switches it on and off instead of choosing its type.
constexpr std::array<TParamDef, 16> MakeVr5bOutputs() {
  std::array<TParamDef, 16> defs = PerMille(Copy(kVr5Outputs));
  defs[3] = Setup(4023, 2, "Out1On/Off", "Continuous output 1 - on/off", 0, 1);
  defs[7] = Setup(4027, 2, "Out2On/Off", "Continuous output 2 - on/off", 0, 1);
  defs[11] = Setup(4031, 2, "Out3On/Off", "Continuous output 3 - on/off", 0, 1);
  defs[15] = Setup(4035, 2, "Out4On/Off", "Continuous output 4 - on/off", 0, 1);
  return defs;
}

constinit auto Vr5Mode = Copy(kVr5Mode);
constinit auto Vr5Alarms = Copy(kVr5Alarms);
constinit auto Vr5Outputs = Copy(kVr5Outputs);
constinit auto Vr5Time = Copy(kVr5Time);
constinit auto Vr5Relay = Copy(kVr5Relay);

constinit auto Vr5bMode = Copy(kVr5Mode);
constinit auto Vr5bAlarms = PerMille(Copy(kVr5Alarms));
constinit auto Vr5bOutputs = MakeVr5bOutputs();
constinit auto Vr5bTime = Copy(kVr5Time);
constinit auto Vr5bRelay = Copy(kVr5Relay);

// ---------------------------------------------------------------------------
// TR5B setup groups.

constinit TParamDef Tr5bSetup[] = {
    Setup(4000, 2, "tr_I", "Ratio of current transformer", 1, 20000),
    Setup(4001, 2, "tr_U", "Ratio of voltage transformer", 1, 4000),
    Command(4002, "EnPO", "Cancellation of the active energy counter (1-yes)", 0, 1),
    Command(4003, "EnQO", "Cancellation of the reactive energy counter (1-yes)", 0, 1),
    Command(4004, "EnSO", "Cancellation of the apparent energy counter(1-yes)", 0, 1),
    Command(4005, "PA_O", "Cancellation of the average active power Pav (1-yes)", 0, 1),
    Setup(4006, 2, "PA_t", "Time on average active power Pav(1-15,2-30,3-60min)", 1, 3),
    Setup(4007, 2, "PA_S", "Synch average power with RTC", 0, 1),
    Setup(4008, 2, "Harm", "Harmonics (1-On,0-Off)", 0, 1),
};

constinit TParamDef Tr5bAlarm[] = {
    Setup(4009, 2, "A1_n", "Alarm1 - quantity", 0, 34),
    Setup(4010, 2, "A1on", "Alarm1 - switching on value", 0, 1200),
    Setup(4011, 2, "A1oF", "Alarm1 - switching off value", 0, 1200),
    Setup(4012, 2, "Aldt", "Delay of alarm action", 0, 100),
};

constinit TParamDef Tr5bOutputs[] = {
    Setup(4013, 2, "Ao_1", "Output1 - quantity", 0, 34),
    Setup(4014, 2, "AoL1", "Output1 - low limit", -120, 120),
    Setup(4015, 2, "AoH1", "Output1 - high limit", -120, 120),
    Setup(4016, 2, "Ao_2", "Output2 - quantity", 0, 34),
    Setup(4017, 2, "AoL2", "Output2 - low limit", -120, 120),
    Setup(4018, 2, "AoH2", "Output2 - high limit", -120, 120),
    Setup(4019, 2, "Ao_3", "Output3 - quantity", 0, 34),
    Setup(4020, 2, "AoL3", "Output3 - low limit", -120, 120),
    Setup(4021, 2, "AoH3", "Output3 - high limit", -120, 120),
};

constinit TParamDef Tr5bService[] = {
    Setup(4022, 2, "Year", "Year", 1998, 2083),
    Setup(4023, 2, "MonDay", "Date-month,day", 1, 1231),
    Setup(4024, 2, "HourMin", "Time-hour,minute", 0, 2400),
    Setup(4025, 2, "ALR", "Relay output state", 0, 1),
    Setup(4026, 2, "SECU", "Change of security code", 0, 9999),
};

// ---------------------------------------------------------------------------
// TR8 setup group.

constinit TParamDef Tr8Setup[] = {
    Setup(4000, 2, "tr_I", "Ratio of current transformer", 1, 9000),
    Setup(4001, 2, "tr_U", "Ratio of voltage transformer", 1, 4000),
    Setup(4002, 2, "S3-4", "Choice of network type:3 or 4-wire(0/1)", 0, 1),
    Command(4003, "P_A0", "Cancellation of mean power(1-yes)", 0, 1),
    Setup(4004, 5, "P_AU", "Interval of mean power(0-off,1-15,2-30,3-60min)", 0, 3),
    Setup(4005, 2, "P_AS", "Synchronization with RTC", 0, 1),
    Setup(4006, 2, "Brigh", "Display brightness", 0, 15),
    Setup(4007, 2, "A_n", "Quantity on the relay output", 0, 33),
    Setup(4008, 2, "A_on", "Switch on value", -120, 120, "%"),
    Setup(4009, 2, "A_off", "Switch off value", -120, 120, "%"),
    Setup(4010, 2, "Dely", "Delay of alarm switch on", 0, 100, "s"),
    Setup(4011, 2, "An_n", "Quantity on the analogue output", 0, 33),
    Setup(4012, 2, "AnIL", "Lower threshold of the input quantity", -120, 120, "%"),
    Setup(4013, 2, "AnIH", "Upper threshold of the input quantity", -120, 120, "%"),
    Setup(4014, 2, "AnOL", "Lower threshold of the output scaling", -20, 20, "mA"),
    Setup(4015, 2, "AnOH", "Upper threshold of the output scaling", -20, 20, "mA"),
    Setup(4016, 2, "Year", "Year", 2002, 2084),
    Setup(4017, 2, "MonDay", "Month*100+day", 1, 1231),
    Setup(4018, 2, "HourMin", "Time in format Hour*100+minutes", 0, 2400),
    Setup(4019, 2, "ALR", "State of the relay output", 0, 1),
};

// ---------------------------------------------------------------------------
// Measured groups.

constinit TParamDef Tr5Energy[] = {
    Measured(7534, "EnP", "3-phase active energy", "Wh"),
    Measured(7535, "EnB", "3-phase reactive energy", "VArh"),
    Measured(7536, "EnS", "3-phase apparent energy", "VAh"),
    Measured(7537, "EnPz", "Active energy from external counter", "Wh"),
    Measured(7538, "EnBz", "Reactive energy from external counter", "VArh"),
    Measured(7539, "EnSz", "Apparent energy from external counter", "VA"),
};

constinit TParamDef Tariffs[] = {
    Measured(7780, "Ept1", "1 tariff active energy counter", "Wh"),
    Measured(7781, "Ept2", "2 tariff active energy counter", "Wh"),
    Measured(7782, "Ept3", "3 tariff active energy counter", "Wh"),
    Measured(7783, "Ept4", "4 tariff active energy counter", "Wh"),
    Measured(7784, "Eqt1", "1 tariff reactive energy counter", "Varh"),
    Measured(7785, "Eqt2", "2 tariff reactive energy counter", "Varh"),
    Measured(7786, "Eqt3", "3 tariff reactive energy counter", "Varh"),
    Measured(7787, "Eqt4", "4 tariff reactive energy counter", "Varh"),
    Measured(7788, "Est1", "1 tariff apparent energy counter", "VAh"),
    Measured(7789, "Est2", "2 tariff apparent energy counter", "VAh"),
    Measured(7790, "Est3", "3 tariff apparent energy counter", "VAh"),
    Measured(7791, "Est4", "4 tariff apparent energy counter", "VAh"),
};

// THD records of the group tables are kind 7 (percent with two decimals).
constinit TParamDef Thd[] = {
    TParamDef{7612, 7, "THD_U1", "THD of L1 phase voltage", 1.0f, 0.0f, "%", 0.0},
    TParamDef{7613, 7, "THD_U2", "THD of L2 phase voltage", 1.0f, 0.0f, "%", 0.0},
    TParamDef{7614, 7, "THD_U3", "THD of L3 phase voltage", 1.0f, 0.0f, "%", 0.0},
    TParamDef{7615, 7, "THD_I1", "THD of L1 phase current", 1.0f, 0.0f, "%", 0.0},
    TParamDef{7616, 7, "THD_I2", "THD of L2 phase current", 1.0f, 0.0f, "%", 0.0},
    TParamDef{7617, 7, "THD_I3", "THD of L3 phase current", 1.0f, 0.0f, "%", 0.0},
};
static_assert(std::size(Thd) == THD_BLOCK_LENGTH, "one record for each register of the THD block");

constinit auto ThdExtremes = MakeDefs(kThdExtremeTexts, 7618, 7);

constinit std::array<TParamDef, 25> Harmonics[6] = {
    MakeDefs(kHarmonicTexts[0], 7630, 7), MakeDefs(kHarmonicTexts[1], 7655, 7),
    MakeDefs(kHarmonicTexts[2], 7680, 7), MakeDefs(kHarmonicTexts[3], 7705, 7),
    MakeDefs(kHarmonicTexts[4], 7730, 7), MakeDefs(kHarmonicTexts[5], 7755, 7),
};

constinit auto VoltCurrExtremes = MakeDefs(kVoltCurrExtremeTexts, 7544, 4);
constinit auto PowerExtremes = MakeDefs(kPowerExtremeTexts, 7556, 4);
constinit auto FactorExtremes = MakeDefs(kFactorExtremeTexts, 7574, 4);
constinit auto ThreePhaseExtremes = MakeDefs(kThreePhaseExtremeTexts, 7586, 4);

// Times of the extremes (seconds), no unit.
constinit auto VoltCurrTimes = MakeDefs(kVoltCurrExtremeTexts, 7844, 6, "");
constinit auto PowerTimes = MakeDefs(kPowerExtremeTexts, 7856, 6, "");
constinit auto FactorTimes = MakeDefs(kFactorExtremeTexts, 7874, 6, "");
constinit auto ThreePhaseTimes = MakeDefs(kThreePhaseExtremeTexts, 7886, 6, "");
constinit auto ThdTimes = MakeDefs(kThdTimeTexts, 7912, 6);

// ---------------------------------------------------------------------------
// The group table.

template <std::size_t N>
constexpr TParamGroup Group(uint16_t models, TParamDef (&defs)[N], const char* title,
                            int16_t start) {
  return TParamGroup{models, defs, title, start, static_cast<int16_t>(N)};
}

template <std::size_t N>
constexpr TParamGroup Group(uint16_t models, std::array<TParamDef, N>& defs, const char* title,
                            int16_t start) {
  return TParamGroup{models, defs.data(), title, start, static_cast<int16_t>(N)};
}

// The "Process variables" groups use the first records of the acquisition
// list, one for each register of the process block.
constexpr int PROCESS_VARIABLE_COUNT = PROCESS_BLOCK_LENGTH;

// A table, kept in its rows:
// clang-format off
constinit TParamGroup ParamGroups[] = {
    Group(MM_TR5, Tr5Setup, "Setup mode parameters", 4000),                       // 0
    Group(MM_TR5, Tr5Alarms, "Alarm setting", 4017),                              // 1
    Group(MM_TR5, Tr5Time, "Time setting", 4027),                                 // 2
    Group(MM_TR5, Tr5Relay, "Relay output", 4030),                                // 3
    Group(MM_TR5, Tr5Harmonics, "Harmonic measurement", 4031),                    // 4
    Group(MM_VR5, Vr5Mode, "Mode Parameters", 4000),                              // 5
    Group(MM_VR5, Vr5Alarms, "Mode Alarms", 4007),                                // 6
    Group(MM_VR5, Vr5Outputs, "Mode Analog Outputs", 4020),                       // 7
    Group(MM_VR5, Vr5Time, "Time Setting", 4036),                                 // 8
    Group(MM_VR5, Vr5Relay, "Relay output", 4039),                                // 9
    Group(MM_VR5B, Vr5bMode, "Mode Parameters", 4000),                            // 10
    Group(MM_VR5B, Vr5bAlarms, "Mode Alarms", 4007),                              // 11
    Group(MM_VR5B, Vr5bOutputs, "Mode Analog Outputs", 4020),                     // 12
    Group(MM_VR5B, Vr5bTime, "Time Setting", 4036),                               // 13
    Group(MM_VR5B, Vr5bRelay, "Relay output", 4039),                              // 14
    Group(MM_TR5B, Tr5bSetup, "Setup mode parameters", 4000),                     // 15
    Group(MM_TR5B, Tr5bAlarm, "Alarm - parameters", 4009),                        // 16
    Group(MM_TR5B, Tr5bOutputs, "Continuous output - parameters", 4013),          // 17
    Group(MM_TR5B, Tr5bService, "Service parameters", 4022),                      // 18
    TParamGroup{MM_MEASURING, AcquisitionList, "Process variables", PROCESS_BLOCK_START,
                PROCESS_VARIABLE_COUNT},                                          // 19
    Group(MM_MEASURING, Thd, "Harmonics THD", THD_BLOCK_START),                   // 20
    Group(MM_MEASURING, ThdExtremes, "Harmonics THD (min,max)", 7618),            // 21
    Group(MM_MEASURING, Harmonics[0], "Harmonics of U1 voltage", 7630),           // 22
    Group(MM_MEASURING, Harmonics[1], "Harmonics of U2 voltage", 7655),           // 23
    Group(MM_NO_U3, Harmonics[2], "Harmonics of U3 voltage", 7680),               // 24
    Group(MM_MEASURING, Harmonics[3], "Harmonics of I1 current", 7705),           // 25
    Group(MM_MEASURING, Harmonics[4], "Harmonics of I2 current", 7730),           // 26
    Group(MM_MEASURING, Harmonics[5], "Harmonics of I3 current", 7755),           // 27
    Group(MM_MEASURING, VoltCurrExtremes, "Voltages and current - min, max", 7544),  // 28
    Group(MM_MEASURING, PowerExtremes, "Powers - min, max", 7556),                // 29
    Group(MM_MEASURING, FactorExtremes, "Factors - min, max", 7574),              // 30
    Group(MM_MEASURING, ThreePhaseExtremes, "3-phase parameters - min, max", 7586),  // 31
    Group(MM_TR5, Tr5Energy, "Energy", 7534),                                     // 32
    Group(MM_VR5_BOTH, Tariffs, "Tariffs", 7780),                                 // 33
    Group(MM_VR5_BOTH, VoltCurrTimes, "Voltages i currents - time(min,max)", 7844),  // 34
    Group(MM_VR5_BOTH, PowerTimes, "Powers - time(min, max)", 7856),              // 35
    Group(MM_VR5_BOTH, FactorTimes, "Factors - time(min,max)", 7874),             // 36
    Group(MM_VR5_BOTH, ThreePhaseTimes, "3-phase parameters - time(min,max)", 7886),  // 37
    Group(MM_VR5_BOTH, ThdTimes, "Harmonics THD - time(min,max)", 7912),          // 38
    Group(MM_TR8, Tr8Setup, "Setup mode parameters", 4000),                       // 39
    TParamGroup{MM_TR8, AcquisitionList, "Process variables", PROCESS_BLOCK_START,
                PROCESS_VARIABLE_COUNT},                                          // 40
};
// clang-format on
static_assert(std::size(ParamGroups) == PARAM_GROUP_COUNT, "one entry per group index");

}  // namespace

namespace {
constexpr struct {
  const char* Name;
  int Type;
} MODEL_NAMES[] = {{"TR5", MT_TR5}, {"TR5B", MT_TR5B}, {"VR5", MT_VR5}, {"VR5B", MT_VR5B}, {"TR8", MT_TR8}};
}  // namespace

const char* ModelName(int meterType) {
  for (const auto& m : MODEL_NAMES)
    if (m.Type == meterType) return m.Name;
  return nullptr;
}

int ModelType(const char* name) {
  if (!name) return 0;
  for (const auto& m : MODEL_NAMES)
    if (std::string_view(name) == m.Name) return m.Type;
  return 0;
}

uint16_t ModelMask(int meterType) {
  switch (meterType) {
    case MT_TR5: return MM_TR5;
    case MT_VR5: return MM_VR5;
    case MT_VR5B: return MM_VR5B;
    case MT_TR5B: return MM_TR5B;
    case MT_TR8: return MM_TR8;
    default: return 0;
  }
}

TParamGroup* GetParamGroup(int groupIndex) {
  if (groupIndex < 0 || groupIndex >= PARAM_GROUP_COUNT) return nullptr;
  return &ParamGroups[groupIndex];
}

TParamDef* FindParamDef(int selector) {
  if (selector < 0) return nullptr;
  TParamGroup* group = GetParamGroup(selector / 100);
  const int item = selector % 100;
  if (group == nullptr || item < 1 || item > group->Count) return nullptr;
  return &group->Definitions[item - 1];
}
