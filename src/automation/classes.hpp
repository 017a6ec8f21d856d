// The classes this DLL provides: what DllGetClassObject hands out and DllRegisterServer registers.
// A class is added with its <class>_object.cpp, which defines its entry, and one word in the class
// list of CMakeLists.txt, which declares it in the type library and lists it here.
#pragma once

#include "automation/com.hpp"

#include <span>

namespace quandelstk::automation {

struct ClassEntry {
  const CLSID* clsid;
  const wchar_t* name;  // "Modem": registered as QuandelSTK6.Modem and QuandelSTK6.Modem.1
  HRESULT (*create)(REFIID iid, void** out);
};

std::span<const ClassEntry* const> Classes();
const ClassEntry* FindClass(REFCLSID clsid);

// One per class, each in its own file.
extern const ClassEntry kModemClass;
extern const ClassEntry kSMSClass;
extern const ClassEntry kSIMToolKitClass;
extern const ClassEntry kUSSDClass;
extern const ClassEntry kPhonebookClass;

}  // namespace quandelstk::automation
