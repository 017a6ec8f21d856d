// Wall-clock time for the store's records and leases, and the pauses between rounds; tests give a
// virtual one so that back-off and leases run in virtual time.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

namespace quandelstk::gateway {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual std::int64_t NowMs() = 0;  // ms since the epoch
  // Sleeps up to ms, sooner when stop becomes true.
  virtual void Sleep(std::int64_t ms, const std::atomic<bool>& stop) = 0;
};

class SystemClock final : public Clock {
 public:
  std::int64_t NowMs() override {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
  }
  void Sleep(std::int64_t ms, const std::atomic<bool>& stop) override {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!stop && std::chrono::steady_clock::now() < end)
      std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
          std::chrono::milliseconds(50), end - std::chrono::steady_clock::now()));
  }
};

}  // namespace quandelstk::gateway
