// The main window: the MDI frame with menu, toolbar, status bar and the 200 ms
// timer that drives acquisition; it owns the settings and the device list.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "settings/Settings.h"
#include "views/MeterView.h"

class QAction;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QStatusBar;
class QTimer;
class QToolBar;
class TAboutBox;
class TModbusPort;
class TTR5;

// The application's title: message boxes of the file layer carry it.
inline constexpr const char* APPLICATION_TITLE = "Service Program Kavrel";

class TMainForm : public QMainWindow {
  Q_OBJECT
public:
  // Reads the settings file of the working directory, opens the port and sets
  // up meter, all before the window is shown.
  TMainForm(TModbusPort& modbusPort, TTR5& meter, TViewFactories views = {},
            QWidget* parent = nullptr);
  ~TMainForm() override;

  // The program-wide objects.
  TModbusPort& ModbusPort;
  TTR5& Meter;

  // The settings file's lines and the device list; none after FormDestroy.
  std::optional<std::vector<std::string>> SettingsLines;
  std::optional<std::vector<std::string>> DeviceLines;
  TTextEncoding SettingsEncoding = TTextEncoding::Utf8;
  bool SettingsByteOrderMark = false;
  // The meter goes by the default name, the settings file naming none; the
  // file keeps naming none when saved.
  bool DefaultMeterName = false;

  // The views; null while they do not exist. The MDI views are held by their
  // content widget; the harmonics and extreme values windows are forgotten
  // once they accept a close request.
  QPointer<QWidget> TableWindow;
  QPointer<QWidget> ChartWindow;
  QPointer<QWidget> Harmoniczne;
  QPointer<QWidget> Extrema;
  TAboutBox* AboutBox = nullptr;  // created at start-up by the program

  // Controls.
  QToolBar* SpeedPanel;
  QAction* TabelaBtn;
  QAction* WykresBtn;
  QAction* PrintBtn;
  QAction* ExitBtn;
  QAction* DeviceBtn;
  QLabel* Label1;
  QStatusBar* StatusBar;
  // In the status bar while the port cannot be opened for a reason the user
  // can fix (no permission); hidden otherwise.
  QLabel* PortProblem;
  QMdiArea* MdiArea;
  QTimer* Timer1;
  QMenu* FileMenu;
  QMenu* OptionsMenu;
  QMenu* WindowMenu;
  QMenu* HelpMenu;
  QAction* Drukuj1;
  QAction* Zapisz1;
  QAction* FileExitItem;
  QAction* Programowanie1;
  QAction* Ustawienia1;
  QAction* Tabela1;
  QAction* Wykresy2;
  QAction* Harmon1;
  QAction* Konfig1;
  QAction* Ekstrema1;
  QAction* WindowCascadeItem;
  QAction* WindowTileItem;
  QAction* HelpAboutItem;
  QAction* Export1;         // "Export…": what the active window shows, as CSV
  QAction* Raport1;         // "Service report…"
  QAction* ZapiszSetup1;    // "Save meter setup…"
  QAction* PorownajSetup1;  // "Compare with file…"
  QAction* OdtworzSetup1;   // "Restore from file…"
  // Options → Language: the system's, English, Polish; taken at the next start.
  QMenu* LanguageMenu;
  QAction* LanguageSystem;
  QAction* LanguageEnglish;
  QAction* LanguagePolish;
  // The language chosen, as the settings file holds it ("", "en", "pl").
  std::string Language;

  // Asks for a file (save: a file to write): caption, filter and the name to
  // offer; empty when the user cancels. Replaceable for tests.
  std::function<QString(bool save, const QString& caption, const QString& filter, const QString& name)> ChooseFile;
  // The view the user last worked in, for Export.
  QPointer<QWidget> LastView;

  void FormCreate();
  void FormShow();
  void FormDestroy();
  void EvTimer();
  void UpdateMenuItems();

  void Drukuj1Click();
  void Zapisz1Click();
  void FileExitItemClick();
  void Programowanie1Click();
  void Ustawienia1Click();
  void Tabela1Click();
  void Wykresy2Click();
  void HarmonClick();
  void Konfig1Click();
  void Ekstrema1Click();
  void WindowCascadeItemClick();
  void WindowTileItemClick();
  void HelpAboutItemClick();
  void Export1Click();
  void Raport1Click();
  void ZapiszSetup1Click();
  void PorownajSetup1Click();
  void OdtworzSetup1Click();
  // Stores the choice in the settings file at once (only its "Lang" line
  // changes) and tells the user it applies at the next start.
  void ChooseLanguage(const std::string& language);

  // The MDI child window that holds a view, or null.
  QMdiSubWindow* SubWindowOf(QWidget* view) const;

  // Sets the label from meter's description and name, keeping the texts in
  // full even where meter's fields had to cut them.
  void ShowDevice(const QString& description, const QString& name);

signals:
  // The window was closed: the program ends.
  void Closed();

protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  QMenu* createPopupMenu() override;

private:
  void CreateActions();
  void CreateMenus();
  void CreateToolBar();
  QWidget* AddMdiView(QWidget* view, bool maximised);
  void ShowExtraWindow(QPointer<QWidget>& window,
                       const std::function<QWidget*(const TViewContext&)>& make);
  // What the views are given: the meter, and this window as their owner.
  TViewContext ViewContext() { return TViewContext{Meter, this}; }
  void FillWindowMenu();
  void ShowFileError(const QString& format, const std::string& name);
  void ShowPortProblem(const QString& text);

  TViewFactories Views;
  bool FirstShowDone = false;
  QString PortWaitShown;  // what the status bar last said the link waits for
  QMetaObject::Connection FocusHook;
};
