// The library's classes on this thread's session: Modem for Init, the messages layer for the
// messages, and plain exchanges for the status queries the gateway shows.
#include "modem_link.hpp"

#include <algorithm>
#include <chrono>
#include <thread>

#include "channel/exchange.hpp"
#include "modemsim/scenario.hpp"
#include "modemsim/virtual_modem.hpp"
#include "platform/default_platform.hpp"
#include "platform/virtual_platform.hpp"
#include "quandelstk/errors.hpp"
#include "quandelstk/modem.hpp"
#include "quandelstk/platform.hpp"

namespace quandelstk::gateway {

namespace {

// The number after "+TAG: " and before the first comma (or the index-th after it).
int Field(const std::string& answer, const std::string& tag, int index) {
  auto at = answer.find(tag);
  if (at == std::string::npos) return -1;
  at += tag.size();
  for (int i = 0; i < index; ++i) {
    at = answer.find(',', at);
    if (at == std::string::npos) return -1;
    ++at;
  }
  try {
    return std::stoi(answer.substr(at));
  } catch (const std::exception&) {
    return -1;
  }
}

std::string Quoted(const std::string& answer, const std::string& tag) {
  const auto at = answer.find(tag);
  if (at == std::string::npos) return "";
  const auto open = answer.find('"', at);
  const auto line_end = answer.find('\r', at);
  if (open == std::string::npos || open > line_end) return "";
  const auto close = answer.find('"', open + 1);
  return close == std::string::npos ? "" : answer.substr(open + 1, close - open - 1);
}

const char* InitStatusText(InitStatus s) {
  switch (s) {
    case InitStatus::OK: return "OK";
    case InitStatus::PINRequired: return "the SIM asks for a PIN and none is configured";
    case InitStatus::PINWrong: return "the SIM refused the PIN";
    case InitStatus::SIMBlocked: return "the SIM is blocked (PUK needed)";
    case InitStatus::SIMError: return "SIM error";
    default: return "the modem did not answer";
  }
}

class LibraryLink final : public ModemLink {
 public:
  LibraryLink(const ModemConfig& config, std::int16_t port) : config_(config), port_(port) {
    const std::string& d = config.device;
    if (d == "sim" || d.rfind("sim:", 0) == 0) {
      modemsim::Scenario scenario = d.size() > 4 ? modemsim::LoadScenarioFile(d.substr(4)) : modemsim::Scenario();
      const std::shared_ptr<Platform> real = platform::DefaultPlatform();
      sim_ = std::make_shared<platform::VirtualPlatform>(real->Now());
      sim_->SetFolders(real->LibraryFolder(), real->LogFolder());
      sim_->SetCodeTableFolders(real->CodeTableFolders());
      sim_->Attach(port_, std::make_shared<modemsim::VirtualModem>(std::move(scenario)));
      scope_ = std::make_unique<ScopedPlatform>(sim_);
    } else if (!d.empty() && d[0] == '/') {
      AssignPort(port_, d);
    } else {
      port_ = static_cast<std::int16_t>(std::stoi(d));
    }
  }
  ~LibraryLink() override { Close(); }

  std::string Open() override {
    Modem().ShutDown();
    CancelPendingBody();
    const InitStatus s = Modem().Init(port_, config_.pin);
    if (s == InitStatus::OK) return "";
    return InitStatusText(s);
  }
  void Close() override { Modem().ShutDown(); }

  bool Alive() override {
    std::string answer;
    try {
      return channel::SendATCommand("AT", answer, 3);
    } catch (const RuntimeError&) {
      return false;
    }
  }

  // A process that died at the "> " prompt leaves the modem taking every command as part of the
  // message body, and Init would never get an answer. ESC ends a body without sending it; the CR
  // after it ends the line, so that a modem at its command prompt reads it as an empty command
  // instead of putting the ESC in front of Init's first "AT".
  void CancelPendingBody() {
    try {
      SerialControl& line = channel::Gsm();
      line.CommPort(port_);
      line.Settings("115200,N,8,1");
      line.PortOpen(true);
      line.Output("\x1B", 1000);
      line.WaitForInput(100);
      line.Output("\r", 1000);
      line.WaitForInput(100);
      line.Input();
      line.PortOpen(false);
    } catch (const RuntimeError&) {
      // no device, or it is busy: Init will say so
    }
  }

