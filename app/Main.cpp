#include "app/Main.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QFileDialog>
#include <QMenuBar>
#include <QProgressDialog>
#include <QMessageBox>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QWindow>
#include <cstring>

#include "app/Dlgport.h"
#include "app/Glyphs.h"
#include "app/Konfig.h"
#include "app/Language.h"
#include "app/ServiceReport.h"
#include "app/SetupDialog.h"
#include "app/about.h"
#include "comm/SerialDeviceTcp.h"
#include "comm/Trans.h"
#include "model/TR5.h"
#include "views/MeterTexts.h"
#include "views/QtText.h"

namespace {

QString MeterText(const TTR5& meter, bool name) {
  char buffer[TZmienna::DESCRIPTION_SIZE] = {};
  if (name) {
    meter.GetName(buffer, sizeof buffer);
  } else {
    meter.GetDescription(buffer, sizeof buffer);
  }
  return QtFieldText(buffer);
}

std::string FileText(const TTR5& meter, bool name) { return MeterText(meter, name).toStdString(); }

}  // namespace

TMainForm::TMainForm(TModbusPort& modbusPort, TTR5& meter, TViewFactories views, QWidget* parent)
    : QMainWindow(parent), ModbusPort(modbusPort), Meter(meter), Views(std::move(views)) {
  setObjectName(QStringLiteral("MainForm"));
  setWindowTitle(QStringLiteral("Kavrel"));
  // The design size at least; more where the screen has room for the views.
  QSize size(504, 375);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    size = size.expandedTo(screen->availableGeometry().size() * 3 / 4).boundedTo(QSize(1200, 860));
  }
  resize(size);

  MdiArea = new QMdiArea(this);
  MdiArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  MdiArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setCentralWidget(MdiArea);

  CreateActions();
  CreateMenus();
  CreateToolBar();
  StatusBar = statusBar();
  StatusBar->setSizeGripEnabled(true);
  PortProblem = new QLabel(StatusBar);
  StatusBar->addWidget(PortProblem, 1);
  ShowPortProblem(QString());

  Timer1 = new QTimer(this);
  Timer1->setInterval(200);
  connect(Timer1, &QTimer::timeout, this, &TMainForm::EvTimer);
  Timer1->start();

  FormCreate();
  UpdateMenuItems();
}

TMainForm::~TMainForm() { FormDestroy(); }

