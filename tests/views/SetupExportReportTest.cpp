// What a commissioning engineer leaves behind, driven through the main
// window's menus against the simulated meter: a setup file saved, compared
// and restored; each view exported as CSV and read back by an independent CSV
// reader; and the service report as a PDF whose text is checked. In English
// and in Polish: the files keep their form, the report's captions follow the
// window, and no window or dialog cuts its texts.
#include <gtest/gtest.h>
#include <QCheckBox>
#include <QColor>
#include <QComboBox>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPushButton>
#include <QStatusBar>
#include <QTabBar>
#include <QTableWidget>
#include <QTest>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <utility>

#include "app/Dlgport.h"
#include "app/Konfig.h"
#include "app/Language.h"
#include "app/ScanDialog.h"
#include "app/SetupDialog.h"
#include "app/about.h"
#include "model/ParamDef.h"
#include "tests/support/GuiTestSupport.h"
#include "tests/support/ViewTestSupport.h"
#include "views/ChildWin.h"
#include "views/Dlgprog.h"
#include "views/Harm.h"
#include "views/Minmax.h"
#include "views/Tabela.h"

namespace {

using Rows = std::vector<std::vector<std::string>>;

std::string Output(const std::string& command) {
  std::string out;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
    pclose(p);
  }
  return out;
}

// The lengths of the report's harmonic bars in pixels, in the order they
// stand in the PDF, from its pages rendered by pdftoppm: a bar is a run of
// rows holding the bar colour, its length the widest run of that colour.
std::vector<int> BarLengths(const std::string& pdf, const std::string& dir) {
  Output("pdftoppm -r 72 -png '" + pdf + "' '" + dir + "/page'");
  std::vector<int> bars;
  for (int page = 1;; ++page) {
    QImage image;
    for (const char* digits : {"%d", "%02d", "%03d"})
      if (image.isNull())
        image.load(QString::fromStdString(dir + "/page-") + QString::asprintf(digits, page) + ".png");
    if (image.isNull()) break;
    int length = 0;  // of the bar the rows above belong to, 0 between bars
    for (int y = 0; y < image.height(); ++y) {
      int run = 0, widest = 0;
      for (int x = 0; x < image.width(); ++x) {
        const QColor c = image.pixelColor(x, y);
        const bool blue = std::abs(c.red() - 0x3a) < 24 && std::abs(c.green() - 0x6f) < 24 &&
                          std::abs(c.blue() - 0xb0) < 24;
        run = blue ? run + 1 : 0;
        widest = std::max(widest, run);
      }
      if (widest > 0) length = std::max(length, widest);
      if (widest == 0 && length > 0) bars.push_back(std::exchange(length, 0));
    }
  }
  return bars;
}

// The file as Python's csv module reads it (strict RFC 4180 dialect checks).
Rows ReadCsv(const std::string& path) {
  const std::string text = Output(
      "python3 -c \"import csv,sys\n"
      "for r in csv.reader(open(sys.argv[1], newline='', encoding='utf-8'), strict=True):\n"
      "    print('\\x1f'.join(r))\" '" + path + "'");
  Rows rows;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t at; (at = line.find('\x1f', start)) != std::string::npos; start = at + 1)
      fields.push_back(line.substr(start, at - start));
    fields.push_back(line.substr(start));
    rows.push_back(fields);
  }
  return rows;
}

class ServiceWork : public WindowOverSimulator {
protected:
  void SetUp() override {
    WriteSettings(MT_TR5, "MeterName=Feeder_1\r\n");
    TViewFactories views;
    views.TableWindow = MakeTableWindow;
    views.ChartWindow = MakeChartWindow;
    views.Harmonics = MakeHarmonicsWindow;
    views.Extreme = MakeExtremeWindow;
    views.Programming = RunProgrammingDialog;
    SimConfig config;
    config.Meters = {SimMeterConfig{MT_TR5, 1}};
    ASSERT_NO_FATAL_FAILURE(StartProgram(config, views));
    Form->ChooseFile = [this](bool, const QString&, const QString&, const QString&) { return Chosen; };
    Form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
  }
  QString Path(const char* name) { return QString::fromStdString(Dir.Path() + "/" + name); }
  QString Chosen;
};

