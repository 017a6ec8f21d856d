// The operator's commands: identify, pin, network, smsc, clock. None of them maps to a class call:
// each asks the modem through the channel's exchange primitives and reads the answers with
// answers.hpp. They open the line without Init, so that they work while the SIM waits for its PIN.
#include <fmt/core.h>

#include <ctime>

#include "answers.hpp"
#include "channel/exchange.hpp"
#include "charset.hpp"
#include "cli.hpp"
#include "interrupt.hpp"
#include "modem_errors.hpp"

namespace quandelstk::cli {

namespace {

using nlohmann::json;

struct Exchange {
  bool ok = false;
  std::string raw;
  std::vector<std::string> lines;
  std::optional<ModemError> error;
};

Exchange Ask(Cli& cli, const std::string& command) {
  Exchange e;
  e.ok = channel::SendATCommand(command, e.raw, cli.Timeout(0));
  e.lines = answers::InfoLines(e.raw, command);
  e.error = ErrorOfAnswer(e.raw);
  return e;
}

json OrNull(const std::optional<std::string>& s) { return s ? json(*s) : json(nullptr); }
json OrNull(const std::optional<int>& n) { return n ? json(*n) : json(nullptr); }
json NonEmpty(const std::string& s) { return s.empty() ? json(nullptr) : json(s); }
std::string Shown(const json& v) { return v.is_null() ? "--" : v.is_string() ? v.get<std::string>() : v.dump(); }

// Numbered error codes for the duration of a command: with AT+CMEE=0 a modem answers a bare
// "ERROR", and the operator learns nothing. The setting is put back as it was.
class NumberedErrors {
 public:
  explicit NumberedErrors(Cli& cli) : cli_(cli) {
    const Exchange e = Ask(cli_, "AT+CMEE?");
    const auto f = answers::LastFields(e.lines, "+CMEE:");
    if (e.ok && f && !f->empty() && (*f)[0].text == "0") changed_ = Ask(cli_, "AT+CMEE=1").ok;
  }
  ~NumberedErrors() {
    if (!changed_) return;
    // After Ctrl-C too: the line would raise Interrupted again before writing, so the signal waits
    // until the setting is back, as HangUpAndClose does.
    const int signal = PendingInterrupt();
    ClearInterrupt();
    try {
      if (channel::IsPortOpen()) Ask(cli_, "AT+CMEE=0");
    } catch (...) {
      // the command's own outcome is what gets reported
    }
    SetPendingInterrupt(signal);
  }

