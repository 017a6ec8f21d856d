// Short messages: storages, text and PDU mode, listing, reading, deleting and sending, the
// loop-back of messages to the SIM's own number and the status reports of the network.
#include "modemsim/gsm_text.hpp"
#include "modemsim/services.hpp"

namespace quandelstk::modemsim {

namespace {

using Kind = Command::Kind;

constexpr const char* kStatusNames[] = {"REC UNREAD", "REC READ", "STO UNSENT", "STO SENT"};

std::string Q(const std::string& s) {
  return "\"" + s + "\"";
}
std::string N(int n) {
  return std::to_string(n);
}

std::string Digits(const std::string& number) {
  std::string out;
  for (char c : number)
    if (c >= '0' && c <= '9') out += c;
  return out;
}

// A setting that takes numbers in a range and reads them back as "+NAME: a,b,...".
CommandSpec NumberSetting(const std::string& name, std::vector<int>& values, std::vector<int> max) {
  return {[&values, name, max](const Command& c, Reply& r) {
    auto text = [&] {
      std::string s = name + ": ";
      for (std::size_t k = 0; k < values.size(); ++k) s += (k ? "," : "") + N(values[k]);
      return s;
    };
    if (c.kind == Kind::kRead) r.lines.push_back(text());
    if (c.kind != Kind::kSet) return;
    const auto params = c.Params();
    std::vector<int> next = values;
    for (std::size_t k = 0; k < params.size(); ++k) {
      if (params[k].empty()) continue;
      const auto v = c.Number(k);
      if (k >= max.size() || !v || *v > max[k]) {
        r.final = Core::CmsError(302);
        return;
      }
      next[k] = *v;
    }
    if (params.empty())
      r.final = Core::CmsError(302);
    else
      values = next;
  }};
}

}  // namespace

MessagingService::MessagingService(Core& core)
    : Service(core),
      smsc_(Address::FromText(core.scenario.sim.smsc)) {
  const auto& sms = core.scenario.sms;
  for (const auto& [name, capacity] : sms.capacity) stores_[name] = MessageStore{name, capacity, {}};
  for (bool explicit_index : {true, false})
    for (const StoredSpec& m : sms.messages) {
      if ((m.index != 0) != explicit_index) continue;
      MessageStore& store = stores_.at(m.storage);
      const int index = m.index ? m.index : FreeIndex(store);
      if (index == 0)
        throw ScenarioError("scenario: key \"sms.messages\": more messages than \"" + m.storage + "\" holds");
      store.messages[index] = StoredMessage{index, m.status, m.pdu};
    }
  for (const auto& [at, pdu] : sms.deliveries)
    core.At(at, [this, pdu = pdu] { Receive(pdu, false); });
}

int MessagingService::FreeIndex(const MessageStore& store) {
  for (int i = 1; i <= store.capacity; ++i)
    if (!store.messages.count(i)) return i;
  return 0;
}

void MessagingService::Reset() {
  cmgf_ = csdh_ = 0;
  cnmi_ = {0, 0, 0, 0, 0};
  csmp_ = {17, 167, 0, 0};
}

void MessagingService::Note(const std::string& what, const std::string& storage, int index) {
  journal_.push_back(StoreEvent{core_.Now(), what, storage, index});
}

void MessagingService::Register(CommandTable& t) {
  t["+CSMS"] = {[this](const Command& c, Reply& r) {
    if (c.kind == Kind::kRead) r.lines.push_back("+CSMS: 0,1,1,1");
    if (c.kind == Kind::kTest) r.lines.push_back("+CSMS: (0,1)");
    if (c.kind != Kind::kSet) return;
    if (!c.Number(0) || *c.Number(0) > 1) {
      r.final = Core::CmsError(302);
    } else if (core_.csms_refusals_left > 0) {
      --core_.csms_refusals_left;  // still starting up
      r.final = Core::CmsError(515);
    } else {
      r.lines.push_back("+CSMS: 1,1,1");
    }
  }};
  auto flag = [this](const std::string& name, int& value) -> CommandSpec {
    return {[this, name, &value](const Command& c, Reply& r) {
      if (c.kind == Kind::kRead) r.lines.push_back(name + ": " + N(value));
      if (c.kind == Kind::kTest) r.lines.push_back(name + ": (0,1)");
      if (c.kind != Kind::kSet) return;
      if (c.Number(0) && *c.Number(0) <= 1)
        value = *c.Number(0);
      else
        r.final = core_.CmeError(3);
    }};
  };
  t["+CMGF"] = flag("+CMGF", cmgf_);
  t["+CSDH"] = flag("+CSDH", csdh_);
  t["+CNMI"] = NumberSetting("+CNMI", cnmi_, {3, 3, 3, 2, 1});
  t["+CSMP"] = NumberSetting("+CSMP", csmp_, {255, 255, 255, 255});
  t["+CMMS"] = {[this](const Command& c, Reply& r) {
    if (c.kind == Kind::kRead) r.lines.push_back("+CMMS: " + N(cmms_));
    if (c.kind == Kind::kSet) {
      if (c.Number(0) && *c.Number(0) <= 2)
        cmms_ = *c.Number(0);
      else
        r.final = Core::CmsError(302);
    }
  }};
  t["+CSCA"] = {[this](const Command& c, Reply& r) {
                  if (c.kind == Kind::kRead)
                    r.lines.push_back("+CSCA: " + Q(smsc_.number) + "," + N(smsc_.type));
                  if (c.kind == Kind::kSet) {
                    smsc_ = Address::FromText(c.Text(0));
                    if (c.Number(1)) smsc_.type = *c.Number(1);
                  }
                },
                SimGate::kCms};
  t["+CPMS"] = {[this](const Command& c, Reply& r) { Storage(c, r); }, SimGate::kCms};
  t["+CMGL"] = {[this](const Command& c, Reply& r) { List(c, r); }, SimGate::kCms};
  t["+CMGR"] = {[this](const Command& c, Reply& r) { Read(c, r); }, SimGate::kCms};
  t["+CMGD"] = {[this](const Command& c, Reply& r) { Delete(c, r); }, SimGate::kCms};
  t["+CMGS"] = {[this](const Command& c, Reply& r) { SendCommand(c, r); }, SimGate::kCms};
}

void MessagingService::Storage(const Command& c, Reply& r) {
  auto counts = [this](const std::string& name) {
    return N(static_cast<int>(stores_.at(name).messages.size())) + "," + N(stores_.at(name).capacity);
  };
  if (c.kind == Kind::kTest)
    r.lines.push_back("+CPMS: (\"SM\",\"ME\",\"SR\"),(\"SM\",\"ME\"),(\"SM\",\"ME\")");
  if (c.kind == Kind::kRead)
    r.lines.push_back("+CPMS: " + Q(mem_[0]) + "," + counts(mem_[0]) + "," + Q(mem_[1]) + "," +
                      counts(mem_[1]) + "," + Q(mem_[2]) + "," + counts(mem_[2]));
  if (c.kind != Kind::kSet) return;
  const std::size_t n = c.Params().size();
  for (std::size_t k = 0; k < 3 && k < n; ++k) {
    const std::string name = c.Text(k);
    if (!stores_.count(name) || (k > 0 && name == "SR") || n > 3) {
      r.final = Core::CmsError(302);
      return;
    }
  }
  for (std::size_t k = 0; k < n; ++k) mem_[k] = c.Text(k);
  r.lines.push_back("+CPMS: " + counts(mem_[0]) + "," + counts(mem_[1]) + "," + counts(mem_[2]));
}

std::vector<std::string> MessagingService::Show(const StoredMessage& m, const std::string& head) const {
  const Pdu p = DecodePdu(m.pdu);
  const Tpdu& t = p.tpdu;
  if (cmgf_ == 0) {
    const int sca_octets = 1 + std::stoi(m.pdu.substr(0, 2), nullptr, 16);
    return {head + N(m.status) + ",," + N(static_cast<int>(m.pdu.size() / 2) - sca_octets), m.pdu};
  }
  const bool listing = head.rfind("+CMGL", 0) == 0;
  const std::string stat = Q(kStatusNames[m.status]);
  if (t.type == PduType::kStatusReport)
    return {head + stat + "," + N(t.first_octet) + "," + N(t.reference) + "," + Q(t.address.number) + "," +
            N(t.address.type) + "," + Q(t.scts.Text()) + "," + Q(t.discharge.Text()) + "," + N(t.status)};
  UserData u;
  try {
    u = t.Decoded();
  } catch (const PduError&) {
  }
  const bool gsm = AlphabetOf(t.dcs) == Alphabet::kGsm7;
  const std::string body = gsm ? core_.ToTe(u.text) : ToHex(u.octets);
  const std::string length = N(static_cast<int>(gsm ? u.text.size() : u.octets.size()));
  std::string line = head + stat + "," + Q(t.address.number) + ",";
  if (t.type == PduType::kDeliver) {
    line += "," + Q(t.scts.Text());
    if (csdh_ && listing) line += "," + N(t.address.type) + "," + length;
    if (csdh_ && !listing)
      line += "," + N(t.address.type) + "," + N(t.first_octet) + "," + N(t.pid) + "," + N(t.dcs) + "," +
              Q(p.smsc.number) + "," + N(p.smsc.type) + "," + length;
  } else {
    if (listing) line += ",";
    if (csdh_ && listing) line += "," + N(t.address.type) + "," + length;
    const std::string vp = t.validity.size() == 1 ? N(static_cast<unsigned char>(t.validity[0])) : "";
    if (csdh_ && !listing)
      line += "," + N(t.address.type) + "," + N(t.first_octet) + "," + N(t.pid) + "," + N(t.dcs) + "," + vp +
              "," + Q(p.smsc.number) + "," + N(p.smsc.type) + "," + length;
  }
  return {line, body};
}

void MessagingService::List(const Command& c, Reply& r) {
  int filter = 0;
  if (c.kind == Kind::kTest) {
    r.lines.push_back(cmgf_ ? "+CMGL: (\"REC UNREAD\",\"REC READ\",\"STO UNSENT\",\"STO SENT\",\"ALL\")"
                            : "+CMGL: (0-4)");
    return;
  }
  if (c.kind == Kind::kSet) {
    const auto params = c.Params();
    if (params.empty()) {
      filter = -1;
    } else if (cmgf_ == 1) {
      filter = -1;
      for (int k = 0; k < 4; ++k)
        if (params[0] == Q(kStatusNames[k])) filter = k;
      if (params[0] == "\"ALL\"") filter = 4;
    } else {
      filter = c.Number(0) && *c.Number(0) <= 4 ? *c.Number(0) : -1;
    }
    if (filter < 0) {
      r.final = Core::CmsError(302);
      return;
    }
  }
  MessageStore& store = Mem(0);
  for (auto& [index, m] : store.messages) {
    if (filter != 4 && m.status != filter) continue;
    for (std::string& line : Show(m, "+CMGL: " + N(index) + ",")) r.lines.push_back(std::move(line));
    Note("listed", store.name, index);
    if (m.status == 0) m.status = 1;  // listing marks a received message read
  }
}

void MessagingService::Read(const Command& c, Reply& r) {
  if (c.kind == Kind::kTest) return;
  MessageStore& store = Mem(0);
  const auto index = c.Number(0);
  auto it = index ? store.messages.find(*index) : store.messages.end();
  if (c.kind != Kind::kSet || it == store.messages.end()) {
    r.final = Core::CmsError(321);
    return;
  }
  for (std::string& line : Show(it->second, "+CMGR: ")) r.lines.push_back(std::move(line));
  Note("read", store.name, *index);
  if (it->second.status == 0) it->second.status = 1;
}

void MessagingService::Delete(const Command& c, Reply& r) {
  MessageStore& store = Mem(0);
  if (c.kind == Kind::kTest) r.lines.push_back("+CMGD: (1-" + N(store.capacity) + "),(0-4)");
  if (c.kind == Kind::kTest) return;
  const auto index = c.Number(0);
  const int flag = c.Number(1).value_or(0);
  if (c.kind != Kind::kSet || flag > 4 || (flag == 0 && (!index || *index < 1 || *index > store.capacity))) {
    r.final = Core::CmsError(flag > 4 ? 302 : 321);
    return;
  }
  if (flag == 0) {
    if (store.messages.erase(*index))
      Note("deleted", store.name, *index);
    else if (!core_.scenario.sms.delete_empty_ok)
      r.final = Core::CmsError(321);
    return;
  }
  // 1 read, 2 read and sent, 3 read, sent and unsent, 4 all
  for (auto it = store.messages.begin(); it != store.messages.end();) {
    const int s = it->second.status;
    const bool gone = flag == 4 || s == 1 || (flag >= 2 && s == 3) || (flag == 3 && s == 2);
    if (gone) Note("deleted", store.name, it->first);
    it = gone ? store.messages.erase(it) : std::next(it);
  }
}

void MessagingService::SendCommand(const Command& c, Reply& r) {
  if (c.kind == Kind::kTest) return;
  if (c.kind != Kind::kSet || c.Params().empty()) {
    r.final = Core::CmsError(cmgf_ ? 305 : 304);
    return;
  }
  r.final.clear();
  if (cmgf_ == 1) {
    Address to = Address::FromText(c.Text(0));
    if (c.Number(1)) to.type = *c.Number(1);
    r.body = [this, to](const std::string& body, bool cancelled) {
      return cancelled ? Reply() : TextBody(to, body);
    };
    return;
  }
  const auto length = c.Number(0);
  if (!length || *length < 7 || *length > 176) {
    r.final = Core::CmsError(304);
    return;
  }
  r.body = [this, n = *length](const std::string& body, bool cancelled) {
    return cancelled ? Reply() : PduBody(n, body);
  };
}

Reply MessagingService::TextBody(const Address& to, const std::string& body) {
  Pdu p;
  Tpdu& t = p.tpdu;
  t.type = PduType::kSubmit;
  t.first_octet = (csmp_[0] & ~3) | 1;
  t.address = to;
  t.pid = csmp_[2];
  t.dcs = csmp_[3];
  const int vpf = (t.first_octet >> 3) & 3;
  if (vpf == 2) t.validity = std::string(1, static_cast<char>(csmp_[1]));
  if (vpf == 1 || vpf == 3) t.validity = std::string(7, '\0');
  Reply error;
  error.final = Core::CmsError(305);
  if (AlphabetOf(t.dcs) == Alphabet::kGsm7) {
    const Septets septets = ToGsmSeptetsLossy(Utf8ToUtf16(core_.FromTe(body)));
    if (septets.size() > 160) return error;
    t.ud = PackSeptets(septets);
    t.udl = static_cast<int>(septets.size());
  } else {
    const auto octets = FromHex(body);
    if (!octets || octets->size() > 140) return error;
    t.ud = *octets;
    t.udl = static_cast<int>(octets->size());
  }
  return Submit(p);
}

Reply MessagingService::PduBody(int length, const std::string& body) {
  std::string hex;
  for (char ch : body)
    if (ch != '\r' && ch != '\n' && ch != ' ') hex += ch;
  Reply error;
  error.final = Core::CmsError(304);
  const auto octets = FromHex(hex);
  if (!octets || octets->empty()) return error;
  const int sca_octets = 1 + static_cast<unsigned char>((*octets)[0]);
  if (static_cast<int>(octets->size()) - sca_octets != length) return error;
  try {
    const Pdu p = DecodePdu(hex);
    if (p.tpdu.type != PduType::kSubmit) return error;
    p.tpdu.Decoded();
    return Submit(p);
  } catch (const PduError&) {
    return error;
  }
}

Reply MessagingService::Submit(const Pdu& submitted) {
  Reply r;
  const Address centre = submitted.smsc.number.empty() ? smsc_ : submitted.smsc;
  if (!core_.Registered() || centre.number.empty()) {
    r.final = Core::CmsError(core_.Registered() ? 330 : 331);
    return r;
  }
  Tpdu t = submitted.tpdu;
  t.reference = next_reference_;
  next_reference_ = (next_reference_ + 1) % 256;
  const UserData u = t.Decoded();
  const bool eight_bit = AlphabetOf(t.dcs) == Alphabet::kEight;
  sent_.push_back(SentMessage{t.reference, t.address, eight_bit ? ToHex(u.octets) : Utf16ToUtf8(u.text),
                              u.concat, t.RequestsReport(), EncodePdu(Pdu{submitted.smsc, t}), core_.Now()});
  const auto& sms = core_.scenario.sms;
  const std::string own = Digits(core_.scenario.sim.msisdn);
  if (!own.empty() && Digits(t.address.number) == own) {
    Pdu deliver{centre, {}};
    deliver.tpdu = t;
    deliver.tpdu.type = PduType::kDeliver;
    deliver.tpdu.first_octet = 0x04 | (t.first_octet & 0x40);  // no more messages to send, header kept
    deliver.tpdu.address = Address::FromText(core_.scenario.sim.msisdn);
    core_.At(core_.Now() + sms.loopback_delay_ms, [this, deliver]() mutable {
      deliver.tpdu.scts = core_.NetworkTime();
      Receive(EncodePdu(deliver), false);
    });
  }
  if (t.RequestsReport()) {
    Pdu report{centre, {}};
    report.tpdu.type = PduType::kStatusReport;
    report.tpdu.first_octet = 0x06;
    report.tpdu.reference = t.reference;
    report.tpdu.address = t.address;
    report.tpdu.scts = core_.NetworkTime();
    report.tpdu.status = sms.report_status;
    core_.At(core_.Now() + sms.report_delay_ms, [this, report]() mutable {
      report.tpdu.discharge = core_.NetworkTime();
      Receive(EncodePdu(report), true);
    });
  }
  r.lines.push_back("+CMGS: " + N(t.reference));
  return r;
}

// A message or a status report arrives from the network: shown at once or stored and announced,
// as AT+CNMI asks. Mode 0 keeps indications in the modem (here: they are not shown).
void MessagingService::Receive(const std::string& pdu, bool report) {
  const int mode = cnmi_[0], mt = cnmi_[1], ds = cnmi_[3];
  if (mode != 0 && ((report && ds == 1) || (!report && mt == 2))) {
    auto lines = Show(StoredMessage{0, 0, pdu}, "+CMGR: ");
    std::string& head = lines[0];
    const std::string name = report ? "+CDS: " : "+CMT: ";
    head = cmgf_ == 0 && report ? name + head.substr(head.rfind(',') + 1)
                                : name + head.substr(head.find(',') + 1);
    core_.Unsolicited(lines.size() > 1 ? head + "\r\n" + lines[1] : head);
    return;
  }
  MessageStore& store = report ? stores_.at("SR") : Mem(2);
  const int index = FreeIndex(store);
  if (index == 0) {
    Note("lost", store.name, 0);
    return;
  }
  store.messages[index] = StoredMessage{index, 0, pdu};
  Note("stored", store.name, index);
  if (mode != 0 && report && ds == 2) core_.Unsolicited("+CDSI: \"SR\"," + N(index));
  if (mode != 0 && !report && (mt == 1 || mt == 3))
    core_.Unsolicited("+CMTI: " + Q(store.name) + "," + N(index));
}

}  // namespace quandelstk::modemsim