// The texts of labels, buttons, check boxes and group boxes under root that
// are wider than the room their widget gives them, each as "text (class)".
std::vector<std::string> CutTexts(QWidget* root) {
  std::vector<std::string> cut;
  const auto check = [&cut](const QWidget* w, QString text, int room) {
    text.remove(QLatin1Char('&'));
    if (text.isEmpty() || !w->isVisible()) return;
    const int needed = w->fontMetrics().horizontalAdvance(text);
    if (needed > room)
      cut.push_back(text.toStdString() + " (" + w->metaObject()->className() + ", " + std::to_string(needed) +
                    " > " + std::to_string(room) + ")");
  };
  QList<QWidget*> widgets = root->findChildren<QWidget*>();
  widgets.prepend(root);
  for (QWidget* w : widgets) {
    if (auto* label = qobject_cast<QLabel*>(w)) {
      if (!label->wordWrap() && !Qt::mightBeRichText(label->text()) && !label->text().contains('\n'))
        check(label, label->text(),
              label->contentsRect().width() - 2 * label->margin() - 2 * label->indent());
    } else if (auto* box = qobject_cast<QCheckBox*>(w)) {
      QStyleOptionButton option;
      option.initFrom(box);
      option.text = box->text();
      check(box, box->text(),
            box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box).width());
    } else if (auto* button = qobject_cast<QPushButton*>(w)) {
      QStyleOptionButton option;
      option.initFrom(button);
      option.text = button->text();
      check(button, button->text(),
            button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button).width());
    } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
      check(group, group->title(), group->contentsRect().width());
    }
  }
  return cut;
}

// The service work in one language, English again afterwards.
class ServiceWorkIn : public ServiceWork, public ::testing::WithParamInterface<TLanguage> {
protected:
  void SetUp() override {
    InstallLanguage(GetParam());
    ServiceWork::SetUp();
  }
  void TearDown() override { InstallLanguage(TLanguage::English); }
  bool Polish() const { return GetParam() == TLanguage::Polish; }
  // The text for the window's language.
  QString Say(const char* english, const char* polish) const {
    return QString::fromUtf8(Polish() ? polish : english);
  }
};

INSTANTIATE_TEST_SUITE_P(Languages, ServiceWorkIn, ::testing::Values(TLanguage::English, TLanguage::Polish),
                         [](const auto& info) {
                           return info.param == TLanguage::Polish ? "Polish" : "English";
                         });

