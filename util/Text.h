// Bounded copies into the fixed-width text fields of the records.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

namespace pelvaro {

// Copies src into dst of n bytes: at most n - 1 characters, always NUL-ended.
inline void CopyText(char* dst, std::size_t n, std::string_view src) {
  if (n == 0) return;
  std::size_t len = src.size() < n - 1 ? src.size() : n - 1;
  if (len > 0) std::memmove(dst, src.data(), len);
  dst[len] = '\0';
}

template <std::size_t N>
inline void CopyText(char (&dst)[N], std::string_view src) {
  CopyText(dst, N, src);
}

// Length of a field's text, never reading past the field.
template <std::size_t N>
inline std::string_view TextOf(const char (&field)[N]) {
  return std::string_view(field, strnlen(field, N));
}

// Copies one text field into another, cut to the target's width.
template <std::size_t N, std::size_t M>
inline void CopyField(char (&dst)[N], const char (&src)[M]) {
  CopyText(dst, TextOf(src));
}

}  // namespace pelvaro
