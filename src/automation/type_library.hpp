// The interfaces, enumerations and GUIDs of the type library, as widl declares them for C++.
#pragma once

#include "automation/com.hpp"

#include "QuandelSTK6_h.h"
