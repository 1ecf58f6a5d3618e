// The main window: start-up from the settings file, saving, the device
// choice with its effect on the meter and the views, and the MDI behaviour.
#include <QAction>
#include <QComboBox>
#include <QMenu>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>

#include "app/Dlgport.h"
#include "app/Konfig.h"
#include "app/Language.h"
#include "app/Main.h"
#include "comm/Trans.h"
#include "model/TR5.h"
#include "tests/support/GuiTestSupport.h"
#include "tests/support/PtyTools.h"
#include "tests/support/TcpPeer.h"

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

namespace {

// Stand-ins for the views, counting what the main window asks of them.
struct FakeTable : QWidget, TMeterView {
  int Rebinds = 0;
  TTR5* Meter = nullptr;
  std::vector<std::string> Events;  // taken on request
  FakeTable() { setWindowTitle("Table"); }
  void RebindMeter() override { ++Rebinds; }
  void TakeEvents() override {
    int code;
    for (std::string text; Meter->NextEvent(code, text) == 1;) Events.push_back(text);
  }
};
struct FakeCharts : QWidget, TTrendView {
  int Rebinds = 0;
  int Prints = 0;
  FakeCharts() { setWindowTitle("Charts"); }
  void RebindMeter() override { ++Rebinds; }
  void PrintTrend() override { ++Prints; }
};

class MainWindowTest : public ::testing::Test {
protected:
  testsupport::ComDirectory Dir;
  std::vector<std::string> Opened;  // port names the link tried to open
  bool Denied = false;               // a port that is not a link reports no permission
  // Opens only the COM links of the test directory, never a real port.
  TModbusPort Port{[this](const std::string& name) -> std::unique_ptr<SerialDevice> {
    Opened.push_back(name);
    std::error_code ec;
    if (!fs::is_symlink(fs::symlink_status(name, ec))) {
      if (Denied) SetLastSerialOpenError(TSerialOpenError::NoPermission);
      return nullptr;
    }
    return OpenSerialDevice(name);
  }};
  TTR5 Meter{true, &Port};
  FakeTable* Table = nullptr;
  FakeCharts* Charts = nullptr;
  QPointer<QWidget> LastHarmonics;

  TViewFactories Views() {
    TViewFactories views;
    views.TableWindow = [this](const TViewContext&) {
      Table = new FakeTable;
      Table->Meter = &Meter;
      return Table;
    };
    views.ChartWindow = [this](const TViewContext&) { return Charts = new FakeCharts; };
    views.Harmonics = [this](const TViewContext&) { return LastHarmonics = new QWidget; };
    views.Extreme = [](const TViewContext&) { return new QWidget; };
    return views;
  }

  void WriteFile(const std::string& name, const std::string& bytes) {
    std::ofstream(name, std::ios::binary) << bytes;
  }
  std::string ReadFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  static void Show(TMainForm& form) {
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  }
  float U1() { return Meter.FindByName("U1", 0)->GetValue(); }
};

// Drives the device list dialog that Konfig1Click opens.
void ChooseDevice(TMainForm& form, const std::function<void(TDialogKonfig*)>& drive) {
  OnNextModal<TDialogKonfig>(drive);
  form.Konfig1Click();
}

void ClickRow(TDialogKonfig* dialog, int gridRow) {
  dialog->StringGrid1->setCurrentCell(gridRow - 1, 1);
}

}  // namespace

