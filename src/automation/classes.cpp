#include "automation/classes.hpp"

namespace quandelstk::automation {

namespace {

// QSTK_COCLASS_<NAME> is defined for every class of the build's class list.
const ClassEntry* const kClasses[] = {
#ifdef QSTK_COCLASS_MODEM
    &kModemClass,
#endif
#ifdef QSTK_COCLASS_SMS
    &kSMSClass,
#endif
#ifdef QSTK_COCLASS_SIMTOOLKIT
    &kSIMToolKitClass,
#endif
#ifdef QSTK_COCLASS_USSD
    &kUSSDClass,
#endif
#ifdef QSTK_COCLASS_PHONEBOOK
    &kPhonebookClass,
#endif
};

}  // namespace

std::span<const ClassEntry* const> Classes() { return kClasses; }

const ClassEntry* FindClass(REFCLSID clsid) {
  for (const ClassEntry* entry : kClasses)
    if (IsEqualCLSID(*entry->clsid, clsid)) return entry;
  return nullptr;
}

}  // namespace quandelstk::automation
