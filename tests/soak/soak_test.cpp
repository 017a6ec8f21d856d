// The faulty-modem soak: randomised sessions against the simulated modem in virtual time, its faults
// switched on in random mixes (answers in pieces and late, lines of its own inside answers, noise,
// silence, restarts, a device that goes away). Every call of every class must give one of its
// documented values or raise a documented error within its limit; the simulator's journal must show
// no message deleted that the host did not get, no message sent twice by one call, and the PIN
// entered at most once per Init and never on a SIM that waits for its PUK; after the faults end
// the next Init recovers. `make soak` runs 1,000 sessions (QSTK_SOAK_SESSIONS, QSTK_SOAK_SEED).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "modemsim/transcript.hpp"
#include "modemsim/virtual_modem.hpp"
#include "quandelstk/errors.hpp"
#include "quandelstk/modem.hpp"
#include "quandelstk/phonebook.hpp"
#include "quandelstk/sms.hpp"
#include "quandelstk/stk.hpp"
#include "quandelstk/ussd.hpp"
#include "support/exchange_limits.hpp"
#include "support/virtual_session.hpp"

namespace quandelstk::testing {
namespace {

using platform::TimeMs;
using json = nlohmann::json;

int EnvInt(const char* name, int fallback) {
  const char* v = std::getenv(name);
  return v && *v ? std::atoi(v) : fallback;
}

constexpr const char* kPin = "1234";
constexpr TimeMs kFaultsUntilMs = 600'000;

// Passes everything to the simulator and notes each command line with the time and the pauses.
class Listener final : public platform::VirtualDevice {
 public:
  Listener(std::shared_ptr<modemsim::VirtualModem> sim, const platform::VirtualPlatform& clock)
      : sim_(std::move(sim)), clock_(clock) {}
  std::vector<HeardLine> lines;
  std::vector<std::string> transcript;  // what went each way, for the report of a failing session

  void Open(const std::string& s, TimeMs now) override { sim_->Open(s, now); }
  void Settings(const std::string& s, TimeMs now) override { sim_->Settings(s, now); }
  void Close(TimeMs now) override { sim_->Close(now); }
  void Receive(std::string_view bytes, TimeMs now) override {
    for (char c : bytes) {
      if (c != '\r') {
        partial_ += c;
      } else if (!partial_.empty()) {
        lines.push_back({now, clock_.SleptMs(), partial_});
        transcript.push_back(std::to_string(now) + " -> " +
                             modemsim::EscapeBytes(std::exchange(partial_, "")));
      }
    }
    sim_->Receive(bytes, now);
  }
  std::string Transmit(TimeMs now) override {
    std::string out = sim_->Transmit(now);
    if (!out.empty()) transcript.push_back(std::to_string(now) + " <- " + modemsim::EscapeBytes(out));
    return out;
  }
  std::optional<TimeMs> NextOutputAt() const override { return sim_->NextOutputAt(); }
  bool Present(TimeMs now) const override { return sim_->Present(now); }