TEST_F(MainWindowTest, StartsWithDefaultsWithoutASettingsFile) {
  TMainForm form(Port, Meter, Views());
  // Opened, then opened again by Configure since the first open failed.
  EXPECT_EQ(Opened, (std::vector<std::string>{"COM1", "COM1"}));
  // No COM1 here: the link stays closed, without a message.
  EXPECT_EQ(LinkSettings(Port), (Link{-1, 6, 0, 0}));
  EXPECT_EQ(Meter.Address, 1);
  EXPECT_EQ(Meter.Kind, 80);
  EXPECT_STREQ(Meter.Name, "TR5_1");  // named as kavrel-cli names it
  ASSERT_TRUE(form.DeviceLines.has_value());
  EXPECT_TRUE(form.DeviceLines->empty());
  EXPECT_EQ(form.Label1->text(), "Device address");
  Show(form);
  EXPECT_EQ(form.Label1->text(), " TR5_1");
  EXPECT_FALSE(form.PortProblem->isVisible());  // a missing port is not explained

  // Nothing has answered yet: no connection is reported.
  int code = 0;
  std::string text;
  EXPECT_EQ(Meter.NextEvent(code, text), -1);
  EXPECT_EQ(Meter.LinkState, 0);
  EXPECT_TRUE(text.empty());

  // The port did not open, but saving keeps the port that was asked for.
  form.Zapisz1Click();
  EXPECT_EQ(ReadFile("Kavrel.INI"),
            "COM=0\r\nBaud=6\r\nMode=0\r\nType=0\r\nMeterAdr=1\r\nMeterType=80\r\n"
            "MeterName=\r\nMeterDsc=\r\n");

  // The port is waited for, and polled within the longest retry step (plus
  // room for a loaded machine) of its coming.
  EXPECT_TRUE(
      QTest::qWaitFor([&] { return form.StatusBar->currentMessage().startsWith("waiting for COM1"); }, 2000))
      << form.StatusBar->currentMessage().toStdString();
  testsupport::PtyPair meter;
  Dir.Link(1, meter.SlavePath());
  EXPECT_TRUE(QTest::qWaitFor([&] { return Port.Handle != nullptr; }, TModbusPort::PORT_RETRY_MAX_MS + 3000));
  EXPECT_EQ(Opened.back(), "COM1");
  EXPECT_TRUE(QTest::qWaitFor([&] { return form.StatusBar->currentMessage().isEmpty(); }, 2000));
}

TEST_F(MainWindowTest, TakesItsSettingsFromAnOldFileAndSavesOnlyOnRequest) {
  testsupport::PtyPair meter;
  Dir.Link(2, meter.SlavePath());
  // Written by an older installation: Windows-1250, lower-case name and keys.
  const std::string old =
      "baud=3\r\nCOM=1\r\nMode=4\r\nType=1\r\nMeterAdr=7\r\nMeterType=85\r\nMeterName=VR5_7\r\n"
      "MeterDsc=Rozdzielnia g\xB3\xF3wna, pole numer dwana\x9C" "cie\r\n"
      "Dev1=TR5,5,Feeder 2,\r\nDev0=VR5,7,Rozdzielnia g\xB3\xF3wna,\r\n";
  WriteFile("kavrel.ini", old);
  {
    TMainForm form(Port, Meter, Views());
    EXPECT_EQ(LinkSettings(Port), (Link{1, 3, 4, 1}));
    EXPECT_NE(Port.Handle, nullptr);
    EXPECT_EQ(Meter.Address, 7);
    EXPECT_EQ(Meter.Kind, 85);
    EXPECT_STREQ(Meter.Name, "VR5_7");
    // The description is cut to 39 characters, Polish letters counted as one.
    EXPECT_STREQ(Meter.Description, "Rozdzielnia główna, pole numer dwanaści");
    EXPECT_EQ(*form.DeviceLines,
              (Lines{"Dev0=VR5,7,Rozdzielnia główna,", "Dev1=TR5,5,Feeder 2,"}));
    Show(form);
    EXPECT_EQ(form.Label1->text(), "Rozdzielnia główna, pole numer dwanaści VR5_7");

    // Closing without saving keeps the file as it was.
    form.DeviceLines->clear();
    form.close();
  }
  EXPECT_EQ(ReadFile("kavrel.ini"), old);
  EXPECT_EQ(LinkSettings(Port)[0], -100);  // the window closed the port on its way out

  TMainForm form(Port, Meter, Views());
  form.Zapisz1Click();
  // Saved under the name found, in the old encoding.
  int settingsFiles = 0;
  for (const auto& entry : fs::directory_iterator(".")) {
    settingsFiles += KeysEqual(entry.path().filename().string(), "Kavrel.INI");
  }
  EXPECT_EQ(settingsFiles, 1);
  EXPECT_EQ(ReadFile("kavrel.ini"),
            "COM=1\r\nBaud=3\r\nMode=4\r\nType=1\r\nMeterAdr=7\r\nMeterType=85\r\n"
            "MeterName=VR5_7\r\nMeterDsc=Rozdzielnia g\xB3\xF3wna, pole numer dwana\x9C" "ci\r\n"
            "Dev0=VR5,7,Rozdzielnia g\xB3\xF3wna,\r\nDev1=TR5,5,Feeder 2,\r\n");
}

