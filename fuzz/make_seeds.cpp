// Writes the seed corpus of fuzz_answers: each call run against the simulated modem, its answers
// recorded in the fuzzed modem's format (a NUL before each command line's answer, 0x01 where the
// simulator paused longer than a poll). Run once from the fuzz build: make_seeds OUTPUT_FOLDER.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "channel/session.hpp"
#include "modemsim/scenario.hpp"
#include "modemsim/virtual_modem.hpp"
#include "platform/virtual_platform.hpp"
#include "quandelstk/modem.hpp"
#include "quandelstk/phonebook.hpp"
#include "quandelstk/sms.hpp"
#include "quandelstk/stk.hpp"
#include "quandelstk/ussd.hpp"

namespace {

using namespace quandelstk;
using platform::TimeMs;

// Passes everything to the simulator and, while recording, notes what it sends after each line.
class Recorder final : public platform::VirtualDevice {
 public:
  explicit Recorder(std::shared_ptr<modemsim::VirtualModem> inner) : inner_(std::move(inner)) {}
  bool recording = false;
  std::string script;

  void Open(const std::string& s, TimeMs now) override { inner_->Open(s, now); }
  void Settings(const std::string& s, TimeMs now) override { inner_->Settings(s, now); }
  void Close(TimeMs now) override { inner_->Close(now); }
  void Receive(std::string_view bytes, TimeMs now) override {
    for (char c : bytes) {
      if (c != '\r') {
        partial_ += c;
        continue;
      }
      if (recording && !partial_.empty()) script += '\0';
      partial_.clear();
    }
    inner_->Receive(bytes, now);
  }
  std::string Transmit(TimeMs now) override {
    std::string out = inner_->Transmit(now);
    if (recording && !out.empty()) {
      if (last_out_ >= 0 && now - last_out_ > 100 && !script.empty() && script.back() != '\0') script += '\x01';
      script += out;
      last_out_ = now;
    }
    return out;
  }
  std::optional<TimeMs> NextOutputAt() const override { return inner_->NextOutputAt(); }

