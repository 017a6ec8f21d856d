#include "automation/bstr_text.hpp"

#include <new>

namespace quandelstk::automation {

DWORD NarrowingFlags(UINT code_page) {
  const bool refuses_flags = code_page == 42 || (code_page >= 50220 && code_page <= 50229) ||
                             code_page == 54936 || (code_page >= 57002 && code_page <= 57011) ||
                             code_page == 65000 || code_page == 65001;
  // No best fit elsewhere: a modem sending "O" for an Omega would change the text without a sign.
  return refuses_flags ? 0 : WC_NO_BEST_FIT_CHARS;
}

std::string FromBstr(BSTR text, UINT code_page) {
  const int length = static_cast<int>(SysStringLen(text));
  if (length == 0) return {};
  const DWORD flags = NarrowingFlags(code_page);
  const int n = WideCharToMultiByte(code_page, flags, text, length, nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(code_page, flags, text, length, bytes.data(), n, nullptr, nullptr);
  return bytes;
}

BSTR ToBstr(const std::string& text, UINT code_page) {
  const int length = static_cast<int>(text.size());
  const int n = length == 0 ? 0 : MultiByteToWideChar(code_page, 0, text.data(), length, nullptr, 0);
  BSTR result = SysAllocStringLen(nullptr, static_cast<UINT>(n));
  if (!result) throw std::bad_alloc();
  if (n > 0) MultiByteToWideChar(code_page, 0, text.data(), length, result, n);
  return result;
}

std::string FromBstr(BSTR text) { return FromBstr(text, GetACP()); }

BSTR ToBstr(const std::string& text) { return ToBstr(text, GetACP()); }

}  // namespace quandelstk::automation