 private:
  Cli& cli_;
  bool changed_ = false;
};

// ---- identify ----

void Identify(Cli& cli) {
  NumberedErrors numbered(cli);
  const auto value = [&](const std::string& command) {
    const Exchange e = Ask(cli, command);
    return e.ok ? NonEmpty(Cp1252ToUtf8(answers::IdentityValue(e.lines))) : json(nullptr);
  };
  json r = {{"maker", value("AT+CGMI")},     {"model", value("AT+CGMM")}, {"revision", value("AT+CGMR")},
            {"imei", value("AT+CGSN")},      {"imsi", nullptr},           {"iccid", nullptr},
            {"ownNumbers", json::array()},   {"sim", nullptr}};
  const Exchange pin = Ask(cli, "AT+CPIN?");
  const auto state = answers::ParsePinState(pin.lines);
  r["sim"] = {{"state", OrNull(state)}, {"error", pin.error ? pin.error->Json() : json(nullptr)}};
  // A SIM that waits for its PIN keeps its numbers to itself.
  if (state == "READY") {
    r["imsi"] = value("AT+CIMI");
    for (const char* command : {"AT+CCID", "AT+QCCID", "AT+ICCID", "AT+CRSM=176,12258,0,0,10"}) {
      const Exchange e = Ask(cli, command);
      if (const auto id = e.ok ? answers::ParseIccid(e.lines) : std::nullopt) {
        r["iccid"] = *id;
        break;
      }
    }
    const Exchange own = Ask(cli, "AT+CNUM");
    for (const std::string& n : answers::ParseOwnNumbers(own.lines)) r["ownNumbers"].push_back(Cp1252ToUtf8(n));
  }
  std::string numbers;
  for (const auto& n : r["ownNumbers"]) numbers += (numbers.empty() ? "" : ", ") + n.get<std::string>();
  std::string sim = state ? *state : "no answer";
  if (pin.error) sim = pin.error->Text();
  const std::string human = fmt::format(
      "Maker        {}\nModel        {}\nRevision     {}\nIMEI         {}\nIMSI         {}\nICCID        {}\n"
      "Own number   {}\nSIM          {}",
      Shown(r["maker"]), Shown(r["model"]), Shown(r["revision"]), Shown(r["imei"]), Shown(r["imsi"]),
      Shown(r["iccid"]), numbers.empty() ? "--" : numbers, sim);
  cli.Report("identify", r, !r["maker"].is_null(), human);
}

// ---- pin ----

json RetriesJson(const answers::PinRetries& r, const std::string& source) {
  return {{"pin", OrNull(r.pin)}, {"puk", OrNull(r.puk)}, {"pin2", OrNull(r.pin2)}, {"puk2", OrNull(r.puk2)},
          {"source", NonEmpty(source)}};
}

// The standard query first, then the makers' own forms; the first that answers counts.
json Retries(Cli& cli) {
  struct Form {
    const char* command;
    answers::PinRetries (*parse)(const std::vector<std::string>&);
  };
  static const Form kForms[] = {{"AT+CPINR", answers::ParseCpinr},
                                {"AT+CPINC?", answers::ParseCpinc},
                                {"AT+QPINC?", answers::ParseQpinc},
                                {"AT+SPIC", answers::ParseSpic},
                                {"AT^CPIN?", answers::ParseHuaweiCpin}};
  for (const Form& form : kForms) {
    const Exchange e = Ask(cli, form.command);
    if (!e.ok) continue;
    const answers::PinRetries r = form.parse(e.lines);
    if (r.Any()) return RetriesJson(r, form.command);
  }
  return RetriesJson({}, "");
}

std::string RetriesText(const json& r) {
  if (r["source"].is_null()) return "tries left: not reported by this modem";
  std::string text = "tries left:";
  for (const char* key : {"pin", "puk", "pin2", "puk2"})
    if (!r[key].is_null()) text += fmt::format(" {} {}", key, r[key].get<int>());
  return text;
}

std::string StateText(const std::optional<std::string>& state) {
  if (!state) return "the SIM's state is unknown";
  if (*state == "READY") return "READY: no PIN is asked for";
  if (*state == "SIM PIN") return "SIM PIN: the SIM waits for its PIN (quandelstk pin enter PIN)";
  if (*state == "SIM PUK") return "SIM PUK: the SIM is blocked and waits for its PUK (quandelstk pin unblock PUK NEWPIN)";
  return *state;
}

struct PinState {
  std::optional<std::string> state;
  std::optional<ModemError> error;
};

PinState ReadPinState(Cli& cli) {
  const Exchange e = Ask(cli, "AT+CPIN?");
  return {answers::ParsePinState(e.lines), e.error};
}

void PinStatus(Cli& cli) {
  NumberedErrors numbered(cli);
  const PinState s = ReadPinState(cli);
  const json retries = Retries(cli);
  json lock = nullptr;
  if (s.state == "READY") {
    const Exchange e = Ask(cli, "AT+CLCK=\"SC\",2");
    if (const auto f = answers::LastFields(e.lines, "+CLCK:"); e.ok && f && !f->empty())
      if (const auto n = answers::Number((*f)[0].text)) lock = *n == 1;
  }
  const json r = {{"state", OrNull(s.state)}, {"retries", retries}, {"lock", lock}};
  const std::string human = fmt::format("{}\n{}\nPIN lock: {}", StateText(s.state), RetriesText(retries),
                                        lock.is_null() ? "--" : lock.get<bool>() ? "on" : "off");
  cli.Report("pin status", r, s.state.has_value(), human, json::object(), json::object(), s.error);
}

// One PIN operation: sent once, whatever the answer. A wrong PIN is never tried again by itself;
// the tries left are shown instead, so the operator decides.
void PinChange(Cli& cli, const std::string& name, const std::string& command, const std::string& done) {
  const Exchange e = Ask(cli, command);
  const json retries = Retries(cli);
  const PinState after = ReadPinState(cli);
  const json r = {{"done", e.ok}, {"state", OrNull(after.state)}, {"retries", retries}};
  const std::string human = e.ok ? fmt::format("true: {}\n{}", done, RetriesText(retries))
                                 : fmt::format("false: refused; not tried again\n{}\n{}", RetriesText(retries),
                                               StateText(after.state));
  cli.Report("pin " + name, r, e.ok, human, json::object(), json::object(), e.error);
}

// What the SIM must be waiting for before an operation is sent; otherwise nothing is sent.
bool Expect(Cli& cli, const std::string& name, const std::string& wanted, const std::string& why) {
  const PinState s = ReadPinState(cli);
  if (s.state == wanted) return true;
  const json r = {{"done", false}, {"state", OrNull(s.state)}, {"retries", Retries(cli)}};
  cli.Report("pin " + name, r, false, fmt::format("false: {}; nothing sent\n{}", why, StateText(s.state)),
             json::object(), json::object(), s.error);
  return false;
}

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

CLI::Validator PinCode(const std::string& what, std::size_t min, std::size_t max) {
  return CLI::Validator(
      [what, min, max](std::string& s) -> std::string {
        if (s.empty() || s.find_first_not_of("0123456789") != std::string::npos || s.size() < min || s.size() > max)
          return fmt::format("a {} is {} to {} digits", what, min, max);  // the value itself is never shown
        return {};
      },
      what);
}

void AddPin(CLI::App& app, Cli& cli) {
  auto* pin = app.add_subcommand(
      "pin", "The SIM PIN: status with the tries left, enter, change, unblock with the PUK, lock on|off. A wrong "
             "PIN is never tried again by itself.");
  pin->require_subcommand(1);
  const auto run = [&cli](const std::string& name, std::function<void()> body) {
    cli.Run("pin " + name, false, [&cli, body] {
      if (!cli.OpenLine()) return;
      NumberedErrors numbered(cli);
      body();
    });
  };

  auto* status = pin->add_subcommand("status", "The SIM's state (READY, SIM PIN, SIM PUK), the tries left for PIN "
                                               "and PUK where the modem reports them, and whether the PIN lock is on");
  status->callback([&cli] {
    cli.Run("pin status", false, [&cli] {
      if (cli.OpenLine()) PinStatus(cli);
    });
  });

  auto* enter = pin->add_subcommand("enter", "Enter the PIN the SIM waits for (once; on a wrong PIN the tries left are "
                                             "shown). Without PIN: --pin, --pin-file or QUANDELSTK_PIN");
  enter->add_option("PIN", "4 to 8 digits")->check(PinCode("PIN", 4, 8));
  enter->callback([run, enter, &cli] {
    run("enter", [enter, &cli] {
      std::string code = enter->get_option("PIN")->count() ? enter->get_option("PIN")->as<std::string>() : cli.Pin();
      if (code.empty()) throw UsageError("no PIN: give PIN, --pin, --pin-file or QUANDELSTK_PIN");
      if (!Expect(cli, "enter", "SIM PIN", "the SIM does not wait for a PIN")) return;
      PinChange(cli, "enter", "AT+CPIN=" + Quoted(code), "the PIN is accepted");
    });
  });

  auto* change = pin->add_subcommand("change", "Change the PIN from OLD to NEW (the PIN lock must be on)");
  change->add_option("OLD", "the PIN now")->required()->check(PinCode("PIN", 4, 8));
  change->add_option("NEW", "the new PIN")->required()->check(PinCode("PIN", 4, 8));
  change->callback([run, change, &cli] {
    run("change", [change, &cli] {
      if (!Expect(cli, "change", "READY", "the SIM must be ready (enter the PIN first)")) return;
      PinChange(cli, "change",
                "AT+CPWD=\"SC\"," + Quoted(change->get_option("OLD")->as<std::string>()) + "," +
                    Quoted(change->get_option("NEW")->as<std::string>()),
                "the PIN is changed");
    });
  });

  auto* unblock = pin->add_subcommand("unblock", "Unblock a SIM that waits for its PUK, setting the PIN to NEWPIN");
  unblock->add_option("PUK", "8 digits")->required()->check(PinCode("PUK", 8, 8));
  unblock->add_option("NEWPIN", "the new PIN")->required()->check(PinCode("PIN", 4, 8));
  unblock->callback([run, unblock, &cli] {
    run("unblock", [unblock, &cli] {
      if (!Expect(cli, "unblock", "SIM PUK", "the SIM does not wait for its PUK")) return;
      PinChange(cli, "unblock",
                "AT+CPIN=" + Quoted(unblock->get_option("PUK")->as<std::string>()) + "," +
                    Quoted(unblock->get_option("NEWPIN")->as<std::string>()),
                "the SIM is unblocked and the new PIN set");
    });
  });

  auto* lock = pin->add_subcommand("lock", "Switch the PIN lock on (the SIM asks for its PIN at every start) or off");
  lock->add_option("WHAT", "on or off")->required()->check(CLI::IsMember({"on", "off"}));
  lock->add_option("PIN", "the PIN; without it: --pin, --pin-file or QUANDELSTK_PIN")->check(PinCode("PIN", 4, 8));
  lock->callback([run, lock, &cli] {
    run("lock", [lock, &cli] {
      const std::string code = lock->get_option("PIN")->count() ? lock->get_option("PIN")->as<std::string>() : cli.Pin();
      if (code.empty()) throw UsageError("no PIN: give PIN, --pin, --pin-file or QUANDELSTK_PIN");
      if (!Expect(cli, "lock", "READY", "the SIM must be ready (enter the PIN first)")) return;
      const bool on = lock->get_option("WHAT")->as<std::string>() == "on";
      PinChange(cli, "lock", fmt::format("AT+CLCK=\"SC\",{},{}", on ? 1 : 0, Quoted(code)),
                on ? "the PIN lock is on" : "the PIN lock is off");
    });
  });
}

// ---- network ----

json HexNumber(const std::string& hex) {
  if (hex.empty() || hex.size() > 8 || hex.find_first_not_of("0123456789ABCDEFabcdef") != std::string::npos)
    return nullptr;
  return {{"hex", hex}, {"value", std::stoul(hex, nullptr, 16)}};
}

// The registration with the area and cell: asked in reporting mode 2, the mode put back after.
std::optional<answers::Registration> ReadRegistration(Cli& cli, std::optional<ModemError>& error) {
  const Exchange first = Ask(cli, "AT+CREG?");
  auto reg = answers::ParseRegistration(first.lines, "+CREG:");
  if (!reg) {
    error = first.error;
    return std::nullopt;
  }
  if (reg->mode == 2) return reg;
  const int mode = reg->mode;
  if (Ask(cli, "AT+CREG=2").ok) {
    if (auto detailed = answers::ParseRegistration(Ask(cli, "AT+CREG?").lines, "+CREG:")) {
      detailed->mode = mode;
      reg = detailed;
    }
    Ask(cli, fmt::format("AT+CREG={}", mode));
  }
  return reg;
}

// The operator in long and in numeric form; the format of AT+COPS? is put back as it was.
json ReadOperator(Cli& cli, int& act) {
  const auto first = answers::ParseOperator(Ask(cli, "AT+COPS?").lines);
  if (!first || first->format < 0) return nullptr;
  if (first->act >= 0) act = first->act;
  std::string name, code;
  for (int format : {0, 2}) {
    std::string text = first->format == format ? first->name : "";
    if (first->format != format && Ask(cli, fmt::format("AT+COPS=3,{}", format)).ok)
      if (const auto o = answers::ParseOperator(Ask(cli, "AT+COPS?").lines)) text = o->name;
    (format == 0 ? name : code) = text;
  }
  if (first->format != 2 || !name.empty()) Ask(cli, fmt::format("AT+COPS=3,{}", first->format));
  const auto plmn = answers::SplitPlmn(code);
  return {{"name", NonEmpty(Cp1252ToUtf8(name))},
          {"code", NonEmpty(code)},
          {"mcc", plmn ? json(plmn->first) : json(nullptr)},
          {"mnc", plmn ? json(plmn->second) : json(nullptr)}};
}

void Network(Cli& cli) {
  NumberedErrors numbered(cli);
  std::optional<ModemError> error;
  const auto reg = ReadRegistration(cli, error);
  int act = reg ? reg->act : -1;
  json op = nullptr;
  if (reg && answers::IsRegistered(reg->state)) op = ReadOperator(cli, act);
  json signal = nullptr;
  if (const auto s = answers::ParseSignal(Ask(cli, "AT+CSQ").lines))
    signal = {{"rssi", s->rssi}, {"dbm", OrNull(answers::RssiDbm(s->rssi))}, {"ber", s->ber},
              {"berText", OrNull(answers::BerText(s->ber))}};
  json r = {{"registration", nullptr}, {"operator", op}, {"accessTechnology", nullptr}, {"signal", signal},
            {"lac", nullptr},          {"cellId", nullptr}};
  if (reg) {
    r["registration"] = {{"state", reg->state}, {"name", answers::RegistrationStateName(reg->state)},
                         {"reportingMode", reg->mode}};
    r["lac"] = HexNumber(reg->lac);
    r["cellId"] = HexNumber(reg->ci);
  }
  if (act >= 0) r["accessTechnology"] = {{"value", act}, {"name", answers::AccessTechnologyName(act)}};
  const auto area = [](const json& v) {
    return v.is_null() ? std::string("--") : fmt::format("{} ({})", v["hex"].get<std::string>(), v["value"].get<unsigned long>());
  };
  const std::string human = fmt::format(
      "Registration  {}\nOperator      {}\nMCC/MNC       {}\nTechnology    {}\nSignal        {}\nLAC           {}\n"
      "Cell id       {}",
      reg ? fmt::format("{} ({})", answers::RegistrationStateName(reg->state), reg->state) : "--",
      op.is_null() ? "--" : Shown(op["name"]),
      op.is_null() || op["mcc"].is_null() ? "--" : fmt::format("{}/{}", Shown(op["mcc"]), Shown(op["mnc"])),
      act >= 0 ? answers::AccessTechnologyName(act) : "--",
      signal.is_null() ? "--"
                       : fmt::format("{}, bit errors {}",
                                     signal["dbm"].is_null() ? "unknown"
                                                             : std::to_string(signal["dbm"].get<int>()) + " dBm",
                                     Shown(signal["berText"]) == "--" ? "unknown" : Shown(signal["berText"])),
      area(r["lac"]), area(r["cellId"]));
  cli.Report("network", r, reg.has_value(), human, json::object(), json::object(), error);
}

// ---- smsc ----

void Smsc(Cli& cli, const std::optional<std::string>& number) {
  NumberedErrors numbered(cli);
  std::optional<ModemError> error;
  bool set_ok = true;
  if (number) {
    const Exchange set = Ask(cli, fmt::format("AT+CSCA=\"{}\",{}", *number, (*number)[0] == '+' ? 145 : 129));
    set_ok = set.ok;
    error = set.error;
  }
  const Exchange read = Ask(cli, "AT+CSCA?");
  const auto centre = answers::ParseServiceCentre(read.lines);
  if (!error) error = read.error;
  const bool ok = set_ok && centre && (!number || centre->number == *number);
  const json r = {{"number", centre ? NonEmpty(Cp1252ToUtf8(centre->number)) : json(nullptr)},
                  {"type", centre && centre->type >= 0 ? json(centre->type) : json(nullptr)},
                  {"set", number ? json(set_ok) : json(nullptr)}};
  std::string human = centre ? fmt::format("{} (type {})", Shown(r["number"]), Shown(r["type"])) : "false: no answer";
  if (number) human = (ok ? "true: set; the service centre is " : "false: not set; the service centre is ") + human;
  cli.Report(number ? "smsc set" : "smsc", r, ok, human, json::object(), json::object(), error);
}

// ---- clock ----

answers::ModemTime HostTime() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  answers::ModemTime t;
  t.year = local.tm_year + 1900, t.month = local.tm_mon + 1, t.day = local.tm_mday;
  t.hour = local.tm_hour, t.minute = local.tm_min, t.second = local.tm_sec;
  t.quarters = static_cast<int>(local.tm_gmtoff / 900);
  return t;
}

void Clock(Cli& cli, bool sync) {
  NumberedErrors numbered(cli);
  std::optional<ModemError> error;
  bool set_ok = true;
  if (sync) {
    const Exchange set = Ask(cli, "AT+CCLK=\"" + answers::ClockText(HostTime()) + "\"");
    set_ok = set.ok;
    error = set.error;
  }
  const Exchange read = Ask(cli, "AT+CCLK?");
  if (!error) error = read.error;
  const auto t = answers::ParseClock(read.lines);
  const auto raw = answers::LastFields(read.lines, "+CCLK:");
  std::string raw_text;
  if (raw)
    for (const auto& f : *raw) raw_text += (raw_text.empty() ? "" : ",") + f.text;
  const json r = {{"raw", NonEmpty(raw_text)},
                  {"iso", t ? json(t->Iso()) : json(nullptr)},
                  {"zone", t && t->quarters ? json(answers::ZoneText(*t->quarters)) : json(nullptr)},
                  {"synced", sync ? json(set_ok) : json(nullptr)}};
  const bool ok = set_ok && t.has_value();
  std::string human = t ? t->Iso() : "false: the modem gave no time";
  if (sync) human = (set_ok ? "true: set from the host's clock; the modem's clock reads " : "false: not set; ") + human;
  cli.Report(sync ? "clock sync" : "clock", r, ok, human, json::object(), json::object(), error);
}

// A command that opens the line itself.
CLI::App* Add(CLI::App& app, Cli& cli, const std::string& name, const std::string& help,
              std::function<void(CLI::App*)> body) {
  auto* cmd = app.add_subcommand(name, help);
  cmd->callback([&cli, name, cmd, body] {
    cli.Run(name, false, [&cli, cmd, body] {
      if (cli.OpenLine()) body(cmd);
    });
  });
  return cmd;
}

}  // namespace