 private:
  std::shared_ptr<modemsim::VirtualModem> inner_;
  std::string partial_;
  TimeMs last_out_ = -1;
};

struct Seed {
  std::string name;
  int call;  // index in fuzz_answers' table
  int arg;
  std::string scenario;
  std::function<void()> setup;  // after Init
  std::function<void()> run;
  bool init_first = true;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_seeds OUTPUT_FOLDER\n");
    return 2;
  }
  const std::filesystem::path out = argv[1];
  std::filesystem::create_directories(out);
  const std::string number = "+15550100123";
  const std::string with_message =
      R"({"sms": {"messages": [{"from": "+15550100456", "text": "hello", "time": "26/12/04,09:00:00+04"}]}})";
  // An SMS object closes the port when it goes: the one a setup needs lives until the seed is written.
  std::unique_ptr<SMS> keeper;
  auto report_waiting = [&] {
    keeper = std::make_unique<SMS>();
    keeper->DeliveryReportOn();
    keeper->SendSMS(number, "hi");
  };
  const std::string with_entry = R"({"phonebook": {"entries": [{"index": 3, "number": "+15550100456", "name": "Anna"}]}})";
  auto stk_to = [](std::vector<int> path) {
    return [path] {
      SIMToolKit t;
      t.ActivateSTK();
      t.MainMenuDisplay();
      t.MainMenuSelect(static_cast<std::int16_t>(path[0]));
      for (std::size_t i = 1; i < path.size(); ++i) {
        t.SubMenuDisplay();
        t.SubMenuSelect(static_cast<std::int16_t>(path[i]));
      }
    };
  };
  auto none = [] {};
  std::vector<Seed> seeds = {
      {"init", 0, 0, "", none, [] { Modem().Init(1); }, false},
      {"init-pin", 0, 1, R"({"sim": {"state": "SIM PIN"}})", none, [] { Modem().Init(1, "1234"); }, false},
      {"init-slow", 0, 0, R"({"baud": 9600, "csms_not_ready": 1})", none, [] { Modem().Init(1); }, false},
      {"shutdown", 1, 0, "", none, [] { Modem().ShutDown(); }},
      {"reboot", 2, 0, R"({"network": {"restart_ms": 1500}})", none, [] { Modem().Reboot(); }},
      {"signal", 3, 0, "", none, [] { Modem().SignalStrength(); }},
      {"operator", 4, 0, "", none, [] { Modem().OperatorName(); }},
      {"find-port", 5, 0, "", none, [] { std::int16_t a = 1, b = 1; Modem().FindCOMPort(a, b); }, false},
      {"registered", 6, 0, "", none, [] { Modem().IsConnectToGSM(); }},
      {"imsi", 7, 1, "", none, [] { Modem().GetIMSI(); }},
      {"msisdn", 8, 1, "", none, [] { Modem().GetMSISDN(); }},
      {"read", 9, 0, with_message, none, [] { SMS s; s.ReadSMS(); }},
      {"read-pdu", 10, 0, with_message, none, [] { SMS s; s.ReadSMSText(); }},
      {"send", 11, 0, "", none, [&] { SMS s; s.SendSMS(number, "hello"); }},
      {"send-7bit", 12, 0, "", none, [&] { SMS s; s.SendSMSText(number, "hello"); }},
      {"send-ucs2", 13, 0, "", none, [&] { SMS s; s.SendSMSUnicode(number, "00480069"); }},
      {"send-long", 14, 7, "", none, [&] { SMS s; s.SendLMSText(number, std::string(200, 'x'), 7); }},
      {"report-on", 15, 0, "", none, [] { SMS s; s.DeliveryReportOn(); }},
      {"report-off", 16, 0, "", none, [] { SMS s; s.DeliveryReportOff(); }},
      {"report-get", 17, 0, "", report_waiting, [] { SMS s; s.GetDeliveryReport(); }},
      {"online", 18, 7, R"({"calls": {"*": {"behaviour": "ring"}}})", none,
       [&] { SMS s; std::string n = number; std::int16_t w = 5; s.IsOnline(n, w); }},
      {"stk-status", 19, 0, "", stk_to({2}), [] { SIMToolKit().STKStatusGet(); }},
      {"stk-menu", 20, 0, "", [] { SIMToolKit().ActivateSTK(); }, [] { SIMToolKit().MainMenuDisplay(); }},
      {"stk-select", 21, 2, "", [] { SIMToolKit t; t.ActivateSTK(); t.MainMenuDisplay(); },
       [] { SIMToolKit().MainMenuSelect(2); }},
      {"stk-submenu", 22, 0, "", stk_to({2}), [] { SIMToolKit().SubMenuDisplay(); }},
      {"stk-subselect", 23, 2, "", [=] { stk_to({2})(); SIMToolKit().SubMenuDisplay(); },
       [] { SIMToolKit().SubMenuSelect(2); }},
      {"stk-input", 24, 0, "", stk_to({2, 2}), [] { SIMToolKit().InputRequestDisplay(); }},
      {"stk-submit", 25, 0, "", [=] { stk_to({2, 2})(); SIMToolKit().InputRequestDisplay(); },
       [] { SIMToolKit().InputSubmit("1234"); }},
      {"stk-response", 26, 0, "", stk_to({1}), [] { SIMToolKit().ResponseDisplay(); }},
      {"stk-confirm", 25, 1, "", [=] { stk_to({1})(); SIMToolKit().ResponseDisplay(); },
       [] { SIMToolKit().InputSubmit("ok"); }},
      {"stk-sms", 27, 0, "", stk_to({3}), [] { SIMToolKit().SMSSentDisplay(); }},
      {"stk-activate", 28, 0, "", none, [] { SIMToolKit().ActivateSTK(); }},
      {"stk-close", 29, 0, "", stk_to({2}), [] { SIMToolKit().CloseSTK(); }},
      {"stk-deactivate", 30, 0, "", [] { SIMToolKit().ActivateSTK(); }, [] { SIMToolKit().DeactivateSTK(); }},
      {"ussd", 31, 0, "", none, [] { USSD().Send("*100#"); }},
      {"ussd-listen", 32, 4, R"({"ussd_notifications": [{"at_ms": 40000, "text": "Credit low"}]})", none,
       [] { USSD().USSDListen(3); }},
      {"ussd-cancel", 33, 0, "", [] { USSD().Send("*101#"); }, [] { USSD().Cancel(); }},
      {"book-size", 34, 0, with_entry, none, [] { Phonebook().TotalSpace(); }},
      {"book-used", 35, 0, with_entry, none, [] { Phonebook().TotalUsed(); }},
      {"book-delete", 36, 3, with_entry, none, [] { Phonebook().PhonebookDelete(3); }},
      {"book-write", 37, 5, with_entry, none, [&] { Phonebook().PhonebookWrite(5, number, "Anna"); }},
      {"book-read", 38, 3, with_entry, none, [] { Phonebook().PhonebookRead(3); }},
  };
  int written = 0;
  for (const Seed& seed : seeds) {
    auto platform = std::make_shared<platform::VirtualPlatform>();
    const auto folder = std::filesystem::temp_directory_path() / "quandelstk-seeds";
    std::filesystem::create_directories(folder);
    platform->SetFolders(folder.string(), folder.string());
    auto sim = std::make_shared<modemsim::VirtualModem>(
        seed.scenario.empty() ? modemsim::Scenario() : modemsim::LoadScenarioText(seed.scenario));
    auto recorder = std::make_shared<Recorder>(sim);
    platform->Attach(1, recorder);
    ScopedPlatform scope(platform);
    channel::CurrentSession().ModemMaker.clear();
    if (seed.init_first) {
      Modem().Init(1);
      seed.setup();
      platform->Advance(40000);  // lets what the setup set going arrive before the call
      channel::Gsm().Input();
    }
    recorder->recording = true;
    seed.run();
    std::string bytes = {static_cast<char>(seed.call), static_cast<char>(seed.arg)};
    bytes += recorder->script;
    std::ofstream(out / seed.name, std::ios::binary) << bytes;
    keeper.reset();
    ++written;
  }
  std::printf("%d seeds in %s\n", written, out.c_str());
  return 0;
}