void TMainForm::CreateActions() {
  const auto make = [this](const QString& caption, const QString& longHint, void (TMainForm::*handler)()) {
    auto* action = new QAction(caption, this);
    action->setStatusTip(longHint);
    connect(action, &QAction::triggered, this, handler);
    return action;
  };
  Drukuj1 = make(tr("&Print"), tr("Print running trend"), &TMainForm::Drukuj1Click);
  Zapisz1 = make(tr("&Save Settings"), tr("Save to file devices and COM settings"), &TMainForm::Zapisz1Click);
  FileExitItem = make(tr("&Exit"), tr("Program exit"), &TMainForm::FileExitItemClick);
  Programowanie1 =
      make(tr("&Programming..."), tr("Programming of meter parameters"), &TMainForm::Programowanie1Click);
  Ustawienia1 = make(tr("&COM setting..."), tr("Configuration serial port"), &TMainForm::Ustawienia1Click);
  Tabela1 = make(tr("&Table"), QString(), &TMainForm::Tabela1Click);
  Wykresy2 = make(tr("&Charts"), QString(), &TMainForm::Wykresy2Click);
  Harmon1 = make(tr("&Harmonics..."), tr("Harmonic analyses"), &TMainForm::HarmonClick);
  Konfig1 = make(tr("&Device list..."), tr("Choose a device from the list"), &TMainForm::Konfig1Click);
  Ekstrema1 = make(tr("&Extreme"), tr("Displaying of minimal and maximal value"), &TMainForm::Ekstrema1Click);
  WindowCascadeItem = make(tr("&Cascade"), QString(), &TMainForm::WindowCascadeItemClick);
  WindowTileItem = make(tr("&Tile"), QString(), &TMainForm::WindowTileItemClick);
  HelpAboutItem = make(tr("&About..."), QString(), &TMainForm::HelpAboutItemClick);
  Export1 = make(tr("E&xport..."), tr("Export what the active window shows as a CSV file"),
                 &TMainForm::Export1Click);
  Raport1 =
      make(tr("Service &report..."), tr("Write a PDF report of the current meter"), &TMainForm::Raport1Click);
  ZapiszSetup1 = make(tr("Save meter &setup..."), tr("Read every setup parameter of the meter into a file"),
                      &TMainForm::ZapiszSetup1Click);
  PorownajSetup1 = make(tr("Compare &with file..."), tr("List the setup parameters that differ from a file"),
                        &TMainForm::PorownajSetup1Click);
  OdtworzSetup1 = make(tr("&Restore from file..."), tr("Write the setup parameters of a file into the meter"),
                       &TMainForm::OdtworzSetup1Click);
  ChooseFile = [this](bool save, const QString& caption, const QString& filter, const QString& name) {
    return save ? QFileDialog::getSaveFileName(this, caption, name, filter)
                : QFileDialog::getOpenFileName(this, caption, QString(), filter);
  };

  // Commands whose windows the program was built without stay disabled.
  Programowanie1->setEnabled(bool(Views.Programming));
  Harmon1->setEnabled(bool(Views.Harmonics));
  Ekstrema1->setEnabled(bool(Views.Extreme));

  // Toolbar buttons: a tool tip and an empty long hint each.
  const auto button = [this](TGlyph glyph, const QString& tip, void (TMainForm::*handler)()) {
    auto* action = new QAction(MakeGlyph(glyph), tip, this);
    action->setToolTip(tip);
    action->setStatusTip(QString());
    connect(action, &QAction::triggered, this, handler);
    return action;
  };
  TabelaBtn = button(TGlyph::Table, tr("Measurements table"), &TMainForm::Tabela1Click);
  WykresBtn = button(TGlyph::Charts, tr("Charts"), &TMainForm::Wykresy2Click);
  PrintBtn = button(TGlyph::Print, tr("Print"), &TMainForm::Drukuj1Click);
  ExitBtn = button(TGlyph::Exit, tr("Exit"), &TMainForm::FileExitItemClick);
  DeviceBtn = button(TGlyph::DeviceList, tr("Device List"), &TMainForm::Konfig1Click);
}

void TMainForm::CreateMenus() {
  FileMenu = menuBar()->addMenu(tr("&File"));
  FileMenu->addAction(Drukuj1);
  FileMenu->addAction(Zapisz1);
  FileMenu->addAction(Export1);
  FileMenu->addAction(Raport1);
  FileMenu->addSeparator();
  FileMenu->addAction(FileExitItem);

  OptionsMenu = menuBar()->addMenu(tr("&Options"));
  OptionsMenu->addAction(Programowanie1);
  OptionsMenu->addAction(ZapiszSetup1);
  OptionsMenu->addAction(PorownajSetup1);
  OptionsMenu->addAction(OdtworzSetup1);
  OptionsMenu->addAction(Ustawienia1);
  OptionsMenu->addSeparator();
  OptionsMenu->addAction(Tabela1);
  OptionsMenu->addAction(Wykresy2);
  OptionsMenu->addSeparator();
  OptionsMenu->addAction(Harmon1);
  OptionsMenu->addAction(Konfig1);
  OptionsMenu->addAction(Ekstrema1);
  OptionsMenu->addSeparator();
  LanguageMenu = OptionsMenu->addMenu(tr("&Language"));
  auto* languages = new QActionGroup(LanguageMenu);
  const auto language = [this, languages](const QString& caption, const char* value) {
    QAction* action = LanguageMenu->addAction(caption);
    action->setCheckable(true);
    languages->addAction(action);
    connect(action, &QAction::triggered, this, [this, value] { ChooseLanguage(value); });
    return action;
  };
  LanguageSystem = language(tr("&System"), "");
  LanguageEnglish = language(QStringLiteral("&English"), LANGUAGE_ENGLISH);  // each in its own language
  LanguagePolish = language(QStringLiteral("&Polski"), LANGUAGE_POLISH);
  LanguageSystem->setChecked(true);

  WindowMenu = menuBar()->addMenu(tr("&Window"));
  WindowMenu->menuAction()->setStatusTip(tr("Zarządzanie oknami"));
  connect(WindowMenu, &QMenu::aboutToShow, this, &TMainForm::FillWindowMenu);
  FillWindowMenu();

  HelpMenu = menuBar()->addMenu(tr("&Help"));
  HelpMenu->addAction(HelpAboutItem);
}

