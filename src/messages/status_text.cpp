// What the status octet of a status report says, in words.
#include "quandelstk/messages.hpp"

namespace quandelstk::messages {

namespace {

const char* Reason(int low) {
  switch (low) {
    case 0:
      return "congestion";
    case 1:
      return "recipient busy";
    case 2:
      return "no response from the recipient";
    case 3:
      return "service rejected";
    case 4:
      return "quality of service not available";
    case 5:
      return "error in the recipient";
    default:
      return nullptr;
  }
}

const char* PermanentReason(int low) {
  switch (low) {
    case 0:
      return "remote procedure error";
    case 1:
      return "incompatible destination";
    case 2:
      return "connection rejected by the recipient";
    case 3:
      return "not obtainable";
    case 4:
      return "quality of service not available";
    case 5:
      return "no interworking available";
    case 6:
      return "validity period expired";
    case 7:
      return "deleted by the sender";
    case 8:
      return "deleted by the service centre";
    case 9:
      return "the message does not exist";
    default:
      return nullptr;
  }
}

}  // namespace

DeliveryState StateOfStatus(int status) {
  if (status < 0x20) return DeliveryState::Delivered;
  if (status < 0x40) return DeliveryState::Pending;
  return DeliveryState::Failed;
}

std::string StatusText(int status) {
  const std::string code = " (status " + std::to_string(status) + ")";
  switch (status) {
    case 0x00:
      return "delivered";
    case 0x01:
      return "forwarded, delivery not confirmed";
    case 0x02:
      return "replaced by the service centre";
    default:
      break;
  }
  if (status < 0x20) return "delivered" + code;
  const int low = status & 0x1F;
  if (status < 0x40) {
    const char* why = Reason(low);
    return why ? std::string("still trying: ") + why : "still trying" + code;
  }
  if (status < 0x60) {
    const char* why = PermanentReason(low);
    return why ? std::string("failed: ") + why : "failed" + code;
  }
  if (status < 0x80) {
    const char* why = Reason(low);
    return why ? std::string("failed, no more attempts: ") + why : "failed, no more attempts" + code;
  }
  return "failed" + code;
}

}  // namespace quandelstk::messages
