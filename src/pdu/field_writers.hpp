// Pieces the codecs and the builders share, writing straight into the text being built.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "pdu/hex_text.hpp"

namespace quandelstk::pdu {

// Appends digits two at a time, each pair second character first; a single last character is
// written as "F" followed by it.
void AppendSwappedDigits(std::string& out, std::string_view digits);

// Appends the GSM 7-bit packing of text as hex, after fill_bits zero bits (0, or 1 behind a
// six-octet user data header).
void AppendPacked7Bit(std::string& out, std::string_view text, int fill_bits);

// The packing itself, for any source of septets: septet k takes bits fill_bits + 7k up to
// fill_bits + 7k + 6 of the stream, bit j of the stream being bit j mod 8 of octet j div 8; the
// last octet's unused high bits are 0. septet_at(k) gives septet k (its low seven bits are used).
template <typename SeptetAt>
inline void AppendPackedSeptetsWith(std::string& out, std::size_t count, int fill_bits, SeptetAt septet_at) {
  if (count == 0) return;
  const std::size_t start = out.size();
  const std::size_t octets = (count * 7 + static_cast<std::size_t>(fill_bits) + 7) / 8;
  out.resize(start + 2 * octets);
  char* p = out.data() + start;
  std::uint32_t pending = 0;
  int bits = fill_bits;
  for (std::size_t k = 0; k < count; ++k) {
    pending |= static_cast<std::uint32_t>(septet_at(k) & 0x7F) << bits;
    bits += 7;
    if (bits >= 8) {
      *p++ = kHexDigits[(pending >> 4) & 0xF];
      *p++ = kHexDigits[pending & 0xF];
      pending >>= 8;
      bits -= 8;
    }
  }
  if (bits > 0) {
    *p++ = kHexDigits[(pending >> 4) & 0xF];
    *p++ = kHexDigits[pending & 0xF];
  }
}

// Septet values (0 to 127) packed as hex after fill_bits zero bits (0 to 6).
void AppendPackedSeptets(std::string& out, const std::vector<std::uint8_t>& septets, int fill_bits);

// The reverse: count septets read from octets (raw bytes, not hex) after fill_bits bits. Stops early
// when the octets run out, so the result may be shorter than count.
void UnpackSeptets(std::string_view octets, int fill_bits, std::size_t count, std::vector<std::uint8_t>& septets);

// Raw bytes of hex text of either case; false (out unchanged) for an odd length or a non-hex digit.
bool OctetsFromHex(std::string_view hex, std::string& out);
// Appends the upper-case hex of raw bytes.
void AppendHexOctets(std::string& out, std::string_view octets);

}  // namespace quandelstk::pdu
