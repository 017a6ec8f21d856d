// Septets and octets for the standards-complete messaging beside the classes: the same packing the
// classes' 7-bit codec uses, fed with septet values instead of 8-bit character codes.
#include "pdu/field_writers.hpp"
#include "pdu/hex_text.hpp"

namespace quandelstk::pdu {

void AppendPackedSeptets(std::string& out, const std::vector<std::uint8_t>& septets, int fill_bits) {
  AppendPackedSeptetsWith(out, septets.size(), fill_bits, [&septets](std::size_t k) { return septets[k]; });
}

void UnpackSeptets(std::string_view octets, int fill_bits, std::size_t count,
                   std::vector<std::uint8_t>& septets) {
  const std::size_t available = (octets.size() * 8 >= static_cast<std::size_t>(fill_bits))
                                    ? (octets.size() * 8 - static_cast<std::size_t>(fill_bits)) / 7
                                    : 0;
  if (count > available) count = available;
  septets.reserve(septets.size() + count);
  std::size_t bit = static_cast<std::size_t>(fill_bits);
  for (std::size_t k = 0; k < count; ++k, bit += 7) {
    const std::size_t at = bit / 8;
    const unsigned shift = bit % 8;
    unsigned value = static_cast<unsigned char>(octets[at]) >> shift;
    if (shift > 1) value |= static_cast<unsigned>(static_cast<unsigned char>(octets[at + 1])) << (8 - shift);
    septets.push_back(static_cast<std::uint8_t>(value & 0x7F));
  }
}

bool OctetsFromHex(std::string_view hex, std::string& out) {
  if (hex.size() % 2 != 0) return false;
  std::string octets(hex.size() / 2, '\0');
  for (std::size_t i = 0; i < octets.size(); ++i) {
    const int high = HexDigitValue(static_cast<unsigned char>(hex[2 * i]));
    const int low = HexDigitValue(static_cast<unsigned char>(hex[2 * i + 1]));
    if (high < 0 || low < 0) return false;
    octets[i] = static_cast<char>(high * 16 + low);
  }
  out = std::move(octets);
  return true;
}

void AppendHexOctets(std::string& out, std::string_view octets) {
  out.reserve(out.size() + 2 * octets.size());
  for (const char c : octets) AppendHexOctet(out, static_cast<unsigned char>(c));
}

}  // namespace quandelstk::pdu
