// The parameter programming dialog driven through its widgets against the
// simulated meter on a pseudo-terminal.
#include <gtest/gtest.h>
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTest>
#include <memory>

#include "app/Language.h"
#include "model/ParamDef.h"
#include "tests/support/GuiTestSupport.h"
#include "tests/support/ViewTestSupport.h"
#include "views/Dlgprog.h"
#include "views/MeterTexts.h"

namespace {

using Strings = std::vector<std::string>;
using namespace std::chrono_literals;

class DialogProgram : public ::testing::Test {
protected:
  // A connected meter of this type; the simulator plays a TR5 for a type it
  // does not know.
  void StartMeter(int type) {
    Sim.reset();
    Port.Close();
    SimConfig config;
    config.Meters = {SimMeterConfig{ModelMask(type) ? type : MT_TR5, 1}};
    config.ForceLink = true;
    ASSERT_TRUE(StartSimulator(Dir, config, Sim));
    ASSERT_EQ(Port.Configure(0, 6, 0, 0), 0);  // COM1, 19200, ASCII 8N1
    Port.ReplyTimeout = ANSWERED;
    Meter.Kind = type;
    Meter.Address = 1;
    Meter.ResetValues();
    // Acquisition steps until the link event that lets reads and writes through.
    QElapsedTimer clock;
    clock.start();
    int code;
    std::string text;
    while (Meter.LinkState != 1) {
      ASSERT_LT(clock.elapsed(), 15000) << "the meter never answered";
      if (Meter.Update(0) != MB_PENDING)
        while (Meter.NextEvent(code, text) == 1) {}
    }
    Sim->ClearRequests();
  }
  // A setup value the meter holds, as if set at its keys.
  void SetRegister(int reg, int value) {
    Sim->HoldRegister(1, reg, value);
    Sim->ReleaseRegister(1, reg);
  }
  std::unique_ptr<TDialogProgram> Show() {
    auto dialog = std::make_unique<TDialogProgram>();
    dialog->Meter = &Meter;
    dialog->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    return dialog;
  }
  std::vector<std::pair<int, int>> Requests(int function) {
    std::vector<std::pair<int, int>> found;  // (register, count or value)
    for (const SimRequest& r : Sim->Requests())
      if (r.Function == function) found.emplace_back(r.Register, function == 3 ? r.Count : r.Value);
    return found;
  }

  testsupport::ComDirectory Dir;
  TModbusPort Port;
  TTR5 Meter{true, &Port};
  std::unique_ptr<SimServer> Sim;
};

Strings Lines(const TDialogProgram& d) {
  Strings lines;
  for (int i = 0; i < d.ListBox2->count(); ++i) lines.push_back(d.ListBox2->item(i)->text().toStdString());
  return lines;
}

// Opens the menu list and clicks the menu with this title.
void ChooseMenu(TDialogProgram& d, const QString& title) {
  const int index = d.ComboBox3->findText(title);
  ASSERT_GE(index, 0) << title.toStdString();
  d.ComboBox3->showPopup();
  QAbstractItemView* view = d.ComboBox3->view();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(view->window()));
  const QRect row = view->visualRect(view->model()->index(index, 0));
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, row.center());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !view->isVisible(); }, 2000));
}

void ClickLine(TDialogProgram& d, int row) {
  const QRect line = d.ListBox2->visualItemRect(d.ListBox2->item(row));
  QTest::mouseClick(d.ListBox2->viewport(), Qt::LeftButton, {}, line.center());
}

// Types the value (replacing what is there; a long one pasted) and presses "Use".
void Use(TDialogProgram& d, const QString& value) {
  d.ComboBox1->lineEdit()->selectAll();
  QTest::keyClick(d.ComboBox1->lineEdit(), Qt::Key_Delete);
  if (value.size() > 20) d.ComboBox1->lineEdit()->insert(value);
  else QTest::keyClicks(d.ComboBox1->lineEdit(), value);
  QTest::mouseClick(d.Button1, Qt::LeftButton);
}

}  // namespace