void TMainForm::FillWindowMenu() {
  // The frame's window menu: its two commands, then one entry per MDI child.
  WindowMenu->clear();
  WindowMenu->addAction(WindowCascadeItem);
  WindowMenu->addAction(WindowTileItem);
  const auto children = MdiArea->subWindowList();
  if (children.isEmpty()) return;
  WindowMenu->addSeparator();
  auto* group = new QActionGroup(WindowMenu);
  int number = 0;
  for (QMdiSubWindow* child : children) {
    auto* entry = WindowMenu->addAction(QStringLiteral("&%1 %2").arg(++number).arg(child->windowTitle()));
    entry->setCheckable(true);
    entry->setChecked(child == MdiArea->currentSubWindow());
    group->addAction(entry);
    connect(entry, &QAction::triggered, this, [this, child = QPointer<QMdiSubWindow>(child)] {
      if (child) MdiArea->setActiveSubWindow(child);
    });
  }
}

void TMainForm::CreateToolBar() {
  SpeedPanel = new QToolBar(QStringLiteral("SpeedPanel"), this);
  SpeedPanel->setObjectName(QStringLiteral("SpeedPanel"));
  SpeedPanel->setMovable(false);
  SpeedPanel->setFloatable(false);
  SpeedPanel->setIconSize(QSize(20, 20));
  SpeedPanel->addAction(TabelaBtn);
  SpeedPanel->addAction(WykresBtn);
  SpeedPanel->addSeparator();
  SpeedPanel->addAction(PrintBtn);
  SpeedPanel->addSeparator();
  SpeedPanel->addAction(ExitBtn);
  SpeedPanel->addSeparator();
  SpeedPanel->addAction(DeviceBtn);
  SpeedPanel->addSeparator();
  Label1 = new QLabel(tr("Device address"), SpeedPanel);
  Label1->setContentsMargins(6, 0, 6, 0);
  SpeedPanel->addWidget(Label1);
  addToolBar(Qt::TopToolBarArea, SpeedPanel);
}

QMenu* TMainForm::createPopupMenu() { return nullptr; }  // the toolbar cannot be hidden

void TMainForm::ShowFileError(const QString& format, const std::string& name) {
  QMessageBox box(QMessageBox::Critical, QString::fromUtf8(APPLICATION_TITLE),
                  format.arg(QString::fromStdString(name)), QMessageBox::Ok, isVisible() ? this : nullptr);
  box.exec();
}

void TMainForm::FormCreate() {
  // The status bar shows long hints through the window's status tip events;
  // the active window's changes drive the menu state.
  connect(MdiArea, &QMdiArea::subWindowActivated, this, &TMainForm::UpdateMenuItems);
  FocusHook = connect(qApp, &QApplication::focusWindowChanged, this, &TMainForm::UpdateMenuItems);

  ChartWindow = nullptr;
  TableWindow = nullptr;
  DeviceLines.emplace();
  SettingsLines.emplace();

  std::string path = FindSettingsFile("");
  if (path.empty()) path = SETTINGS_FILE_NAME;
  TSettingsFile file;
  switch (ReadSettingsFile(path, file)) {
    case TSettingsReadResult::CannotOpen:
      ShowFileError(tr("Cannot open file %1."), path);
      return;
    case TSettingsReadResult::NoFile:
      break;
    case TSettingsReadResult::Ok:
      *SettingsLines = std::move(file.Lines);
      SettingsEncoding = file.Encoding;
      SettingsByteOrderMark = file.ByteOrderMark;
      break;
  }
  TSettings settings = ParseSettings(*SettingsLines);

  // A port that cannot be opened gets no message box: the link stays closed
  // until the user picks a port that opens. Only a reason the user can fix
  // shows, in the status bar.
  SetLastSerialOpenError(TSerialOpenError::None);
  // TCP= names a network serial server used instead of the COM port; text
  // that is no HOST:PORT leaves the serial port in use.
  TTcpAddress server;
  if (ParseTcpAddress(settings.Network, server)) ModbusPort.UseNetwork(TcpDeviceName(server));
  ModbusPort.Open(settings.PortIndex);
  ModbusPort.Configure(settings.PortIndex, settings.BaudIndex, settings.Mode, settings.LinkType);
  if (ModbusPort.PortIndex < 0) ShowPortProblem(TDialogPort::OpenProblem(settings.PortIndex));

  Meter.Address = settings.MeterAddress;
  Meter.Kind = settings.MeterType;
  // A meter without a name goes by its model and address, as in kavrel-cli:
  // events and file names need one.
  DefaultMeterName = settings.MeterName.empty();
  Meter.SetName(DefaultMeterName ? ::DefaultMeterName(Meter.Kind, Meter.Address).c_str()
                                 : settings.MeterName.c_str());
  Meter.SetDescription(settings.MeterDescription.c_str());
  // The link counts as down until the meter has answered: without this the
  // first event would report a connection before anything was read.
  Meter.ResetValues();

  *DeviceLines = std::move(settings.DeviceLines);
  Language = settings.Language;
  (Language == LANGUAGE_POLISH    ? LanguagePolish
   : Language == LANGUAGE_ENGLISH ? LanguageEnglish
                                  : LanguageSystem)
      ->setChecked(true);
  if (!settings.Notices.empty())
    StatusBar->showMessage(QString::fromStdString(path + ": " + settings.Notices.front()));
}

void TMainForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!FirstShowDone) {
    FirstShowDone = true;
    FormShow();
  }
}

void TMainForm::FormShow() {
  if (Views.ChartWindow && !ChartWindow) ChartWindow = AddMdiView(Views.ChartWindow(ViewContext()), false);
  if (Views.TableWindow && !TableWindow) TableWindow = AddMdiView(Views.TableWindow(ViewContext()), true);
  ShowDevice(MeterText(Meter, false), MeterText(Meter, true));
  UpdateMenuItems();
  // Values at once: the first acquisition step goes out as the window shows,
  // and the timer's 200 ms count starts from it.
  if (Timer1->isActive()) {
    EvTimer();
    Timer1->start();
  }
}

QWidget* TMainForm::AddMdiView(QWidget* view, bool maximised) {
  if (!view) return nullptr;
  // No minimise button, and a close request is ignored (eventFilter): the two
  // views live as long as the program.
  QMdiSubWindow* child = MdiArea->addSubWindow(
      view, Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint);
  child->setAttribute(Qt::WA_DeleteOnClose, false);
  child->installEventFilter(this);
  if (maximised) {
    child->showMaximized();
  } else {
    child->show();
  }
  MdiArea->setActiveSubWindow(child);
  return view;
}

QMdiSubWindow* TMainForm::SubWindowOf(QWidget* view) const {
  if (!view) return nullptr;
  for (QMdiSubWindow* child : MdiArea->subWindowList()) {
    if (child->widget() == view) return child;
  }
  return nullptr;
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Close) {
    auto* child = qobject_cast<QMdiSubWindow*>(watched);
    if (child && (child == SubWindowOf(TableWindow) || child == SubWindowOf(ChartWindow))) {
      event->ignore();
      return true;
    }
    // A harmonics or extreme values window that accepts the request is
    // forgotten at once, before it is destroyed: the next command makes a new one.
    QPointer<QWidget>* extra = watched == Harmoniczne.data() ? &Harmoniczne
                               : watched == Extrema.data()   ? &Extrema
                                                              : nullptr;
    if (extra && *extra) {
      watched->event(event);
      if (event->isAccepted()) *extra = nullptr;
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void TMainForm::ShowPortProblem(const QString& text) {
  PortProblem->setText(text);
  PortProblem->setVisible(!text.isEmpty());
}

void TMainForm::ShowDevice(const QString& description, const QString& name) {
  Label1->setText(description + QLatin1Char(' ') + name);
}

void TMainForm::FormDestroy() {
  disconnect(FocusHook);
  disconnect(MdiArea, &QMdiArea::subWindowActivated, this, &TMainForm::UpdateMenuItems);
  Timer1->stop();
  ModbusPort.Close();
  SettingsLines.reset();
  DeviceLines.reset();
}

void TMainForm::closeEvent(QCloseEvent* event) {
  QMainWindow::closeEvent(event);
  if (event->isAccepted()) emit Closed();
}

void TMainForm::EvTimer() {
  // A port that did not open (an adapter not plugged in yet, a server not
  // started) is tried again, backed off, and polled as soon as it opens.
  if (ModbusPort.WaitingForPort() && ModbusPort.RetryOpen()) ShowPortProblem(QString());
  Meter.Update(0.0f);
  // What the link waits for shows in the status bar: a port that is not open
  // yet, or a network serial server out of reach (the link events are those
  // of a dead serial line). Shown when it changes, so menu hints stay readable;
  // not over a problem the user can fix, which the status bar would hide.
  QString waiting;
  if (!PortProblem->text().isEmpty())
    waiting.clear();
  else if (ModbusPort.WaitingForPort())
    waiting = tr("waiting for ") + TranslatedMeterText(PortOpenProblem(ModbusPort.WantedName()));
  else if (!ModbusPort.NetworkName.empty() && !ModbusPort.Handle)
    waiting = QString::fromStdString(LastTcpError());
  if (waiting != PortWaitShown) {
    if (!waiting.isEmpty())
      StatusBar->showMessage(waiting);
    else if (StatusBar->currentMessage() == PortWaitShown)
      StatusBar->clearMessage();
    PortWaitShown = waiting;
  }
}

void TMainForm::UpdateMenuItems() {
  const bool any = !MdiArea->subWindowList().isEmpty();
  TabelaBtn->setEnabled(any);
  WykresBtn->setEnabled(any);
  WindowCascadeItem->setEnabled(any);
  WindowTileItem->setEnabled(any);
  const QMdiSubWindow* chart = SubWindowOf(ChartWindow);
  const bool chartActive = chart && MdiArea->currentSubWindow() == chart;
  PrintBtn->setEnabled(chartActive);
  Drukuj1->setEnabled(chartActive);
  // The view to export: the window the user works in, or the active MDI view
  // while the main window itself is active.
  QWidget* active = QApplication::activeWindow();
  if (active && (active == Harmoniczne.data() || active == Extrema.data())) {
    LastView = active;
  } else if (const QMdiSubWindow* child = MdiArea->currentSubWindow()) {
    LastView = child->widget();
  }
}

void TMainForm::Export1Click() {
  const auto* source = dynamic_cast<const TCsvSource*>(LastView.data());
  if (!source) {
    StatusBar->showMessage(tr("The active window has nothing to export."));
    return;
  }
  const QString path =
      ChooseFile(true, tr("Export"), tr("CSV files (*.csv)"), QString::fromStdString(source->CsvFileName()));
  if (path.isEmpty()) return;
  std::string error;
  if (!WriteFileAtomically(path.toStdString(), CsvText(source->CsvRows()), error)) {
    ShowFileError(tr("Cannot write file %1."), path.toStdString() + ": " + error);
    return;
  }
  StatusBar->showMessage(tr("Exported to %1").arg(path));
}

void TMainForm::Raport1Click() {
  const QString path = ChooseFile(true, tr("Service report"), tr("PDF files (*.pdf)"),
                                  QString::fromUtf8(Meter.Name) + QStringLiteral("-report.pdf"));
  if (path.isEmpty()) return;
  std::vector<TCsvRow> events;
  if (const auto* table = dynamic_cast<const TCsvSource*>(TableWindow.data())) events = table->CsvRows();
  // The report reads the meter itself; polling waits meanwhile.
  const bool polling = Timer1->isActive();
  Timer1->stop();
  QProgressDialog progress(tr("Reading the meter..."), tr("Cancel"), 0, 1, this);
  progress.setWindowTitle(tr("Service report"));
  progress.setWindowModality(Qt::WindowModal);
  progress.setMinimumDuration(0);
  const TReportOutcome outcome = WriteServiceReport(
      Meter, ModbusPort, events, path, QCoreApplication::applicationVersion(),
      [&progress](int step, int steps, const QString& what) {
        progress.setMaximum(steps);
        progress.setValue(step);
        progress.setLabelText(tr("Reading %1...").arg(what));
        QCoreApplication::processEvents();
        return !progress.wasCanceled();
      });
  progress.reset();
  if (polling) Timer1->start();
  if (!outcome.Written) {
    ShowFileError(QStringLiteral("%1"), outcome.Error.toStdString());
    return;
  }
  StatusBar->showMessage(outcome.Complete ? tr("Service report written to %1").arg(path)
                                          : tr("Service report written to %1, incomplete: %2")
                                                .arg(path, outcome.Missing.join(QStringLiteral("; "))));
}

void TMainForm::ZapiszSetup1Click() {
  const QString path = ChooseFile(true, tr("Save meter setup"), tr("Setup files (*.txt)"),
                                  QString::fromUtf8(Meter.Name) + QStringLiteral("-setup.txt"));
  if (path.isEmpty()) return;
  QString error;
  int items = 0;
  if (!SaveMeterSetup(Meter, path, error, &items)) {
    ShowFileError(QStringLiteral("%1"), (tr("Meter setup not saved: ") + error).toStdString());
    return;
  }
  StatusBar->showMessage(tr("%1 setup items saved to %2").arg(items).arg(path));
}

void TMainForm::PorownajSetup1Click() {
  const QString path =
      ChooseFile(false, tr("Compare with file"), tr("Setup files (*.txt);;All files (*)"), {});
  if (path.isEmpty()) return;
  TSetupDialog dialog(Meter, TSetupDialog::TMode::Compare, path, this);
  dialog.exec();
}

void TMainForm::OdtworzSetup1Click() {
  const QString path =
      ChooseFile(false, tr("Restore from file"), tr("Setup files (*.txt);;All files (*)"), {});
  if (path.isEmpty()) return;
  TSetupDialog dialog(Meter, TSetupDialog::TMode::Restore, path, this);
  dialog.exec();
}

void TMainForm::Drukuj1Click() {
  const QMdiSubWindow* chart = SubWindowOf(ChartWindow);
  if (!chart || MdiArea->currentSubWindow() != chart) return;
  if (auto* trend = dynamic_cast<TTrendView*>(ChartWindow.data())) trend->PrintTrend();
}

void TMainForm::Zapisz1Click() {
  if (!SettingsLines || !DeviceLines) return;
  TSettings settings;
  int ioBase;
  ModbusPort.GetSettings(settings.PortIndex, settings.BaudIndex, settings.Mode, settings.LinkType,
                         ioBase);
  // A port that did not open (an adapter not plugged in yet) must not cost the
  // user the port they chose: keep the one last asked for.
  if (settings.PortIndex < 0 && ModbusPort.RequestedPortIndex >= 0 &&
      ModbusPort.RequestedPortIndex <= 7)
    settings.PortIndex = ModbusPort.RequestedPortIndex;
  if (TTcpAddress server; ParseTcpAddress(ModbusPort.NetworkName, server))
    settings.Network = TcpDeviceName(server).substr(std::strlen(TCP_NAME_PREFIX));
  settings.MeterAddress = Meter.Address;
  settings.MeterType = Meter.Kind;
  settings.MeterName = DefaultMeterName ? std::string() : FileText(Meter, true);
  settings.MeterDescription = FileText(Meter, false);
  settings.DeviceLines = *DeviceLines;
  settings.Language = Language;
  *SettingsLines = ComposeSettings(settings);

  std::string path = FindSettingsFile("");
  if (path.empty()) path = SETTINGS_FILE_NAME;
  std::string error;
  TTextEncoding used = SettingsEncoding;
  if (!WriteSettingsFile(path, *SettingsLines, SettingsEncoding, SettingsByteOrderMark, error,
                         &used)) {
    ShowFileError(tr("Cannot create file %1."), path);
    return;
  }
  SettingsEncoding = used;
}

void TMainForm::ChooseLanguage(const std::string& language) {
  Language = language;
  // The file as it is on the disk now, with only its language line changed:
  // settings the user has not saved stay unsaved, and a file that cannot be
  // read is not replaced.
  std::string path = FindSettingsFile("");
  if (path.empty()) path = SETTINGS_FILE_NAME;
  TSettingsFile file;
  if (ReadSettingsFile(path, file) == TSettingsReadResult::CannotOpen) {
    ShowFileError(tr("Cannot open file %1."), path);
    return;
  }
  SetLanguageLine(file.Lines, Language);
  std::string error;
  if (!WriteSettingsFile(path, file.Lines, file.Encoding, file.ByteOrderMark, error)) {
    ShowFileError(tr("Cannot create file %1."), path);
    return;
  }
  QMessageBox box(QMessageBox::Information, QString::fromUtf8(APPLICATION_TITLE),
                  tr("The language changes when Kavrel is started again."), QMessageBox::Ok, this);
  box.exec();
}

void TMainForm::FileExitItemClick() { close(); }

void TMainForm::Programowanie1Click() {
  if (Views.Programming) Views.Programming(ViewContext());
}

void TMainForm::Ustawienia1Click() {
  TDialogPort dialog(ModbusPort, this);
  dialog.exec();
  if (ModbusPort.PortIndex >= 0) ShowPortProblem(QString());
}

void TMainForm::Tabela1Click() {
  if (QMdiSubWindow* child = SubWindowOf(TableWindow)) MdiArea->setActiveSubWindow(child);
}

void TMainForm::Wykresy2Click() {
  if (QMdiSubWindow* child = SubWindowOf(ChartWindow)) MdiArea->setActiveSubWindow(child);
}

void TMainForm::ShowExtraWindow(QPointer<QWidget>& window,
                                const std::function<QWidget*(const TViewContext&)>& make) {
  if (Meter.Kind == MT_TR8) return;  // the TR8 has neither view
  if (!window) {
    if (!make) return;
    QWidget* created = make(ViewContext());
    if (!created) return;
    // An ordinary top-level window owned by this one, gone once closed.
    created->setParent(this, (created->windowFlags() & ~Qt::WindowType_Mask) | Qt::Window);
    created->setAttribute(Qt::WA_DeleteOnClose);
    created->installEventFilter(this);  // to forget it once it is closed
    window = created;
  }
  window->show();
  window->raise();
  window->activateWindow();
}

void TMainForm::HarmonClick() { ShowExtraWindow(Harmoniczne, Views.Harmonics); }

void TMainForm::Ekstrema1Click() { ShowExtraWindow(Extrema, Views.Extreme); }

void TMainForm::Konfig1Click() {
  TDialogKonfig dialog(DeviceLines ? &*DeviceLines : nullptr, this);
  dialog.DeviceAddress = Meter.Address;
  dialog.DeviceType = Meter.Kind;
  dialog.DeviceDescription = MeterText(Meter, false);
  dialog.DeviceName = MeterText(Meter, true);
  // A scan from the dialog has the line to itself: polling waits meanwhile.
  dialog.ScanPort = &ModbusPort;
  connect(&dialog, &TDialogKonfig::ScanRunning, this, [this](bool running) {
    if (running) Timer1->stop();
    else Timer1->start();
  });
  if (dialog.exec() != QDialog::Accepted) return;

  const bool changed = dialog.DeviceAddress != Meter.Address || dialog.DeviceType != Meter.Kind;
  if (changed) {
    // What the previous meter still has to report is logged under its name
    // before the new one takes over; its alarms end with it, unreported,
    // rather than as "End of alarm" after the new meter's connection.
    if (auto* view = dynamic_cast<TMeterView*>(TableWindow.data())) view->TakeEvents();
    Meter.AlarmFlags = 0;
  }
  Meter.Address = dialog.DeviceAddress;
  Meter.Kind = dialog.DeviceType;
  // The fields hold 9 and 39 characters; the meter object cuts them.
  Meter.SetDescription(dialog.DeviceDescription.toStdString().c_str());
  Meter.SetName(dialog.DeviceName.toStdString().c_str());
  DefaultMeterName = false;
  ShowDevice(dialog.DeviceDescription, dialog.DeviceName);

  if (changed) {
    Meter.ResetValues();
    if (auto* view = dynamic_cast<TMeterView*>(ChartWindow.data())) view->RebindMeter();
    if (auto* view = dynamic_cast<TMeterView*>(TableWindow.data())) view->RebindMeter();
  }
  if (Meter.Kind == MT_TR8) {
    delete Extrema.data();
    delete Harmoniczne.data();
    Extrema = nullptr;
    Harmoniczne = nullptr;
  }
}

void TMainForm::WindowCascadeItemClick() { MdiArea->cascadeSubWindows(); }

void TMainForm::WindowTileItemClick() {
  // Tiled horizontally: the children one above the other, each full width.
  const auto children = MdiArea->subWindowList();
  if (children.isEmpty()) return;
  const QRect area = MdiArea->viewport()->rect();
  const int height = qMax(1, area.height() / int(children.size()));
  int top = 0;
  for (QMdiSubWindow* child : children) {
    if (child->isMaximized() || child->isMinimized()) child->showNormal();
    child->setGeometry(0, top, area.width(), height);
    top += height;
  }
}

void TMainForm::HelpAboutItemClick() {
  if (AboutBox) {
    AboutBox->exec();
  } else {
    TAboutBox box(this);
    box.exec();
  }
}
