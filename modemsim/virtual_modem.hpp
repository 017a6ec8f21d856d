// The simulated modem behind a virtual serial port: VirtualPlatform::Attach(port, modem) lets the
// library's classes (and the CLI's embedded default) talk to it in virtual time.
#pragma once

#include <string>

#include "modemsim/model.hpp"
#include "platform/virtual_platform.hpp"

namespace quandelstk::modemsim {

class VirtualModem final : public platform::VirtualDevice {
 public:
  explicit VirtualModem(Scenario scenario = Scenario());

  const Model& model() const { return model_; }

  void Open(const std::string& settings, platform::TimeMs now) override;
  void Settings(const std::string& settings, platform::TimeMs now) override;
  void Close(platform::TimeMs now) override { model_.Close(now); }
  void Receive(std::string_view bytes, platform::TimeMs now) override { model_.Receive(bytes, now); }
  std::string Transmit(platform::TimeMs now) override { return model_.Transmit(now); }
  std::optional<platform::TimeMs> NextOutputAt() const override { return model_.NextDueAt(); }
  bool Present(platform::TimeMs now) const override { return model_.Present(now); }

 private:
  Model model_;
};

}  // namespace quandelstk::modemsim