// TCP= leads to a network serial server under the COM index of the file;
// saving keeps both; a server that goes away is named in the status bar.
TEST_F(MainWindowTest, NetworkServerFromTheSettingsFile) {
  testsupport::TcpPeer server;
  TModbusPort port;
  TTR5 meter{true, &port};
  const std::string address = "127.0.0.1:" + std::to_string(server.Port());
  WriteFile("Kavrel.INI", "COM=2\r\nBaud=5\r\nMode=4\r\nType=0\r\nMeterAdr=1\r\nMeterType=80\r\n"
                          "MeterName=\r\nMeterDsc=\r\nTCP=" + address + "\r\n");
  TMainForm form(port, meter, Views());
  EXPECT_EQ(port.NetworkName, "tcp://" + address);
  EXPECT_EQ(LinkSettings(port), (Link{2, 5, 4, 0}));
  ASSERT_NE(port.Handle, nullptr);
  form.Zapisz1Click();
  EXPECT_EQ(ReadFile("Kavrel.INI"),
            "COM=2\r\nBaud=5\r\nMode=4\r\nType=0\r\nMeterAdr=1\r\nMeterType=80\r\n"
            "MeterName=\r\nMeterDsc=\r\nTCP=" + address + "\r\n");

  server.CloseMaster();
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (form.StatusBar->currentMessage().isEmpty() && std::chrono::steady_clock::now() < end) {
    form.EvTimer();
    QTest::qWait(20);
  }
  EXPECT_EQ(port.Handle, nullptr);
  EXPECT_TRUE(form.StatusBar->currentMessage().startsWith(QString::fromStdString(port.NetworkName) + ": "))
      << form.StatusBar->currentMessage().toStdString();
}

TEST_F(MainWindowTest, UnreadableSettingsAreReportedAndStartUpStopsThere) {
  fs::create_directory("Kavrel.INI");
  QString text, caption;
  OnNextModal<QMessageBox>([&](QMessageBox* box) {
    text = box->text();
    caption = box->windowTitle();
    box->accept();
  });
  TMainForm form(Port, Meter, Views());
  EXPECT_EQ(text, "Cannot open file Kavrel.INI.");
  EXPECT_EQ(caption, "Service Program Kavrel");
  EXPECT_TRUE(Opened.empty());  // the port was not touched
  EXPECT_EQ(Meter.Address, 1);
  EXPECT_TRUE(form.DeviceLines->empty());

  // Saving cannot replace a directory: reported, and nothing is lost.
  text.clear();
  OnNextModal<QMessageBox>([&](QMessageBox* box) {
    text = box->text();
    box->accept();
  });
  form.Zapisz1Click();
  EXPECT_EQ(text, "Cannot create file Kavrel.INI.");
  EXPECT_TRUE(fs::is_directory("Kavrel.INI"));
  EXPECT_EQ(fs::directory_iterator("Kavrel.INI"), fs::directory_iterator());
}