  messages::SendResult Send(const std::string& to, const std::string& text, const messages::SendOptions& options,
                            int first_part, const PartSent& on_part) override {
    return SendParts(to, text, options, std::max(first_part, 1), on_part);
  }
  std::vector<messages::AssembledMessage> List() override { return box_.List(); }
  bool Delete(int index, const std::string& storage) override { return box_.Delete(index, storage); }

  // Part by part, with the PDUs the messages layer encodes and the exchange it uses: PDU mode,
  // "AT+CMGS=" with the length, the PDU and Ctrl-Z, then text mode again. The gateway records
  // each part as it goes (on_part), so a send cut short goes on from the part that did not go.
  messages::SendResult SendParts(const std::string& to, const std::string& text,
                                 const messages::SendOptions& options, int first_part, const PartSent& on_part) {
    messages::SendResult r;
    r.plan = messages::Plan(text, options);
    const auto parts = messages::EncodeSubmit(to, text, options, options.reference.value_or(0));
    std::string answer;
    if (!channel::SendATCommand("AT+CMGF=0", answer, 0)) {
      r.error = "the modem refused PDU mode (" + Brief(answer) + ")";
      return r;
    }
    for (const messages::SubmitPart& part : parts) {
      if (part.sequence < first_part) continue;
      const std::string which = "part " + std::to_string(part.sequence) + " of " + std::to_string(parts.size());
      answer.clear();
      if (!channel::SendATForPrompt("AT+CMGS=" + std::to_string(part.tpdu_length), answer, 0)) {
        r.error = which + ": the modem gave no prompt for the message (" + Brief(answer) + ")";
        // A prompt that comes late would take the next command for the message body: ESC ends
        // the body unsent (a modem at its command line ignores it).
        answer.clear();
        channel::SendATCommand("\x1B", answer, 1);
        break;
      }
      answer.clear();
      if (!channel::SendATCommand(part.pdu + "\x1A", answer, 60)) {
        r.error = which + ": the modem refused it (" + Brief(answer) + ")";
        break;
      }
      r.references.push_back(Field(answer, "+CMGS: ", 0));
      bool go_on = true;
      try {
        go_on = !on_part || on_part(part.sequence, r.references.back());
      } catch (...) {
        // Whatever the gateway's record threw, the modem is left in text mode as it was found.
        answer.clear();
        channel::SendATCommand("AT+CMGF=1", answer, 0);
        throw;
      }
      if (!go_on) {
        r.error = which + ": the claim on the message could not be confirmed (passed to another sender, or the "
                          "store is away while stopping); the rest is not sent now";
        break;
      }
    }
    answer.clear();
    channel::SendATCommand("AT+CMGF=1", answer, 0);
    r.ok = r.error.empty();
    return r;
  }

  static std::string Brief(const std::string& answer) {
    std::string out;
    for (const char c : answer) out += (c == '\r' || c == '\n') ? ' ' : c;
    while (!out.empty() && out.back() == ' ') out.pop_back();
    while (!out.empty() && out.front() == ' ') out.erase(0, 1);
    return out.empty() ? "no answer" : out;
  }

  ModemStatus Status() override {
    ModemStatus s;
    std::string answer;
    if (channel::SendATCommand("AT+CSQ", answer, 0)) s.signal = Field(answer, "+CSQ: ", 0);
    answer.clear();
    if (channel::SendATCommand("AT+CREG?", answer, 0)) s.registration = Field(answer, "+CREG: ", 1);
    answer.clear();
    if (channel::SendATCommand("AT+COPS?", answer, 0)) s.operator_name = Quoted(answer, "+COPS: ");
    return s;
  }

  void Idle(std::int64_t ms) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    if (sim_) sim_->Advance(ms);  // the built-in simulator's clock follows the real one
  }

 private:
  ModemConfig config_;
  std::int16_t port_;
  std::shared_ptr<platform::VirtualPlatform> sim_;
  std::unique_ptr<ScopedPlatform> scope_;
  messages::Messages box_;
};

}  // namespace

std::unique_ptr<ModemLink> MakeLibraryLink(const ModemConfig& config, std::int16_t port_number) {
  return std::make_unique<LibraryLink>(config, port_number);
}

}  // namespace quandelstk::gateway
