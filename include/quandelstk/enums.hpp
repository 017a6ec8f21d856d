// Enumerations shared with the type library: 32-bit values as hosts see them.
#pragma once

#include <cstdint>

namespace quandelstk {

enum class InitStatus : std::int32_t {
  Fail = 0,
  OK = 1,
  PINRequired = 2,
  PINWrong = 3,
  SIMBlocked = 4,
  SIMError = 5,
};

enum class DeliveryStatus : std::int32_t {
  Undelivered = 0,
  Delivered = 1,
  Unknown = 2,
};

enum class STKStatus : std::int32_t {
  STKMainMenu = 0,
  STKResponse = 1,
  STKInputRequest = 3,
  STKSubMenu = 6,
  STKSMSSent = 9,
  STKTimeOut = 98,
  STKSessionEnd = 99,
  STKUnknown = 100,
};

}  // namespace quandelstk
