// Kavrel: start-up. The serial link and the meter exist before any window and
// outlive them all; the main window reads the settings and drives polling.
#include <QApplication>
#include <clocale>
#include <cstdio>
#include <cstring>
#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// After windows.h:
#include <knownfolders.h>
#include <shlobj.h>

#include <filesystem>
#include <iterator>
#endif

#include "app/Glyphs.h"
#include "app/Language.h"
#include "app/Main.h"
#include "app/about.h"
#include "comm/Trans.h"
#include "model/TR5.h"
#include "program/ViewFactories.h"
#include "settings/Settings.h"

namespace {

const char* const HELP_TEXT =
    "Usage: kavrel [--help | --version] [Qt options]\n"
    "The service program for the TR5, TR5B, VR5, VR5B and TR8 meters on an RS-485 line.\n"
#ifdef _WIN32
    "It keeps its settings in Kavrel.INI in the working directory; started in its own\n"
    "folder or the Windows folder, which hold none, it works in the public\n"
    "Documents\\Kavrel as its Start menu entries do. The port COM<n> is the serial\n"
    "port of that name (see the Device Manager, \"Ports (COM & LPT)\").\n"
#else
    "It keeps its settings in Kavrel.INI in the working directory; the port COM<n> is\n"
    "the file COM<n> there when one exists, else /dev/ttyS<n-1>.\n"
#endif
    "The window speaks the system's language (English or Polish, from LANG) unless\n"
    "another is chosen under Options > Language; the choice applies at the next start.\n"
    "\n"
    "  --help     this text\n"
    "  --version  the version of Kavrel\n";

// A window program on Windows has no console of its own: the answers to
// --help and --version go to the pipe or file it was given, else to the
// console it was started from.
void AttachToCallersConsole() {
#ifdef _WIN32
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (out != nullptr && out != INVALID_HANDLE_VALUE && GetFileType(out) != FILE_TYPE_UNKNOWN) return;
  if (AttachConsole(ATTACH_PARENT_PROCESS)) {
    [[maybe_unused]] FILE* reopened = std::freopen("CONOUT$", "w", stdout);
    reopened = std::freopen("CONOUT$", "w", stderr);
  }
#endif
}

#ifdef _WIN32
// Opened from Explorer, Windows starts the program in its own folder, which
// users may not write in; started by the system, in the Windows folder. It then
// works in the public Documents\Kavrel, where its Start menu entries start it.
void LeaveFoldersNotTheUsers() {
  namespace fs = std::filesystem;
  std::vector<fs::path> notTheUsers;
  wchar_t buffer[32768];
  const DWORD length = GetModuleFileNameW(nullptr, buffer, static_cast<DWORD>(std::size(buffer)));
  if (length > 0 && length < std::size(buffer)) notTheUsers.push_back(fs::path(buffer).parent_path());
  const UINT windowsLength = GetSystemWindowsDirectoryW(buffer, static_cast<UINT>(std::size(buffer)));
  if (windowsLength > 0 && windowsLength < std::size(buffer)) {
    notTheUsers.push_back(fs::path(buffer));
    notTheUsers.push_back(fs::path(buffer) / L"System32");
  }
  fs::path documents;
  PWSTR known = nullptr;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_PublicDocuments, 0, nullptr, &known))) documents = known;
  CoTaskMemFree(known);
  std::error_code ec;
  const fs::path folder = ChooseWorkFolder(fs::current_path(ec), notTheUsers, documents);
  if (folder.empty()) return;
  fs::create_directories(folder, ec);
  fs::current_path(folder, ec);
}
#endif

}  // namespace

int main(int argc, char* argv[]) {
  // Answered without a display, before Qt looks for one.
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--version") == 0 || std::strcmp(argv[i], "--help") == 0 ||
        std::strcmp(argv[i], "-h") == 0)
      AttachToCallersConsole();
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("kavrel %s\n", KAVREL_VERSION);
      return 0;
    }
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(HELP_TEXT, stdout);
      return 0;
    }
  }

  // The two program-wide objects: the port closed, the meter a TR5 at
  // address 1 with all its quantities and no values yet.
  TModbusPort ModbusPort;
  TTR5 Meter(true, &ModbusPort);

#ifdef _WIN32
  // Before anything reads the settings file.
  LeaveFoldersNotTheUsers();
#endif

  QApplication application(argc, argv);
  // Qt switches the process to the user's locale; numbers in the meter's texts
  // and the values the user types for the meter always use a decimal point.
  std::setlocale(LC_NUMERIC, "C");
  QApplication::setApplicationName(QString::fromUtf8(APPLICATION_TITLE));
  // The window's language: the settings file's choice, else the system's.
  InstallLanguage(LanguageOfSettingsFile());
  QApplication::setApplicationVersion(QStringLiteral(KAVREL_VERSION));  // shown in the service report
  QApplication::setWindowIcon(MakeGlyph(TGlyph::Program));
  // Ties the windows to the menu entry (and its icon) of the installed program.
  QGuiApplication::setDesktopFileName(QStringLiteral("org.kavrel.Kavrel"));
  // Closing the main window ends the program, whatever else is still open.
  QApplication::setQuitOnLastWindowClosed(false);

  TMainForm MainForm(ModbusPort, Meter, ProgramViews());
  QObject::connect(&MainForm, &TMainForm::Closed, &application, &QApplication::quit,
                   Qt::QueuedConnection);
  TAboutBox AboutBox;
  MainForm.AboutBox = &AboutBox;

  MainForm.show();
  return application.exec();
}
