// The SMS object's life cycle and the properties that are more than a stored value.
#include "quandelstk/sms.hpp"

#include <charconv>

#include "channel/session.hpp"
#include "quandelstk/errors.hpp"

namespace quandelstk {

SMS::~SMS() {
  // Releasing an SMS object unloads the thread's serial control, closing the port for every object of
  // the thread; hosts written for this library expect it (and its users are warned in sms.hpp).
  try {
    channel::UnloadSerialControl();
  } catch (...) {  // a destructor must not throw; a failing close leaves nothing to report to
  }
}

DeliveryStatus SMS::DRStatus() const {
  std::int32_t value = 0;
  const char* first = dr_status_.data();
  const char* last = first + dr_status_.size();
  const auto [end, ec] = std::from_chars(first, last, value);
  if (dr_status_.empty() || ec != std::errc() || end != last)
    throw RuntimeError(err::kTypeMismatch, "Type mismatch: DRStatus holds no delivery status yet");
  return static_cast<DeliveryStatus>(value);
}

void SMS::DRStatus(DeliveryStatus value) {
  dr_status_ = std::to_string(static_cast<std::int32_t>(value));
}

const std::string& SMS::NumberOrDefault(const std::string& number) const {
  return number.empty() ? to_number_ : number;
}

std::string SMS::MessageOrDefault(const std::string& message) const {
  return message.empty() ? to_message_.ToText() : message;
}

}  // namespace quandelstk
