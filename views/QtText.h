// Qt strings of the model's fixed-width text fields (UTF-8, not necessarily
// terminated), for the windows and dialogs.
#pragma once

#include <QString>
#include <cstddef>
#include <string_view>

#include "model/FieldText.h"

inline QString QtFieldText(const char* field, std::size_t size) {
  const std::string_view text = FieldText(field, size);
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

template <std::size_t N>
QString QtFieldText(const char (&field)[N]) {
  return QtFieldText(field, N);
}
