#include "platform/virtual_platform.hpp"

#include <algorithm>

#include "platform/line_settings.hpp"
#include "quandelstk/errors.hpp"

namespace quandelstk::platform {

namespace {

class VirtualSerialControl final : public SerialControl {
 public:
  explicit VirtualSerialControl(VirtualPlatform& platform) : platform_(platform) {}
  ~VirtualSerialControl() override {
    if (device_) Release();
  }

  std::int16_t CommPort() const override { return port_; }
  void CommPort(std::int16_t port) override {
    if (device_) Raise(err::kPortAlreadyOpen, "Port already open: close " + Name() + " before changing the port");
    if (port < 1) Raise(err::kInvalidPortNumber, "Invalid port number " + std::to_string(port));
    port_ = port;
  }

  std::string Settings() const override { return settings_; }
  void Settings(const std::string& settings) override {
    if (!ParseLineSettings(settings))
      Raise(err::kInvalidPropertyValue, "Invalid property value: \"" + settings + "\" is not a line setting");
    settings_ = settings;
    if (device_) device_->Settings(settings, platform_.NowMs());
  }

  bool PortOpen() const override { return device_ != nullptr; }
  void PortOpen(bool open) override {
    if (!open) {
      if (!device_) Raise(err::kPortNotOpen, "Port not open: " + Name() + " is not open");
      Release();
      return;
    }
    if (device_) Raise(err::kPortAlreadyOpen, "Port already open: " + Name() + " is already open");
    VirtualDevice* device = platform_.DeviceAt(port_);
    if (!device) Raise(err::kInvalidPortNumber, "Invalid port number: " + Name() + " does not exist");
    if (!device->Present(platform_.NowMs()))
      Raise(err::kInvalidPortNumber, "Invalid port number: " + Name() + " does not exist");
    if (device->held) Raise(err::kPortAlreadyOpen, "Port already open: " + Name() + " is held by another user");
    device->held = true;
    device_ = device;
    device_->Open(settings_, platform_.NowMs());
  }

  using SerialControl::Output;
  void Output(const std::string& text, std::int32_t max_ms) override {
    if (!device_) Raise(err::kPortNotOpen, "Port not open: " + Name() + " is not open; call Init first");
    if (!device_->Present(platform_.NowMs()))
      Raise(err::kWriteError, "Write error on " + Name() + ": the device has gone");
    if (!device_->TakesInput(platform_.NowMs())) {
      platform_.Advance(std::max(max_ms, 0));
      Raise(err::kWriteError, "Write timed out on " + Name() + ": the line took 0 of " + std::to_string(text.size()) +
                                  " bytes in " + std::to_string(max_ms) +
                                  " ms; the device has stopped reading. Check that the modem is powered and "
                                  "connected, then call Init again");
    }
    device_->Receive(text, platform_.NowMs());
  }

  std::string Input() override {
    if (!device_) Raise(err::kPortNotOpen, "Port not open: " + Name() + " is not open; call Init first");
    if (!device_->Present(platform_.NowMs()))
      Raise(err::kReadError, "Read error on " + Name() + ": the device has gone");
    return device_->Transmit(platform_.NowMs());
  }

  void WaitForInput(std::int32_t max_ms) override {
    if (max_ms <= 0) return;
    const TimeMs now = platform_.NowMs();
    TimeMs until = now + max_ms;
    if (device_) {
      if (auto next = device_->NextOutputAt()) until = std::clamp(*next, now, until);
    }
    platform_.Advance(until - now);
  }

 private:
  std::string Name() const { return "virtual port " + std::to_string(port_); }
  [[noreturn]] static void Raise(std::int32_t number, const std::string& what) { throw RuntimeError(number, what); }
  void Release() {
    device_->Close(platform_.NowMs());
    device_->held = false;
    device_ = nullptr;
  }

  VirtualPlatform& platform_;
  std::int16_t port_ = 1;
  std::string settings_ = "9600,N,8,1";
  VirtualDevice* device_ = nullptr;
};

}  // namespace

VirtualPlatform::VirtualPlatform(DateTime start) : start_(start) {}

VirtualDevice* VirtualPlatform::DeviceAt(std::int16_t port) const {
  auto it = devices_.find(port);
  return it == devices_.end() ? nullptr : it->second.get();
}

std::unique_ptr<SerialControl> VirtualPlatform::MakeSerialControl() {
  return std::make_unique<VirtualSerialControl>(*this);
}

DateTime VirtualPlatform::Now() {
  const TimeMs whole = now_ms_ >= 0 ? now_ms_ / 1000 : -((-now_ms_ + 999) / 1000);
  return DateTime::FromSerialSeconds(start_.SerialSeconds() + whole + wall_offset_s_);
}

void VirtualPlatform::Sleep(std::int32_t ms) {
  if (ms <= 0) return;
  now_ms_ += ms;
  slept_ms_ += ms;
}

}  // namespace quandelstk::platform