// Options > Language changes only the file's "Lang" line, at once, in the
// file's own encoding, and says the choice applies at the next start; the
// next window finds it checked and saving keeps it.
TEST_F(MainWindowTest, LanguageChoiceIsStoredAloneAndAppliesAtTheNextStart) {
  const std::string head =
      "COM=1\r\nBaud=3\r\nMode=4\r\nType=1\r\nMeterAdr=7\r\nMeterType=85\r\nMeterName=VR5_7\r\n"
      "MeterDsc=Rozdzielnia g\xB3\xF3wna\r\n";
  const std::string devices = "Dev0=VR5,7,Rozdzielnia g\xB3\xF3wna,\r\nUnknown=kept\r\n";
  WriteFile("Kavrel.INI", head + devices);
  std::vector<QString> said;
  const auto choose = [&](QAction* action) {
    OnNextModal<QMessageBox>([&](QMessageBox* box) {
      said.push_back(box->text());
      box->accept();
    });
    action->trigger();
  };
  {
    TMainForm form(Port, Meter, Views());
    ASSERT_EQ(form.LanguageMenu->actions().size(), 3);
    EXPECT_TRUE(form.LanguageSystem->isChecked());
    EXPECT_EQ(form.LanguagePolish->text(), "&Polski");
    choose(form.LanguagePolish);
    EXPECT_EQ(ReadFile("Kavrel.INI"), head + "Lang=pl\r\n" + devices);
    EXPECT_EQ(said, (std::vector<QString>{"The language changes when Kavrel is started again."}));
    EXPECT_EQ(form.FileMenu->title(), "&File");  // not before the next start
  }
  {
    TMainForm form(Port, Meter, Views());
    EXPECT_TRUE(form.LanguagePolish->isChecked());
    form.Zapisz1Click();
    EXPECT_EQ(ReadFile("Kavrel.INI"), head + "Lang=pl\r\nDev0=VR5,7,Rozdzielnia g\xB3\xF3wna,\r\n");
    choose(form.LanguageSystem);
    EXPECT_EQ(ReadFile("Kavrel.INI"), head + "Dev0=VR5,7,Rozdzielnia g\xB3\xF3wna,\r\n");
    EXPECT_EQ(LanguageOfSettingsFile(), TLanguage::System);

    // A file that cannot be read is not replaced by one holding the choice.
    const std::string large(SETTINGS_FILE_SIZE_LIMIT + 1, 'x');
    WriteFile("Kavrel.INI", large);
    said.clear();
    choose(form.LanguageEnglish);
    EXPECT_EQ(said, (std::vector<QString>{"Cannot open file Kavrel.INI."}));
    EXPECT_EQ(fs::file_size("Kavrel.INI"), large.size());
  }
}

// The window's language: the system's (LANG) unless the settings file names
// one. Run by ctest under LANG=pl_PL.UTF-8 and under LANG=C.UTF-8, which
// KAVREL_TEST_LANG names ("pl" or "en"); skipped when run without it.
TEST_F(MainWindowTest, SystemLanguageDecidesUnlessTheSettingsFileNamesOne) {
  const QString system = qEnvironmentVariable("KAVREL_TEST_LANG");
  if (system.isEmpty()) GTEST_SKIP() << "run by ctest with LANG set";
  struct English {
    ~English() { InstallLanguage(TLanguage::English); }
  } restore;
  const auto menus = [this] {
    TMainForm form(Port, Meter, Views());
    QStringList titles;
    for (QMenu* menu : {form.FileMenu, form.OptionsMenu, form.WindowMenu, form.HelpMenu})
      titles << menu->title();
    return titles.join(' ');
  };
  const QString english = "&File &Options &Window &Help";
  const QString polish = "&Plik &Opcje &Okno Pomo&c";

  InstallLanguage(LanguageOfSettingsFile());  // no settings file
  EXPECT_EQ(menus(), system == "pl" ? polish : english);
  WriteFile("Kavrel.INI", "COM=0\r\nLang=en\r\n");
  InstallLanguage(LanguageOfSettingsFile());
  EXPECT_EQ(menus(), english);
  WriteFile("Kavrel.INI", "COM=0\r\nLang=pl\r\n");
  InstallLanguage(LanguageOfSettingsFile());
  EXPECT_EQ(menus(), polish);
  // Qt's own dialogs come with the language too.
  EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), "Anuluj");
}