TEST_P(ServiceWorkIn, EveryWindowAndDialogSpeaksTheLanguageAndFitsItsTexts) {
  const auto fits = [](QWidget* w) {
    const std::vector<std::string> cut = CutTexts(w);
    std::string all;
    for (const auto& c : cut) all += "\n  " + c;
    EXPECT_TRUE(cut.empty()) << w->metaObject()->className() << " cuts:" << all;
  };
  EXPECT_EQ(Form->FileMenu->title(), Say("&File", "&Plik"));
  EXPECT_EQ(Form->OptionsMenu->title(), Say("&Options", "&Opcje"));
  EXPECT_EQ(Form->WindowMenu->title(), Say("&Window", "&Okno"));
  EXPECT_EQ(Form->HelpMenu->title(), Say("&Help", "Pomo&c"));
  EXPECT_EQ(Form->LanguageMenu->title(), Say("&Language", "&Język"));
  // Qt's own dialogs and buttons, on Windows too, where no Qt is installed beside the program.
  EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), Say("Cancel", "Anuluj"));
  fits(Form.get());

  // The table's events as the window shows them; their text in the export stays as the meter reports it.
  Meter.ResetValues();
  Form->Timer1->start();
  auto* table = dynamic_cast<TForm2*>(Form->TableWindow.data());
  ASSERT_NE(table, nullptr);
  ASSERT_TRUE(QTest::qWaitFor([&] { return table->ListBox1->count() > 0; }, 15000));
  Form->Timer1->stop();
  EXPECT_TRUE(
      table->ListBox1->item(0)->text().endsWith(Say("\tConnection to Feeder_1", "\tPołączenie z Feeder_1")))
      << table->ListBox1->item(0)->text().toStdString();
  EXPECT_EQ(table->CsvRows().at(1).at(1), "Connection to Feeder_1");
  EXPECT_EQ(table->Label4->text(), Say("List of events", "Lista zdarzeń"));
  Form->MdiArea->setActiveSubWindow(Form->SubWindowOf(Form->TableWindow));
  fits(Form.get());
  Form->MdiArea->setActiveSubWindow(Form->SubWindowOf(Form->ChartWindow));
  fits(Form.get());
  auto* charts = dynamic_cast<TMDIChild*>(Form->ChartWindow.data());
  ASSERT_NE(charts, nullptr);
  EXPECT_EQ(charts->PageControl1->tabText(0), Say("Phase Voltages", "Napięcia fazowe"));

  Form->HarmonClick();
  ASSERT_NE(Form->Harmoniczne, nullptr);
  EXPECT_EQ(Form->Harmoniczne->windowTitle(), Say("Harmonics", "Harmoniczne"));
  fits(Form->Harmoniczne);
  Form->Ekstrema1Click();
  auto* extremes = dynamic_cast<TExtrema*>(Form->Extrema.data());
  ASSERT_NE(extremes, nullptr);
  EXPECT_EQ(extremes->windowTitle(), Say("Extreme values", "Wartości ekstremalne"));
  // The rows are named by the meter's texts, translated.
  EXPECT_EQ(extremes->StringGrid1->item(0, 0)->text(), Say("L1 phase voltage", "Napięcie fazowe L1"));
  fits(extremes);

  OnNextModal<TDialogPort>([&](TDialogPort* d) {
    EXPECT_EQ(d->windowTitle(), Say("Port settings", "Ustawienia portu"));
    fits(d);
    d->reject();
  });
  Form->Ustawienia1Click();
  OnNextModal<TDialogKonfig>([&](TDialogKonfig* d) {
    EXPECT_EQ(d->FindBtn->text(), Say("Find meters\u2026", "Szukaj mierników\u2026"));
    fits(d);
    d->reject();
  });
  Form->Konfig1Click();
  {
    TScanDialog scan(&Port, Form.get());
    scan.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&scan));
    EXPECT_EQ(scan.windowTitle(), Say("Find meters", "Szukaj mierników"));
    fits(&scan);
  }
  OnNextModal<TDialogProgram>([&](TDialogProgram* d) {
    EXPECT_EQ(d->Label1->text(), Say("Menu", "Menu"));
    EXPECT_EQ(d->Button1->text(), Say("Use", "Zastosuj"));
    // The menus and the parameters are the meter's texts, translated.
    EXPECT_EQ(d->ComboBox3->itemText(0).toStdString(),
              Say("Setup mode parameters", "Parametry trybu konfiguracji").toStdString());
    ASSERT_GT(d->ListBox2->count(), 0);
    EXPECT_TRUE(d->ListBox2->item(0)->text().startsWith(
        Say("Ratio of current transformer\t", "Przekładnia przekładnika prądowego\t")))
        << d->ListBox2->item(0)->text().toStdString();
    fits(d);
    d->reject();
  });
  Form->Programowanie1Click();
  OnNextModal<TAboutBox>([&](TAboutBox* d) {
    EXPECT_EQ(d->windowTitle(), Say("About ...", "O programie..."));
    fits(d);
    d->reject();
  });
  Form->HelpAboutItemClick();
  Chosen = Path("feeder.txt");
  Form->ZapiszSetup1Click();
  OnNextModal<TSetupDialog>([&](TSetupDialog* d) {
    EXPECT_EQ(d->windowTitle(), Say("Compare with file", "Porównaj z plikiem"));
    EXPECT_EQ(d->Table->horizontalHeaderItem(0)->text(), Say("Item", "Pozycja"));
    fits(d);
    d->reject();
  });
  Form->PorownajSetup1Click();
}

