// The protocol core of one meter: its register map per model, the answers to
// functions 3 and 6, and setup registers that act on what is measured.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <ctime>

#include "model/ParamDef.h"
#include "sim/SimMeter.h"

namespace {

const int kModels[] = {MT_TR5, MT_TR5B, MT_VR5, MT_VR5B, MT_TR8};

SimBytes Read(int address, int reg, int count) {
  return {static_cast<uint8_t>(address), 3, static_cast<uint8_t>(reg >> 8), static_cast<uint8_t>(reg),
          static_cast<uint8_t>(count >> 8), static_cast<uint8_t>(count)};
}

SimBytes Write(int address, int reg, int value) {
  const auto v = static_cast<uint16_t>(value);
  return {static_cast<uint8_t>(address), 6, static_cast<uint8_t>(reg >> 8), static_cast<uint8_t>(reg),
          static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
}

SimBytes Exception(int address, int function, int code) {
  return {static_cast<uint8_t>(address), static_cast<uint8_t>(function | 0x80), static_cast<uint8_t>(code)};
}

uint32_t Be32(const SimBytes& b, size_t at) {
  return uint32_t{b[at]} << 24 | uint32_t{b[at + 1]} << 16 | uint32_t{b[at + 2]} << 8 | b[at + 3];
}

float BeFloat(const SimBytes& b, size_t at) {
  const uint32_t x = Be32(b, at);
  float f;
  std::memcpy(&f, &x, sizeof f);
  return f;
}

void Tick(SimMeter& m, double seconds = 0.2) {
  static auto t = SimClock::now();
  t += std::chrono::microseconds(static_cast<long>(seconds * 1e6));
  m.Advance(t, std::chrono::system_clock::now());
}

TEST(SimMeterMap, EveryMeasuredRegisterOfEveryModelHasAMeaning) {
  for (int type : kModels) {
    SimRegisterMap map(type);
    ASSERT_FALSE(map.Empty()) << SimModelName(type);
    EXPECT_NE(map.FindCode("ALR"), nullptr) << SimModelName(type) << " has a relay output";
    for (const auto& [reg, r] : map.All()) {
      if (r.Writable) continue;
      EXPECT_NE(r.Source.What, SimSource::None) << SimModelName(type) << " register " << reg << " " << r.Code;
    }
  }
  EXPECT_TRUE(SimRegisterMap(0).Empty());
  EXPECT_TRUE(SimRegisterMap(99).Empty());
}

TEST(SimMeter, ValuesAreCodedByRegisterRange) {
  SimMeter m(MT_VR5, 7, 1);
  Tick(m);
  // Below 7500: 16-bit integers.
  SimBytes r = m.Handle(Read(7, 4000, 3));
  ASSERT_EQ(r.size(), 3u + 6);
  EXPECT_EQ(r[2], 6);
  EXPECT_EQ(r[3] << 8 | r[4], 1);  // current ratio 1
  // 7500..7799: one float per register.
  r = m.Handle(Read(7, 7500, 34));
  ASSERT_EQ(r.size(), 3u + 136);
  EXPECT_EQ(r[2], 136);
  for (int i = 0; i < 34; ++i) EXPECT_FLOAT_EQ(BeFloat(r, 3 + 4 * i), static_cast<float>(*m.Get(7500 + i)));
  const float u1 = BeFloat(r, 3), u12 = BeFloat(r, 3 + 4 * 29);
  EXPECT_NEAR(u12 / u1, std::sqrt(3.0f), 0.05);
  // From 7800: 32-bit integers, the times of the extremes as the meter keeps
  // them: seconds since 1970 plus one hour.
  r = m.Handle(Read(7, 7844, 2));
  ASSERT_EQ(r.size(), 3u + 8);
  const auto t = static_cast<int64_t>(Be32(r, 3));
  EXPECT_NEAR(static_cast<double>(t - 3600), static_cast<double>(std::time(nullptr)), 5);
  EXPECT_EQ(static_cast<double>(t), *m.Get(7844));
}

TEST(SimMeter, ReadsOutsideTheMapOrTooLongAreRefused) {
  SimMeter tr5(MT_TR5, 1, 1), tr5b(MT_TR5B, 1, 1), vr5(MT_VR5, 1, 1), tr8(MT_TR8, 1, 1);
  EXPECT_EQ(tr5b.Handle(Read(1, 7680, 1)), Exception(1, 3, 2));  // no U3 harmonics on the TR5B
  EXPECT_EQ(tr5b.Handle(Read(1, 7679, 2)), Exception(1, 3, 2));  // a block touching them
  EXPECT_EQ(tr5b.Handle(Read(1, 7655, 25))[1], 3);
  EXPECT_EQ(vr5.Handle(Read(1, 7534, 6)), Exception(1, 3, 2));   // energy is the TR5's
  EXPECT_EQ(tr5.Handle(Read(1, 7534, 6))[1], 3);
  EXPECT_EQ(tr5.Handle(Read(1, 7538, 4)), Exception(1, 3, 2));   // runs into the gap after it
  EXPECT_EQ(tr8.Handle(Read(1, 7612, 6)), Exception(1, 3, 2));   // the TR8 has no THD
  EXPECT_EQ(tr5.Handle(Read(1, 4031, 2)), Exception(1, 3, 2));
  EXPECT_EQ(tr5.Handle(Read(1, 4000, 0)), Exception(1, 3, 3));
  // 62 floats fill the frame; 63 would not fit the byte count.
  EXPECT_EQ(tr5.Handle(Read(1, 7630, 62))[2], 248);
  EXPECT_EQ(tr5.Handle(Read(1, 7630, 63)), Exception(1, 3, 3));
  EXPECT_EQ(tr5.Handle(Read(1, 65535, 10)), Exception(1, 3, 2));
  // Other functions and malformed requests.
  EXPECT_EQ(tr5.Handle(SimBytes{1, 4, 0x1D, 0x4C, 0, 1}), Exception(1, 4, 1));
  EXPECT_EQ(tr5.Handle(SimBytes{1, 16, 0x0F, 0xA0, 0, 1, 2, 0, 5}), Exception(1, 16, 1));
  EXPECT_EQ(tr5.Handle(SimBytes{1, 3, 0x0F, 0xA0, 0}), Exception(1, 3, 3));
  EXPECT_TRUE(tr5.Handle(SimBytes{1}).empty());
}

TEST(SimMeter, WritesAreCheckedAgainstTheLimitsAndEchoed) {
  SimMeter m(MT_TR5, 1, 1);
  EXPECT_EQ(m.Handle(Write(1, 4000, 20000)), Write(1, 4000, 20000));
  EXPECT_EQ(*m.Get(4000), 20000);
  EXPECT_EQ(m.Handle(Write(1, 4000, 20001)), Exception(1, 6, 3));
  EXPECT_EQ(m.Handle(Write(1, 4000, 0)), Exception(1, 6, 3));
  EXPECT_EQ(m.Handle(Write(1, 4000, -1)), Exception(1, 6, 3));  // 0xFFFF is -1, not 65535
  EXPECT_EQ(*m.Get(4000), 20000);
  EXPECT_EQ(m.Handle(Write(1, 7500, 1)), Exception(1, 6, 2));   // measured
  EXPECT_EQ(m.Handle(Write(1, 4100, 1)), Exception(1, 6, 2));   // unknown

  SimMeter vr5(MT_VR5, 2, 1);  // negative limits
  EXPECT_EQ(vr5.Handle(Write(2, 4008, -1200))[1], 6);
  EXPECT_EQ(*vr5.Get(4008), -1200);
  EXPECT_EQ(vr5.Handle(Write(2, 4008, -1201)), Exception(2, 6, 3));

  // A broadcast write is carried out and answered by nobody.
  EXPECT_TRUE(m.Handle(Write(0, 4001, 30)).empty());
  EXPECT_EQ(*m.Get(4001), 30);
  EXPECT_TRUE(m.Handle(Read(0, 4000, 1)).empty());
}

TEST(SimMeter, TransformerRatiosAndClearingActOnTheMeasurement) {
  SimMeter m(MT_TR5, 1, 1);
  m.Physics().SetFrozen(true);
  Tick(m);
  const double u = *m.Get(7500), i = *m.Get(7501), p = *m.Get(7502);
  m.Handle(Write(1, 4000, 40));
  m.Handle(Write(1, 4001, 100));
  Tick(m, 0);
  EXPECT_NEAR(*m.Get(7500), 100 * u, 1e-3 * u * 100);
  EXPECT_NEAR(*m.Get(7501), 40 * i, 1e-3 * i * 40);
  EXPECT_NEAR(*m.Get(7502), 4000 * p, 1e-3 * p * 4000);

  Tick(m, 3600);
  EXPECT_NEAR(*m.Get(7534), *m.Get(7523), 1e-3 * *m.Get(7523));  // an hour at P: P Wh
  EXPECT_EQ(m.Handle(Write(1, 4010, 1))[1], 6);
  EXPECT_EQ(*m.Get(7534), 0);
  EXPECT_EQ(*m.Get(4010), 0);  // the request flag drops back
  EXPECT_GT(*m.Get(7536), 0);  // apparent energy not touched
}

TEST(SimMeter, RelayOutputFollowsTheAlarmSetup) {
  struct Case {
    int Type, Quantity, Relay, Bits;  // quantity register (on/off follow), relay register, alarm count
    int Scale;                        // thresholds per mille (1000) or per cent (100)
  };
  const Case cases[] = {{MT_TR5, 4017, 4030, 3, 1000}, {MT_TR5B, 4009, 4025, 1, 1000},
                        {MT_VR5, 4007, 4039, 4, 1000}, {MT_TR8, 4007, 4019, 1, 100}};
  for (const Case& c : cases) {
    SCOPED_TRACE(SimModelName(c.Type));
    SimMeter m(c.Type, 1, 1);
    m.Physics().SetFrozen(true);
    for (int a = 0; a < c.Bits; ++a)  // alarms on nothing; TR8: its only alarm on U1, thresholds out of reach
      m.Handle(Write(1, c.Quantity + 3 * a, c.Type == MT_TR8 ? 0 : c.Type == MT_VR5 ? 41 : 0));
    if (c.Type == MT_TR8) m.Handle(Write(1, 4008, 120)), m.Handle(Write(1, 4009, 115));
    Tick(m);
    EXPECT_EQ(*m.Get(c.Relay), 0);
    // Last alarm: L1 current, on at 80 %, off at 70 % of 5 A (TR8: its one alarm is number 1 = I1).
    const int last = c.Quantity + 3 * (c.Bits - 1);
    ASSERT_EQ(m.Handle(Write(1, last, c.Type == MT_TR8 ? 1 : 2))[1], 6);
    m.Handle(Write(1, last + 1, 8 * c.Scale / 10));
    m.Handle(Write(1, last + 2, 7 * c.Scale / 10));
    const int bit = 1 << (c.Bits - 1);
    m.Physics().SetPhase(0, 230, 4.2, 30);
    Tick(m);
    EXPECT_EQ(*m.Get(c.Relay), bit);
    m.Physics().SetPhase(0, 230, 3.75, 30);  // between the thresholds
    Tick(m);
    EXPECT_EQ(*m.Get(c.Relay), bit);
    m.Physics().SetPhase(0, 230, 3.4, 30);
    Tick(m);
    EXPECT_EQ(*m.Get(c.Relay), 0);
    if (c.Bits > 1) {  // bits without an alarm keep what was written
      EXPECT_EQ(m.Handle(Write(1, c.Relay, 1))[1], 6);
      m.Physics().SetPhase(0, 230, 4.5, 30);
      Tick(m);
      EXPECT_EQ(*m.Get(c.Relay), 1 | bit);
    }
    // A held relay register stays as held.
    ASSERT_TRUE(m.Hold(c.Relay, 0));
    Tick(m);
    EXPECT_EQ(*m.Get(c.Relay), 0);
  }
}

TEST(SimMeter, ClockFollowsThePcAndCanBeSet) {
  SimMeter m(MT_TR5, 1, 1);
  Tick(m);
  const time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  EXPECT_EQ(*m.Get(4027), local.tm_year + 1900);
  EXPECT_EQ(*m.Get(4028), (local.tm_mon + 1) * 100 + local.tm_mday);
  const int hm = static_cast<int>(*m.Get(4029));
  EXPECT_NEAR(hm / 100 * 60 + hm % 100, local.tm_hour * 60 + local.tm_min, 1);

  EXPECT_EQ(m.Handle(Write(1, 4027, 2010))[1], 6);
  EXPECT_EQ(*m.Get(4027), 2010);
  EXPECT_EQ(m.Handle(Write(1, 4028, 1231))[1], 6);
  EXPECT_EQ(m.Handle(Write(1, 4029, 2359))[1], 6);
  Tick(m);
  EXPECT_EQ(*m.Get(4028), 1231);
  EXPECT_EQ(*m.Get(4029), 2359);
  EXPECT_EQ(*m.Get(4027), 2010);
  // Within the limits but no date or time: refused.
  EXPECT_EQ(m.Handle(Write(1, 4028, 231)), Exception(1, 6, 3));
  EXPECT_EQ(m.Handle(Write(1, 4028, 1300)), Exception(1, 6, 3));
  EXPECT_EQ(m.Handle(Write(1, 4029, 1260)), Exception(1, 6, 3));
  EXPECT_EQ(*m.Get(4028), 1231);
}

TEST(SimMeter, MinMaxAndHarmonicRegistersAgreeWithThePresentValues) {
  SimMeter m(MT_VR5, 1, 5);
  for (int i = 0; i < 50; ++i) Tick(m, 5);
  for (int q = 0; q < 6; ++q) {  // U1 .. I3 pairs in the min/max block
    const double present = *m.Get(q < 3 ? 7500 + 7 * q : 7501 + 7 * (q - 3));
    EXPECT_LE(*m.Get(7544 + 2 * q), present + 1e-3);
    EXPECT_GE(*m.Get(7545 + 2 * q), present - 1e-3);
    EXPECT_LE(*m.Get(7844 + 2 * q), *m.Get(7845 + 2 * q) + 300);  // both times within the run
  }
  for (int c = 0; c < 6; ++c) {
    double sq = 0;
    for (int h = 2; h <= 25; ++h) sq += std::pow(*m.Get(7630 + 25 * c + h - 1), 2);
    EXPECT_NEAR(*m.Get(7630 + 25 * c), 100, 1e-9);
    EXPECT_NEAR(*m.Get(7612 + c), std::sqrt(sq), 1e-6);
    EXPECT_LE(*m.Get(7618 + 2 * c), *m.Get(7612 + c) + 1e-9);
  }
  EXPECT_GT(*m.Get(7780) + *m.Get(7781) + *m.Get(7782) + *m.Get(7783), 0);  // tariff counters run
}

}  // namespace
