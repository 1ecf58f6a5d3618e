// The object tree: list order and ownership, lookups, texts, counters, the meter.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "model/FieldText.h"
#include "model/TR5.h"
#include "model/Zmienna.h"

namespace {

// A node that counts its destructions.
struct Probe : TZmienna {
  static inline int Destroyed = 0;
  Probe(const char* name, int id) : TZmienna(name, "", 0) { Id = id; }
  ~Probe() override { ++Destroyed; }
};

std::unique_ptr<TZmienna> Node(const char* name, int id) { return std::make_unique<Probe>(name, id); }

// The names of a list from head.Next on, each with its Id.
std::vector<std::string> Names(TZmienna* first) {
  std::vector<std::string> names;
  for (TZmienna* n = first; n != nullptr; n = n->Next.get())
    names.push_back(std::string(n->Name) + "@" + std::to_string(n->Id));
  return names;
}

using Strings = std::vector<std::string>;

TEST(ZmiennaList, AddChildSortsByIdAndPutsEqualIdsFirst) {
  TSlownik box("box", "", 0);
  box.AddChild(Node("a", 7501));
  box.AddChild(Node("b", 4030));
  box.AddChild(Node("c", 7500));
  EXPECT_EQ(Names(box.FirstChild()), (Strings{"b@4030", "c@7500", "a@7501"}));

  box.AddChild(Node("d", 7500));  // equal Id: goes in front of the existing one
  box.AddChild(Node("e", 9000));  // largest: goes last
  box.AddChild(Node("f", -5));    // smallest: goes first
  EXPECT_EQ(Names(box.FirstChild()),
            (Strings{"f@-5", "b@4030", "d@7500", "c@7500", "a@7501", "e@9000"}));
  EXPECT_EQ(box.ChildCount, 6);
  for (TZmienna* n = box.FirstChild(); n; n = n->Next.get()) EXPECT_EQ(n->Parent, &box);
}

TEST(ZmiennaList, NodeArrivingWithFollowersKeepsThemAll) {
  TSlownik box;
  box.AddChild(Node("m", 50));
  auto chain = Node("x", 90);
  chain->Next = Node("y", 10);
  chain->Next->Next = Node("z", 60);
  box.AddChild(std::move(chain));
  EXPECT_EQ(Names(box.FirstChild()), (Strings{"y@10", "m@50", "z@60", "x@90"}));
  EXPECT_EQ(box.ChildCount, 4);
  box.AddChild(nullptr);
  EXPECT_EQ(box.ChildCount, 4);
}

TEST(ZmiennaList, RemoveSiblingDestroysOnlyThatNode) {
  TZmienna head;
  head.InsertSorted(Node("a", 1));
  head.InsertSorted(Node("b", 2));
  head.InsertSorted(Node("c", 3));
  TZmienna* b = head.FindById(2);
  ASSERT_NE(b, nullptr);

  Probe stranger("s", 2);
  Probe::Destroyed = 0;
  head.RemoveSibling(&stranger);  // not in the list
  head.RemoveSibling(nullptr);
  EXPECT_EQ(Probe::Destroyed, 0);
  EXPECT_EQ(Names(head.Next.get()).size(), 3u);

  head.RemoveSibling(b);
  EXPECT_EQ(Probe::Destroyed, 1);
  EXPECT_EQ(Names(head.Next.get()), (Strings{"a@1", "c@3"}));

  head.RemoveSibling(head.FindById(3));  // the last one
  head.RemoveSibling(head.FindById(1));  // the first one
  EXPECT_EQ(head.Next, nullptr);
  EXPECT_EQ(Probe::Destroyed, 3);
}

TEST(ZmiennaList, DestroyingANodeDestroysEveryFollowerOnce) {
  Probe::Destroyed = 0;
  {
    TZmienna head;
    for (int i = 0; i < 5; ++i) head.InsertSorted(Node("n", i));
    TZmienna* third = head.FindById(2);
    third->DeleteFollowing();
    EXPECT_EQ(Probe::Destroyed, 2);
    EXPECT_EQ(third->Next, nullptr);
  }
  EXPECT_EQ(Probe::Destroyed, 5);
}

TEST(ZmiennaList, MillionNodeListIsSearchedAndDestroyedWithoutDeepRecursion) {
  const int32_t liveBefore = LiveContainerCount;
  constexpr int N = 1'000'000;
  {
    TSlownik box("box", "", 0);
    TZmienna* tail = &box.ChildList;
    for (int i = 0; i < N; ++i) {
      // Every thousandth node is a container of its own, with a child.
      std::unique_ptr<TZmienna> node;
      if (i % 1000 == 999) {
        auto inner = std::make_unique<TSlownik>();
        inner->AddChild(std::make_unique<TZmiennaNum>());
        node = std::move(inner);
      } else {
        node = std::make_unique<TZmiennaNum>();
      }
      node->Id = i;
      tail->Next = std::move(node);
      tail = tail->Next.get();
    }
    tail->SetName("last");
    EXPECT_EQ(LiveContainerCount, liveBefore + 1 + N / 1000);
    EXPECT_EQ(box.FindByName("last", 0), tail);
    EXPECT_EQ(box.FirstChild()->FindById(N - 1), tail);
    EXPECT_EQ(box.FirstChild()->FindById(N), nullptr);
  }
  EXPECT_EQ(LiveContainerCount, liveBefore);
}

TEST(ZmiennaText, NameAndDescriptionAreCutToTheirFields) {
  TZmienna z("123456789", std::string(39, 'd').c_str(), 0);
  EXPECT_STREQ(z.Name, "123456789");
  EXPECT_EQ(std::string(z.Description), std::string(39, 'd'));

  z.SetName("1234567890");
  EXPECT_STREQ(z.Name, "123456789");
  z.SetDescription(std::string(40, 'e').c_str());
  EXPECT_EQ(std::string(z.Description), std::string(39, 'e'));

  z.SetName("ab");  // a shorter name leaves nothing of the longer one behind
  EXPECT_EQ(std::string(z.Name, TZmienna::NAME_SIZE), std::string("ab") + std::string(TZmienna::NAME_SIZE - 2, '\0'));
  z.SetName(nullptr);
  EXPECT_STREQ(z.Name, "");

  // The limits count characters, not bytes: Polish letters and 4-byte signs
  // are kept whole, up to 9 and 39 of them.
  z.SetName("\u017c\u00f3\u0142w\u2030\U0001F50C\u0105\u0119\u015b\u0107");
  EXPECT_STREQ(z.Name, "\u017c\u00f3\u0142w\u2030\U0001F50C\u0105\u0119\u015b");
  std::string polish;
  for (int i = 0; i < 20; ++i) polish += "\u0141\u00f3";  // 40 letters of 2 bytes
  z.SetDescription(polish.c_str());
  EXPECT_EQ(std::string(z.Description), polish.substr(0, 78));
  char out[8];
  z.GetDescription(out, sizeof out);  // a short buffer still gets whole letters
  EXPECT_STREQ(out, "\u0141\u00f3\u0141");
}

TEST(ZmiennaText, GetNameAlwaysTerminatesTheCallersBuffer) {
  TZmienna z("Meter7", "Hall B", 0);
  char buf[4];
  std::memset(buf, 'x', sizeof buf);
  z.GetName(buf, sizeof buf);
  EXPECT_STREQ(buf, "Met");
  char big[40];
  z.GetDescription(big, sizeof big);
  EXPECT_STREQ(big, "Hall B");
  z.GetName(buf, 0);  // nothing written, nothing read past the buffer
  z.GetName(nullptr, 10);
  EXPECT_STREQ(buf, "Met");
}

// FieldText reads a field up to its zero byte and never past its end, also
// when a field arrives without a terminator (filled from outside the setters).
TEST(ZmiennaText, FieldTextStopsAtTheTerminatorOrTheFieldsEnd) {
  TZmiennaNum q;
  q.SetName("U1");
  EXPECT_EQ(FieldText(q.Name), "U1");
  std::memset(q.Unit, 'V', sizeof q.Unit);  // no terminator anywhere
  EXPECT_EQ(FieldText(q.Unit), std::string(TZmiennaNum::UNIT_SIZE, 'V'));
  std::memset(q.Name, 'n', sizeof q.Name);
  EXPECT_EQ(FieldText(q.Name).size(), static_cast<size_t>(TZmienna::NAME_SIZE));
  const char cut[] = {'a', 'b', '\0', 'c'};
  EXPECT_EQ(FieldText(cut, sizeof cut), "ab");
  EXPECT_EQ(FieldText(cut, 1), "a");
  EXPECT_EQ(FieldText(cut, 0), "");
  EXPECT_EQ(FieldText(nullptr, 10), "");
  // A name of multi-byte letters comes back whole, byte for byte.
  TZmienna z("\u017c\u00f3\u0142w", "", 0);
  EXPECT_EQ(FieldText(z.Name), "\u017c\u00f3\u0142w");
}

TEST(ZmiennaCounters, SerialsAreDrawnPerObjectAndContainersAreCounted) {
  const int32_t serialBefore = ZmiennaSerialCounter;
  const int32_t liveBefore = LiveContainerCount;
  {
    TTR5 meter(true);
    EXPECT_EQ(ZmiennaSerialCounter - serialBefore, 43);  // meter, list head, 41 variables
    EXPECT_EQ(meter.Serial, serialBefore);
    EXPECT_EQ(meter.ChildList.Serial, serialBefore + 1);
    EXPECT_EQ(LiveContainerCount, liveBefore + 1);

    // A container adopted as a child is destroyed with its parent.
    meter.AddChild(std::make_unique<TSlownik>("sub", "", 0));
    EXPECT_EQ(LiveContainerCount, liveBefore + 2);
  }
  EXPECT_EQ(LiveContainerCount, liveBefore);
  EXPECT_EQ(ZmiennaSerialCounter - serialBefore, 45);  // never goes back
  TTR5 empty(false);
  EXPECT_EQ(ZmiennaSerialCounter - serialBefore, 47);
  EXPECT_EQ(empty.FirstChild(), nullptr);
}

TEST(Meter, PopulateBuildsTheVariablesOrderedByRegister) {
  TTR5 meter(true);
  EXPECT_STREQ(meter.Name, "TR5");
  EXPECT_STREQ(meter.Description, "Network parameter meter");
  EXPECT_EQ(meter.Kind, 80);
  EXPECT_EQ(meter.Address, 1);
  EXPECT_EQ(meter.BlockStart, 7500);
  EXPECT_EQ(meter.BlockCount, 34);
  EXPECT_EQ(meter.ChildCount, 41);

  std::vector<std::string> names;
  int previousId = -1;
  for (TZmienna* n = meter.FirstChild(); n; n = n->Next.get()) {
    names.push_back(n->Name);
    EXPECT_GT(n->Id, previousId);
    previousId = n->Id;
    EXPECT_EQ(n->GetValue(), NO_VALUE) << n->Name;
    EXPECT_EQ(n->GetState(), 0);
  }
  ASSERT_EQ(names.size(), 41u);
  EXPECT_EQ(names[0], "ALR");
  EXPECT_EQ(names[1], "U1");
  EXPECT_EQ(names[34], "Pav");
  EXPECT_EQ(names[35], "THD_U1");
  EXPECT_EQ(names[40], "THD_I3");

  auto* tf = dynamic_cast<TZmiennaNum*>(meter.FindByName("tf", 0));
  ASSERT_NE(tf, nullptr);
  EXPECT_STREQ(tf->Description, "tangent fi(=Q/P)");
  EXPECT_STREQ(tf->Unit, "");
  auto* f = dynamic_cast<TZmiennaNum*>(meter.FindByName("f", 0));
  ASSERT_NE(f, nullptr);
  EXPECT_STREQ(f->Unit, "Hz");
  EXPECT_EQ(f->Id, 7528);
  EXPECT_EQ(f->Kind, 4);
  EXPECT_GT(f->Min, f->Max);  // read-only
  EXPECT_EQ(meter.FindByName("THD_I2", 0)->Kind, 4);
  EXPECT_EQ(meter.FindByName("ALR", 0)->Kind, 2);
}

TEST(Meter, FindByIdAndFindByName) {
  TTR5 meter(true);
  TZmienna* thd = meter.FirstChild()->FindById(7612);
  ASSERT_NE(thd, nullptr);
  EXPECT_STREQ(thd->Name, "THD_U1");
  EXPECT_EQ(meter.FirstChild()->FindById(7540), nullptr);
  EXPECT_EQ(meter.FindById(0), &meter);

  TZmienna* u1 = meter.FindByName("U1", 0);
  ASSERT_NE(u1, nullptr);
  EXPECT_EQ(u1->Id, 7500);
  EXPECT_EQ(meter.FindByName("u1", 0), nullptr);
  EXPECT_EQ(meter.FindByName("U", 0), nullptr);
  EXPECT_EQ(meter.FindByName("TR5.U1", 0), u1);
  EXPECT_EQ(meter.FindByName("TR.U1", 0), nullptr);
  EXPECT_EQ(meter.FindByName("XTR5.U1", 0), nullptr);
  EXPECT_EQ(meter.FindByName(nullptr, 0), nullptr);

  // From a variable: upward asks the meter, sideways walks the following siblings.
  EXPECT_EQ(u1->FindByName("THD_I3", 1), meter.FindByName("THD_I3", 0));
  EXPECT_EQ(u1->FindByName("ALR", 1), meter.FirstChild());
  EXPECT_EQ(u1->FindByName("ALR", 0), nullptr);  // ALR lies before U1
  EXPECT_EQ(u1->FindByName("Pav", 0)->Id, 7533);
  EXPECT_EQ(u1->FindByName("X", 0), u1);
  EXPECT_EQ(u1->FindByName("X", 1), u1);
  EXPECT_EQ(u1->FindByName("XX", 0), nullptr);
}

TEST(Meter, DottedPathNamingAnotherContainerIsPassedOn) {
  TZmienna head;
  auto first = std::make_unique<TTR5>(true);
  auto second = std::make_unique<TTR5>(true);
  second->SetName("TR5B");
  second->FindByName("U1", 0)->Update(2.0f);
  TTR5* a = first.get();
  TTR5* b = second.get();
  head.InsertSorted(std::move(first));
  a->Next = std::move(second);

  EXPECT_EQ(a->FindByName("TR5B.U1", 0), b->FindByName("U1", 0));
  EXPECT_EQ(a->FindByName("TR5B.U1", 0)->GetValue(), 2.0f);
  EXPECT_EQ(a->FindByName("TR5.U1", 0), a->FindByName("U1", 0));
  EXPECT_EQ(head.FindByName("TR5B.I1", 0), b->FindByName("I1", 0));
  EXPECT_EQ(a->FindByName("Nowhere.U1", 0), nullptr);

  // Upward: from a variable the path is resolved by its meter.
  TZmienna* u1 = a->FindByName("U1", 0);
  EXPECT_EQ(u1->FindByName("TR5.Pav", 1), a->FindByName("Pav", 0));
  EXPECT_EQ(u1->FindByName("TR5B.Pav", 1), nullptr);  // the meter has no parent to ask
}

TEST(Meter, ResetValuesAndUpdate) {
  TTR5 meter(true);
  for (TZmienna* n = meter.FirstChild(); n; n = n->Next.get()) {
    EXPECT_EQ(n->Update(230.5f), 0);
    n->SetState(1);
  }
  EXPECT_EQ(meter.FindByName("U2", 0)->GetValue(), 230.5f);
  meter.LinkState = 1;
  meter.ErrorCount = 0;
  meter.AlarmFlags = 5;
  meter.ResetValues();
  for (TZmienna* n = meter.FirstChild(); n; n = n->Next.get()) {
    EXPECT_EQ(n->GetValue(), NO_VALUE) << n->Name;
    EXPECT_EQ(n->GetState(), 0);
  }
  EXPECT_EQ(meter.LinkState, 0);
  EXPECT_EQ(meter.ErrorCount, 1);
  EXPECT_EQ(meter.AlarmFlags, 5);

  TSlownik plain;
  EXPECT_EQ(plain.Update(1.0f), 0);
  EXPECT_EQ(plain.ErrorCount, 3);
  EXPECT_EQ(plain.GetValue(), 0.0f);
}

TEST(Meter, LinkEventsFollowTheErrorCount) {
  TSlownik meter("Hall7", "", 80);
  const int base = meter.Serial * 65536;
  int code = 0;
  std::string text;

  EXPECT_EQ(meter.NextEvent(code, text), 1);  // a new meter starts with ErrorCount 0
  EXPECT_EQ(text, "\tConnection to Hall7");
  EXPECT_EQ(code, base + 1);
  text = "untouched";
  EXPECT_EQ(meter.NextEvent(code, text), 0);
  EXPECT_EQ(text, "untouched");

  meter.ErrorCount = 3;
  EXPECT_EQ(meter.NextEvent(code, text), 1);
  EXPECT_EQ(text, "\tTransmission error with Hall7");
  EXPECT_EQ(code, base + 3);
  EXPECT_EQ(meter.ErrorCount, 10);
  EXPECT_EQ(meter.NextEvent(code, text), -1);

  meter.ErrorCount = 0;
  EXPECT_EQ(meter.NextEvent(code, text), 1);
  EXPECT_EQ(meter.LinkState, 1);

  meter.ErrorCount = 4;
  EXPECT_EQ(meter.NextEvent(code, text), 1);
  EXPECT_EQ(text, "\tBad configuration Hall7");
  EXPECT_EQ(meter.LinkState, 2);

  meter.ResetValues();
  EXPECT_EQ(meter.NextEvent(code, text), -1);  // LinkState 0 already: no event
  meter.ErrorCount = 5;
  EXPECT_EQ(meter.NextEvent(code, text), 1);
  EXPECT_EQ(meter.LinkState, 4);
  EXPECT_EQ(text, "\tTransmission error with Hall7");
}

TEST(Meter, VariableFromDefinitionKeepsAMultiByteUnit) {
  const TParamDef def{4008, 2, "Al1On", "Output 1 - switching on value", -1200, 1200,
                      "\u2030", 0.0};
  TZmiennaNum v(def);
  EXPECT_STREQ(v.Unit, "\u2030");
  EXPECT_EQ(v.Min, -1200.0f);
  EXPECT_EQ(v.Max, 1200.0f);
}

}  // namespace
