// The GSM 7-bit default alphabet and its extension table: which septets a character takes, and
// which characters septets stand for.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quandelstk::messages {

inline constexpr std::uint8_t kEscape = 0x1B;

// The septets of one character: 1 (default table), 2 (escape and extension code), or 0 when the
// alphabet lacks it. first/second receive the septets.
int GsmSeptetsOf(char32_t code_point, std::uint8_t& first, std::uint8_t& second);

// Appends the UTF-8 of septets. An escape before a code the extension table lacks shows that code's
// default character; two escapes in a row show a space; an escape at the very end shows nothing
// (true is returned then: the next part of a concatenated message may hold its code).
bool AppendGsmText(std::string& out, const std::vector<std::uint8_t>& septets);

}  // namespace quandelstk::messages
