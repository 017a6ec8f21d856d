// UTF-8 as the messages layer takes and gives text, and UTF-16 as UCS2 messages carry it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quandelstk::messages {

// The code points of UTF-8 text; none for malformed text (bad or overlong sequences, surrogates,
// values above U+10FFFF). offset_of_error, when given, receives the byte offset of the first fault.
std::optional<std::u32string> DecodeUtf8(std::string_view utf8, std::size_t* offset_of_error = nullptr);
void AppendUtf8(std::string& out, char32_t code_point);
// Big-endian UTF-16 octets: each code point as one unit or a surrogate pair.
void AppendUtf16Octets(std::string& out, char32_t code_point);
// UTF-16 code units a code point takes: 2 beyond U+FFFF, else 1.
inline int Utf16Units(char32_t code_point) {
  return code_point > 0xFFFF ? 2 : 1;
}
// Big-endian UTF-16 octets to UTF-8; an unpaired surrogate becomes U+FFFD. false when a surrogate
// was unpaired or an octet was left over.
bool Utf16OctetsToUtf8(std::string_view octets, std::string& out);

}  // namespace quandelstk::messages
