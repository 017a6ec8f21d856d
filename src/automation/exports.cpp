// The four entry points of an in-process COM server, and DllMain.
#include "automation/com.hpp"

#include "automation/class_factory.hpp"
#include "automation/classes.hpp"
#include "automation/module.hpp"
#include "automation/registration.hpp"

using namespace quandelstk::automation;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  // Thread notifications stay on: the statically linked runtime runs the per-thread clean-up on them.
  if (reason == DLL_PROCESS_ATTACH) SetModule(instance);
  return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  const ClassEntry* entry = FindClass(clsid);
  if (!entry) return CLASS_E_CLASSNOTAVAILABLE;
  return GetClassFactory(*entry, iid, out);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return CanUnload() ? S_OK : S_FALSE; }

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() { return RegisterServer(); }

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() { return UnregisterServer(); }
