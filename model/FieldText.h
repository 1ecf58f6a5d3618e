// The text of a fixed-width character field (a name, a description, a unit of
// the object tree, a buffer filled by one of its getters), which need not be
// terminated: up to its first zero byte, or the whole field when it has none.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

inline std::string_view FieldText(const char* field, std::size_t size) {
  if (field == nullptr) return {};
  const void* end = std::memchr(field, '\0', size);
  return {field, end ? static_cast<std::size_t>(static_cast<const char*>(end) - field) : size};
}

template <std::size_t N>
std::string_view FieldText(const char (&field)[N]) {
  return FieldText(field, N);
}
