// Small text helpers shared by the settings file and the conversions. Blanks are spaces and tabs; letter
// case is folded for ASCII letters only, as in section, key and Boolean names.
#pragma once

#include <string>
#include <string_view>

namespace text {

inline bool isBlank(char c) {
  return c == ' ' || c == '\t';
}

inline std::string_view trimBlanks(std::string_view value) {
  while (!value.empty() && isBlank(value.front()))
    value.remove_prefix(1);
  while (!value.empty() && isBlank(value.back()))
    value.remove_suffix(1);
  return value;
}

inline char asciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

inline bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size())
    return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (asciiLower(a[i]) != asciiLower(b[i]))
      return false;
  }
  return true;
}

// Latin-1 text, as the game and the settings hold it, in UTF-8: every byte is the code point of its value.
inline std::string latin1ToUtf8(std::string_view latin1) {
  std::string utf8;
  utf8.reserve(latin1.size());
  for (const char c : latin1) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      utf8 += c;
    } else {
      utf8 += static_cast<char>(0xC0 | (byte >> 6));
      utf8 += static_cast<char>(0x80 | (byte & 0x3F));
    }
  }
  return utf8;
}

}  // namespace text