 private:
  std::shared_ptr<modemsim::VirtualModem> sim_;
  const platform::VirtualPlatform& clock_;
  std::string partial_;
};

struct Stored {
  int index;
  std::string from, text;
};

// One session's scenario: the faults and the SIM drawn from its seed.
json DrawScenario(std::mt19937& rng, std::vector<Stored>& messages, std::string& pin, std::string& mix) {
  auto chance = [&](double p) { return std::uniform_real_distribution<>(0, 1)(rng) < p; };
  auto between = [&](int lo, int hi) { return std::uniform_int_distribution<>(lo, hi)(rng); };
  json s = json::object();
  json faults = {{"until_ms", kFaultsUntilMs}};
  if (chance(0.5)) {
    // Pieces of one line come less than a poll apart, as on any working line: a line that stops
    // for longer mid-way is taken as complete at the pause (so an answer always cut at the same
    // place never settles, by design), which is the exchange's contract, not a fault of the host.
    s["chunking"] = {{"*", {{"size", between(1, 16)}, {"gap_ms", between(0, 90)}}}};
    mix += " pieces";
  }
  if (chance(0.4)) {
    // A slow modem: the answer late, its final result less than a poll after its lines. A final
    // result a poll or more behind an information line is taken by the next command (the exchange
    // ends on the line), and every answer after it is one behind: outside the exchange's contract.
    const int ms = between(0, 1500);
    s["delays"] = {{"*", {{"ms", ms}, {"final_ms", ms + between(0, 80)}}}};
    mix += " late";
  }
  if (chance(0.5)) {
    faults["interleave"] = {{"every", between(2, 6)},
                            {"lines",
                             {"+CMTI: \"SM\",1", "RING", "+CUSD: 0,\"Promotion\",15",
                              "+CDS: 6,3,\"+15550100456\",145,\"26/12/04,10:00:00+04\",\"26/12/04,10:00:02+04\",0",
                              "^BOOT:20165472,0,0,0,6"}}};
    mix += " unsolicited";
  }
  if (chance(0.4)) {
    std::string noise;
    // Any byte but a line end (the JSON text carries bytes above 127 as UTF-8 pairs).
    for (int i = between(1, 8); i > 0; --i) {
      const int c = between(0, 255);
      if (c == '\r' || c == '\n') noise += '~';
      else if (c < 128) noise += static_cast<char>(c);
      else noise += {static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F))};
    }
    faults["garbage"] = {{"every", between(3, 10)}, {"bytes", noise}};
    mix += " garbage";
  }
  if (chance(0.3)) {
    faults["silence_every"] = between(5, 15);
    mix += " silence";
  }
  if (chance(0.25)) {
    faults["resets_ms"] = {between(1, 300) * 1000};
    mix += " reset";
  }
  if (chance(0.25)) {
    const int from = between(1, 300) * 1000;
    faults["gone"] = {{"from_ms", from}, {"to_ms", from + between(5, 60) * 1000}};
    mix += " gone";
  }
  s["faults"] = faults;

  const int sim = between(0, 9);
  pin = kPin;
  if (sim < 6) {
    s["sim"] = {{"state", "READY"}};
  } else if (sim < 9) {
    s["sim"] = {{"state", "SIM PIN"}, {"pin", kPin}};
    if (chance(0.25)) pin = "0000", mix += " wrong-pin";
  } else {
    s["sim"] = {{"state", "SIM PUK"}};
    mix += " puk";
  }
  json stored = json::array();
  for (int i = 1, n = between(0, 3); i <= n; ++i) {
    messages.push_back({i, "+1555010" + std::to_string(4000 + between(0, 999)),
                        "soak text " + std::to_string(between(0, 1 << 30))});
    stored.push_back({{"index", i}, {"from", messages.back().from}, {"text", messages.back().text},
                      {"time", "26/12/04,09:00:00+04"}});
  }
  s["sms"] = {{"messages", stored}};
  s["phonebook"] = {{"entries", {{{"index", 1}, {"number", "+15550100456"}, {"name", "Anna"}}}}};
  return s;
}

// What the sessions did, so that a run that checked nothing shows it.
struct Tally {
  int calls = 0, deletions_checked = 0, messages_sent = 0, pin_entries = 0, resets = 0, inits_ok = 0;
};

class Session {
 public:
  explicit Session(unsigned seed) : seed_(seed), rng_(seed) {
    scenario_ = DrawScenario(rng_, messages_, pin_, mix_);
    sim_ = std::make_shared<modemsim::VirtualModem>(modemsim::LoadScenarioText(scenario_.dump(), "soak"));
    listener_ = std::make_shared<Listener>(sim_, vs_.Platform());
    vs_.Platform().Attach(2, listener_);
  }

  // Empty when every promise held; else what broke.
  std::string Run(Tally& tally) {
    tally_ = &tally;
    sms_ = std::make_unique<SMS>();
    Call("Init", [&] { InitOnce(pin_); });
    const std::vector<std::pair<const char*, std::function<void()>>> calls = Calls();
    for (int step = 0, n = Between(8, 20); step < n && failures_.empty(); ++step) {
      const auto& [name, run] = calls[Between(0, static_cast<int>(calls.size()) - 1)];
      Call(name, run);
    }
    if (failures_.empty()) Recover();
    tally.resets += Model().Resets();
    tally.pin_entries += static_cast<int>(Model().Device().PinEntries().size());
    tally.messages_sent += static_cast<int>(Model().Messaging().Sent().size());
    tally.deletions_checked += static_cast<int>(got_.size());
    return failures_;
  }

