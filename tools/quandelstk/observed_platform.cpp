#include "observed_platform.hpp"

namespace quandelstk::cli {

namespace {

class ObservedSerialControl final : public SerialControl {
 public:
  ObservedSerialControl(std::unique_ptr<SerialControl> inner, std::shared_ptr<LineObserver> observer)
      : inner_(std::move(inner)), observer_(std::move(observer)) {}

  std::int16_t CommPort() const override { return inner_->CommPort(); }
  void CommPort(std::int16_t port) override { inner_->CommPort(port); }
  std::string Settings() const override { return inner_->Settings(); }
  void Settings(const std::string& settings) override { inner_->Settings(settings); }
  bool PortOpen() const override { return inner_->PortOpen(); }
  void PortOpen(bool open) override {
    inner_->PortOpen(open);
    if (open) observer_->Opened(inner_->CommPort(), inner_->Settings());
    else observer_->Closed(inner_->CommPort());
  }
  using SerialControl::Output;
  void Output(const std::string& text, std::int32_t max_ms) override {
    inner_->Output(text, max_ms);
    observer_->Wrote(text, inner_->Settings());
  }
  std::string Input() override {
    std::string text = inner_->Input();
    if (!text.empty()) observer_->Read(text);
    return text;
  }
  void WaitForInput(std::int32_t max_ms) override { inner_->WaitForInput(max_ms); }

 private:
  std::unique_ptr<SerialControl> inner_;
  std::shared_ptr<LineObserver> observer_;
};

}  // namespace

std::unique_ptr<SerialControl> ObservedPlatform::MakeSerialControl() {
  return std::make_unique<ObservedSerialControl>(inner_->MakeSerialControl(), observer_);
}

}  // namespace quandelstk::cli