TEST_F(DialogProgram, MenusAreTheGroupsOfTheMeterModel) {
  const std::vector<std::pair<int, std::vector<int>>> models = {
      {MT_TR5, {0, 100, 200, 300, 400, 1900, 2000, 2100, 2200, 2300, 2400, 2500, 2600, 2700, 2800, 2900,
                3000, 3100, 3200}},
      {MT_TR8, {3900, 4000}},
      {MT_UNKNOWN, {}}};
  for (const auto& [type, selectors] : models) {
    SCOPED_TRACE(type);
    ASSERT_NO_FATAL_FAILURE(StartMeter(type));
    auto d = Show();
    std::vector<int> listed;
    for (int i = 0; i < d->ComboBox3->count(); ++i)
      listed.push_back(d->ComboBox3->itemData(i, TDialogProgram::SelectorRole).toInt());
    EXPECT_EQ(listed, selectors);
    if (selectors.empty()) {
      // Nothing applies: nothing is selected, listed or read.
      EXPECT_EQ(d->ComboBox3->currentIndex(), -1);
      EXPECT_EQ(d->ListBox2->count(), 0);
      EXPECT_EQ(Sim->RequestCount(), 0u);
      continue;
    }
    // The first menu is chosen and its group read: setup registers from 4000.
    EXPECT_EQ(d->ComboBox3->currentIndex(), 0);
    EXPECT_EQ(d->ComboBox3->currentText(), "Setup mode parameters");
    const int count = type == MT_TR8 ? 20 : 17;
    EXPECT_EQ(Requests(3), (std::vector<std::pair<int, int>>{{4000, count}}));
    EXPECT_EQ(d->ListBox2->count(), count);
  }
}

// At its default size the dialog shows every line of every menu whole, the
// longest descriptions included, with the values in one column; made larger,
// the list takes the room. In English and in Polish.
TEST_F(DialogProgram, DefaultSizeShowsEveryLineWithItsValueInOneColumn) {
  struct English {
    ~English() { InstallLanguage(TLanguage::English); }
  } restore;
  for (const auto& [type, language] : {std::pair{MT_TR5, TLanguage::English},
                                       {MT_VR5B, TLanguage::English},
                                       {MT_TR8, TLanguage::English},
                                       {MT_TR5, TLanguage::Polish},
                                       {MT_VR5B, TLanguage::Polish},
                                       {MT_TR8, TLanguage::Polish}}) {
    SCOPED_TRACE(type);
    SCOPED_TRACE(language == TLanguage::Polish ? "Polish" : "English");
    InstallLanguage(language);
    ASSERT_NO_FATAL_FAILURE(StartMeter(type));
    SetRegister(4003, 100);
    auto d = Show();
    const QFontMetrics metrics(d->ListBox2->font());
    int widest = 0;
    for (int menu = 0; menu < d->ComboBox3->count(); ++menu) {
      d->ComboBox3->setCurrentIndex(menu);
      d->ComboBox3Click();
      QApplication::processEvents();
      ASSERT_GT(d->ListBox2->count(), 0);
      for (const std::string& line : Lines(*d)) {
        SCOPED_TRACE(line);
        const QString text = QString::fromStdString(line);
        const qsizetype tab = text.indexOf('\t');
        ASSERT_GT(tab, 0);
        widest = std::max(widest, metrics.horizontalAdvance(text.left(tab)));
        EXPECT_LT(metrics.horizontalAdvance(text.left(tab)), d->ValueColumn());
        EXPECT_LE(d->ValueColumn() + metrics.horizontalAdvance(text.mid(tab + 1)),
                  d->ListBox2->viewport()->width());
      }
      EXPECT_EQ(d->ListBox2->horizontalScrollBar()->maximum(), 0)
          << d->ComboBox3->currentText().toStdString();
    }
    // The column follows the longest description, not a fixed stop far beyond.
    EXPECT_LE(d->ValueColumn(), widest + metrics.horizontalAdvance("0000"));

    const int listWidth = d->ListBox2->width();
    d->resize(d->width() + 200, d->height() + 100);
    QApplication::processEvents();
    EXPECT_EQ(d->ListBox2->width(), listWidth + 200);
  }
}

