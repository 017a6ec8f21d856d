#include "pdu/hex_text.hpp"

namespace quandelstk::pdu {

std::string HexText(std::uint32_t value) {
  char digits[8];
  int n = 0;
  do {
    digits[n++] = kHexDigits[value & 0xF];
    value >>= 4;
  } while (value != 0);
  if (n == 1) digits[n++] = '0';
  std::string text;
  text.reserve(static_cast<std::size_t>(n));
  while (n > 0) text += digits[--n];
  return text;
}

std::string HexText16(std::int16_t value) {
  return HexText(static_cast<std::uint16_t>(value));
}

}  // namespace quandelstk::pdu
