// Basic settings, identity, SIM PIN/PUK, signal, operator, registration and radio.
#include "modemsim/gsm_text.hpp"
#include "modemsim/services.hpp"

namespace quandelstk::modemsim {

namespace {

using Kind = Command::Kind;

// A command that answers one fixed information line to its execution (identity queries).
CommandSpec Fixed(std::function<std::string()> text, SimGate gate = SimGate::kNone) {
  return {[text](const Command& c, Reply& r) {
            if (c.kind == Kind::kExec) r.lines.push_back(text());
          },
          gate};
}

}  // namespace

void DeviceService::Reset() {
  core_.echo = core_.scenario.echo;
  core_.cmee = core_.scenario.cmee;
  core_.charset = "GSM";
}

void DeviceService::Register(CommandTable& t) {
  const Scenario& s = core_.scenario;
  auto ok = [](const Command&, Reply&) {};
  for (const char* name : {"V", "Q", "X", "L", "M", "&C", "&D", "&K", "&W", "&S"}) t[name] = {ok};
  t["E"] = {[this](const Command& c, Reply&) { core_.echo = c.args != "0"; }};
  t["S"] = {[](const Command& c, Reply& r) {
    if (c.kind == Kind::kRead) r.lines.push_back("000");
  }};
  t["I"] = {[&s](const Command&, Reply& r) {
    r.lines.insert(r.lines.end(), {s.maker, s.model, s.revision});
  }};
  for (const char* name : {"+CGMI", "+GMI"}) t[name] = Fixed([&s] { return s.maker; });
  for (const char* name : {"+CGMM", "+GMM"}) t[name] = Fixed([&s] { return s.model; });
  for (const char* name : {"+CGMR", "+GMR"}) t[name] = Fixed([&s] { return s.revision; });
  for (const char* name : {"+CGSN", "+GSN"}) t[name] = Fixed([&s] { return s.imei; });
  t["+CIMI"] = Fixed([&s] { return s.sim.imsi; }, SimGate::kCme);
  t["+CNUM"] = {[&s](const Command& c, Reply& r) {
                  if (c.kind == Kind::kExec && !s.sim.msisdn.empty())
                    r.lines.push_back("+CNUM: \"\",\"" + s.sim.msisdn + "\"," +
                                      std::to_string(Address::FromText(s.sim.msisdn).type));
                },
                SimGate::kCme};
  t["+CMEE"] = {[this](const Command& c, Reply& r) {
    if (c.kind == Kind::kRead) r.lines.push_back("+CMEE: " + std::to_string(core_.cmee));
    if (c.kind == Kind::kTest) r.lines.push_back("+CMEE: (0-2)");
    if (c.kind != Kind::kSet) return;
    const auto n = c.Number(0);
    if (n && *n <= 2)
      core_.cmee = *n;
    else
      r.final = core_.CmeError(3);
  }};
  t["+CSCS"] = {[this](const Command& c, Reply& r) {
    if (c.kind == Kind::kRead) r.lines.push_back("+CSCS: \"" + core_.charset + "\"");
    if (c.kind == Kind::kTest) r.lines.push_back("+CSCS: (\"GSM\",\"IRA\",\"8859-1\",\"UCS2\")");
    if (c.kind != Kind::kSet) return;
    if (IsKnownCharset(c.Text(0)))
      core_.charset = c.Text(0);
    else
      r.final = core_.CmeError(4);
  }};
  // Settings a modem keeps and reads back without acting on them.
  for (const char* name : {"+IPR", "+VGT", "+VGR", "+CLVL", "+CMUT", "+CRC", "+CLIP", "+CSSN", "+CMER"}) {
    const std::string key = name;
    t[key] = {[this, key](const Command& c, Reply& r) {
      if (c.kind == Kind::kSet) values_[key] = c.args;
      if (c.kind == Kind::kRead) r.lines.push_back(key + ": " + (values_.count(key) ? values_[key] : "0"));
    }};
  }
  t["+CCLK"] = {[this](const Command& c, Reply& r) { Clock(c, r); }};
  t["+CPIN"] = {[this](const Command& c, Reply& r) { Pin(c, r); }};
  RegisterSimSecurity(t);
  t["+CSQ"] = {[&s](const Command& c, Reply& r) {
    if (c.kind == Kind::kExec)
      r.lines.push_back("+CSQ: " + std::to_string(s.network.signal) + "," + std::to_string(s.network.ber));
    if (c.kind == Kind::kTest) r.lines.push_back("+CSQ: (0-31,99),(0-7,99)");
  }};
  t["+COPS"] = {[this](const Command& c, Reply& r) { Operator(c, r); }};
  // Circuit and packet registration read the same; only +CREG reports changes by itself.
  for (const char* name : {"+CREG", "+CGREG"}) {
    const std::string key = name;
    int& mode = key == "+CREG" ? core_.creg_mode : cgreg_mode_;
    t[key] = {[this, &s, key, &mode](const Command& c, Reply& r) {
      if (c.kind == Kind::kTest) r.lines.push_back(key + ": (0-2)");
      if (c.kind == Kind::kSet) {
        const auto n = c.Number(0);
        if (n && *n <= 2)
          mode = *n;
        else
          r.final = core_.CmeError(3);
      }
      if (c.kind != Kind::kRead) return;
      std::string line = key + ": " + std::to_string(mode) + "," + std::to_string(core_.Registration());
      if (mode == 2 && core_.Registered()) {
        line += ",\"" + s.network.lac + "\",\"" + s.network.ci + "\"";
        if (s.network.act >= 0) line += "," + std::to_string(s.network.act);
      }
      r.lines.push_back(line);
    }};
  }
  t["+CGATT"] = {[this](const Command& c, Reply& r) {
    if (c.kind == Kind::kRead) r.lines.push_back(std::string("+CGATT: ") + (core_.Registered() ? "1" : "0"));
  }};
  t["+CFUN"] = {[this](const Command& c, Reply& r) { Radio(c, r); }};
}

void DeviceService::Pin(const Command& c, Reply& r) {
  std::string& state = core_.sim_state;
  if (c.kind == Kind::kTest) return;
  if (c.kind == Kind::kSet) pin_entries_.push_back({core_.Now(), state});
  if (state == "absent") {
    r.final = core_.CmeError(10);
    return;
  }
  if (state == "blocked") {
    r.final = core_.CmeError(13);
    return;
  }
  if (core_.Now() < core_.scenario.sim.busy_ms) {
    r.final = core_.CmeError(515);
    return;
  }
  if (c.kind == Kind::kRead) {
    r.lines.push_back("+CPIN: " + state);
    return;
  }
  if (c.kind != Kind::kSet) {
    r.final = core_.CmeError(3);
    return;
  }
  if (state == "SIM PIN") {
    if (c.Text(0) == pin_) {
      state = "READY";
      pin_attempts_ = core_.scenario.sim.pin_attempts > 0 ? core_.scenario.sim.pin_attempts : 3;
      return;
    }
    if (--pin_attempts_ <= 0) state = "SIM PUK";
    r.final = core_.CmeError(16);
  } else if (state == "SIM PUK") {
    if (c.Text(0) == core_.scenario.sim.puk && !c.Text(1).empty()) {
      state = "READY";
      pin_ = c.Text(1);
      pin_attempts_ = 3;
      puk_attempts_ = 10;
      return;
    }
    if (--puk_attempts_ <= 0) state = "blocked";
    r.final = core_.CmeError(16);
  } else {
    r.final = core_.CmeError(3);  // no PIN is asked for
  }
}

// The SIM's security beyond +CPIN: the tries left (the standard +CPINR and the maker's own form),
// the PIN lock, changing the PIN, and the ICCID (the maker's command and the EF read by +CRSM).
void DeviceService::RegisterSimSecurity(CommandTable& t) {
  const Scenario& s = core_.scenario;
  const bool quectel = s.dialect == "quectel";
  const auto retries = [this](const std::string& code) {
    if (code == "SIM PIN") return pin_attempts_;
    if (code == "SIM PUK") return puk_attempts_;
    return code == "SIM PIN2" ? 3 : 10;
  };
  if (!quectel) {
    t["+CPINR"] = {[retries](const Command& c, Reply& r) {
      if (c.kind != Kind::kExec && c.kind != Kind::kSet) return;
      for (const char* code : {"SIM PIN", "SIM PUK", "SIM PIN2", "SIM PUK2"})
        if (c.kind == Kind::kExec || LineMatches(c.Text(0), code))
          r.lines.push_back(std::string("+CPINR: ") + code + "," + std::to_string(retries(code)) + "," +
                            (std::string(code).find("PUK") != std::string::npos ? "10" : "3"));
    }};
    t["+CPINC"] = {[this](const Command& c, Reply& r) {
      if (c.kind == Kind::kRead || c.kind == Kind::kExec)
        r.lines.push_back("+CPINC: " + std::to_string(pin_attempts_) + ",3," + std::to_string(puk_attempts_) + ",10");
    }};
    t["+CCID"] = Fixed([&s] { return "+CCID: \"" + s.sim.iccid + "\""; }, SimGate::kCme);
  } else {
    t["+QPINC"] = {[this](const Command& c, Reply& r) {
      const std::string sc = "+QPINC: \"SC\"," + std::to_string(pin_attempts_) + "," + std::to_string(puk_attempts_);
      if (c.kind == Kind::kRead) r.lines.insert(r.lines.end(), {sc, "+QPINC: \"P2\",3,10"});
      if (c.kind == Kind::kSet) {
        if (c.Text(0) == "SC") r.lines.push_back(sc);
        else if (c.Text(0) == "P2") r.lines.push_back("+QPINC: \"P2\",3,10");
        else r.final = core_.CmeError(3);
      }
    }};
    t["+QCCID"] = Fixed([&s] { return "+QCCID: " + s.sim.iccid; }, SimGate::kCme);
  }
  t["+CRSM"] = {[&s](const Command& c, Reply& r) {
                  // Only the read of EF ICCID (2FE2): its digits swapped in pairs, F-filled.
                  if (c.kind != Kind::kSet || c.Number(0) != 176 || c.Number(1) != 12258) {
                    r.lines.push_back("+CRSM: 106,130");
                    return;
                  }
                  std::string digits = s.sim.iccid;
                  if (digits.size() % 2) digits += 'F';
                  std::string swapped;
                  for (std::size_t i = 0; i + 1 < digits.size(); i += 2) swapped += std::string{digits[i + 1], digits[i]};
                  r.lines.push_back("+CRSM: 144,0,\"" + swapped + "\"");
                },
                SimGate::kCme};
  t["+CLCK"] = {[this](const Command& c, Reply& r) {
                  if (c.kind == Kind::kTest) r.lines.push_back("+CLCK: (\"SC\")");
                  if (c.kind != Kind::kSet) return;
                  const auto mode = c.Number(1);
                  if (c.Text(0) != "SC" || !mode || *mode > 2) {
                    r.final = core_.CmeError(3);
                    return;
                  }
                  if (*mode == 2) {
                    r.lines.push_back(std::string("+CLCK: ") + (pin_lock_ ? "1" : "0"));
                    return;
                  }
                  if (CheckPin(c.Text(2), r)) pin_lock_ = *mode == 1;
                },
                SimGate::kCme};
  t["+CPWD"] = {[this](const Command& c, Reply& r) {
                  if (c.kind == Kind::kTest) r.lines.push_back("+CPWD: (\"SC\",8),(\"P2\",8)");
                  if (c.kind != Kind::kSet) return;
                  if (c.Text(0) != "SC" || c.Text(2).size() < 4 || c.Text(2).size() > 8) {
                    r.final = core_.CmeError(3);
                    return;
                  }
                  // A SIM with its lock off cannot change the PIN.
                  if (!pin_lock_) {
                    r.final = core_.CmeError(3);
                    return;
                  }
                  if (CheckPin(c.Text(1), r)) pin_ = c.Text(2);
                },
                SimGate::kCme};
}

bool DeviceService::CheckPin(const std::string& given, Reply& r) {
  pin_entries_.push_back({core_.Now(), core_.sim_state});
  if (given == pin_) {
    pin_attempts_ = core_.scenario.sim.pin_attempts > 0 ? core_.scenario.sim.pin_attempts : 3;
    return true;
  }
  if (--pin_attempts_ <= 0) core_.sim_state = "SIM PUK";
  r.final = core_.CmeError(16);
  return false;
}

void DeviceService::Clock(const Command& c, Reply& r) {
  if (c.kind == Kind::kRead) {
    const Timestamp now = clock_set_ ? clock_set_->PlusSeconds((core_.Now() - clock_set_at_) / 1000) : core_.NetworkTime();
    r.lines.push_back("+CCLK: \"" + now.Text() + "\"");
  }
  if (c.kind != Kind::kSet) return;
  const auto t = Timestamp::Parse(c.Text(0));
  if (!t) {
    r.final = core_.CmeError(3);
    return;
  }
  clock_set_ = *t;
  clock_set_at_ = core_.Now();
}

void DeviceService::Operator(const Command& c, Reply& r) {
  const auto& n = core_.scenario.network;
  if (c.kind == Kind::kTest) {
    r.lines.push_back("+COPS: (2,\"" + n.operator_name + "\",\"" + n.operator_name + "\",\"" +
                      n.operator_code + "\"),,(0-4),(0-2)");
  } else if (c.kind == Kind::kRead) {
    if (!core_.Registered()) {
      r.lines.push_back("+COPS: 0");
      return;
    }
    r.lines.push_back("+COPS: 0," + std::to_string(cops_format_) + ",\"" +
                      (cops_format_ == 2 ? n.operator_code : n.operator_name) + "\"" +
                      (n.act >= 0 ? "," + std::to_string(n.act) : ""));
  } else if (c.kind == Kind::kSet) {
    const auto mode = c.Number(0);
    const auto format = c.Number(1);
    if (!mode || *mode > 4 || (format && *format > 2)) {
      r.final = core_.CmeError(3);
      return;
    }
    if (format) cops_format_ = *format;
    if (*mode == 2) core_.deregistered = true;
    if (*mode == 0 || *mode == 1) core_.deregistered = false;
  }
}

void DeviceService::Radio(const Command& c, Reply& r) {
  if (c.kind == Kind::kRead) r.lines.push_back(std::string("+CFUN: ") + (core_.radio_on ? "1" : "0"));
  if (c.kind == Kind::kTest) r.lines.push_back("+CFUN: (0,1)");
  if (c.kind != Kind::kSet) return;
  const auto fun = c.Number(0);
  if (!fun || *fun > 1) {
    r.final = core_.CmeError(3);
    return;
  }
  core_.radio_on = *fun == 1;
  if (*fun == 0) return;
  // A restart: the registration drops and comes back, and whatever waits for a restart happens.
  core_.restart_until = core_.Now() + core_.scenario.network.restart_ms;
  core_.At(core_.restart_until, [this] {
    for (auto& hook : core_.on_restart) hook();
  });
}

}  // namespace quandelstk::modemsim
