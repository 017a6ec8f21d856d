// The DLL as a COM server: its module handle and file, the count of live objects and server locks
// that DllCanUnloadNow answers from, and the pin that keeps it loaded while a thread has state.
#pragma once

#include "automation/com.hpp"

#include <string>

namespace quandelstk::automation {

void SetModule(HMODULE module);
HMODULE Module();
// The full path of the DLL file.
std::wstring ModulePath();

void ObjectCreated();
void ObjectDestroyed();
void LockServer(bool lock);
// No object is alive and no class factory is locked.
bool CanUnload();
long LiveObjects();

// Keeps the DLL loaded until the process ends. Called when a thread first uses the library: the
// thread's serial port and shared values outlive every object (the port stays open after its
// Modem is released), and their clean-up at thread exit runs code of this DLL.
void PinModule();

}  // namespace quandelstk::automation