void AddOperatorCommands(CLI::App& app, Cli& cli) {
  Add(app, cli, "identify",
      "What modem and SIM are attached: maker, model, revision, IMEI, IMSI, ICCID, own number, the SIM's state "
      "(works while the SIM waits for its PIN)",
      [&cli](CLI::App*) { Identify(cli); });
  AddPin(app, cli);
  Add(app, cli, "network",
      "Registration in words, operator name and MCC/MNC, access technology, signal in dBm and bit error rate, "
      "LAC and cell id (the reporting and operator formats are put back as they were)",
      [&cli](CLI::App*) { Network(cli); });
  auto* smsc = Add(app, cli, "smsc", "Show the SMS service centre number, or set it to NUMBER",
                   [&cli](CLI::App* cmd) {
                     const auto* n = cmd->get_option("NUMBER");
                     Smsc(cli, n->count() ? std::optional(n->as<std::string>()) : std::nullopt);
                   });
  smsc->add_option("NUMBER", "the new service centre, for example +15550100123")->check(PhoneNumber());
  auto* clock = Add(app, cli, "clock", "The modem's clock; --sync sets it from the host's (local time and zone)",
                    [&cli](CLI::App* cmd) { Clock(cli, cmd->get_option("--sync")->as<bool>()); });
  clock->add_flag("--sync")->description("set the modem's clock from the host's first");
}

}  // namespace quandelstk::cli
