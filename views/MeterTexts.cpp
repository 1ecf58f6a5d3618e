#include "views/MeterTexts.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <string_view>

namespace {

QString Translate(const char* text) { return QCoreApplication::translate(METER_TEXT_CONTEXT, text); }

// The generated harmonic texts: " 7 harmonic of L1 phase voltage".
const char* const HARMONIC_FORM = QT_TRANSLATE_NOOP("Meter", "%1 harmonic of %2");

// The endings the generated extreme value texts put after a quantity.
const char* const EXTREME_ENDINGS[] = {
    QT_TRANSLATE_NOOP("Meter", " - min"), QT_TRANSLATE_NOOP("Meter", " - max"),
    QT_TRANSLATE_NOOP("Meter", "- min"),  QT_TRANSLATE_NOOP("Meter", "- max"),
    QT_TRANSLATE_NOOP("Meter", " (min)"), QT_TRANSLATE_NOOP("Meter", " (max)"),
};

// The events' texts: the English beginning and its whole translatable form.
struct TEventForm {
  const char* Start;
  const char* Form;
};
const TEventForm EVENT_FORMS[] = {
    {"\tConnection to ", QT_TRANSLATE_NOOP("Meter", "\tConnection to %1")},
    {"\tTransmission error with ", QT_TRANSLATE_NOOP("Meter", "\tTransmission error with %1")},
    {"\tBad configuration ", QT_TRANSLATE_NOOP("Meter", "\tBad configuration %1")},
    {"\tStart of alarm ", QT_TRANSLATE_NOOP("Meter", "\tStart of alarm %1")},
    {"\tEnd of alarm ", QT_TRANSLATE_NOOP("Meter", "\tEnd of alarm %1")},
};

// The meter's answers to a write, as the programming and setup dialogs show them.
[[maybe_unused]] const char* const WRITE_MESSAGES[] = {
    QT_TRANSLATE_NOOP("Meter", "Impossible request"),
    QT_TRANSLATE_NOOP("Meter", "Parameter read-only"),
    QT_TRANSLATE_NOOP("Meter", "Out of range"),
};
// Why a port would not open (comm's PortOpenProblem, "COM3 (/dev/ttyS2): no
// such device"): the port's name is kept, the reason translated. Kept in step
// with the reasons it gives.
const char* const PORT_PROBLEMS[] = {
    QT_TRANSLATE_NOOP("Meter", ": no such device"),
    QT_TRANSLATE_NOOP("Meter",
                      ": permission denied; add your user to the group \"dialout\" (sudo adduser $USER "
                      "dialout), then log out and log in again"),
    QT_TRANSLATE_NOOP("Meter", ": busy, in use by another program"),
    QT_TRANSLATE_NOOP("Meter", ": not a serial port"),
    QT_TRANSLATE_NOOP("Meter", ": cannot be opened"),
    QT_TRANSLATE_NOOP("Meter", ": cannot be reached"),
};
const TEventForm NO_LINK_FORM = {"No transmission with ",
                                 QT_TRANSLATE_NOOP("Meter", "No transmission with %1")};

}  // namespace

QString TranslatedMeterText(const char* text) {
  if (!text || !*text) return QString();
  const QString source = QString::fromUtf8(text);
  const QString whole = Translate(text);
  if (whole != source) return whole;
  // A write refused for a link that is down names the meter, or nothing.
  if (const std::string_view start(NO_LINK_FORM.Start);
      std::string_view(text).substr(0, start.size()) == start)
    return Translate(NO_LINK_FORM.Form).arg(QString::fromUtf8(text + start.size()));

  for (const char* problem : PORT_PROBLEMS) {
    const QString english = QString::fromUtf8(problem);
    if (source.size() > english.size() && source.endsWith(english))
      return source.chopped(english.size()) + Translate(problem);
  }

  static const QRegularExpression harmonic(QStringLiteral("^( ?)(\\d+) harmonic of (.+)$"));
  if (const auto m = harmonic.match(source); m.hasMatch()) {
    return m.captured(1) +
           Translate(HARMONIC_FORM).arg(m.captured(2), TranslatedMeterText(m.captured(3).toStdString()));
  }
  for (const char* ending : EXTREME_ENDINGS) {
    const QString english = QString::fromUtf8(ending);
    if (source.size() > english.size() && source.endsWith(english)) {
      return TranslatedMeterText(source.chopped(english.size()).toStdString()) + Translate(ending);
    }
  }
  return source;
}

QString TranslatedMeterText(const std::string& text) { return TranslatedMeterText(text.c_str()); }

QString TranslatedEvent(const std::string& text) {
  for (const TEventForm& form : EVENT_FORMS) {
    const std::string_view start(form.Start);
    if (text.size() > start.size() && text.compare(0, start.size(), start) == 0) {
      return Translate(form.Form).arg(QString::fromStdString(text.substr(start.size())));
    }
  }
  return QString::fromStdString(text);
}
