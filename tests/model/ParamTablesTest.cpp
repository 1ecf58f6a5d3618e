// The register tables: addressing, model visibility, layout of every group.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "model/ParamDef.h"

namespace {

const int kTypes[] = {MT_TR5, MT_TR5B, MT_VR5, MT_VR5B, MT_TR8};

std::set<int> Range(int first, int last) {
  std::set<int> s;
  for (int i = first; i <= last; ++i) s.insert(i);
  return s;
}

std::set<int> Union(std::set<int> a, const std::set<int>& b) {
  a.insert(b.begin(), b.end());
  return a;
}

std::set<int> VisibleGroups(int meterType) {
  std::set<int> s;
  for (int g = 0; g < PARAM_GROUP_COUNT; ++g)
    if ((GetParamGroup(g)->Models & ModelMask(meterType)) != 0) s.insert(g);
  return s;
}

TEST(ParamTables, EachModelSeesExactlyItsGroups) {
  EXPECT_EQ(VisibleGroups(MT_TR5), Union(Range(0, 4), Range(19, 32)));
  EXPECT_EQ(VisibleGroups(MT_VR5), Union(Union(Range(5, 9), Range(19, 31)), Range(33, 38)));
  EXPECT_EQ(VisibleGroups(MT_VR5B), Union(Union(Range(10, 14), Range(19, 31)), Range(33, 38)));
  std::set<int> tr5b = Union(Range(15, 23), Range(25, 31));
  EXPECT_EQ(VisibleGroups(MT_TR5B), tr5b);
  EXPECT_EQ(tr5b.count(24), 0u);
  EXPECT_EQ(VisibleGroups(MT_TR8), (std::set<int>{39, 40}));
  for (int other : {0, 1, 79, 82, 84, 87, 117, 119, -80, 80 + 65536})
    EXPECT_TRUE(VisibleGroups(other).empty()) << other;

  // The five model bits are distinct single bits.
  uint16_t all = 0;
  for (int t : kTypes) {
    const uint16_t m = ModelMask(t);
    EXPECT_EQ(m & (m - 1), 0) << t;
    EXPECT_EQ(all & m, 0) << t;
    all |= m;
  }
  EXPECT_EQ(all, 0x1F);
}

TEST(ParamTables, SelectorsStayInsideTheirGroup) {
  EXPECT_EQ(FindParamDef(0), nullptr);     // item 0 is the whole group
  EXPECT_EQ(FindParamDef(2200), nullptr);
  ASSERT_NE(FindParamDef(2201), nullptr);
  EXPECT_EQ(FindParamDef(2201)->Register, 7630);
  ASSERT_NE(FindParamDef(2225), nullptr);
  EXPECT_EQ(FindParamDef(2225)->Register, 7654);
  EXPECT_EQ(FindParamDef(2226), nullptr);  // would be group 23's first record
  EXPECT_EQ(FindParamDef(2299), nullptr);
  EXPECT_EQ(FindParamDef(4034)->Register, 7533);
  EXPECT_EQ(FindParamDef(4035), nullptr);
  EXPECT_EQ(FindParamDef(301)->Register, 4030);
  EXPECT_EQ(FindParamDef(302), nullptr);
  for (int bad : {4100, 4101, 9901, -1, -101, -2225, -2147483647 - 1, 2147483647})
    EXPECT_EQ(FindParamDef(bad), nullptr) << bad;
  EXPECT_EQ(GetParamGroup(-1), nullptr);
  EXPECT_EQ(GetParamGroup(41), nullptr);
  ASSERT_NE(GetParamGroup(40), nullptr);

  // Every item of every group, and one past the end, for every group.
  for (int g = 0; g < PARAM_GROUP_COUNT; ++g) {
    const TParamGroup* group = GetParamGroup(g);
    for (int n = 1; n <= group->Count; ++n)
      EXPECT_EQ(FindParamDef(g * 100 + n), &group->Definitions[n - 1]) << g << "/" << n;
    EXPECT_EQ(FindParamDef(g * 100 + group->Count + 1), nullptr) << g;
  }
}

TEST(ParamTables, ValueWidthFollowsTheFirstRegister) {
  EXPECT_EQ(ValueKindForRegister(0), 'i');
  EXPECT_EQ(ValueKindForRegister(4000), 'i');
  EXPECT_EQ(ValueKindForRegister(7499), 'i');
  EXPECT_EQ(ValueKindForRegister(7500), 'f');
  EXPECT_EQ(ValueKindForRegister(7799), 'f');
  EXPECT_EQ(ValueKindForRegister(7800), 'l');
  EXPECT_EQ(ValueKindForRegister(7923), 'l');
  // No group straddles a width boundary.
  for (int g = 0; g < PARAM_GROUP_COUNT; ++g) {
    const TParamGroup* group = GetParamGroup(g);
    EXPECT_EQ(ValueKindForRegister(group->StartRegister),
              ValueKindForRegister(group->StartRegister + group->Count - 1))
        << g;
  }
}

// The blocks the acquisition cycle reads, at their edges, against the
// meters' register numbers; each block is the register range of one group.
TEST(ParamTables, BlocksAndRegisterRolesAtTheirEdges) {
  EXPECT_TRUE(IsSetupRegister(4000));
  EXPECT_TRUE(IsSetupRegister(7499));
  EXPECT_FALSE(IsSetupRegister(7500));
  EXPECT_TRUE(IsMeasuredRegister(7500));
  EXPECT_FALSE(IsMeasuredRegister(7499));
  const std::pair<int, bool> process[] = {{7499, false}, {7500, true}, {7533, true}, {7534, false}};
  for (const auto& [reg, in] : process) EXPECT_EQ(InProcessBlock(reg), in) << reg;
  const std::pair<int, bool> thd[] = {{7611, false}, {7612, true}, {7617, true}, {7618, false}};
  for (const auto& [reg, in] : thd) EXPECT_EQ(InThdBlock(reg), in) << reg;

  const TParamGroup* processGroup = GetParamGroup(19);
  const TParamGroup* thdGroup = GetParamGroup(20);
  EXPECT_EQ(processGroup->StartRegister, PROCESS_BLOCK_START);
  EXPECT_EQ(processGroup->Count, PROCESS_BLOCK_LENGTH);
  EXPECT_EQ(thdGroup->StartRegister, THD_BLOCK_START);
  EXPECT_EQ(thdGroup->Count, THD_BLOCK_LENGTH);
  // Setup groups lie below the measured range, measured groups in it.
  for (int g = 0; g < PARAM_GROUP_COUNT; ++g) {
    const TParamGroup* group = GetParamGroup(g);
    for (int i = 0; i < group->Count; ++i) {
      const TParamDef& d = group->Definitions[i];
      EXPECT_EQ(IsSetupRegister(d.Register), d.Kind == 2 || d.Kind == 5) << g << " " << d.Code;
    }
  }
}

TEST(ParamTables, EveryGroupIsWellFormed) {
  size_t longestDescription = 0;
  for (int g = 0; g < PARAM_GROUP_COUNT; ++g) {
    const TParamGroup* group = GetParamGroup(g);
    ASSERT_NE(group->Definitions, nullptr) << g;
    ASSERT_NE(group->Title, nullptr) << g;
    EXPECT_GT(group->Count, 0) << g;
    EXPECT_LT(group->Count, 100) << g;  // an item number must fit the selector
    const bool setup = group->StartRegister < 7500;
    for (int n = 0; n < group->Count; ++n) {
      const TParamDef& d = group->Definitions[n];
      SCOPED_TRACE("group " + std::to_string(g) + " item " + std::to_string(n + 1));
      EXPECT_EQ(d.Register, group->StartRegister + n);
      ASSERT_NE(d.Code, nullptr);
      ASSERT_NE(d.Description, nullptr);
      ASSERT_NE(d.Unit, nullptr);
      EXPECT_GT(std::strlen(d.Code), 0u);
      EXPECT_GT(std::strlen(d.Description), 0u);
      EXPECT_EQ(d.LastValue, 0.0);  // nothing has been read yet
      longestDescription = std::max(longestDescription, std::strlen(d.Description));
      // The commands are the "Cancellation of ... (1-yes)" items, on every model.
      EXPECT_EQ(d.Command, std::strncmp(d.Description, "Cancellation of", 15) == 0) << d.Code;
      if (setup) {
        EXPECT_TRUE(d.Kind == 2 || d.Kind == 5) << d.Kind;
        EXPECT_LE(d.Min, d.Max);
      } else {
        EXPECT_TRUE(d.Kind == 4 || d.Kind == 6 || d.Kind == 7) << d.Kind;
        EXPECT_EQ(d.Min, 1.0f);  // read-only
        EXPECT_EQ(d.Max, 0.0f);
        EXPECT_EQ(d.Kind == 6, group->StartRegister >= 7800);
      }
    }
  }
  // Callers size their text buffers for 52 characters and a terminator.
  EXPECT_EQ(longestDescription, 52u);
}

TEST(ParamTables, GroupsOfOneModelDoNotOverlap) {
  for (int t : kTypes) {
    std::vector<std::pair<int, int>> ranges;
    for (int g : VisibleGroups(t)) {
      const TParamGroup* group = GetParamGroup(g);
      ranges.emplace_back(group->StartRegister, group->StartRegister + group->Count - 1);
    }
    for (size_t i = 0; i < ranges.size(); ++i)
      for (size_t j = i + 1; j < ranges.size(); ++j)
        EXPECT_TRUE(ranges[i].second < ranges[j].first || ranges[j].second < ranges[i].first)
            << "model " << t << ": " << ranges[i].first << ".." << ranges[i].second << " and "
            << ranges[j].first << ".." << ranges[j].second;
  }
}

TEST(ParamTables, ProcessVariablesAreTheAcquisitionRecords) {
  const TParamGroup* tr5 = GetParamGroup(19);
  const TParamGroup* tr8 = GetParamGroup(40);
  ASSERT_EQ(tr5->Count, 34);
  ASSERT_EQ(tr8->Count, 34);
  EXPECT_EQ(tr5->Definitions, AcquisitionList);
  EXPECT_EQ(tr8->Definitions, AcquisitionList);

  // A group read of one shows in the other and in the acquisition list.
  TParamDef* u3 = FindParamDef(1915);
  ASSERT_NE(u3, nullptr);
  EXPECT_STREQ(u3->Code, "U3");
  EXPECT_EQ(u3->LastValue, 0.0);
  u3->LastValue = 231.5;
  EXPECT_EQ(FindParamDef(4015)->LastValue, 231.5);
  u3->LastValue = 0.0;

  // The acquisition list: process variables ascending, then ALR, then six THD
  // values that are separate from the kind-7 records of the THD group.
  for (int i = 0; i < 34; ++i) EXPECT_EQ(AcquisitionList[i].Register, 7500 + i);
  EXPECT_STREQ(AcquisitionList[34].Code, "ALR");
  EXPECT_EQ(AcquisitionList[34].Register, 4030);
  for (int i = 0; i < 6; ++i) {
    const TParamDef& acq = AcquisitionList[35 + i];
    const TParamDef* grp = FindParamDef(2001 + i);
    EXPECT_NE(&acq, grp);
    EXPECT_EQ(acq.Register, grp->Register);
    EXPECT_STREQ(acq.Code, grp->Code);
    EXPECT_EQ(acq.Kind, 4);
    EXPECT_EQ(grp->Kind, 7);
  }
  // Every variable built from the list fits the name and unit fields.
  for (const TParamDef& d : AcquisitionList) {
    EXPECT_LT(std::strlen(d.Code), 10u) << d.Code;
    EXPECT_LT(std::strlen(d.Unit), 10u) << d.Code;
  }
}

TEST(ParamTables, GeneratedTexts) {
  auto expect = [](int selector, const char* code, const char* description, const char* unit,
                   int kind) {
    const TParamDef* d = FindParamDef(selector);
    ASSERT_NE(d, nullptr) << selector;
    EXPECT_STREQ(d->Code, code) << selector;
    EXPECT_STREQ(d->Description, description) << selector;
    EXPECT_STREQ(d->Unit, unit) << selector;
    EXPECT_EQ(d->Kind, kind) << selector;
  };
  expect(2201, "HarU1_1", " 1 harmonic of L1 phase voltage", "%", 7);
  expect(2409, "HarU3_9", " 9 harmonic of L3 phase voltage", "%", 7);
  expect(2501, "HarI1_1", " 1 harmonic of L1 phase current", "%", 7);
  expect(2725, "HarI3_25", " 25 harmonic of L3 phase current", "%", 7);
  expect(2101, "THD_U1", "THD U1 - min", "%", 7);
  expect(2112, "THD_I3", "THD I3 - max", "%", 7);
  expect(2801, "U1min", "L1 phase voltage- min", "V", 4);
  expect(2812, "I3max", "L3 phase current- max", "A", 4);
  expect(2918, "Q3max", "L3 phase reactive power- max", "VAr", 4);
  expect(3012, "tf3max", "L3 phase tangent fi- max", "", 4);
  expect(3124, "U123max", "Average voltage phase to phase- max", "V", 4);
  expect(3126, "Pavmax", "Average active power- max", "W", 4);
  expect(3401, "U1min", "L1 phase voltage- min", "", 6);
  expect(3801, "THD_U1", "THD U1 (min)", "", 6);
  expect(3812, "THD_I3", "THD I3 (max)", "", 6);

  // The times groups repeat the texts of the extremes groups, record for record.
  const std::pair<int, int> mirrored[] = {{28, 34}, {29, 35}, {30, 36}, {31, 37}, {21, 38}};
  for (auto [values, times] : mirrored) {
    const TParamGroup* v = GetParamGroup(values);
    const TParamGroup* t = GetParamGroup(times);
    ASSERT_EQ(v->Count, t->Count);
    for (int n = 0; n < v->Count; ++n) {
      EXPECT_STREQ(v->Definitions[n].Code, t->Definitions[n].Code);
      if (values != 21) {
        EXPECT_STREQ(v->Definitions[n].Description, t->Definitions[n].Description);
      }
    }
  }
}

TEST(ParamTables, Vr5bRepeatsTheVr5GroupsInPerMille) {
  for (int g = 5; g <= 9; ++g) {
    const TParamGroup* vr5 = GetParamGroup(g);
    const TParamGroup* vr5b = GetParamGroup(g + 5);
    EXPECT_STREQ(vr5->Title, vr5b->Title);
    EXPECT_EQ(vr5->StartRegister, vr5b->StartRegister);
    ASSERT_EQ(vr5->Count, vr5b->Count);
    EXPECT_NE(vr5->Definitions, vr5b->Definitions);  // a read of one leaves the other alone
    for (int n = 0; n < vr5->Count; ++n) {
      const TParamDef& a = vr5->Definitions[n];
      const TParamDef& b = vr5b->Definitions[n];
      SCOPED_TRACE(std::to_string(g) + "/" + std::to_string(n + 1));
      EXPECT_EQ(a.Register, b.Register);
      EXPECT_EQ(a.Kind, b.Kind);
      EXPECT_EQ(std::string(b.Unit), std::string(a.Unit) == "%" ? "\u2030" : a.Unit);
      const bool onOff = g == 7 && n % 4 == 3;
      if (onOff) {
        EXPECT_EQ(std::string(b.Code), "Out" + std::to_string(n / 4 + 1) + "On/Off");
        EXPECT_EQ(std::string(b.Description),
                  "Continuous output " + std::to_string(n / 4 + 1) + " - on/off");
        EXPECT_EQ(b.Min, 0.0f);
        EXPECT_EQ(b.Max, 1.0f);
        EXPECT_EQ(a.Max, 3.0f);
      } else {
        EXPECT_STREQ(a.Code, b.Code);
        EXPECT_STREQ(a.Description, b.Description);
        EXPECT_EQ(a.Min, b.Min);
        EXPECT_EQ(a.Max, b.Max);
      }
    }
  }
  EXPECT_STREQ(FindParamDef(1102)->Unit, "\u2030");
  EXPECT_STREQ(FindParamDef(602)->Unit, "%");
}

}  // namespace
