#include "charset.hpp"

#include <cstdint>
#include <cstdio>
#include <string>

#include "channel/text.hpp"

namespace quandelstk::cli {

namespace {

// Windows-1252 0x80-0x9F; 0 marks the five codes the set leaves undefined.
constexpr char32_t kHigh[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

// The GSM alphabet's characters of the codes that are control codes in Windows-1252: 0x00-0x1F
// (the escape 0x1B as 0) and 0x7F.
constexpr char32_t kGsmLow[32] = {
    0x0040, 0x00A3, 0x0024, 0x00A5, 0x00E8, 0x00E9, 0x00F9, 0x00EC, 0x00F2, 0x00C7, 0x000A,
    0x00D8, 0x00F8, 0x000D, 0x00C5, 0x00E5, 0x0394, 0x005F, 0x03A6, 0x0393, 0x039B, 0x03A9,
    0x03A0, 0x03A8, 0x03A3, 0x0398, 0x039E, 0,      0x00C6, 0x00E6, 0x00DF, 0x00C9,
};
constexpr unsigned char kGsmDel = 0x7F;
constexpr char32_t kGsmOfDel = 0x00E0;  // à
constexpr unsigned char kGsmEscape = 0x1B;

struct GsmExtension {
  unsigned char code;
  char32_t character;
};
constexpr GsmExtension kGsmExtension[] = {{0x14, U'^'},  {0x28, U'{'}, {0x29, U'}'},
                                          {0x2F, U'\\'}, {0x3C, U'['}, {0x3D, U'~'},
                                          {0x3E, U']'},  {0x40, U'|'}, {0x65, 0x20AC}};

// The GSM code below 0x20 of a character, -1 for one that has none. CR and LF are the same either
// way; 0x08 (ò) and 0x7F (à) cannot be sent: on the modem's command line they erase a character.
int GsmLowCode(char32_t cp) {
  if (cp == U'\n' || cp == U'\r') return -1;
  for (int i = 0; i < 32; ++i)
    if (kGsmLow[i] == cp && i != kGsmEscape && i != 0x08) return i;
  return -1;
}

char32_t CodePoint(unsigned char byte) {
  if (byte >= 0x80 && byte <= 0x9F) return kHigh[byte - 0x80] ? kHigh[byte - 0x80] : byte;
  return byte;
}

std::u32string DecodeUtf8(std::string_view s) {
  std::size_t bad = 0;
  auto decoded = text::DecodeUtf8(s, text::Utf8Reading::kStrict, &bad);
  if (!decoded) throw CharsetError("the text is not valid UTF-8 (byte " + std::to_string(bad + 1) + ")");
  return std::move(*decoded);
}

using text::AppendUtf8;

std::string Describe(char32_t cp) {
  std::string text;
  AppendUtf8(text, cp);
  char code[16];
  std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(cp));
  return "\"" + text + "\" (" + code + ")";
}

void AppendEscaped(std::string& out, char32_t cp) {
  char buf[8];
  if (cp == U'\r') {
    out += "\\r";
  } else if (cp == U'\n') {
    out += "\\n";
  } else if (cp == U'\t') {
    out += "\\t";
  } else {
    std::snprintf(buf, sizeof buf, "\\x%02X", static_cast<unsigned>(cp));
    out += buf;
  }
}

// The Windows-1252 code of a character, -1 for one the set does not hold.
int Cp1252Code(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<int>(cp);
  for (int i = 0; i < 32; ++i)
    if (kHigh[i] == cp) return 0x80 + i;
  return -1;
}

}  // namespace

std::string Utf8ToCp1252(std::string_view utf8) {
  return Utf8ToCp1252(utf8, "use UCS2 (--mode ucs2) for it");
}

std::string Utf8ToCp1252(std::string_view utf8, std::string_view advice) {
  std::string out;
  for (char32_t cp : DecodeUtf8(utf8)) {
    const int code = Cp1252Code(cp);
    if (code < 0)
      throw CharsetError("the character " + Describe(cp) +
                         " has no code in Windows-1252, the modem's character set; " + std::string(advice));
    out += static_cast<char>(code);
  }
  return out;
}

std::string SimNameToUtf8(std::string_view bytes) {
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (b == kGsmEscape) {
      const GsmExtension* found = nullptr;
      if (i + 1 < bytes.size())
        for (const GsmExtension& e : kGsmExtension)
          if (e.code == static_cast<unsigned char>(bytes[i + 1])) found = &e;
      if (found) ++i;
      AppendUtf8(out, found ? found->character : U' ');
    } else if (b < 0x20) {
      AppendUtf8(out, kGsmLow[b]);
    } else if (b == kGsmDel) {
      AppendUtf8(out, kGsmOfDel);
    } else {
      AppendUtf8(out, CodePoint(b));
    }
  }
  return out;
}

std::string Utf8ToSimName(std::string_view utf8, NameCodes codes, std::string_view advice) {
  if (codes == NameCodes::kWindows1252) return Utf8ToCp1252(utf8, advice);
  std::string out;
  for (char32_t cp : DecodeUtf8(utf8)) {
    int code = GsmLowCode(cp);
    if (code < 0) code = Cp1252Code(cp);
    if (code < 0)
      throw CharsetError(
          "the character " + Describe(cp) +
          " is neither in the GSM alphabet nor in Windows-1252, so a SIM name cannot hold it; " +
          std::string(advice));
    out += static_cast<char>(code);
  }
  return out;
}

std::string ShowControls(std::string_view utf8) {
  std::string out;
  for (char32_t cp : DecodeUtf8(utf8)) {
    if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F))
      AppendEscaped(out, cp);
    else
      AppendUtf8(out, cp);
  }
  return out;
}

std::string Cp1252ToUtf8(std::string_view bytes) {
  std::string out;
  for (char c : bytes) AppendUtf8(out, CodePoint(static_cast<unsigned char>(c)));
  return out;
}

std::string Utf8ToUcs2Hex(std::string_view utf8) {
  std::string out;
  char buf[8];
  for (char32_t cp : DecodeUtf8(utf8)) {
    if (cp > 0xFFFF) throw CharsetError("the character " + Describe(cp) + " lies beyond what UCS2 can hold");
    std::snprintf(buf, sizeof buf, "%04X", static_cast<unsigned>(cp));
    out += buf;
  }
  return out;
}

std::string EscapeControls(std::string_view bytes) {
  std::string out;
  char buf[8];
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else if (b == 26) out += "^Z";
    else if (b == 27) out += "\\e";
    else if (c == '\\') out += "\\\\";
    else if (b < 32 || b == 127) {
      std::snprintf(buf, sizeof buf, "\\x%02X", b);
      out += buf;
    } else out += c;
  }
  return out;
}

}  // namespace quandelstk::cli