TEST_F(DialogProgram, EveryChoiceOfAMenuReadsItsGroupAndShowsTheMetersValues) {
  ASSERT_NO_FATAL_FAILURE(StartMeter(MT_TR5));
  SetRegister(4000, 150);
  SetRegister(4003, 95);
  SetRegister(4018, 600);
  auto d = Show();
  Strings lines = Lines(*d);
  ASSERT_EQ(lines.size(), 17u);
  EXPECT_EQ(lines[0], "Ratio of current transformer\t150  ");
  EXPECT_EQ(lines[3], "Factor of the output rescaling\t95  %");

  ChooseMenu(*d, "Alarm setting");
  EXPECT_EQ(Lines(*d).at(1), "Alarm1 - switching on value\t600  ");
  ClickLine(*d, 1);
  EXPECT_EQ(d->ComboBox1->currentText(), "600");
  // The same menu again reads anew and empties the value field.
  SetRegister(4018, 700);
  ChooseMenu(*d, "Alarm setting");
  EXPECT_EQ(Lines(*d).at(1), "Alarm1 - switching on value\t700  ");
  EXPECT_EQ(d->ComboBox1->currentText(), "");
  EXPECT_EQ(d->SelectedLine(), -1);
  EXPECT_EQ(Requests(3), (std::vector<std::pair<int, int>>{{4000, 17}, {4017, 10}, {4017, 10}}));

  // The VR5B's thresholds are in per mille.
  ASSERT_NO_FATAL_FAILURE(StartMeter(MT_VR5B));
  SetRegister(4008, -50);
  auto vr5b = Show();
  ChooseMenu(*vr5b, "Mode Alarms");
  EXPECT_EQ(QString::fromStdString(Lines(*vr5b).at(1)), QString::fromUtf8("Output 1 - switching on value\t-50  ‰"));
}

TEST_F(DialogProgram, WriteReachesTheMeterAndRefreshesItsLineFromTheKeptValue) {
  ASSERT_NO_FATAL_FAILURE(StartMeter(MT_TR5));
  SetRegister(4000, 150);
  auto d = Show();
  ClickLine(*d, 0);
  EXPECT_EQ(d->ComboBox1->currentText(), "150");
  Use(*d, "400");
  EXPECT_EQ(Sim->GetRegister(1, 4000), 400.0);
  EXPECT_EQ(Lines(*d).at(0), "Ratio of current transformer\t400  ");
  EXPECT_EQ(d->Label3->text(), "");
  EXPECT_EQ(d->SelectedLine(), 0);

  // 12.7 is written as 12, and the line shows what the meter holds, read back.
  Use(*d, "12.7");
  EXPECT_EQ(Sim->GetRegister(1, 4000), 12.0);
  EXPECT_EQ(Lines(*d).at(0), "Ratio of current transformer\t12  ");
  EXPECT_EQ(Requests(6), (std::vector<std::pair<int, int>>{{4000, 400}, {4000, 12}}));
  // The menu's group read, then one read-back of the register per write.
  EXPECT_EQ(Requests(3), (std::vector<std::pair<int, int>>{{4000, 17}, {4000, 1}, {4000, 1}}));

  // Enter in the value field writes too, and leaves the dialog open.
  d->ComboBox1->lineEdit()->selectAll();
  QTest::keyClicks(d->ComboBox1->lineEdit(), "250");
  QTest::keyClick(d->ComboBox1->lineEdit(), Qt::Key_Return);
  EXPECT_EQ(Sim->GetRegister(1, 4000), 250.0);
  EXPECT_TRUE(d->isVisible());
  EXPECT_EQ(Lines(*d).at(0), "Ratio of current transformer\t250  ");

  // A command acts and reads 0 again: written, and its line shows the 0 read back.
  ClickLine(*d, 10);
  Use(*d, "1");
  EXPECT_EQ(d->Label3->text(), "");
  EXPECT_EQ(Lines(*d).at(10), "Cancellation of the active energy counter (1-yes)\t0  ");
}

