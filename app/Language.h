// The language of the window: the system's by default, or the one chosen under
// Options → Language ("Lang" in the settings file), taken at start-up.
//
// Only texts change with it. Numbers and times keep the system's format, and
// what the program writes to files keeps its fixed form.
#pragma once

#include <QString>
#include <string>

class QCoreApplication;

enum class TLanguage { System, English, Polish };

// "en", "pl" or empty (the system's), as the settings file holds it.
TLanguage LanguageFromSetting(const std::string& value);
std::string LanguageSetting(TLanguage language);

// Whether the window speaks Polish: chosen so, or the system's language
// (LANG, LC_MESSAGES, LC_ALL) is Polish.
bool UsesPolish(TLanguage language);

// Installs the program's Polish texts and Qt's own (file, print and message
// dialogs) when the language is Polish, and removes them otherwise. Call
// before the windows are made: texts already shown stay as they are.
void InstallLanguage(TLanguage language);

// The language the settings file of the working directory names.
TLanguage LanguageOfSettingsFile();
