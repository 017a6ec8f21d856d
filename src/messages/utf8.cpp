#include "messages/utf8.hpp"

#include "channel/text.hpp"

namespace quandelstk::messages {

std::optional<std::u32string> DecodeUtf8(std::string_view utf8, std::size_t* offset_of_error) {
  return text::DecodeUtf8(utf8, text::Utf8Reading::kStrict, offset_of_error);
}

void AppendUtf8(std::string& out, char32_t cp) {
  text::AppendUtf8(out, cp);
}

void AppendUtf16Octets(std::string& out, char32_t cp) {
  auto unit = [&out](unsigned u) {
    out += static_cast<char>(u >> 8);
    out += static_cast<char>(u & 0xFF);
  };
  if (cp > 0xFFFF) {
    const char32_t v = cp - 0x10000;
    unit(0xD800 + (v >> 10));
    unit(0xDC00 + (v & 0x3FF));
  } else {
    unit(cp);
  }
}

bool Utf16OctetsToUtf8(std::string_view octets, std::string& out) {
  bool clean = octets.size() % 2 == 0;
  const std::size_t units = octets.size() / 2;
  auto at = [&octets](std::size_t k) {
    return static_cast<unsigned>(static_cast<unsigned char>(octets[2 * k])) << 8 |
           static_cast<unsigned char>(octets[2 * k + 1]);
  };
  for (std::size_t k = 0; k < units; ++k) {
    const unsigned u = at(k);
    if (u >= 0xD800 && u <= 0xDBFF && k + 1 < units && at(k + 1) >= 0xDC00 && at(k + 1) <= 0xDFFF) {
      AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (at(k + 1) - 0xDC00));
      ++k;
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      AppendUtf8(out, 0xFFFD);
      clean = false;
    } else {
      AppendUtf8(out, u);
    }
  }
  return clean;
}

}  // namespace quandelstk::messages