// Every text of the meters' tables, the generated ones included, and every
// event read in Polish once the window speaks it; codes, units and names stay.
TEST(MeterTexts, EveryDescriptionTitleAndEventHasItsPolishForm) {
  struct English {
    ~English() { InstallLanguage(TLanguage::English); }
  } restore;
  InstallLanguage(TLanguage::Polish);
  // Words that only an untranslated text holds.
  const QRegularExpression english(
      "\\b(phase|voltage|current|power|energy|harmonic|of|the|Output|value|Ratio|Cancellation|counter|"
      "Time|Year|Relay|Quantity|Setup|Factors|Powers|Voltages|average|tariff|Harmonics|parameters)\\b");
  int texts = 0;
  for (int g = 0; g < PARAM_GROUP_COUNT; ++g) {
    const TParamGroup* group = GetParamGroup(g);
    EXPECT_FALSE(TranslatedMeterText(group->Title).contains(english)) << group->Title;
    for (int i = 0; i < group->Count; ++i, ++texts) {
      const char* text = group->Definitions[i].Description;
      const QString polish = TranslatedMeterText(text);
      EXPECT_FALSE(polish.contains(english)) << text << " -> " << polish.toStdString();
    }
  }
  EXPECT_GT(texts, 500);
  EXPECT_EQ(TranslatedMeterText(" 7 harmonic of L1 phase voltage"), " 7. harmoniczna: Napięcie fazowe L1");
  EXPECT_EQ(TranslatedMeterText("L3-L1 voltage- max"), "Napięcie międzyfazowe L3-L1- max");
  EXPECT_EQ(TranslatedMeterText("THD U2 (min)"), "THD U2 (min)");
  EXPECT_EQ(TranslatedMeterText("no such text"), "no such text");
  EXPECT_EQ(TranslatedMeterText(""), "");
  // What the meter answers to a write.
  EXPECT_EQ(TranslatedMeterText("Parameter read-only"), "Parametr tylko do odczytu");
  EXPECT_EQ(TranslatedMeterText("No transmission with "), "Brak transmisji z ");
  EXPECT_EQ(TranslatedMeterText("No transmission with TR5_1"), "Brak transmisji z TR5_1");
  // Why a port would not open: the port as it is named, the reason translated.
  EXPECT_EQ(TranslatedMeterText("COM3 (/dev/ttyS2): no such device"),
            "COM3 (/dev/ttyS2): nie ma takiego urządzenia");
  EXPECT_EQ(TranslatedMeterText("tcp://10.0.0.7:4001: cannot be reached"),
            "tcp://10.0.0.7:4001: nie można nawiązać połączenia");
  EXPECT_EQ(TranslatedEvent("\tConnection to Feeder_1"), "\tPołączenie z Feeder_1");
  EXPECT_EQ(TranslatedEvent("\tTransmission error with TR5_1"), "\tBłąd transmisji z TR5_1");
  EXPECT_EQ(TranslatedEvent("\tStart of alarm A2"), "\tPoczątek alarmu A2");
  EXPECT_EQ(TranslatedEvent("\tEnd of alarm A3"), "\tKoniec alarmu A3");
  EXPECT_EQ(TranslatedEvent("\tConnection to "), "\tConnection to ");  // no name: left as it is

  InstallLanguage(TLanguage::English);
  EXPECT_EQ(TranslatedMeterText(" 7 harmonic of L1 phase voltage"), " 7 harmonic of L1 phase voltage");
  EXPECT_EQ(TranslatedEvent("\tStart of alarm A2"), "\tStart of alarm A2");
}

