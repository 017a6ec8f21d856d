// The conversions of the public charset header: hosts speak UTF-8, the library's texts are
// Windows-1252 bytes.
#include <cstdio>

#include "channel/text.hpp"
#include "quandelstk/charset.hpp"
#include "quandelstk/errors.hpp"

namespace quandelstk {

namespace {

// Windows-1252 0x80-0x9F; 0 marks the five codes the set leaves undefined.
constexpr char32_t kHigh[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

constexpr const char* kNotUtf8 = "convert the text to UTF-8 first";

[[noreturn]] void Refuse(const std::string& what, const std::string& advice) {
  throw RuntimeError(err::kInvalidProcedureCall, "Invalid procedure call or argument: " + what + "; " + advice);
}

std::u32string DecodeUtf8(std::string_view s, const char* advice) {
  std::size_t bad = 0;
  auto decoded = text::DecodeUtf8(s, text::Utf8Reading::kStrict, &bad);
  if (!decoded) Refuse("the text is not valid UTF-8 at byte " + std::to_string(bad + 1), advice);
  return std::move(*decoded);
}

using text::AppendUtf8;

std::string Describe(std::string_view utf8, char32_t cp) {
  char code[16];
  std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(cp));
  return "\"" + std::string(utf8) + "\" (" + code + ")";
}

// The UTF-8 bytes of the n-th character, for naming it in an error.
std::string_view CharacterAt(std::string_view utf8, std::size_t n) {
  std::size_t at = 0;
  for (std::size_t k = 0;; ++k) {
    std::size_t len = 1;
    while (at + len < utf8.size() && (static_cast<unsigned char>(utf8[at + len]) & 0xC0) == 0x80) ++len;
    if (k == n) return utf8.substr(at, len);
    at += len;
  }
}

}  // namespace

std::string Utf8ToWindows1252(std::string_view utf8) {
  constexpr const char* kAdvice = "send such a text as UCS2 (Utf8ToUcs2Hex, then SMS::SendSMSUnicode)";
  const std::u32string cps = DecodeUtf8(utf8, kNotUtf8);
  std::string out;
  out.reserve(cps.size());
  for (std::size_t n = 0; n < cps.size(); ++n) {
    const char32_t cp = cps[n];
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
      out += static_cast<char>(cp);
      continue;
    }
    int code = -1;
    for (int k = 0; k < 32; ++k)
      if (kHigh[k] == cp || (kHigh[k] == 0 && cp == static_cast<char32_t>(0x80 + k))) code = 0x80 + k;
    if (code < 0)
      Refuse("the character " + Describe(CharacterAt(utf8, n), cp) + " has no code in Windows-1252, the 8-bit set of the library's texts",
             kAdvice);
    out += static_cast<char>(code);
  }
  return out;
}

std::string Windows1252ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 2);
  for (char c : text) {
    const auto b = static_cast<unsigned char>(c);
    AppendUtf8(out, b >= 0x80 && b <= 0x9F && kHigh[b - 0x80] ? kHigh[b - 0x80] : b);
  }
  return out;
}

std::string Utf8ToUcs2Hex(std::string_view utf8) {
  constexpr const char* kAdvice = "leave it out or replace it: UCS2 holds U+0000 to U+FFFF only";
  const std::u32string cps = DecodeUtf8(utf8, kNotUtf8);
  std::string out;
  char digits[8];
  for (std::size_t n = 0; n < cps.size(); ++n) {
    if (cps[n] > 0xFFFF)
      Refuse("the character " + Describe(CharacterAt(utf8, n), cps[n]) + " lies beyond what UCS2 can hold", kAdvice);
    std::snprintf(digits, sizeof digits, "%04X", static_cast<unsigned>(cps[n]));
    out += digits;
  }
  return out;
}

}  // namespace quandelstk
