// Self-registration: for each class its CLSID key (InprocServer32 = this file, apartment threaded,
// ProgIDs, type library) and its ProgIDs QuandelSTK6.<Class> and QuandelSTK6.<Class>.1, then the
// type library itself, which also registers the dual interfaces with the automation marshaler.
#pragma once

#include "automation/com.hpp"

namespace quandelstk::automation {

HRESULT RegisterServer() noexcept;
// Removes every key RegisterServer wrote and the type library's registration; keys that are
// already gone are no failure.
HRESULT UnregisterServer() noexcept;

}  // namespace quandelstk::automation