TEST_F(MainWindowTest, ViewsComeUpOnceAndCannotBeClosed) {
  TMainForm form(Port, Meter, Views());
  EXPECT_TRUE(form.MdiArea->subWindowList().isEmpty());
  EXPECT_FALSE(form.TabelaBtn->isEnabled());  // nothing to show yet
  form.Tabela1Click();                        // and nothing happens
  Show(form);
  ASSERT_EQ(form.MdiArea->subWindowList().size(), 2);
  QMdiSubWindow* table = form.SubWindowOf(Table);
  QMdiSubWindow* charts = form.SubWindowOf(Charts);
  ASSERT_TRUE(table && charts);
  EXPECT_TRUE(table->isMaximized());
  EXPECT_EQ(form.MdiArea->currentSubWindow(), table);
  EXPECT_FALSE(table->windowFlags() & Qt::WindowMinimizeButtonHint);

  EXPECT_TRUE(form.TabelaBtn->isEnabled() && form.WykresBtn->isEnabled());
  EXPECT_TRUE(form.WindowCascadeItem->isEnabled() && form.WindowTileItem->isEnabled());
  EXPECT_FALSE(form.PrintBtn->isEnabled() || form.Drukuj1->isEnabled());
  form.Drukuj1Click();
  EXPECT_EQ(Charts->Prints, 0);

  form.Wykresy2Click();
  EXPECT_EQ(form.MdiArea->currentSubWindow(), charts);
  EXPECT_TRUE(form.PrintBtn->isEnabled() && form.Drukuj1->isEnabled());
  form.PrintBtn->trigger();
  EXPECT_EQ(Charts->Prints, 1);

  form.Tabela1Click();
  EXPECT_EQ(form.MdiArea->currentSubWindow(), table);
  EXPECT_FALSE(form.PrintBtn->isEnabled());

  // A close request leaves both views where they are.
  EXPECT_FALSE(table->close());
  EXPECT_FALSE(charts->close());
  EXPECT_TRUE(table->isVisible() && charts->isVisible());

  // Tiling puts them one above the other, each the full width.
  form.WindowTileItemClick();
  EXPECT_FALSE(table->isMaximized());
  EXPECT_EQ(table->width(), charts->width());
  EXPECT_EQ(table->x(), charts->x());
  EXPECT_NE(table->y(), charts->y());

  // The window menu lists the children after its two commands.
  emit form.WindowMenu->aboutToShow();
  QStringList entries;
  for (QAction* a : form.WindowMenu->actions()) {
    if (!a->isSeparator()) entries << a->text();
  }
  EXPECT_EQ(entries, (QStringList{"&Cascade", "&Tile", "&1 Charts", "&2 Table"}));

  // Showing again does not make new views.
  form.hide();
  Show(form);
  EXPECT_EQ(form.MdiArea->subWindowList().size(), 2);
}