TEST_F(DialogProgram, RefusedWritesShowTheMessageAndKeepTheLine) {
  ASSERT_NO_FATAL_FAILURE(StartMeter(MT_TR5));
  SetRegister(4000, 150);
  auto d = Show();
  // Letters are no number; a number outside the limits is told the range,
  // with the unit where the parameter has one.
  const std::pair<int, QString> refused[] = {
      {0, "20001"}, {0, ""}, {0, "ratio"}, {0, QString(5000, '9')}, {3, "121"}};
  const QString outside = "Out of range: allowed 1 to 20000";
  const QString reasons[] = {outside, "Not a number", "Not a number", outside,
                             "Out of range: allowed 80 to 120 %"};
  for (size_t i = 0; i < std::size(refused); ++i) {
    const auto& [row, text] = refused[i];
    SCOPED_TRACE(text.left(8).toStdString());
    const std::string before = Lines(*d).at(row);
    ClickLine(*d, row);
    d->Label3->clear();
    Use(*d, text);
    EXPECT_EQ(d->Label3->text(), reasons[i]);
    EXPECT_EQ(Lines(*d).at(row), before);
  }
  EXPECT_EQ(Lines(*d).at(0), "Ratio of current transformer\t150  ");
  EXPECT_EQ(Sim->GetRegister(1, 4000), 150.0);

  ChooseMenu(*d, "Process variables");
  ClickLine(*d, 0);
  Use(*d, "230");
  EXPECT_EQ(d->Label3->text(), "Parameter read-only");
  EXPECT_TRUE(Requests(6).empty());

  // The meter refuses 31 February with an exception.
  ChooseMenu(*d, "Time setting");
  const std::string date = Lines(*d).at(1);
  ClickLine(*d, 1);
  Use(*d, "231");
  EXPECT_EQ(d->Label3->text(), "Impossible request");
  EXPECT_EQ(Lines(*d).at(1), date);
  ASSERT_EQ(Sim->Requests().back().Function, 6);
  EXPECT_NE(Sim->Requests().back().Exception, 0);

  // "Use" with no line selected does nothing, not even to the status line.
  d->ListBox2->clearSelection();
  const size_t requests = Sim->RequestCount();
  QTest::mouseClick(d->Button1, Qt::LeftButton);
  EXPECT_EQ(d->Label3->text(), "Impossible request");
  EXPECT_EQ(Sim->RequestCount(), requests);
}

TEST_F(DialogProgram, LinkDownListsDescriptionsWithoutValuesAndRefusesWrites) {
  ASSERT_NO_FATAL_FAILURE(StartMeter(MT_TR5));
  Sim->SetFaults(SimFaults{.NoReply = true});
  Port.ReplyTimeout = SILENT;
  int code;
  std::string text;
  ASSERT_TRUE(QTest::qWaitFor([&] {
    Meter.Update(0);
    while (Meter.NextEvent(code, text) == 1) {}
    return Meter.LinkState == 3;
  }, 15000));
  Sim->ClearRequests();

  auto d = Show();
  Strings lines = Lines(*d);
  ASSERT_EQ(lines.size(), 17u);
  EXPECT_EQ(lines[3], "Factor of the output rescaling\t  ");
  d->ComboBox1->setEditText("55");
  ClickLine(*d, 3);
  EXPECT_EQ(d->ComboBox1->currentText(), "");
  Use(*d, "100");
  EXPECT_EQ(d->Label3->text(), "No transmission with ");
  EXPECT_EQ(Sim->RequestCount(), 0u);
}

TEST_F(DialogProgram, ProgrammingCommandRunsTheDialogModallyWhilePollingGoesOn) {
  WriteSettings(MT_TR8, "MeterName=TR8_1\r\nMeterDsc=Pump station\r\n");
  ASSERT_NO_FATAL_FAILURE(StartMeter(MT_TR8));
  Port.Close();
  SetRegister(4000, 150);
  TViewFactories views;
  views.Programming = RunProgrammingDialog;
  TMainForm form(Port, Meter, views);
  Port.ReplyTimeout = ANSWERED;  // a loaded machine must not turn a slow reply into a failure
  form.show();
  ASSERT_TRUE(QTest::qWaitFor([&] {
    int code;
    std::string text;
    while (Meter.NextEvent(code, text) == 1) {}
    return Meter.LinkState == 1;
  }, 15000));

  QString title;
  Strings lines;
  bool polled = false;
  OnNextModal<TDialogProgram>([&](TDialogProgram* d) {
    title = d->windowTitle();
    // The main timer's acquisition goes on and shares the line with the dialog.
    const size_t seen = Sim->RequestCount();
    polled = QTest::qWaitFor([&] { return Sim->RequestCount() >= seen + 3; }, 15000);
    ClickLine(*d, 0);
    Use(*d, "321");
    lines = Lines(*d);
    QTest::mouseClick(d->OKBtn, Qt::LeftButton);
  });
  form.Programowanie1->trigger();
  EXPECT_TRUE(polled);
  EXPECT_EQ(title, "Pump station TR8_1");
  ASSERT_EQ(lines.size(), 20u);
  EXPECT_EQ(lines[0], "Ratio of current transformer\t321  ");
  EXPECT_EQ(Sim->GetRegister(1, 4000), 321.0);
  EXPECT_TRUE(form.findChildren<TDialogProgram*>().isEmpty());
}
