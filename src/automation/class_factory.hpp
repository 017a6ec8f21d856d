// The class factory of one class: creates its objects and takes server locks.
#pragma once

#include "automation/com.hpp"

#include "automation/classes.hpp"

namespace quandelstk::automation {

// A new factory for the class, with one reference for the caller.
HRESULT GetClassFactory(const ClassEntry& entry, REFIID iid, void** out) noexcept;

}  // namespace quandelstk::automation
