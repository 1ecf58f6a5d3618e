// kavrel-screenshots: the pictures of the user guide. Runs the program's main
// window against a meter on the line of the working directory (the simulator,
// started by packaging/make-screenshot.sh), opens each window and dialog in
// turn and saves what it shows as a PNG in the given folder.
//
// Usage: kavrel-screenshots DIR [SECONDS]   (SECONDS of polling before the first picture)
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPixmap>
#include <QTabWidget>
#include <QTimer>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <functional>

#include "app/Dlgport.h"
#include "app/Konfig.h"
#include "app/Language.h"
#include "app/Main.h"
#include "app/ScanDialog.h"
#include "app/SetupDialog.h"
#include "app/about.h"
#include "comm/Trans.h"
#include "model/TR5.h"
#include "program/ViewFactories.h"

namespace {

QString Folder;
int Failures = 0;

// Lets the event loop run: timers poll the meter and windows lay out.
void Wait(int ms) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 20);
}

// Saves the widget as it shows now, in 256 colours: a window of flat colours
// loses nothing and the file stays small.
void Save(QWidget* widget, const char* name) {
  Wait(300);
  const QImage image = widget->grab().toImage().convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
  const QString path = Folder + QLatin1Char('/') + QLatin1String(name);
  if (!image.save(path, "PNG", 0)) {
    std::fprintf(stderr, "kavrel-screenshots: cannot write %s\n", qPrintable(path));
    ++Failures;
    return;
  }
  std::printf("%s  %dx%d\n", qPrintable(path), image.width(), image.height());
}

// Runs open, which shows a modal dialog of type T, saves the dialog and
// closes it.
template <class T>
void SaveModal(const char* name, const std::function<void()>& open,
               const std::function<void(T*)>& prepare = {}) {
  bool seen = false;
  auto* timer = new QTimer;
  timer->setInterval(50);
  QObject::connect(timer, &QTimer::timeout, [&, timer] {
    auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
    if (!dialog || !dialog->isVisible()) return;
    timer->stop();
    seen = true;
    if (prepare) prepare(dialog);
    Save(dialog, name);
    dialog->reject();
  });
  timer->start();
  open();
  delete timer;
  if (!seen) {
    std::fprintf(stderr, "kavrel-screenshots: %s did not open\n", name);
    ++Failures;
  }
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc < 2) {
    std::fputs("Usage: kavrel-screenshots DIR [SECONDS]\n", stderr);
    return 2;
  }
  TModbusPort ModbusPort;
  TTR5 Meter(true, &ModbusPort);
  QApplication application(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  QApplication::setApplicationName(QStringLiteral("Kavrel"));
  QApplication::setApplicationVersion(QStringLiteral(KAVREL_VERSION));  // the about box shows it
  InstallLanguage(TLanguage::System);  // LANG=pl_PL.UTF-8 for the Polish pictures
  Folder = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
  const int seconds = argc > 2 ? std::atoi(argv[2]) : 20;

  TMainForm form(ModbusPort, Meter, ProgramViews());
  TAboutBox about;
  form.AboutBox = &about;
  form.resize(1000, 700);
  form.show();
  Wait(seconds * 1000);

  // The main window with the table in front, then with the trend charts.
  form.Tabela1Click();
  if (QMdiSubWindow* table = form.MdiArea->activeSubWindow()) table->showMaximized();
  Save(&form, "kavrel-main-window.png");
  form.Wykresy2Click();
  if (QMdiSubWindow* charts = form.MdiArea->activeSubWindow()) charts->showMaximized();
  Save(&form, "guide-trend-charts.png");
  form.Tabela1Click();

  form.HarmonClick();
  if (form.Harmoniczne) Save(form.Harmoniczne, "guide-harmonics.png");
  form.Ekstrema1Click();
  if (form.Extrema) Save(form.Extrema, "guide-extreme-values.png");

  SaveModal<TDialogProgram>("guide-programming.png", [&] { form.Programowanie1Click(); });
  SaveModal<TDialogPort>("guide-port-settings.png", [&] { form.Ustawienia1Click(); });
  SaveModal<TDialogKonfig>("guide-device-list.png", [&] { form.Konfig1Click(); });
  SaveModal<TScanDialog>("guide-find-meters.png", [&] {
    TScanDialog scan(&ModbusPort, &form);
    scan.exec();
  });
  SaveModal<TAboutBox>("guide-about.png", [&] { form.HelpAboutItemClick(); });

  // Compare with file: a setup saved from the meter, one value changed.
  const QString setup = Folder + QStringLiteral("/.guide-setup.txt");
  QString error;
  if (SaveMeterSetup(Meter, setup, error)) {
    QFile file(setup);
    QString text;
    if (file.open(QIODevice::ReadOnly)) text = QString::fromUtf8(file.readAll());
    file.close();
    // The first setup item of the file (the current transformer's ratio):
    // its value becomes one more than the meter's.
    const qsizetype start = text.indexOf(QStringLiteral("\n1\t"));
    const qsizetype end = start < 0 ? -1 : text.indexOf(QLatin1Char('\n'), start + 1);
    if (end > 0) {
      QStringList fields = text.mid(start + 1, end - start - 1).split(QLatin1Char('\t'));
      if (fields.size() > 3) fields[3] = QString::number(fields[3].toDouble() + 1);
      text.replace(start + 1, end - start - 1, fields.join(QLatin1Char('\t')));
      if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) file.write(text.toUtf8());
      file.close();
    }
    SaveModal<TSetupDialog>("guide-compare-setup.png", [&] {
      TSetupDialog dialog(Meter, TSetupDialog::TMode::Restore, setup, &form);
      dialog.exec();
    });
    QFile::remove(setup);
  } else {
    std::fprintf(stderr, "kavrel-screenshots: setup not saved: %s\n", qPrintable(error));
    ++Failures;
  }
  return Failures == 0 ? 0 : 1;
}
