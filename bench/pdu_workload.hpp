// What the PDU benchmarks and the callgrind driver measure: the messages (the vectors of the recorded
// comparison with other libraries), and a platform with the system clock whose log folder is a fresh
// folder on tmpfs, so that the 7-bit trace costs what it costs on a fast disk and nothing more, or
// whose log files lead to /dev/null, so that it costs no more than formatting and the system calls.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>

#include "channel/log.hpp"
#include "pdu/pdu.hpp"
#include "platform/default_platform.hpp"
#include "quandelstk/platform.hpp"

namespace quandelstk::bench {

// 160 characters of ordinary text.
inline const std::string kText160 =
    "Your parcel 4417 has been delivered to the front desk at 14:05. Reply STOP to end these updates or call "
    "+1 555 0100 for help. Thanks for waiting - see you soon.";
static_assert(sizeof("Your parcel 4417 has been delivered to the front desk at 14:05. Reply STOP to end "
                     "these updates or call "
                     "+1 555 0100 for help. Thanks for waiting - see you soon.") == 161);
inline const std::string kNumber = "+15550100123";

// 70 UCS2 characters as hex.
inline std::string Ucs2Text70() {
  std::string hex;
  for (int i = 0; i < 70; ++i) hex += (i % 2 ? "0445" : "0410");
  return hex;
}

inline const std::string kDeliverHead = "07915155100021F3040B915155100054F6000062101291740523";
inline const std::string kDeliver5 = kDeliverHead + "05E8329BFD06";
inline std::string Deliver160() {
  return kDeliverHead + "A0" + pdu::Encode_7_bit(kText160);
}
// A full part of a concatenated message: header, fill bit and 153 characters.
inline std::string ConcatenatedPart() {
  return "07915155100021F3440B915155100054F6000062101291740523A0050003A70201" +
         pdu::Encode_7_bit_LMS(kText160.substr(0, 153));
}

enum class LogTarget { kTmpfs, kDevNull };

inline const char* LogTargetName(LogTarget target) {
  return target == LogTarget::kTmpfs ? "tmpfs" : "/dev/null";
}

class BenchPlatform final : public Platform {
 public:
  explicit BenchPlatform(LogTarget target) : target_(target) {
    char name[] = "/dev/shm/quandelstk-bench-XXXXXX";
    folder_ = ::mkdtemp(name) ? name : std::filesystem::temp_directory_path().string();
    if (target_ == LogTarget::kDevNull) LinkLogFilesToDevNull();
  }
  ~BenchPlatform() override {
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }
  // Empties the log folder, so that a long run does not fill the memory.
  void ClearLog() {
    if (target_ == LogTarget::kTmpfs)
      for (const auto& entry : std::filesystem::directory_iterator(folder_)) std::filesystem::remove(entry);
  }

  std::unique_ptr<SerialControl> MakeSerialControl() override { return base_->MakeSerialControl(); }
  DateTime Now() override { return base_->Now(); }
  std::int64_t MonotonicMs() override { return base_->MonotonicMs(); }
  void Sleep(std::int32_t ms) override { base_->Sleep(ms); }
  std::string LibraryFolder() override { return folder_; }
  std::string LogFolder() override { return folder_; }

 private:
  // Today's and tomorrow's log files, so that a run across midnight writes nothing either.
  void LinkLogFilesToDevNull() {
    const std::int64_t now = base_->Now().SerialSeconds();
    for (const std::int64_t day : {now, now + 86400}) {
      std::error_code ec;
      std::filesystem::create_symlink("/dev/null",
                                      channel::LogFilePath(folder_, DateTime::FromSerialSeconds(day)), ec);
    }
  }

  LogTarget target_;
  std::shared_ptr<Platform> base_ = platform::DefaultPlatform();
  std::string folder_;
};

}  // namespace quandelstk::bench
