// Hex text as the PDU fields carry it: upper-case digits, two per octet, most significant first.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace quandelstk::pdu {

inline constexpr char kHexDigits[] = "0123456789ABCDEF";

// HexDigitValue for every character, so that reading an octet takes two look-ups.
inline constexpr std::array<std::int8_t, 256> kHexDigitValues = [] {
  std::array<std::int8_t, 256> values{};
  values.fill(-1);
  for (int d = 0; d < 10; ++d) values[static_cast<std::size_t>('0' + d)] = static_cast<std::int8_t>(d);
  for (int d = 0; d < 6; ++d)
    values[static_cast<std::size_t>('A' + d)] = values[static_cast<std::size_t>('a' + d)] =
        static_cast<std::int8_t>(10 + d);
  return values;
}();

// The value of one hex digit of either case, -1 for any other character.
inline int HexDigitValue(unsigned char c) {
  return kHexDigitValues[c];
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

// The octet of the index-th pair of digits (which must be inside the text); a malformed pair is 0.
inline int OctetAt(std::string_view hex, std::size_t index) {
  const int high = HexDigitValue(static_cast<unsigned char>(hex[2 * index]));
  const int low = HexDigitValue(static_cast<unsigned char>(hex[2 * index + 1]));
  return (high | low) < 0 ? 0 : high * 16 + low;
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
