// 8-bit user data: one character per octet.
#include "pdu/hex_text.hpp"
#include "pdu/pdu.hpp"

namespace quandelstk::pdu {

std::string Decode_8_bit(std::int16_t count, const std::string& hex) {
  std::string text;
  if (count <= 0) return text;
  text.reserve(static_cast<std::size_t>(count));
  const std::string_view all = hex;
  for (std::size_t i = 0; i < static_cast<std::size_t>(count); ++i) {
    // A pair beyond the end of the text reads as 0, so the result always has count characters.
    const std::string_view pair = 2 * i < all.size() ? all.substr(2 * i, 2) : std::string_view();
    text += static_cast<char>(HexValue(pair));
  }
  return text;
}

}  // namespace quandelstk::pdu
