// The conversion between automation strings and the core's 8-bit text, with the ANSI code page
// given: a Western one (1252) and UTF-8 (65001), which Windows offers as the system's ANSI code page
// and a host can ask for in its manifest. Wine accepts flags that Windows refuses for UTF-8, so the
// flags are checked as well as the texts.
//
//   bstr_text_check.exe
#include <string>

#include "automation/bstr_text.hpp"
#include "check_support.hpp"

using check::Bstr;
using quandelstk::automation::FromBstr;
using quandelstk::automation::NarrowingFlags;
using quandelstk::automation::ToBstr;

namespace {

std::string Hex(const std::string& bytes) {
  std::string out;
  char buffer[4];
  for (unsigned char c : bytes) {
    std::snprintf(buffer, sizeof buffer, "%02X ", c);
    out += buffer;
  }
  return out;
}

void CheckFlags() {
  struct {
    UINT code_page;
    DWORD flags;
  } cases[] = {{1252, WC_NO_BEST_FIT_CHARS}, {1251, WC_NO_BEST_FIT_CHARS}, {932, WC_NO_BEST_FIT_CHARS},
               {437, WC_NO_BEST_FIT_CHARS},  {65001, 0},                    {54936, 0},
               {65000, 0},                   {50220, 0},                    {50229, 0},
               {57002, 0},                   {57011, 0},                    {42, 0}};
  for (const auto& c : cases)
    check::Equal<DWORD>(NarrowingFlags(c.code_page), c.flags, "flags for code page " + std::to_string(c.code_page));
}

void CheckTexts() {
  struct {
    UINT code_page;
    const wchar_t* text;
    std::string bytes;
    const wchar_t* back;  // what comes back from the bytes
  } cases[] = {
      {1252, L"+15550100", "+15550100", L"+15550100"},
      {1252, L"caf\u00E9 \u20AC", "caf\xE9 \x80", L"caf\u00E9 \u20AC"},
      {1252, L"\u03A9", "?", L"?"},
      {65001, L"+15550100", "+15550100", L"+15550100"},
      {65001, L"1234", "1234", L"1234"},
      {65001, L"caf\u00E9 \u20AC \u03A9", "caf\xC3\xA9 \xE2\x82\xAC \xCE\xA9", L"caf\u00E9 \u20AC \u03A9"},
      {65001, L"", "", L""},
  };
  for (const auto& c : cases) {
    const std::string what = "code page " + std::to_string(c.code_page) + ", \"" + check::Narrow(c.text) + "\"";
    Bstr text(c.text);
    const std::string bytes = FromBstr(text.get(), c.code_page);
    check::That(bytes == c.bytes, what + " to bytes: " + Hex(bytes) + "expected " + Hex(c.bytes));
    BSTR back = ToBstr(c.bytes, c.code_page);
    check::Equal(std::wstring(back, SysStringLen(back)), std::wstring(c.back), what + " from bytes");
    SysFreeString(back);
  }
}

}  // namespace

int main() {
  CheckFlags();
  CheckTexts();
  return check::Finish("bstr_text_check");
}
