#include "automation/module.hpp"

#include <atomic>

namespace quandelstk::automation {

namespace {

HMODULE module_handle = nullptr;
std::atomic<long> live_objects{0};
std::atomic<long> server_locks{0};
std::atomic<bool> pinned{false};

}  // namespace

void SetModule(HMODULE module) { module_handle = module; }

HMODULE Module() { return module_handle; }

std::wstring ModulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(module_handle, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

void ObjectCreated() { ++live_objects; }
void ObjectDestroyed() { --live_objects; }
void LockServer(bool lock) { lock ? ++server_locks : --server_locks; }
bool CanUnload() { return live_objects == 0 && server_locks == 0; }
long LiveObjects() { return live_objects; }

void PinModule() {
  if (pinned.exchange(true)) return;
  HMODULE ignored = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                     reinterpret_cast<LPCWSTR>(&PinModule), &ignored);
}

}  // namespace quandelstk::automation
