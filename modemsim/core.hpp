// What every part of the simulated modem shares: the scenario, the time, the queue of timed events
// and of bytes to send, the line settings, the SIM and the registration.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "modemsim/scenario.hpp"
#include "modemsim/sms_pdu.hpp"

namespace quandelstk::modemsim {

// One command of a command line: "+CMGS" with kind Set and args "\"+1555\"", "E" with args "0",
// "D" with the dial string.
struct Command {
  enum class Kind { kExec, kRead, kTest, kSet };
  std::string name;  // upper case
  Kind kind = Kind::kExec;
  std::string args;

  // The arguments split at commas outside quotes, blanks trimmed, quotes kept.
  std::vector<std::string> Params() const;
  // Parameter i without its quotes, "" when absent.
  std::string Text(std::size_t i) const;
  // Parameter i as a number; nullopt when absent, empty or not a number.
  std::optional<int> Number(std::size_t i) const;
};

// The modem's answer to one command line.
struct Reply {
  std::vector<std::string> lines;  // information lines
  std::string final = "OK";        // empty when a prompt asks for a body
  // Set: the answer is the prompt "> " and the body up to Ctrl-Z (or ESC: cancelled) goes here.
  std::function<Reply(const std::string& body, bool cancelled)> body;
  // Lines that follow the final result after a delay (a +CUSD result, the next +STIN).
  std::vector<std::pair<TimeMs, std::string>> later;

  bool Ok() const { return final == "OK"; }
};

enum class SimGate { kNone, kCme, kCms };  // a command that needs a ready SIM, and how it says so

struct CommandSpec {
  std::function<void(const Command&, Reply&)> handler;
  SimGate gate = SimGate::kNone;
};
using CommandTable = std::map<std::string, CommandSpec>;

class Core {
 public:
  using EventId = std::uint64_t;

  explicit Core(const Scenario& scenario);

  const Scenario& scenario;

  TimeMs Now() const { return now_; }
  Timestamp NetworkTime() const;

  EventId At(TimeMs when, std::function<void()> action);
  void Cancel(EventId id);
  void Send(TimeMs when, std::string bytes);
  // A line of the modem's own (an indication): it waits for the end of an answer going out in
  // pieces, as a modem's single output line never splits an answer's line with it.
  void Unsolicited(const std::string& line, TimeMs delay = 0);
  // An answer goes out in pieces from `from` to `to`: the modem's own lines wait until after it.
  void Reserve(TimeMs from, TimeMs to);

  std::string CmeError(int code) const;
  static std::string CmsError(int code) { return "+CMS ERROR: " + std::to_string(code); }
  // The error a SIM command gets while the SIM is not ready ("" when it is).
  std::string SimError(SimGate gate) const;

  std::string ToTe(std::u16string_view text) const;
  std::string ToTe(const std::string& utf8) const;
  std::string FromTe(std::string_view bytes) const;  // UTF-8
  // The "GSM" set selected and shown on the line by ISO 8859-1 codes (scenario "gsm_text").
  bool GsmAsLatin1() const;

  // Line settings (ATZ and AT&F bring back the scenario's).
  bool echo;
  int cmee;
  std::string charset = "GSM";

  // "AT+CSMS=0" answers +CMS ERROR: 515 this many more times (the message service is starting up).
  int csms_refusals_left;

  // SIM: "READY", "SIM PIN", "SIM PUK", "absent" or "blocked" (PUK used up).
  std::string sim_state;
  bool SimReady() const { return sim_state == "READY" && now_ >= scenario.sim.busy_ms; }

  // Radio and registration.
  bool radio_on = true;
  bool deregistered = false;  // AT+COPS=2
  TimeMs restart_until = 0;
  int creg_mode = 0;
  int Registration() const;
  bool Registered() const { return Registration() == 1 || Registration() == 5; }
  // Sends +CREG when the registration changed and the host asked for it.
  void NoteRegistration();
  std::vector<std::function<void()>> on_restart;  // after AT+CFUN=1 has finished

  // The event loop, driven by the frontends.
  void RunUntil(TimeMs now);
  std::string TakeOutput(TimeMs now);
  std::optional<TimeMs> NextDue() const;

 private:
  TimeMs now_ = 0;
  EventId next_id_ = 1;
  std::multimap<TimeMs, std::pair<EventId, std::function<void()>>> events_;
  std::multimap<TimeMs, std::string> outbox_;  // equal times keep their order
  std::multimap<TimeMs, std::string> own_lines_;  // the modem's own lines, kept out of answers
  std::vector<std::pair<TimeMs, TimeMs>> answer_spans_;
  TimeMs FreeAt(TimeMs t) const;
  int reported_registration_ = -1;
};

// A group of commands with the state they work on.
class Service {
 public:
  explicit Service(Core& core) : core_(core) {}
  virtual ~Service() = default;
  virtual void Register(CommandTable& table) = 0;
  virtual void Reset() {}  // ATZ, AT&F

 protected:
  Core& core_;
};

}  // namespace quandelstk::modemsim
