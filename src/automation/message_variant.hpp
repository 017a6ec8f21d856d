// ToMessage holds any VARIANT a host stores. The object keeps the VARIANT itself for the get; the
// core's SMS object gets its MessageValue, whose text the senders ask for when they fall back to it:
// a string as it is, a number as a host writes it, anything else (an object's default value, a
// Boolean, a date) converted by the system when a sender asks, so that an object changed after it
// was stored is read as it is then.
#pragma once

#include "automation/com.hpp"

#include "quandelstk/sms.hpp"

namespace quandelstk::automation {

MessageValue ToMessageValue(const VARIANT& value);

}  // namespace quandelstk::automation
