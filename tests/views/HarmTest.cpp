// The harmonics window against a simulated TR5 on a pseudo-terminal: which
// groups it reads for each tab, what it lists and draws, and what it shows
// when the meter cannot be read.
#include <gtest/gtest.h>
#include <QBarSet>
#include <QChart>
#include <QListWidget>
#include <QPushButton>
#include <QStackedBarSeries>
#include <QTabBar>
#include <QTest>
#include <chrono>
#include <cmath>
#include <map>
#include <utility>
#include <vector>

#include "tests/support/ViewTestSupport.h"
#include "views/Harm.h"

namespace {

using namespace std::chrono_literals;

const std::pair<int, int> THD{7612, 6};
const std::pair<int, int> U1{7630, 25};
const std::pair<int, int> I3{7755, 25};

class HarmonicsWindow : public WindowOverSimulator {
protected:
  void SetUp() override {
    SimConfig config;  // a TR5 at address 1, ASCII 19200 8N1: the program's defaults
    TViewFactories views;
    views.Harmonics = MakeHarmonicsWindow;
    ASSERT_NO_FATAL_FAILURE(StartProgram(config, views));

    // THD_U1 .. THD_I3 are 4.51, 5.51, ...; harmonic n of U1 is n + 0.25, of
    // I3 n + 0.75.
    for (int i = 0; i < 6; ++i) Sim->HoldRegister(1, 7612 + i, 4.51 + i);
    for (int n = 1; n <= 25; ++n) {
      Sim->HoldRegister(1, 7629 + n, n + 0.25);
      Sim->HoldRegister(1, 7754 + n, n + 0.75);
    }
  }

  THarmoniczne* Open() {
    Form->HarmonClick();
    return qobject_cast<THarmoniczne*>(Form->Harmoniczne.data());
  }

  static std::vector<QString> List(const THarmoniczne& w) {
    std::vector<QString> lines;
    for (int i = 0; i < w.ListBox1->count(); ++i) lines.push_back(w.ListBox1->item(i)->text());
    return lines;
  }

