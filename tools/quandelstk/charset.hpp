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
// The control characters of UTF-8 text (C0, DEL and C1) written as \r, \n, \t or \xNN, so that a
// text shown on a terminal cannot move the cursor or start an escape sequence.
std::string ShowControls(std::string_view utf8);

// Phonebook names. A name travels in the modem's "GSM" set, which modems send either with the GSM
// alphabet's own codes or with the Latin-1 codes of the same characters. Read as Windows-1252, the
// two agree except where Windows-1252 has control codes: 0x00-0x1F and 0x7F are, in the GSM
// alphabet, @ £ $ ¥ è é ù ì ò Ç LF Ø ø CR Å å Δ _ Φ Γ Λ Ω Π Ψ Σ Θ Ξ (escape) Æ æ ß É and à.
//
// A name from the SIM, in UTF-8: Windows-1252, with those codes read as their GSM characters (CR and
// LF stay what they are); the escape and the code after it give the character of the GSM extension
// table ([ ] { } \ ^ ~ | €), and an escape before any other code shows as a space.
std::string SimNameToUtf8(std::string_view bytes);

// How the characters a name can carry either way are written.
enum class NameCodes {
  // Those characters by their GSM codes below 0x20, every other one in Windows-1252. ò (0x08) and à
  // (0x7F) keep their Windows-1252 codes: on the modem's command line their GSM codes erase a character.
  kGsm,
  kWindows1252,  // every character in Windows-1252
};
// A CharsetError names a character the codes cannot hold, ending with the advice.
std::string Utf8ToSimName(std::string_view utf8, NameCodes codes, std::string_view advice);

}  // namespace quandelstk::cli
