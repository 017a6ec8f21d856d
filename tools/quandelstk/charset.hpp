// The CLI speaks UTF-8; the library speaks the host's 8-bit set, Windows-1252 (the set "Unicode.txt"
// describes). These convert between the two.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace quandelstk::cli {

// Raised for a character Windows-1252 cannot hold, or for bytes that are not UTF-8.
class CharsetError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::string Utf8ToCp1252(std::string_view utf8);
// The same, ending the message about a character the set cannot hold with this advice.
std::string Utf8ToCp1252(std::string_view utf8, std::string_view advice);
std::string Cp1252ToUtf8(std::string_view bytes);
// UTF-8 to UCS2 hex (four upper-case digits per character); characters beyond U+FFFF are refused.
std::string Utf8ToUcs2Hex(std::string_view utf8);
// Control characters written as \r, \n, ^Z, \e or \xNN, for traces and raw answers.
std::string EscapeControls(std::string_view bytes);

}  // namespace quandelstk::cli