TEST_F(MainWindowTest, ChoosingAnotherMeterResetsAndRebindsTheViews) {
  TMainForm form(Port, Meter, Views());
  Show(form);
  *form.DeviceLines = {"Dev0=TR5,1,Feeder 2,", "Dev1=VR5,9,Main,"};
  Meter.SetDescription("Feeder 2");
  Meter.SetName("TR5_1");
  Meter.FindByName("U1", 0)->Update(230.0f);

  // OK without a device row: nothing changes but the label's text.
  ChooseDevice(form, [](TDialogKonfig* d) { QTest::mouseClick(d->OKBtn, Qt::LeftButton); });
  EXPECT_EQ(form.Label1->text(), "Feeder 2 TR5_1");
  EXPECT_EQ(U1(), 230.0f);
  EXPECT_EQ(Table->Rebinds + Charts->Rebinds, 0);

  // Same address and model, another description: renamed, not reset.
  ChooseDevice(form, [](TDialogKonfig* d) {
    d->StringGrid1->item(1, 2)->setText("Feeder two");
    ClickRow(d, 2);
    QTest::mouseClick(d->OKBtn, Qt::LeftButton);
  });
  EXPECT_STREQ(Meter.Description, "Feeder two");
  EXPECT_EQ(form.Label1->text(), "Feeder two TR5_1");
  EXPECT_EQ(U1(), 230.0f);
  EXPECT_EQ(Table->Rebinds + Charts->Rebinds, 0);

  // Another meter: what the previous one had pending is logged under its
  // name, and an alarm it had on (not seen to end while its link was down)
  // does not end after the new meter has connected.
  Meter.LinkState = 1;
  Meter.ErrorCount = 3;
  Meter.AlarmFlags = 1;
  // Values back to none, both views bound again.
  ChooseDevice(form, [](TDialogKonfig* d) {
    ClickRow(d, 3);
    QTest::mouseClick(d->OKBtn, Qt::LeftButton);
  });
  EXPECT_EQ(Meter.Address, 9);
  EXPECT_EQ(Meter.Kind, 85);
  EXPECT_STREQ(Meter.Name, "VR5_9");
  EXPECT_EQ(Table->Events, Lines{"\tTransmission error with TR5_1"});
  EXPECT_EQ(Meter.AlarmFlags, 0);
  EXPECT_EQ(U1(), NO_VALUE);
  EXPECT_EQ(Meter.LinkState, 0);
  EXPECT_EQ(Table->Rebinds, 1);
  EXPECT_EQ(Charts->Rebinds, 1);

  // Closing the dialog from its title bar keeps everything, even after edits.
  const Lines before = *form.DeviceLines;
  ChooseDevice(form, [](TDialogKonfig* d) {
    QTest::mouseClick(d->Button1, Qt::LeftButton);
    d->close();
  });
  EXPECT_EQ(*form.DeviceLines, before);
  EXPECT_EQ(Meter.Address, 9);

  // A long address text: the meter keeps 9 characters, the label all of it.
  ChooseDevice(form, [](TDialogKonfig* d) {
    d->StringGrid1->item(1, 1)->setText("0000000012");
    ClickRow(d, 2);
    QTest::mouseClick(d->OKBtn, Qt::LeftButton);
  });
  EXPECT_EQ(Meter.Address, 12);
  EXPECT_STREQ(Meter.Name, "TR5_00000");
  EXPECT_EQ(form.Label1->text(), "Feeder two TR5_0000000012");
  EXPECT_EQ(form.DeviceLines->at(0), "Dev0=TR5,0000000012,Feeder two,");
}

TEST_F(MainWindowTest, ATr8HasNeitherHarmonicsNorExtremeValues) {
  TMainForm form(Port, Meter, Views());
  Show(form);
  form.HarmonClick();
  form.Ekstrema1Click();
  ASSERT_TRUE(form.Harmoniczne && form.Extrema);
  EXPECT_TRUE(form.Harmoniczne->isWindow());
  EXPECT_EQ(form.Harmoniczne->parentWidget(), &form);
  QPointer<QWidget> first = form.Harmoniczne;
  form.HarmonClick();  // at most one at a time
  EXPECT_EQ(form.Harmoniczne, first);

  ChooseDevice(form, [](TDialogKonfig* d) {
    d->ComboBox1->setCurrentText("TR8");
    QTest::mouseClick(d->Button1, Qt::LeftButton);
    ClickRow(d, 2);
    QTest::mouseClick(d->OKBtn, Qt::LeftButton);
  });
  EXPECT_EQ(Meter.Kind, 118);
  EXPECT_STREQ(Meter.Name, "TR8_1");
  EXPECT_EQ(*form.DeviceLines, Lines{"Dev0=TR8,1,,"});
  EXPECT_FALSE(form.Harmoniczne);
  EXPECT_FALSE(form.Extrema);
  EXPECT_FALSE(first);  // destroyed, not only forgotten
  form.HarmonClick();
  EXPECT_FALSE(form.Harmoniczne);

  // A TR5 again: a new harmonics window; closing it ends it.
  ChooseDevice(form, [](TDialogKonfig* d) {
    QTest::mouseClick(d->Button1, Qt::LeftButton);  // TR5 is the default model
    ClickRow(d, 3);
    QTest::mouseClick(d->OKBtn, Qt::LeftButton);
  });
  EXPECT_EQ(Meter.Kind, 80);
  form.HarmonClick();
  ASSERT_TRUE(form.Harmoniczne);
  QPointer<QWidget> second = form.Harmoniczne;
  second->close();
  EXPECT_TRUE(QTest::qWaitFor([&] { return second.isNull(); }, 2000));
  EXPECT_FALSE(form.Harmoniczne);
}