  // The end of the dialogue, for the report of a failing session.
  std::string Tail(std::size_t n) const {
    const auto& t = listener_->transcript;
    std::string out;
    for (std::size_t i = t.size() > n ? t.size() - n : 0; i < t.size(); ++i) out += "    " + t[i] + "\n";
    return out;
  }

  std::string Describe() const {
    return "seed " + std::to_string(seed_) + " (" + (mix_.empty() ? " none" : mix_) +
           " ); replay: QSTK_SOAK_SEED=" + std::to_string(seed_) + " QSTK_SOAK_SESSIONS=1 test_soak";
  }

 private:
  int Between(int lo, int hi) { return std::uniform_int_distribution<>(lo, hi)(rng_); }
  void Broken(const std::string& call, const std::string& what) {
    if (failures_.empty()) failures_ = call + ": " + what;
  }
  const modemsim::Model& Model() const { return sim_->model(); }

  // Runs one call, then checks its time, the documented errors and the journal.
  void Call(const std::string& name, const std::function<void()>& run) {
    auto& p = vs_.Platform();
    const std::size_t first_line = listener_->lines.size();
    const std::size_t journal = Model().Messaging().Journal().size();
    const std::size_t sent = Model().Messaging().Sent().size();
    const TimeMs start = p.NowMs(), slept = p.SleptMs();
    listen_seconds_ = 0;
    ++tally_->calls;
    try {
      run();
    } catch (const RuntimeError& e) {
      // Parse errors of a malformed answer, and the serial errors of a closed or vanished port.
      static const std::set<std::int32_t> documented = {err::kInvalidProcedureCall, err::kOverflow,
                                                        err::kSubscriptOutOfRange, err::kTypeMismatch,
                                                        err::kPortNotOpen,         err::kReadError,
                                                        err::kWriteError};
      if (!trapless_ || !documented.count(e.Number()))
        Broken(name, "raised " + std::to_string(e.Number()) + " (" + e.Description() + ")");
    }
    trapless_ = false;
    // Before its first line a call waits for nothing but its first write.
    const auto& lines = listener_->lines;
    const TimeMs first_at = first_line < lines.size() ? lines[first_line].at_ms : p.NowMs();
    const TimeMs first_slept = first_line < lines.size() ? lines[first_line].slept_ms : p.SleptMs();
    if ((first_at - start) - (first_slept - slept) > SerialControl::kDefaultWriteLimitMs + 600)
      Broken(name, "waited " + std::to_string(first_at - start) + " ms before writing");
    const std::string overrun = OverrunExchange(lines, first_line, p.NowMs(), p.SleptMs(), listen_seconds_);
    if (!overrun.empty()) Broken(name, overrun);
    CheckDeletions(name, journal);
    CheckSends(name, sent);
  }

  // Every message deleted during a call was read by that call into the SMS object.
  void CheckDeletions(const std::string& call, std::size_t from) {
    const auto& journal = Model().Messaging().Journal();
    for (std::size_t i = from; i < journal.size(); ++i) {
      const auto& event = journal[i];
      if (event.what != "deleted" || event.storage != "SM") continue;
      const Stored* m = nullptr;
      for (const Stored& s : messages_)
        if (s.index == event.index) m = &s;
      if (!m) continue;  // nothing of ours was there
      const bool read_call = call == "ReadSMS" || call == "ReadSMSText";
      if (!read_call || sms_->MN() != m->from || sms_->Msg().find(m->text) == std::string::npos)
        Broken(call, "deleted message " + std::to_string(m->index) + " (\"" + m->text + "\") but the host has \"" +
                         sms_->MN() + "\" / \"" + sms_->Msg() + "\"");
      else
        got_.insert(m->index);
    }
  }

  // One call sends each message (each part of a long one) at most once.
  void CheckSends(const std::string& call, std::size_t from) {
    const auto& sent = Model().Messaging().Sent();
    std::set<std::tuple<std::string, std::string, int>> seen;
    for (std::size_t i = from; i < sent.size(); ++i) {
      const int part = sent[i].concat ? sent[i].concat->sequence : 0;
      if (!seen.insert({sent[i].to.number, sent[i].text, part}).second)
        Broken(call, "sent \"" + sent[i].text + "\" twice");
    }
  }

