// The serial control on a POSIX terminal device: termios raw mode at the requested speed,
// non-blocking reads, poll() for waiting, and an exclusive open (TIOCEXCL plus an flock) so that a
// port held by another program is reported as already open.
#pragma once

#include <cstdint>
#include <string>

#include "quandelstk/platform.hpp"

namespace quandelstk::platform {

class PosixSerialControl final : public SerialControl {
 public:
  PosixSerialControl() = default;
  ~PosixSerialControl() override;
  PosixSerialControl(const PosixSerialControl&) = delete;
  PosixSerialControl& operator=(const PosixSerialControl&) = delete;

  std::int16_t CommPort() const override { return port_; }
  void CommPort(std::int16_t port) override;
  std::string Settings() const override { return settings_; }
  void Settings(const std::string& settings) override;
  bool PortOpen() const override { return fd_ >= 0; }
  void PortOpen(bool open) override;
  using SerialControl::Output;
  void Output(const std::string& text, std::int32_t max_ms) override;
  std::string Input() override;
  void WaitForInput(std::int32_t max_ms) override;

 private:
  void Open();
  void Close();
  void Apply(const std::string& settings);
  std::string DeviceText() const;
  [[noreturn]] void Raise(std::int32_t number, const std::string& what) const;

  std::int16_t port_ = 1;
  std::string settings_ = "9600,N,8,1";
  std::string device_;
  int fd_ = -1;
};

}  // namespace quandelstk::platform
