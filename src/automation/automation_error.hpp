// How failures leave a COM call. A run-time error of the library becomes the automation error
// 0x800A0000 + its number, with its description and the class's ProgID as source in the thread's
// error information (a script host shows Err.Number = the number). Ordinary failures are results
// and never come here. No C++ exception gets past Guard.
#pragma once

#include "automation/com.hpp"

#include <cstdint>
#include <string>

namespace quandelstk::automation {

// Who raised it: the ProgID shown as the error's source, and the interface it belongs to.
struct ErrorSource {
  const wchar_t* prog_id;
  const IID* iid;
};

constexpr HRESULT AutomationError(std::int32_t number) {
  return static_cast<HRESULT>(0x800A0000u + (static_cast<std::uint32_t>(number) & 0xFFFFu));
}

// Sets the thread's error information and returns the HRESULT to hand back.
HRESULT RaiseError(const ErrorSource& source, HRESULT result, const std::string& description);

// Turns whatever the body throws into an HRESULT with its error information.
HRESULT TranslateCurrentException(const ErrorSource& source) noexcept;

template <class Body>
HRESULT Guard(const ErrorSource& source, Body&& body) noexcept {
  try {
    body();
    return S_OK;
  } catch (...) {
    return TranslateCurrentException(source);
  }
}

}  // namespace quandelstk::automation