  // Init: at most one PIN entry, and none on a SIM that waits for its PUK.
  InitStatus InitOnce(const std::string& pin) {
    const std::size_t before = Model().Device().PinEntries().size();
    const InitStatus status = Modem().Init(2, pin);
    const auto& entries = Model().Device().PinEntries();
    if (entries.size() - before > 1) Broken("Init", "entered the PIN " + std::to_string(entries.size() - before) + " times");
    for (std::size_t i = before; i < entries.size(); ++i)
      if (entries[i].state_before != "SIM PIN") Broken("Init", "entered a PIN while the SIM was " + entries[i].state_before);
    if (static_cast<int>(status) < 0 || static_cast<int>(status) > 5) Broken("Init", "no InitStatus");
    if (status == InitStatus::OK) ++tally_->inits_ok;
    return status;
  }

  // After the faults: the next Init brings the modem back.
  void Recover() {
    const auto& f = Model().scenario().faults;
    const TimeMs quiet = std::max<TimeMs>(f.until_ms, f.gone_to_ms) + 1000;
    if (vs_.Platform().NowMs() < quiet) vs_.Platform().Advance(quiet - vs_.Platform().NowMs());
    const std::string state = Model().core().sim_state;
    InitStatus expected = InitStatus::OK;
    if (state == "SIM PUK") expected = InitStatus::SIMBlocked;
    if (state == "blocked") expected = InitStatus::SIMError;
    if (state == "SIM PIN" && pin_ != kPin) expected = InitStatus::PINWrong;
    Modem().ShutDown();
    InitStatus got = InitStatus::Fail;
    Call("Init after the faults", [&] { got = InitOnce(pin_); });
    if (got != expected)
      Broken("Init after the faults", "gave " + std::to_string(static_cast<int>(got)) + ", expected " +
                                          std::to_string(static_cast<int>(expected)) + " (SIM " + state + ")");
    if (got == InitStatus::OK && Modem().SignalStrength() != 2) Broken("SignalStrength after the faults", "not 2");
  }

  template <typename F>
  std::function<void()> Trapless(F f) {
    return [this, f] {
      trapless_ = true;
      f();
    };
  }

