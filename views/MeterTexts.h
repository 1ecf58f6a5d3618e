// The meter's own texts (descriptions, group titles, events), which the model
// keeps in English, as the windows show them: translated in the context
// "Meter" where the window's language has them. Codes and units stay as they are.
#pragma once

#include <QString>
#include <string>

inline constexpr const char* METER_TEXT_CONTEXT = "Meter";

// A description or a group title, also the generated ones ("7 harmonic of L1
// phase voltage", "L1 phase voltage- min", "THD U1 (max)").
QString TranslatedMeterText(const char* text);
QString TranslatedMeterText(const std::string& text);

// An event as the meter reports it ("\tConnection to TR5_1"), its leading tab kept.
QString TranslatedEvent(const std::string& text);
