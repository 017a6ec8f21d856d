// GSM 7-bit unpacking; its trace records are written by gsm_7bit_trace.cpp.
#include <algorithm>
#include <cstdint>
#include <string>

#include "channel/text.hpp"
#include "pdu/gsm_7bit_trace.hpp"
#include "pdu/hex_text.hpp"
#include "pdu/pdu.hpp"

namespace quandelstk::pdu {

namespace {

// The decoder turns back only three septets into their own characters; every other septet becomes
// the character whose code equals it (septet 1 stays code 1, not the pound sign).
inline char FromSeptet(int septet) {
  switch (septet) {
    case 0:
      return '@';
    case 2:
      return '$';
    case 17:
      return '_';
    default:
      return static_cast<char>(septet);
  }
}

std::string Unpack(std::int16_t septets, const std::string& hex, std::size_t octets) {
  // Seven octets hold eight septets: each octet gives a character, and the seventh of a group also
  // the eighth, from the carry.
  const std::size_t length = septets > 0 ? std::min<std::size_t>(octets + octets / 7, septets) : 0;
  std::string text(length, '\0');
  int push_back = 0;
  int bit_count = 0;
  for (std::size_t n = 0, at = 0; at < length; ++n) {
    const int temp = OctetAt(hex, n);
    const int low_bits = 7 - bit_count;
    text[at++] = FromSeptet(((temp & ((1 << low_bits) - 1)) << bit_count) + push_back);
    push_back = temp >> low_bits;  // (temp AND front) divided by 2^(7 - iBitCount)
    if (bit_count == 6) {
      if (at < length) text[at++] = FromSeptet(push_back);
      push_back = 0;
      bit_count = 0;
    } else {
      ++bit_count;
    }
  }
  return text;
}

}  // namespace

std::string Decode_7_bit(std::int16_t septets, const std::string& hex) {
  const std::size_t octets = hex.size() / 2;
  const std::int16_t last_octet = text::CheckedInt16(static_cast<std::int64_t>(octets) - 1);
  std::string text = Unpack(septets, hex, octets);
  Write7BitTrace(last_octet, hex, text);
  return text;
}

}  // namespace quandelstk::pdu