TEST_F(ServiceWork, SetupIsSavedComparedAndRestoredThroughTheMenus) {
  Chosen = Path("feeder.txt");
  Form->ZapiszSetup1Click();
  EXPECT_TRUE(Form->StatusBar->currentMessage().contains("setup items saved")) << Form->StatusBar->currentMessage().toStdString();
  std::string message;
  ASSERT_EQ(Meter.WriteParameter(1, "250", message), WRITE_OK) << message;  // tr_I changed on the meter

  // Restore: the one difference shown first, then written and read back.
  OnNextModal<TSetupDialog>([](TSetupDialog* d) {
    ASSERT_EQ(d->Table->rowCount(), 1);
    EXPECT_EQ(d->Table->item(0, 1)->text(), "tr_I");
    EXPECT_EQ(d->Table->item(0, 4)->text(), "250");
    ASSERT_TRUE(d->WriteBtn->isEnabled());
    QTest::mouseClick(d->WriteBtn, Qt::LeftButton);
    EXPECT_EQ(d->Table->item(0, 6)->text(), "written");
    EXPECT_EQ(d->Table->item(0, 4)->text(), d->Table->item(0, 3)->text());
    d->reject();
  });
  Form->OdtworzSetup1Click();
  EXPECT_EQ(Sim->GetRegister(1, 4000), FindParamDef(1)->LastValue);
  EXPECT_NE(FindParamDef(1)->LastValue, 250.0);

  OnNextModal<TSetupDialog>([](TSetupDialog* d) {
    EXPECT_EQ(d->Table->rowCount(), 0);
    EXPECT_TRUE(d->Summary->text().contains("no item differs")) << d->Summary->text().toStdString();
    d->reject();
  });
  Form->PorownajSetup1Click();

  // Another model's file is refused before anything is sent.
  std::string text;
  {
    std::ifstream in(Dir.Path() + "/feeder.txt");
    text.assign(std::istreambuf_iterator<char>(in), {});
  }
  text.replace(text.find("Model=TR5"), 9, "Model=TR8");
  std::ofstream(Dir.Path() + "/other.txt") << text;
  Chosen = Path("other.txt");
  Sim->ClearRequests();
  OnNextModal<TSetupDialog>([](TSetupDialog* d) {
    EXPECT_FALSE(d->WriteBtn->isEnabled());
    EXPECT_TRUE(d->Summary->text().contains("refused, nothing is sent")) << d->Summary->text().toStdString();
    d->reject();
  });
  Form->OdtworzSetup1Click();
  EXPECT_EQ(Sim->RequestCount(), 0u);

  // A value to be written outside its limits: refused and named, nothing written.
  text.replace(text.find("Model=TR8"), 9, "Model=TR5");
  const size_t item = text.find("\n1\ttr_I\t");
  ASSERT_NE(item, std::string::npos) << text;
  const size_t value = text.find('\t', text.find('\t', item + 6) + 1) + 1;
  text.replace(value, text.find('\t', value) - value, "30000");
  std::ofstream(Dir.Path() + "/outside.txt") << text;
  Chosen = Path("outside.txt");
  Sim->ClearRequests();
  OnNextModal<TSetupDialog>([](TSetupDialog* d) {
    EXPECT_FALSE(d->WriteBtn->isEnabled());
    EXPECT_TRUE(d->Summary->text().contains(
        "refused, nothing is sent: tr_I = 30000 is outside its limits 1 to 20000"))
        << d->Summary->text().toStdString();
    d->reject();
  });
  Form->OdtworzSetup1Click();
  for (const SimRequest& r : Sim->Requests()) EXPECT_NE(r.Function, 6);

  // A file that cannot be read says why.
  Chosen = Path("missing.txt");
  OnNextModal<TSetupDialog>([](TSetupDialog* d) {
    EXPECT_TRUE(d->Summary->text().startsWith("Cannot read ")) << d->Summary->text().toStdString();
    EXPECT_TRUE(d->Summary->text().endsWith(": No such file or directory."))
        << d->Summary->text().toStdString();
    d->reject();
  });
  Form->PorownajSetup1Click();
}