TEST_F(MainWindowTest, StatusBarShowsTheLongHintOfTheMenuItemUnderTheMouse) {
  TMainForm form(Port, Meter, Views());
  Show(form);
  form.FileMenu->popup(form.mapToGlobal(QPoint(10, 10)));
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form.FileMenu));
  QTest::mouseMove(form.FileMenu, form.FileMenu->actionGeometry(form.Zapisz1).center());
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return form.StatusBar->currentMessage() == "Save to file devices and COM settings"; },
      2000))
      << form.StatusBar->currentMessage().toStdString();
  QTest::mouseMove(form.FileMenu, form.FileMenu->actionGeometry(form.FileExitItem).center());
  EXPECT_TRUE(QTest::qWaitFor([&] { return form.StatusBar->currentMessage() == "Program exit"; }, 2000));
  form.FileMenu->hide();
  EXPECT_EQ(form.WindowMenu->menuAction()->statusTip(), "Zarządzanie oknami");
}

TEST_F(MainWindowTest, CommandsWithoutTheirWindowsStayDisabled) {
  TMainForm form(Port, Meter);
  Show(form);
  EXPECT_FALSE(form.Programowanie1->isEnabled());
  EXPECT_FALSE(form.Harmon1->isEnabled());
  EXPECT_FALSE(form.Ekstrema1->isEnabled());
  EXPECT_FALSE(form.TabelaBtn->isEnabled());
  EXPECT_FALSE(form.PrintBtn->isEnabled());
  form.HarmonClick();
  form.Drukuj1Click();
  form.Wykresy2Click();
  EXPECT_FALSE(form.Harmoniczne);
  EXPECT_TRUE(form.Konfig1->isEnabled());
}

TEST_F(MainWindowTest, APortWithoutPermissionIsExplainedUntilAPortOpens) {
  Denied = true;
  TMainForm form(Port, Meter, Views());
  ASSERT_NO_FATAL_FAILURE(Show(form));
  EXPECT_EQ(Port.Handle, nullptr);
  EXPECT_TRUE(form.PortProblem->isVisible());
  const QString text = form.PortProblem->text();
  // COM1 is /dev/ttyS0 here, where the machine has one.
  EXPECT_TRUE(text.startsWith("No permission to open COM1")) << text.toStdString();
  EXPECT_TRUE(text.contains("group \"dialout\"")) << text.toStdString();
  EXPECT_TRUE(text.contains(" dialout), then log out")) << text.toStdString();

  // The user picks a port that opens: the explanation goes.
  testsupport::PtyPair meter;
  Dir.Link(2, meter.SlavePath());
  OnNextModal<TDialogPort>([](TDialogPort* dialog) {
    dialog->ComboBox1->setCurrentIndex(1);
    QTest::mouseClick(dialog->OKBtn, Qt::LeftButton);
  });
  form.Ustawienia1Click();
  EXPECT_NE(Port.Handle, nullptr);
  EXPECT_FALSE(form.PortProblem->isVisible());
}

TEST_F(MainWindowTest, TheFirstAcquisitionStepGoesOutAsTheWindowShows) {
  testsupport::PtyPair meter;
  Dir.Link(1, meter.SlavePath());
  TMainForm form(Port, Meter, Views());
  ASSERT_NE(Port.Handle, nullptr);
  EXPECT_EQ(Port.State, 0);  // nothing sent before the window shows
  form.show();
  // Sent from the show itself, not from a timer tick: no events ran between.
  EXPECT_EQ(Port.State, MB_PENDING);
  const std::vector<uint8_t> request = meter.ReadCount(17, 5000);
  EXPECT_EQ(std::string(request.begin(), request.end()).substr(0, 13), ":01031D4C0022");  // 7500 x34
  // The timer counts its 200 ms from that step.
  EXPECT_TRUE(form.Timer1->isActive());
  EXPECT_GT(form.Timer1->remainingTime(), 100);
}
