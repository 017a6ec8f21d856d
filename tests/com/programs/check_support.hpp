// What the Windows test programs share: pass/fail counting with the closing "N passed, N failed"
// line the Wine test runner reads, and a few COM conveniences.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <cstdio>
#include <string>

namespace check {

inline int passed = 0;
inline int failed = 0;

inline std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) {
    if (c == L'\r') out += "\\r";
    else if (c == L'\n') out += "\\n";
    else if (c >= 32 && c < 127) out += static_cast<char>(c);
    else {
      char buffer[12];
      std::snprintf(buffer, sizeof buffer, "\\u%04X", static_cast<unsigned>(c));
      out += buffer;
    }
  }
  return out;
}

inline void That(bool condition, const std::string& what) {
  if (condition) {
    ++passed;
  } else {
    ++failed;
    std::printf("FAIL %s\n", what.c_str());
  }
  std::fflush(stdout);
}

template <class T>
inline void Equal(const T& actual, const T& expected, const std::string& what) {
  That(actual == expected, what);
}

inline void Equal(const std::wstring& actual, const std::wstring& expected, const std::string& what) {
  That(actual == expected, what + ": got \"" + Narrow(actual) + "\", expected \"" + Narrow(expected) + "\"");
}

inline int Finish(const char* program) {
  std::printf("%s: %d passed, %d failed\n", program, passed, failed);
  std::fflush(stdout);
  return failed == 0 ? 0 : 1;
}

// A BSTR owned for one scope.
class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(const wchar_t* text) : text_(SysAllocString(text)) {}
  ~Bstr() { SysFreeString(text_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR* Out() {
    SysFreeString(text_);
    text_ = nullptr;
    return &text_;
  }
  BSTR get() const { return text_; }
  std::wstring str() const { return text_ ? std::wstring(text_, SysStringLen(text_)) : std::wstring(); }

 private:
  BSTR text_ = nullptr;
};

}  // namespace check