// The files are the same in either language: the CSV exports and the setup
// file word for word; the report's captions follow the window, its data not.
TEST_P(ServiceWorkIn, EachViewExportsWhatItShowsAndTheReportHoldsTheMeter) {
  Sim->HoldRegister(1, 7500, 231.5);
  Sim->HoldRegister(1, 7632, 3.25);  // U1: the 3rd harmonic
  // Events and values come from the running program, from the link down.
  Meter.ResetValues();
  Form->Timer1->start();
  auto* table = dynamic_cast<TForm2*>(Form->TableWindow.data());
  ASSERT_NE(table, nullptr);
  ASSERT_TRUE(QTest::qWaitFor([&] { return table->ListBox1->count() > 0; }, 15000));
  ASSERT_TRUE(QTest::qWaitFor([&] { return Meter.FindByName("U1", 0)->GetValue() == 231.5f; }, 15000));

  Form->MdiArea->setActiveSubWindow(Form->SubWindowOf(Form->TableWindow));
  Chosen = Path("events.csv");
  Form->Export1Click();
  Rows rows = ReadCsv(Chosen.toStdString());
  ASSERT_GE(rows.size(), 2u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"time", "event"}));
  EXPECT_EQ(rows[1][1], "Connection to Feeder_1");
  EXPECT_EQ(rows[1][0].size(), 19u) << rows[1][0];  // 2026-12-08T10:00:00

  Form->MdiArea->setActiveSubWindow(Form->SubWindowOf(Form->ChartWindow));
  auto* charts = dynamic_cast<TMDIChild*>(Form->ChartWindow.data());
  ASSERT_NE(charts, nullptr);
  ASSERT_TRUE(QTest::qWaitFor([&] { return charts->CsvRows().size() > 1; }, 30000));
  Chosen = Path("trend.csv");
  Form->Export1Click();
  rows = ReadCsv(Chosen.toStdString());
  ASSERT_GE(rows.size(), 2u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"time", "U1", "U2", "U3"}));
  EXPECT_EQ(rows[1][1], "231.5");
  // The "Others" page names the quantity chosen in its list.
  charts->PageControl1->setCurrentIndex(4);
  ASSERT_TRUE(QTest::qWaitFor([&] { return charts->CsvRows().size() > 1; }, 30000));
  Form->Export1Click();
  rows = ReadCsv(Chosen.toStdString());
  ASSERT_GE(rows.size(), 2u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"time", "tf"}));
  Form->Timer1->stop();

  Form->HarmonClick();
  auto* harmonics = dynamic_cast<THarmoniczne*>(Form->Harmoniczne.data());
  ASSERT_NE(harmonics, nullptr);
  Form->LastView = harmonics;
  Chosen = Path("harmonics.csv");
  Form->Export1Click();
  rows = ReadCsv(Chosen.toStdString());
  ASSERT_EQ(rows.size(), 27u);  // header, THD, orders 1 to 25
  EXPECT_EQ(rows[0], (std::vector<std::string>{"phase", "quantity", "value", "unit"}));
  EXPECT_EQ(rows[4][0], "Voltage L1");
  EXPECT_EQ(rows[4][2], "3.25");

  Form->Ekstrema1Click();
  Form->LastView = Form->Extrema.data();
  Chosen = Path("extremes.csv");
  Form->Export1Click();
  rows = ReadCsv(Chosen.toStdString());
  ASSERT_EQ(rows.size(), 7u);  // header and six quantities
  EXPECT_EQ(rows[0][1], "minimum");
  EXPECT_EQ(rows[1][1], CsvNumber(FindParamDef(2801)->LastValue));

  // The setup file as the English window writes it, but for its date.
  const auto setupFile = [this](const char* name) {
    Chosen = Path(name);
    Form->ZapiszSetup1Click();
    std::ifstream in(Chosen.toStdString(), std::ios::binary);
    std::string text(std::istreambuf_iterator<char>(in), {});
    const size_t date = text.find("Date=");
    if (date != std::string::npos) text.erase(date, text.find('\n', date) - date);
    return text;
  };
  const std::string here = setupFile("here.txt");
  InstallLanguage(TLanguage::English);
  const std::string english = setupFile("english.txt");
  InstallLanguage(GetParam());
  EXPECT_GT(english.size(), 100u);
  EXPECT_EQ(here, english);

  // The report: a PDF whose text holds the meter's name, a setup code and a
  // harmonic value. The harmonics of current L3, the last bars, on a later
  // page: order 1 the largest, order 2 half of it, the others none.
  for (int order = 1; order <= 25; ++order)
    Sim->HoldRegister(1, 7754 + order, order == 1 ? 40 : order == 2 ? 20 : 0);
  Chosen = Path("report.pdf");
  Form->Raport1Click();
  const std::vector<int> bars = BarLengths(Chosen.toStdString(), Dir.Path());
  ASSERT_GE(bars.size(), 2u);
  const int full = bars[bars.size() - 2];
  const int half = bars.back();
  EXPECT_GT(full, 100);
  EXPECT_NEAR(double(half) / full, 0.5, 0.05) << half << " of " << full;
  EXPECT_TRUE(Form->StatusBar->currentMessage().startsWith(
      Say("Service report written", "Raport serwisowy zapisano")))
      << Form->StatusBar->currentMessage().toStdString();
  const std::string pdf = Output("pdftotext -layout '" + Chosen.toStdString() + "' -");
  EXPECT_NE(pdf.find("Feeder_1"), std::string::npos);
  EXPECT_NE(pdf.find("tr_I"), std::string::npos);
  EXPECT_NE(pdf.find("3.25"), std::string::npos);
  EXPECT_NE(pdf.find("Connection to Feeder_1"), std::string::npos);
  EXPECT_NE(pdf.find(Say("Meter and link", "Miernik i łącze").toStdString()), std::string::npos) << pdf;
  EXPECT_NE(pdf.find(Say("Ratio of current transformer", "Przekładnia przekładnika prądowego").toStdString()),
            std::string::npos);
  EXPECT_EQ(pdf.find("INCOMPLETE"), std::string::npos);

  // A meter that stops answering gives a report marked incomplete, at once.
  Sim->SetFaults(SimFaults{.NoReply = true});
  Port.ReplyTimeout = SILENT;
  Chosen = Path("silent.pdf");
  Form->Raport1Click();
  EXPECT_TRUE(Form->StatusBar->currentMessage().contains(Say("incomplete", "niekompletny")))
      << Form->StatusBar->currentMessage().toStdString();
  EXPECT_NE(Output("pdftotext '" + Chosen.toStdString() + "' -")
                .find(Say("INCOMPLETE REPORT", "RAPORT NIEKOMPLETNY").toStdString()),
            std::string::npos);
}

}  // namespace
