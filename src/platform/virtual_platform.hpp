// A platform in virtual time: the clock moves only when the library pauses or waits for input, so
// a 12 x 7 s retry runs in microseconds. The serial ports lead to virtual devices (a scripted modem
// in tests, the simulated modem in the CLI); a port without a device does not exist.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "quandelstk/platform.hpp"

namespace quandelstk::platform {

using TimeMs = std::int64_t;

// The far end of a virtual serial line. Time is given by the caller in milliseconds.
class VirtualDevice {
 public:
  virtual ~VirtualDevice() = default;

  // The host opened the line with these settings, changed them, or closed it.
  virtual void Open(const std::string& settings, TimeMs now) = 0;
  virtual void Settings(const std::string& settings, TimeMs now) = 0;
  virtual void Close(TimeMs now) = 0;
  // Bytes the host wrote.
  virtual void Receive(std::string_view bytes, TimeMs now) = 0;
  // Bytes the device has sent up to now, consumed.
  virtual std::string Transmit(TimeMs now) = 0;
  // When the device will next have bytes to send, if it has any pending.
  virtual std::optional<TimeMs> NextOutputAt() const = 0;
  // False while the device takes no bytes from the line (a stalled USB device, a peer that stopped
  // reading): a write then waits until its limit and fails.
  virtual bool TakesInput(TimeMs /*now*/) const { return true; }
  // False while the device is gone (a USB modem pulled out): opening it, reading and writing fail.
  virtual bool Present(TimeMs /*now*/) const { return true; }

  bool held = false;  // opened by a serial control; a second open is refused
};

class VirtualPlatform final : public Platform {
 public:
  explicit VirtualPlatform(DateTime start = DateTime{2026, 12, 4, 10, 0, 0});

  TimeMs NowMs() const { return now_ms_; }
  void Advance(TimeMs ms) { now_ms_ += ms; }
  // Moves the wall clock alone (a daylight-saving change, a clock set by hand); elapsed time, which
  // follows the monotonic clock, does not jump.
  void StepWallClock(std::int64_t seconds) { wall_offset_s_ += seconds; }
  // Total of the plain pauses (Sleep), apart from waits for input.
  TimeMs SleptMs() const { return slept_ms_; }

  void Attach(std::int16_t port, std::shared_ptr<VirtualDevice> device) { devices_[port] = std::move(device); }
  VirtualDevice* DeviceAt(std::int16_t port) const;
  void SetFolders(std::string library_folder, std::string log_folder) {
    library_folder_ = std::move(library_folder);
    log_folder_ = std::move(log_folder);
  }
  // Where "Unicode.txt" is looked for; the library folder alone until set.
  void SetCodeTableFolders(std::vector<std::string> folders) { code_table_folders_ = std::move(folders); }

  std::unique_ptr<SerialControl> MakeSerialControl() override;
  DateTime Now() override;
  std::int64_t MonotonicMs() override { return now_ms_; }
  void Sleep(std::int32_t ms) override;
  std::string LibraryFolder() override { return library_folder_; }
  std::vector<std::string> CodeTableFolders() override {
    return code_table_folders_.empty() ? std::vector<std::string>{library_folder_} : code_table_folders_;
  }
  std::string LogFolder() override { return log_folder_; }

 private:
  DateTime start_;
  TimeMs now_ms_ = 0;
  TimeMs slept_ms_ = 0;
  std::int64_t wall_offset_s_ = 0;
  std::map<std::int16_t, std::shared_ptr<VirtualDevice>> devices_;
  std::string library_folder_ = ".";
  std::string log_folder_ = ".";
  std::vector<std::string> code_table_folders_;
};

}  // namespace quandelstk::platform
