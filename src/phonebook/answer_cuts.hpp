// Cutting the phonebook answers: fields between separator positions, where a missing separator
// makes the length negative and the cut a run-time error.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "channel/text.hpp"

namespace quandelstk::phonebook {

// The text strictly between 1-based positions a and b; error 5 when b < a.
inline std::string Between(std::string_view s, std::int16_t a, std::int16_t b) {
  return text::Mid(s, text::Add16(a, 1), text::Sub16(text::Sub16(b, a), 1));
}

// The value of a count field (blanks trimmed), -1 when it is not a number; error 6 beyond 16 bits.
inline std::int16_t CountOrMinusOne(const std::string& field) {
  const std::string count = text::Trim(field);
  return text::IsNumeric(count) ? text::ToInt16(count) : std::int16_t{-1};
}

}  // namespace quandelstk::phonebook
