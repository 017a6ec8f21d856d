// The GUIDs of the type library, defined once for the whole DLL.
#include "automation/com.hpp"

#include <initguid.h>

#include "automation/type_library.hpp"
