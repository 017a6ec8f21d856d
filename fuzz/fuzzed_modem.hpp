// A modem whose every answer comes from the fuzzer's bytes, in virtual time. The input is cut into
// records at each NUL byte: the first record is waiting on the line before the call, each further
// one answers the next non-empty command line. Inside a record, byte 0x01 is a 150 ms gap (longer
// than one poll, so the answer arrives in pieces) and 0x02 an 8 s gap (past the default timeout, so
// the rest lands in the next exchange). Lines left without a record get silence.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/virtual_platform.hpp"

namespace quandelstk::fuzzing {

using platform::TimeMs;

class FuzzedModem final : public platform::VirtualDevice {
 public:
  FuzzedModem(std::string_view script, const platform::VirtualPlatform& clock);

  struct Line {
    TimeMs at = 0;
    TimeMs slept = 0;  // the platform's plain pauses up to then
    std::string text;
  };
  const std::vector<Line>& Lines() const { return lines_; }

  void Open(const std::string&, TimeMs now) override;
  void Settings(const std::string&, TimeMs) override {}
  void Close(TimeMs) override;
  void Receive(std::string_view bytes, TimeMs now) override;
  std::string Transmit(TimeMs now) override;
  std::optional<TimeMs> NextOutputAt() const override;

 private:
  void Schedule(std::string_view record, TimeMs now);

  const platform::VirtualPlatform& clock_;
  std::vector<std::string> records_;
  std::size_t next_ = 1;
  bool opened_once_ = false;
  std::string partial_;
  std::vector<std::pair<TimeMs, std::string>> outbox_;  // in time order
  std::vector<Line> lines_;
};

}  // namespace quandelstk::fuzzing
