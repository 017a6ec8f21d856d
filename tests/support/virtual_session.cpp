#include "support/virtual_session.hpp"

#include <unistd.h>

#include <atomic>

#include "channel/session.hpp"
#include "support/reference_log.hpp"

namespace quandelstk::testing {

namespace {

std::filesystem::path MakeFolder() {
  static std::atomic<int> counter{0};
  auto path = std::filesystem::temp_directory_path() /
              ("quandelstk-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
  std::filesystem::remove_all(path);
  std::filesystem::create_directories(path);
  return path;
}

std::shared_ptr<platform::VirtualPlatform> MakePlatform(DateTime start, const std::filesystem::path& folder) {
  auto p = std::make_shared<platform::VirtualPlatform>(start);
  p->SetFolders(folder.string(), folder.string());
  return p;
}

}  // namespace

VirtualSession::VirtualSession(DateTime start)
    : folder_(MakeFolder()),
      platform_(MakePlatform(start, folder_)),
      modem_(std::make_shared<ScriptedModem>()),
      scope_(platform_) {
  platform_->Attach(1, modem_);
  // Each test starts as a new thread would, whatever the previous test on this thread left behind.
  channel::Session& s = channel::CurrentSession();
  s.ReceiveBuffer.clear();
  s.CommandStartTime = channel::Instant{};
  s.ModemMaker.clear();
  s.LMS_PDU.clear();
  s.LMS_PDU_Length = 0;
  s.SeptetCount = 0;
  s.pending_events_hook = nullptr;
}

VirtualSession::~VirtualSession() {
  channel::CurrentSession().pending_events_hook = nullptr;  // it may hold the test's locals
  std::error_code ec;
  std::filesystem::remove_all(folder_, ec);
}

ScriptedModem& VirtualSession::AddModem(std::int16_t port) {
  auto modem = std::make_shared<ScriptedModem>();
  platform_->Attach(port, modem);
  return *modem;
}

void VirtualSession::OpenPort(const std::string& settings) {
  auto& gsm = channel::Gsm();
  gsm.CommPort(1);
  gsm.Settings(settings);
  gsm.PortOpen(true);
}

std::string VirtualSession::LogText() const {
  std::string all;
  for (const auto& [name, text] : LogFilesIn(folder_))
    if (name.rfind("QUANDEL STK API Log_", 0) == 0) all += text;
  return all;
}

}  // namespace quandelstk::testing
