// The serial control on a Windows COM port ("\\.\COMn"): 8 data bits, no parity, one stop bit at
// the speed asked (any setting of the settings text is honoured), no handshaking.
//
// The handle is opened for overlapped I/O with all comm timeouts zero. Waiting for input is an
// overlapped one-byte read waited on with a timeout: the "return at the first byte" timeouts of
// COMMTIMEOUTS do not wake early under Wine, and the modem-line calls (GetCommModemStatus,
// WaitCommEvent) fail on the pseudo-terminals Wine maps to COM ports, so nothing here needs them.
#pragma once

#include <cstdint>
#include <string>

#include "quandelstk/platform.hpp"

namespace quandelstk::platform {

class Win32SerialControl final : public SerialControl {
 public:
  Win32SerialControl() = default;
  ~Win32SerialControl() override;
  Win32SerialControl(const Win32SerialControl&) = delete;
  Win32SerialControl& operator=(const Win32SerialControl&) = delete;

  std::int16_t CommPort() const override { return port_; }
  void CommPort(std::int16_t port) override;
  std::string Settings() const override { return settings_; }
  void Settings(const std::string& settings) override;
  bool PortOpen() const override { return handle_ != nullptr; }
  void PortOpen(bool open) override;
  using SerialControl::Output;
  void Output(const std::string& text, std::int32_t max_ms) override;
  std::string Input() override;
  void WaitForInput(std::int32_t max_ms) override;

 private:
  void Open();
  void Close();
  void Apply(const std::string& settings);
  std::string PortName() const;
  // Bytes waiting in the driver's input queue.
  unsigned long Queued();
  [[noreturn]] void Raise(std::int32_t number, const std::string& what) const;

  std::int16_t port_ = 1;
  std::int16_t held_ = 0;  // the port number this control holds while open
  std::string settings_ = "9600,N,8,1";
  void* handle_ = nullptr;       // HANDLE of the open port, null when closed
  void* read_event_ = nullptr;   // manual-reset events of the overlapped read and write
  void* write_event_ = nullptr;
  std::string early_;            // what the wait's one-byte read brought in, handed out by Input
};

// The system's text for an error code, without its line end.
std::string SystemErrorText(unsigned long code);

}  // namespace quandelstk::platform
