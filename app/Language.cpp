#include "app/Language.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <memory>

#include "settings/Settings.h"

namespace {

// The translators installed now; replaced as a whole on every call.
std::unique_ptr<QTranslator> ProgramTexts;
std::unique_ptr<QTranslator> QtTexts;

void Remove(std::unique_ptr<QTranslator>& translator) {
  if (translator) QCoreApplication::removeTranslator(translator.get());
  translator.reset();
}

}  // namespace

TLanguage LanguageFromSetting(const std::string& value) {
  if (value == LANGUAGE_ENGLISH) return TLanguage::English;
  if (value == LANGUAGE_POLISH) return TLanguage::Polish;
  return TLanguage::System;
}

std::string LanguageSetting(TLanguage language) {
  switch (language) {
    case TLanguage::English:
      return LANGUAGE_ENGLISH;
    case TLanguage::Polish:
      return LANGUAGE_POLISH;
    case TLanguage::System:
      break;
  }
  return {};
}

bool UsesPolish(TLanguage language) {
  if (language != TLanguage::System) return language == TLanguage::Polish;
  // The first language the user names decides (LANGUAGE=pl:en, LANG=pl_PL.UTF-8).
  const QStringList languages = QLocale::system().uiLanguages();
  return !languages.isEmpty() && languages.front().startsWith(QLatin1String("pl"));
}

void InstallLanguage(TLanguage language) {
  Remove(ProgramTexts);
  Remove(QtTexts);
  if (!UsesPolish(language)) return;

  ProgramTexts = std::make_unique<QTranslator>();
  if (ProgramTexts->load(QStringLiteral(":/i18n/kavrel_pl.qm"))) {
    QCoreApplication::installTranslator(ProgramTexts.get());
  } else {
    ProgramTexts.reset();
  }
  // Qt's own texts: where Qt keeps them, beside the program where it was
  // installed with its own copy of Qt, else the copy built in.
  QtTexts = std::make_unique<QTranslator>();
  const QString dirs[] = {QLibraryInfo::path(QLibraryInfo::TranslationsPath),
                          QCoreApplication::applicationDirPath() + QStringLiteral("/translations"),
                          QStringLiteral(":/i18n")};
  for (const QString& dir : dirs) {
    if (QtTexts->load(QStringLiteral("qtbase_pl"), dir)) {
      QCoreApplication::installTranslator(QtTexts.get());
      return;
    }
  }
  QtTexts.reset();
}

TLanguage LanguageOfSettingsFile() {
  std::string path = FindSettingsFile("");
  if (path.empty()) return TLanguage::System;
  TSettingsFile file;
  if (ReadSettingsFile(path, file) != TSettingsReadResult::Ok) return TLanguage::System;
  return LanguageFromSetting(ParseSettings(file.Lines).Language);
}
