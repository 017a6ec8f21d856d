// Texts. Every std::string the library takes or gives - message texts, numbers, names, menu labels,
// USSD texts, the properties of the classes - holds 8-bit character codes, one byte per character:
// Windows-1252, the set the shipped "Unicode.txt" describes. These bytes go to the modem as they
// are. They are not UTF-8: a UTF-8 "café €5" handed to SendSMSText goes out as "cafC) b$,5".
//
// Convert at the edge of your program:
//
//   sms.SendSMSText(number, quandelstk::Utf8ToWindows1252("café €5"));
//   std::cout << quandelstk::Windows1252ToUtf8(sms.Msg()) << "\n";
//
// A character that Windows-1252 cannot hold (Greek, Cyrillic, CJK, emoji) travels as UCS2:
//
//   sms.SendSMSUnicode(number, quandelstk::Utf8ToUcs2Hex("Ωmega"));
#pragma once

#include <string>
#include <string_view>

#include "quandelstk/export.hpp"

namespace quandelstk {

// UTF-8 to Windows-1252. Raises RuntimeError 5 naming the character (and its U+ code) that the set
// cannot hold, or the byte where the text stops being UTF-8.
QUANDELSTK_API std::string Utf8ToWindows1252(std::string_view utf8);
// Windows-1252 to UTF-8. The five codes the set leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D)
// become the control characters of the same number (U+0081...), so every byte survives a round trip.
QUANDELSTK_API std::string Windows1252ToUtf8(std::string_view text);
// UTF-8 to UCS2 hex for SendSMSUnicode: four upper-case digits per character. Raises RuntimeError 5
// for a character beyond U+FFFF and for text that is not UTF-8.
QUANDELSTK_API std::string Utf8ToUcs2Hex(std::string_view utf8);

}  // namespace quandelstk