  // Order -> (label, height) of the drawn bars: a bar set has its height at
  // exactly one index, its X on the chart.
  static std::map<int, std::pair<QString, double>> Bars(const THarmoniczne& w) {
    std::map<int, std::pair<QString, double>> bars;
    for (const QBarSet* set : w.Series1->barSets()) {
      int filled = 0;
      for (int k = 0; k < set->count(); ++k) {
        if (set->at(k) == 0) continue;
        bars[k] = {set->label(), set->at(k)};
        ++filled;
      }
      EXPECT_EQ(filled, 1) << set->label().toStdString();
    }
    return bars;
  }
};

TEST_F(HarmonicsWindow, ShowsThdAndHarmonicsOfTheSelectedTab) {
  THarmoniczne* w = Open();
  ASSERT_NE(w, nullptr);
  EXPECT_TRUE(w->isVisible());
  // Opened at a size where the chart's plot area has room for its 24 bars.
  ASSERT_TRUE(QTest::qWaitForWindowExposed(w));
  EXPECT_GE(w->Chart1->plotArea().width(), 24 * 12) << w->width();
  EXPECT_GE(w->Chart1->plotArea().height(), 150) << w->height();

  // Shown: the THD group, then the harmonics of the first tab.
  EXPECT_EQ(TakeReads(), (Reads{THD, U1}));
  auto lines = List(*w);
  ASSERT_EQ(lines.size(), 26u);
  EXPECT_EQ(lines[0], "THD_U1 = 4.51 %");
  EXPECT_EQ(lines[1], "HarU1_1 = 1.25 %");
  EXPECT_EQ(lines[25], "HarU1_25 = 25.25 %");
  auto bars = Bars(*w);
  // The fundamental is listed but not drawn.
  ASSERT_EQ(bars.size(), 24u);
  EXPECT_EQ(bars.begin()->first, 2);
  for (const auto& [order, bar] : bars) {
    EXPECT_EQ(bar.first, QString("HarU1_%1").arg(order));
    EXPECT_NEAR(bar.second, order + 0.25, 1e-5);
  }

  // "Restore" reads both groups again and draws the same picture.
  w->Button2->click();
  EXPECT_EQ(TakeReads(), (Reads{THD, U1}));
  EXPECT_EQ(List(*w), lines);
  EXPECT_EQ(Bars(*w), bars);

  // Another tab replaces list and bars entirely.
  w->TabControl2->setCurrentIndex(5);
  EXPECT_EQ(w->TabControl2->tabText(5), "Current L3");
  EXPECT_EQ(TakeReads(), (Reads{THD, I3}));
  lines = List(*w);
  ASSERT_EQ(lines.size(), 26u);
  EXPECT_EQ(lines[0], "THD_I3 = 9.51 %");
  for (size_t i = 1; i < lines.size(); ++i) EXPECT_TRUE(lines[i].startsWith("HarI3_")) << i;
  bars = Bars(*w);
  ASSERT_EQ(bars.size(), 24u);
  for (const auto& [order, bar] : bars) {
    EXPECT_EQ(bar.first, QString("HarI3_%1").arg(order));
    EXPECT_NEAR(bar.second, order + 0.75, 1e-5);
  }

  // "Close" ends the window and clears the main window's reference.
  QPointer<THarmoniczne> closing = w;
  w->Button1->click();
  EXPECT_TRUE(Form->Harmoniczne.isNull());
  EXPECT_TRUE(QTest::qWaitFor([&] { return closing.isNull(); }, 10000));
}

TEST_F(HarmonicsWindow, ValuesWithoutValidReadingAreLeftOut) {
  Sim->HoldRegister(1, 7613, 2e21);  // THD_U2: no valid value
  Sim->HoldRegister(1, 7634, NAN);   // HarU1_5
  Sim->HoldRegister(1, 7630, 3e20);  // HarU1_1, the fundamental
  THarmoniczne* w = Open();
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(TakeReads(), (Reads{THD, U1}));
  const auto lines = List(*w);
  ASSERT_EQ(lines.size(), 24u);
  EXPECT_EQ(lines[0], "THD_U1 = 4.51 %");
  EXPECT_EQ(lines[1], "HarU1_2 = 2.25 %");
  EXPECT_EQ(lines[4], "HarU1_6 = 6.25 %");
  const auto bars = Bars(*w);
  EXPECT_EQ(bars.size(), 23u);
  EXPECT_EQ(bars.count(5), 0u);
  EXPECT_EQ(bars.count(6), 1u);

  // Without a valid THD the tab stays empty and its harmonics are not even read.
  w->TabControl2->setCurrentIndex(1);
  EXPECT_EQ(TakeReads(), (Reads{THD}));
  EXPECT_EQ(w->ListBox1->count(), 0);
  EXPECT_TRUE(w->Series1->barSets().isEmpty());
}

TEST_F(HarmonicsWindow, FailedReadOrLinkDownLeavesNothingOfTheLastPicture) {
  THarmoniczne* w = Open();
  ASSERT_NE(w, nullptr);
  ASSERT_EQ(w->ListBox1->count(), 26);
  ASSERT_EQ(TakeReads(), (Reads{THD, U1}));

  // A silent meter: the THD read times out and the window empties.
  Sim->SetFaults(SimFaults{.NoReply = true});
  Port.ReplyTimeout = SILENT;
  w->Button2->click();
  EXPECT_EQ(w->ListBox1->count(), 0);
  EXPECT_TRUE(w->Series1->barSets().isEmpty());
  ASSERT_TRUE(Sim->WaitForRequests(1, 10s));
  EXPECT_EQ(TakeReads(), (Reads{THD}));

  // The meter answers again: the picture comes back.
  Sim->SetFaults(SimFaults{});
  Port.ReplyTimeout = ANSWERED;
  w->Button2->click();
  EXPECT_EQ(w->ListBox1->count(), 26);
  EXPECT_EQ(w->Series1->barSets().size(), 24);
  EXPECT_EQ(TakeReads(), (Reads{THD, U1}));

  // Link down: empty, and nothing goes out on the line.
  Meter.LinkState = 3;
  w->TabControl2->setCurrentIndex(3);
  EXPECT_EQ(w->ListBox1->count(), 0);
  EXPECT_TRUE(w->Series1->barSets().isEmpty());
  // The meter answers in order: had the window sent anything while the link
  // was down, it would show up in front of the next read.
  Meter.LinkState = 1;
  w->Button2->click();
  EXPECT_EQ(TakeReads(), (Reads{THD, {7705, 25}}));
  EXPECT_EQ(w->ListBox1->item(0)->text(), "THD_I1 = 7.51 %");
}

}  // namespace
