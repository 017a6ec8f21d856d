// Installs a virtual-time platform with a scripted modem on port 1 for the current thread, and a
// fresh temporary folder for the log and the code table, and empties the thread's shared variables
// and its pending-events hook. Every class test starts with one.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "platform/virtual_platform.hpp"
#include "quandelstk/platform.hpp"
#include "support/scripted_modem.hpp"

namespace quandelstk::testing {

class VirtualSession {
 public:
  explicit VirtualSession(DateTime start = DateTime{2026, 12, 4, 10, 0, 0});
  ~VirtualSession();
  VirtualSession(const VirtualSession&) = delete;
  VirtualSession& operator=(const VirtualSession&) = delete;

  platform::VirtualPlatform& Platform() { return *platform_; }
  ScriptedModem& Modem() { return *modem_; }
  // Adds another scripted modem on a port of its own.
  ScriptedModem& AddModem(std::int16_t port);
  const std::filesystem::path& Folder() const { return folder_; }
  // Opens the thread's port 1 at the given settings, as Init leaves it.
  void OpenPort(const std::string& settings = "115200,N,8,1");
  // Everything in today's log files, concatenated in name order.
  std::string LogText() const;
  platform::TimeMs NowMs() const { return platform_->NowMs(); }

 private:
  std::filesystem::path folder_;
  std::shared_ptr<platform::VirtualPlatform> platform_;
  std::shared_ptr<ScriptedModem> modem_;
  ScopedPlatform scope_;
};

}  // namespace quandelstk::testing
