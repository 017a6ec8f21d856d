#include "observed_platform.hpp"

#include <algorithm>

#include "interrupt.hpp"

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
    ThrowIfInterrupted();
    inner_->Output(text, max_ms);
    NoteWritten(text);
    observer_->Wrote(text, inner_->Settings());
  }
  std::string Input() override {
    ThrowIfInterrupted();
    std::string text = inner_->Input();
    if (!text.empty()) observer_->Read(text);
    return text;
  }
  // In slices, so that a signal ends the wait at once.
  void WaitForInput(std::int32_t max_ms) override {
    do {
      ThrowIfInterrupted();
      inner_->WaitForInput(std::min(max_ms, kSliceMs));
      max_ms -= kSliceMs;
    } while (max_ms > 0);
  }
  static constexpr std::int32_t kSliceMs = 50;

 private:
  std::unique_ptr<SerialControl> inner_;
  std::shared_ptr<LineObserver> observer_;
};

}  // namespace

void ObservedPlatform::Sleep(std::int32_t ms) {
  observer_->Slept(ms);
  // In slices, so that a signal ends the pause at once (a call test waits up to 32 seconds here).
  while (ms > 0) {
    ThrowIfInterrupted();
    const std::int32_t slice = std::min<std::int32_t>(ms, 50);
    inner_->Sleep(slice);
    ms -= slice;
  }
}

std::unique_ptr<SerialControl> ObservedPlatform::MakeSerialControl() {
  return std::make_unique<ObservedSerialControl>(inner_->MakeSerialControl(), observer_);
}

}  // namespace quandelstk::cli
