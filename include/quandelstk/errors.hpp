// Run-time errors raised by the library. A method without its own trap lets these reach the host;
// the COM layer turns them into the automation error 0x800A0000 + number.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "quandelstk/export.hpp"

namespace quandelstk {

namespace err {
inline constexpr std::int32_t kInvalidProcedureCall = 5;
inline constexpr std::int32_t kOverflow = 6;
inline constexpr std::int32_t kSubscriptOutOfRange = 9;
inline constexpr std::int32_t kTypeMismatch = 13;
inline constexpr std::int32_t kOutOfStringSpace = 14;
inline constexpr std::int32_t kFileNotFound = 53;
inline constexpr std::int32_t kDiskFull = 61;
inline constexpr std::int32_t kPermissionDenied = 70;
inline constexpr std::int32_t kPathFileAccess = 75;
inline constexpr std::int32_t kPathNotFound = 76;
inline constexpr std::int32_t kInvalidPropertyValue = 380;
// Serial control errors, numbered as the classic comm control numbers them.
inline constexpr std::int32_t kInvalidPortNumber = 8002;
inline constexpr std::int32_t kPortAlreadyOpen = 8005;
inline constexpr std::int32_t kBaudRateNotSupported = 8007;
inline constexpr std::int32_t kHardwareNotAvailable = 8010;
inline constexpr std::int32_t kPortNotOpen = 8012;
inline constexpr std::int32_t kCouldNotSetCommState = 8015;
inline constexpr std::int32_t kReadError = 8020;
inline constexpr std::int32_t kWriteError = 8021;
}  // namespace err

class QUANDELSTK_API RuntimeError : public std::runtime_error {
 public:
  RuntimeError(std::int32_t number, const std::string& description)
      : std::runtime_error(description), number_(number) {}

  std::int32_t Number() const noexcept { return number_; }
  std::string Description() const { return what(); }

 private:
  std::int32_t number_;
};

}  // namespace quandelstk
