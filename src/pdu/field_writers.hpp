// Pieces the codecs and the builders share, writing straight into the text being built.
#pragma once

#include <string>
#include <string_view>

namespace quandelstk::pdu {

// Appends digits two at a time, each pair second character first; a single last character is
// written as "F" followed by it.
void AppendSwappedDigits(std::string& out, std::string_view digits);

// Appends the GSM 7-bit packing of text as hex, after fill_bits zero bits (0, or 1 behind a
// six-octet user data header).
void AppendPacked7Bit(std::string& out, std::string_view text, int fill_bits);

}  // namespace quandelstk::pdu
