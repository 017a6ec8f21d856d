#ifdef _WIN32
#include <windows.h>

#include "platform/default_platform.hpp"
#include "platform/win32_serial.hpp"

namespace quandelstk::platform {

namespace {

// The folder of the module this code is part of: the DLL inside a COM host, the program when the
// library is linked into one.
std::string OwnFolder() {
  HMODULE module = nullptr;
  if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCSTR>(&OwnFolder), &module))
    module = nullptr;
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD n = GetModuleFileNameA(module, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return ".";
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  const auto cut = path.find_last_of("\\/");
  return cut == std::string::npos ? "." : path.substr(0, cut);
}

// A handler that posts a message to itself for ever must not keep an exchange from going on.
constexpr int kMostMessagesPerPoll = 1000;

class Win32Platform final : public Platform {
 public:
  std::unique_ptr<SerialControl> MakeSerialControl() override { return std::make_unique<Win32SerialControl>(); }

  DateTime Now() override {
    SYSTEMTIME t{};
    GetLocalTime(&t);
    return DateTime{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
  }

  std::int64_t MonotonicMs() override { return static_cast<std::int64_t>(GetTickCount64()); }

  void Sleep(std::int32_t ms) override {
    if (ms > 0) ::Sleep(static_cast<DWORD>(ms));
  }

  void ProcessPendingMessages() override {
    MSG msg;
    for (int n = 0; n < kMostMessagesPerPoll && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++n) {
      if (msg.message == WM_QUIT) {
        // The host's own loop has to see it: put it back and stop here.
        PostQuitMessage(static_cast<int>(msg.wParam));
        return;
      }
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }

  std::string LibraryFolder() override {
    static const std::string folder = OwnFolder();
    return folder;
  }

  // Beside the DLL, as hosts written for it expect to find the log.
  std::string LogFolder() override { return LibraryFolder(); }
};

}  // namespace

std::shared_ptr<Platform> DefaultPlatform() {
  static const std::shared_ptr<Platform> platform = std::make_shared<Win32Platform>();
  return platform;
}

}  // namespace quandelstk::platform
#endif