  std::vector<std::pair<const char*, std::function<void()>>> Calls() {
    auto in = [](int v, int lo, int hi) { return v >= lo && v <= hi; };
    return {
        {"Init", [this] { InitOnce(pin_); }},
        {"ShutDown", [] { Modem().ShutDown(); }},
        {"SignalStrength",
         [this, in] {
           if (!in(Modem().SignalStrength(), -1, 3)) Broken("SignalStrength", "out of range");
         }},
        {"OperatorName", [] { Modem().OperatorName(); }},
        {"IsConnectToGSM", [] { Modem().IsConnectToGSM(); }},
        {"Reboot", Trapless([] { Modem().Reboot(); })},
        {"GetIMSI", Trapless([] { Modem().GetIMSI(); })},
        {"GetMSISDN", Trapless([] { Modem().GetMSISDN(); })},
        {"ReadSMS", [this] { sms_->ReadSMS(); }},
        {"ReadSMSText", [this] { sms_->ReadSMSText(); }},
        {"SendSMS", Trapless([this] { sms_->SendSMS("+15550100456", "soak text mode"); })},
        {"SendSMSText", Trapless([this] { sms_->SendSMSText("+15550100456", "soak 7-bit"); })},
        {"SendSMSUnicode", Trapless([this] { sms_->SendSMSUnicode("+15550100456", "00480069"); })},
        {"SendLMSText", Trapless([this] { sms_->SendLMSText("+15550100456", std::string(200, 'L'), 9); })},
        {"DeliveryReportOn", Trapless([this] { sms_->DeliveryReportOn(); })},
        {"DeliveryReportOff", Trapless([this] { sms_->DeliveryReportOff(); })},
        {"GetDeliveryReport", Trapless([this] { sms_->GetDeliveryReport(); })},
        {"IsOnline", Trapless([this] {
           std::string number = "+15550100456";
           std::int16_t wait = 3;
           sms_->IsOnline(number, wait);
         })},
        {"ActivateSTK", [] { SIMToolKit().ActivateSTK(); }},
        {"STKStatusGet",
         [this, in] {
           const int s = static_cast<int>(stk_.STKStatusGet());
           if (!(in(s, 0, 1) || s == 3 || s == 6 || s == 9 || s == 98 || s == 99 || s == 100))
             Broken("STKStatusGet", "no status");
         }},
        {"MainMenuDisplay", [this] { stk_.MainMenuDisplay(); }},
        {"MainMenuSelect", [this] { stk_.MainMenuSelect(static_cast<std::int16_t>(Between(1, 4))); }},
        {"SubMenuDisplay", [this] { stk_.SubMenuDisplay(); }},
        {"SubMenuSelect", [this] { stk_.SubMenuSelect(static_cast<std::int16_t>(Between(1, 2))); }},
        {"InputRequestDisplay", [this] { stk_.InputRequestDisplay(); }},
        {"InputSubmit", [this] { stk_.InputSubmit(Between(0, 1) ? "1234" : "ok"); }},
        {"ResponseDisplay", [this] { stk_.ResponseDisplay(); }},
        {"SMSSentDisplay", [this] { stk_.SMSSentDisplay(); }},
        {"CloseSTK", [this] { stk_.CloseSTK(); }},
        {"DeactivateSTK", [this] { stk_.DeactivateSTK(); }},
        {"USSD.Send", [] { USSD().Send("*100#"); }},
        {"USSDListen", [this] { USSD().USSDListen(static_cast<std::int16_t>(listen_seconds_ = 2)); }},
        {"USSD.Cancel", [] { USSD().Cancel(); }},
        {"TotalSpace", Trapless([this, in] {
           if (!in(Phonebook().TotalSpace(), -1, 32767)) Broken("TotalSpace", "out of range");
         })},
        {"TotalUsed", Trapless([this, in] {
           if (!in(Phonebook().TotalUsed(), -1, 32767)) Broken("TotalUsed", "out of range");
         })},
        {"PhonebookRead", Trapless([] { Phonebook().PhonebookRead(1); })},
        {"PhonebookWrite", Trapless([] { Phonebook().PhonebookWrite(5, "+15550100789", "Soak"); })},
        {"PhonebookDelete", Trapless([] { Phonebook().PhonebookDelete(5); })},
    };
  }

  unsigned seed_;
  std::mt19937 rng_;
  VirtualSession vs_;
  json scenario_;
  std::vector<Stored> messages_;
  std::string pin_, mix_;
  std::shared_ptr<modemsim::VirtualModem> sim_;
  std::shared_ptr<Listener> listener_;
  std::unique_ptr<SMS> sms_;
  SIMToolKit stk_;
  std::set<int> got_;
  std::string failures_;
  bool trapless_ = false;
  Tally* tally_ = nullptr;
  int listen_seconds_ = 0;
};


// The short form in make test; make soak sets QSTK_SOAK_SESSIONS=1000.
TEST(Soak, EveryPromiseHoldsOnAFaultyModem) {
  const int sessions = EnvInt("QSTK_SOAK_SESSIONS", 200);
  const unsigned first = static_cast<unsigned>(EnvInt("QSTK_SOAK_SEED", 1));
  const auto started = std::chrono::steady_clock::now();
  int failed = 0;
  Tally tally;
  for (int i = 0; i < sessions; ++i) {
    Session session(first + static_cast<unsigned>(i));
    const std::string broken = session.Run(tally);
    if (!broken.empty()) {
      ++failed;
      ADD_FAILURE() << broken << "\n  " << session.Describe() << "\n" << session.Tail(EnvInt("QSTK_SOAK_TAIL", 0));
      if (failed >= 5) break;
    }
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::cout << sessions << " sessions from seed " << first << " in " << seconds << " s, " << failed << " failed: "
            << tally.calls << " calls, " << tally.inits_ok << " Inits OK, " << tally.deletions_checked
            << " messages read and deleted, " << tally.messages_sent << " messages sent, " << tally.pin_entries
            << " PIN entries, " << tally.resets << " modem restarts\n";
  // The faults must leave enough working for the journal checks to mean something.
  if (sessions >= 50) {
    EXPECT_GT(tally.deletions_checked, sessions / 10);
    EXPECT_GT(tally.messages_sent, sessions / 5);
    EXPECT_GT(tally.inits_ok, sessions / 2);
  }
}

}  // namespace
}  // namespace quandelstk::testing
