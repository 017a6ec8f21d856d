// A platform decorator that lets the CLI watch the line without touching the library: --trace
// prints every byte, and the progress display follows the commands and pauses as they happen.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "quandelstk/platform.hpp"

namespace quandelstk::cli {

class LineObserver {
 public:
  virtual ~LineObserver() = default;
  virtual void Opened(std::int16_t /*port*/, const std::string& /*settings*/) {}
  virtual void Closed(std::int16_t /*port*/) {}
  virtual void Wrote(const std::string& /*bytes*/, const std::string& /*settings*/) {}
  virtual void Read(const std::string& /*bytes*/) {}
  virtual void Slept(std::int32_t /*ms*/) {}
};

class ObservedPlatform final : public Platform {
 public:
  ObservedPlatform(std::shared_ptr<Platform> inner, std::shared_ptr<LineObserver> observer)
      : inner_(std::move(inner)), observer_(std::move(observer)) {}

  std::unique_ptr<SerialControl> MakeSerialControl() override;
  DateTime Now() override { return inner_->Now(); }
  std::int64_t MonotonicMs() override { return inner_->MonotonicMs(); }
  void Sleep(std::int32_t ms) override;
  std::string LibraryFolder() override { return inner_->LibraryFolder(); }
  std::vector<std::string> CodeTableFolders() override { return inner_->CodeTableFolders(); }
  std::string LogFolder() override { return inner_->LogFolder(); }

 private:
  std::shared_ptr<Platform> inner_;
  std::shared_ptr<LineObserver> observer_;
};

}  // namespace quandelstk::cli
