// IDispatch driven by the type library: names and DISPIDs come from the type information, calls go
// through DispInvoke to the vtable, with these corrections made before it.
//
// - Named arguments (rgdispidNamedArgs holds parameter indexes) are put in their positions, and the
//   call goes on as a positional one; a property put keeps its DISPID_PROPERTYPUT form.
// - Omitted optional arguments are filled in from the member's description: its declared default,
//   or an empty value of the declared type. Left to the system, an omitted by-reference short with
//   a default arrives (under Wine) as a pointer holding the default, and an omitted string as an
//   error code in place of a string.
// - A required parameter left out is DISP_E_BADPARAMCOUNT ("Wrong number of arguments"), one given
//   as omitted DISP_E_PARAMNOTOPTIONAL, before anything runs.
// - A by-reference parameter given a variable (a VARIANT by reference, as script engines pass
//   their variables) or a plain value gets the value converted to its declared type; the variable
//   is written back after the call, so a script sees the change as a compiled client does.
#pragma once

#include "automation/com.hpp"

namespace quandelstk::automation {

// The interface's two views in the DLL's own type library: the dispatch one that hosts browse and
// the vtable one that calls go through. Both are AddRef'ed for the caller.
HRESULT LoadTypeInfo(REFIID iid, ITypeInfo** dispatch_view, ITypeInfo** vtable_view);

// DispInvoke on self with the corrections above. Never throws.
HRESULT InvokeWithTypeInfo(void* self, ITypeInfo* vtable_view, DISPID member, WORD flags, DISPPARAMS* params,
                           VARIANT* result, EXCEPINFO* exception, UINT* argument_error) noexcept;

}  // namespace quandelstk::automation
