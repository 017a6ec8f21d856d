// Hex text as the PDU fields carry it: upper-case digits, two per octet, most significant first.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quandelstk::pdu {

inline constexpr char kHexDigits[] = "0123456789ABCDEF";

// The value of one hex digit of either case, -1 for any other character.
inline int HexDigitValue(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The number a short piece of hex text stands for. Malformed hex reads as 0, never as an error:
// a piece holding any character that is not a hex digit is 0, and so is an empty piece (a field
// cut past the end of the text).
inline int HexValue(std::string_view piece) {
  int value = 0;
  for (const char c : piece) {
    const int d = HexDigitValue(static_cast<unsigned char>(c));
    if (d < 0) return 0;
    value = value * 16 + d;
  }
  return value;
}

// Appends the two digits of an octet.
inline void AppendHexOctet(std::string& out, unsigned octet) {
  out += kHexDigits[(octet >> 4) & 0xF];
  out += kHexDigits[octet & 0xF];
}

// A non-negative number as hex text: a single digit gets a leading "0", nothing else is padded or
// cut, so values above 255 give three digits or more.
std::string HexText(std::uint32_t value);
// A 16-bit integer as hex text; a negative value is written as its 16-bit pattern (-1 gives FFFF).
std::string HexText16(std::int16_t value);

}  // namespace quandelstk::pdu
