#include "automation/bstr_text.hpp"

#include <new>

namespace quandelstk::automation {

std::string FromBstr(BSTR text) {
  const int length = static_cast<int>(SysStringLen(text));
  if (length == 0) return {};
  // No best fit: a modem sending "O" for an Omega would change the text without a sign.
  const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, length, nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, length, bytes.data(), n, nullptr, nullptr);
  return bytes;
}

BSTR ToBstr(const std::string& text) {
  const int length = static_cast<int>(text.size());
  const int n = length == 0 ? 0 : MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
  BSTR result = SysAllocStringLen(nullptr, static_cast<UINT>(n));
  if (!result) throw std::bad_alloc();
  if (n > 0) MultiByteToWideChar(CP_ACP, 0, text.data(), length, result, n);
  return result;
}

}  // namespace quandelstk::automation
