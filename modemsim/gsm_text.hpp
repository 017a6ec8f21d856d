// Character codings of the simulated modem, written from 3GPP TS 23.038 and 27.007: the GSM 7-bit
// default alphabet with its extension table, septet packing, hex text and the TE character sets
// that AT+CSCS selects. Text inside the simulator is UTF-16 (what UCS2 messages carry).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quandelstk::modemsim {

using Septets = std::vector<std::uint8_t>;

std::u16string Utf8ToUtf16(std::string_view text);  // malformed bytes become U+FFFD
std::string Utf16ToUtf8(std::u16string_view text);

// Septet values of the text, an extension character as escape 0x1B and its code; nullopt when a
// character has no GSM form.
std::optional<Septets> ToGsmSeptets(std::u16string_view text);
// As above, with '?' for every character that has no GSM form.
Septets ToGsmSeptetsLossy(std::u16string_view text);
std::u16string FromGsmSeptets(const Septets& septets);

// Packs septets into octets after fill_bits zero bits (the padding after a user data header).
std::string PackSeptets(const Septets& septets, int fill_bits = 0);
Septets UnpackSeptets(std::string_view octets, std::size_t count, int fill_bits = 0);

std::string ToHex(std::string_view octets);  // upper case
std::optional<std::string> FromHex(std::string_view hex);

std::u16string OctetsToUcs2(std::string_view octets);  // big endian code units
std::string Ucs2ToOctets(std::u16string_view text);

// TE character sets: "GSM" (one byte per septet), "IRA", "8859-1", "UCS2" (four hex digits per
// unit). A character the set lacks travels as '?'.
bool IsKnownCharset(std::string_view charset);
std::string ToTe(std::u16string_view text, std::string_view charset);
std::u16string FromTe(std::string_view bytes, std::string_view charset);

}  // namespace quandelstk::modemsim
