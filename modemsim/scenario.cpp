#include "modemsim/scenario.hpp"

#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "modemsim/gsm_text.hpp"
#include "modemsim/sms_pdu.hpp"

namespace quandelstk::modemsim {

namespace {

using json = nlohmann::json;

// Reads one JSON document into a Scenario, naming the key path of anything it cannot use.
class Loader {
 public:
  explicit Loader(std::string origin) : origin_(std::move(origin)) {}

  [[noreturn]] void Fail(const std::string& path, const std::string& what) const {
    throw ScenarioError("scenario " + origin_ + ": key \"" + path + "\": " + what);
  }

  // An object whose keys all belong to the allowed set (an empty set allows any key).
  const json& Object(const json& j, const std::string& path, std::set<std::string> allowed = {}) const {
    if (!j.is_object()) Fail(path, "expected an object");
    for (const auto& [key, value] : j.items())
      if (!allowed.empty() && !allowed.count(key)) Fail(Join(path, key), "unknown key");
    return j;
  }

  static std::string Join(const std::string& path, const std::string& key) {
    return path.empty() ? key : path + "." + key;
  }

  void Get(const json& obj, const std::string& path, const char* key, std::string& out) const {
    if (!obj.contains(key)) return;
    if (!obj[key].is_string()) Fail(Join(path, key), "expected a string");
    out = obj[key].get<std::string>();
  }
  void Get(const json& obj, const std::string& path, const char* key, bool& out) const {
    if (!obj.contains(key)) return;
    if (!obj[key].is_boolean()) Fail(Join(path, key), "expected true or false");
    out = obj[key].get<bool>();
  }
  template <typename Int>
  void Get(const json& obj, const std::string& path, const char* key, Int& out, long long min = 0,
           long long max = 1LL << 40) const {
    if (!obj.contains(key)) return;
    const json& v = obj[key];
    if (!v.is_number_integer() || v.get<long long>() < min || v.get<long long>() > max)
      Fail(Join(path, key),
           "expected a whole number from " + std::to_string(min) + " to " + std::to_string(max));
    out = static_cast<Int>(v.get<long long>());
  }
  void GetTime(const json& obj, const std::string& path, const char* key, std::string& out) const {
    Get(obj, path, key, out);
    if (obj.contains(key) && !Timestamp::Parse(out))
      Fail(Join(path, key), "expected a time yy/MM/dd,hh:mm:ss+zz");
  }

  void Load(const json& root, Scenario& s) const {
    Object(root, "", {"maker",     "model",          "revision", "imei",
                      "echo",      "cmee",           "baud",     "clock",
                      "sim",       "csms_not_ready", "network",  "sms",
                      "phonebook", "calls",          "ussd",     "ussd_notifications",
                      "stk",       "responses",      "silent",   "delays",
                      "chunking",  "unsolicited",    "gsm_text", "faults",
                      "dialect"});
    Get(root, "", "maker", s.maker);
    Get(root, "", "model", s.model);
    Get(root, "", "revision", s.revision);
    Get(root, "", "imei", s.imei);
    Get(root, "", "echo", s.echo);
    Get(root, "", "cmee", s.cmee, 0, 2);
    Get(root, "", "gsm_text", s.gsm_text);
    Get(root, "", "dialect", s.dialect);
    if (s.dialect != "wavecom" && s.dialect != "quectel") Fail("dialect", "expected \"wavecom\" or \"quectel\"");
    if (s.gsm_text != "septets" && s.gsm_text != "latin1")
      Fail("gsm_text", "expected \"septets\" or \"latin1\"");
    if (root.contains("baud")) {
      long baud = 0;
      Get(root, "", "baud", baud, 50, 4000000);
      s.baud = baud;
    }
    GetTime(root, "", "clock", s.clock);
    Get(root, "", "csms_not_ready", s.csms_not_ready, 0, 1000);
    if (root.contains("sim"))
      LoadSim(Object(root["sim"], "sim",
                     {"state", "pin", "puk", "pin_attempts", "puk_attempts", "imsi", "msisdn", "smsc",
                      "busy_ms", "iccid", "pin_lock"}),
              s.sim);
    if (root.contains("network")) LoadNetwork(root["network"], s.network);
    if (root.contains("sms")) LoadSms(root["sms"], s);
    if (root.contains("phonebook")) LoadPhonebook(root["phonebook"], s.phonebook);
    if (root.contains("calls")) LoadCalls(root["calls"], s.calls);
    if (root.contains("ussd")) {
      s.ussd.clear();
      for (const auto& [code, node] : Object(root["ussd"], "ussd").items())
        s.ussd[code] = LoadUssd(node, "ussd." + code);
    }
    if (root.contains("ussd_notifications")) LoadNotifications(root["ussd_notifications"], s);
    if (root.contains("stk")) LoadStk(root["stk"], s.stk);
    if (root.contains("responses"))
      for (const auto& [line, answer] : Object(root["responses"], "responses").items()) {
        if (!answer.is_string()) Fail("responses." + line, "expected a string");
        s.responses[line] = answer.get<std::string>();
      }
    if (root.contains("silent")) {
      if (!root["silent"].is_array()) Fail("silent", "expected a list of command lines");
      for (const auto& line : root["silent"]) {
        if (!line.is_string()) Fail("silent", "expected a list of command lines");
        s.silent.push_back(line.get<std::string>());
      }
    }
    if (root.contains("delays")) LoadDelays(root["delays"], s);
    if (root.contains("chunking"))
      for (const auto& [pattern, c] : Object(root["chunking"], "chunking").items()) {
        const std::string path = "chunking." + pattern;
        Chunking chunking;
        Get(Object(c, path, {"size", "gap_ms"}), path, "size", chunking.size, 1, 1 << 20);
        Get(c, path, "gap_ms", chunking.gap_ms);
        s.chunking.emplace_back(pattern, chunking);
      }
    if (root.contains("unsolicited")) LoadUnsolicited(root["unsolicited"], s);
    if (root.contains("faults")) LoadFaults(root["faults"], s.faults);
  }

 private:
  void LoadSim(const json& j, Scenario::Sim& sim) const {
    Get(j, "sim", "state", sim.state);
    if (sim.state != "READY" && sim.state != "SIM PIN" && sim.state != "SIM PUK" && sim.state != "absent")
      Fail("sim.state", "expected \"READY\", \"SIM PIN\", \"SIM PUK\" or \"absent\"");
    Get(j, "sim", "pin", sim.pin);
    Get(j, "sim", "puk", sim.puk);
    Get(j, "sim", "pin_attempts", sim.pin_attempts, 0, 3);
    Get(j, "sim", "puk_attempts", sim.puk_attempts, 0, 10);
    Get(j, "sim", "imsi", sim.imsi);
    Get(j, "sim", "msisdn", sim.msisdn);
    Get(j, "sim", "smsc", sim.smsc);
    Get(j, "sim", "busy_ms", sim.busy_ms);
    Get(j, "sim", "iccid", sim.iccid);
    Get(j, "sim", "pin_lock", sim.pin_lock);
  }

  void LoadNetwork(const json& j, Scenario::Network& n) const {
    Object(j, "network",
           {"registration", "operator", "operator_code", "signal", "ber", "lac", "ci", "restart_ms", "act"});
    Get(j, "network", "registration", n.registration, 0, 5);
    Get(j, "network", "act", n.act, -1, 13);
    Get(j, "network", "operator", n.operator_name);
    Get(j, "network", "operator_code", n.operator_code);
    Get(j, "network", "signal", n.signal, 0, 99);
    Get(j, "network", "ber", n.ber, 0, 99);
    Get(j, "network", "lac", n.lac);
    Get(j, "network", "ci", n.ci);
    Get(j, "network", "restart_ms", n.restart_ms);
  }

  void LoadSms(const json& j, Scenario& s) const {
    Object(
        j, "sms",
        {"capacity", "messages", "report_delay_ms", "report_status", "loopback_delay_ms", "delete_empty_ok",
         "deliveries"});
    if (j.contains("capacity")) {
      if (j["capacity"].is_object()) {
        for (const auto& [storage, n] : Object(j["capacity"], "sms.capacity", {"SM", "ME", "SR"}).items())
          Get(j["capacity"], "sms.capacity", storage.c_str(), s.sms.capacity[storage], 1, 999);
      } else {
        Get(j, "sms", "capacity", s.sms.capacity["SM"], 1, 999);
      }
    }
    Get(j, "sms", "report_delay_ms", s.sms.report_delay_ms);
    Get(j, "sms", "report_status", s.sms.report_status, 0, 255);
    Get(j, "sms", "loopback_delay_ms", s.sms.loopback_delay_ms);
    Get(j, "sms", "delete_empty_ok", s.sms.delete_empty_ok);
    if (j.contains("deliveries")) LoadDeliveries(j["deliveries"], s);
    if (!j.contains("messages")) return;
    if (!j["messages"].is_array()) Fail("sms.messages", "expected a list");
    std::set<std::pair<std::string, int>> used;
    for (std::size_t i = 0; i < j["messages"].size(); ++i) {
      const std::string path = "sms.messages[" + std::to_string(i) + "]";
      const json& m = Object(j["messages"][i], path,
                             {"storage", "index", "status", "from", "to", "text", "pdu", "time", "smsc"});
      StoredSpec stored;
      Get(m, path, "storage", stored.storage);
      if (!s.sms.capacity.count(stored.storage)) Fail(path + ".storage", "expected \"SM\", \"ME\" or \"SR\"");
      Get(m, path, "index", stored.index, 1, s.sms.capacity[stored.storage]);
      if (stored.index && !used.insert({stored.storage, stored.index}).second) Fail(path + ".index", "used twice");
      stored.status = ReadStatus(m, path);
      stored.pdu = MessagePdu(m, path, stored.status, s);
      s.sms.messages.push_back(stored);
    }
  }

  // {at_ms, gap_ms, from, text, time, reference, wide_reference, order}: the text as one message, or
  // as the parts of a concatenated one when it needs more; order lists the parts in the order they
  // arrive (a part named twice arrives twice, a part left out never). A from that is not a number
  // (+ and digits) is an alphanumeric sender of up to 11 GSM characters; a reference above 255, or
  // wide_reference, travels in the 16-bit concatenation element.
  void LoadDeliveries(const json& list, Scenario& s) const {
    if (!list.is_array()) Fail("sms.deliveries", "expected a list");
    for (std::size_t i = 0; i < list.size(); ++i) {
      const std::string path = "sms.deliveries[" + std::to_string(i) + "]";
      const json& d = Object(list[i], path,
                             {"at_ms", "gap_ms", "from", "text", "time", "reference", "wide_reference", "order"});
      TimeMs at = 0, gap = 200;
      int reference = 1;
      bool wide = false;
      std::string from = "+15550100456", text, time = s.clock;
      Get(d, path, "at_ms", at);
      Get(d, path, "gap_ms", gap);
      Get(d, path, "from", from);
      Get(d, path, "reference", reference, 0, 65535);
      Get(d, path, "wide_reference", wide);
      wide = wide || reference > 255;
      GetTime(d, path, "time", time);
      if (!d.contains("text")) Fail(path, "needs \"text\"");
      Get(d, path, "text", text);
      const Address sender = Sender(from, path + ".from");
      const std::vector<std::u16string> pieces = SplitForParts(Utf8ToUtf16(text), wide);
      std::vector<int> order;
      for (int k = 1; k <= static_cast<int>(pieces.size()); ++k) order.push_back(k);
      if (d.contains("order")) {
        if (!d["order"].is_array()) Fail(path + ".order", "expected a list of part numbers");
        order.clear();
        for (const json& n : d["order"]) {
          if (!n.is_number_integer() || n.get<int>() < 1 || n.get<int>() > static_cast<int>(pieces.size()))
            Fail(path + ".order", "part numbers run from 1 to " + std::to_string(pieces.size()));
          order.push_back(n.get<int>());
        }
      }
      for (const int k : order) {
        Pdu pdu;
        pdu.smsc = Address::FromText(s.sim.smsc);
        pdu.tpdu.type = PduType::kDeliver;
        pdu.tpdu.first_octet = 0x04;
        pdu.tpdu.address = sender;
        pdu.tpdu.scts = *Timestamp::Parse(time);
        std::optional<Concat> concat;
        if (pieces.size() > 1) concat = Concat{reference, static_cast<int>(pieces.size()), k, wide};
        pdu.tpdu.SetText(pieces[static_cast<std::size_t>(k - 1)], concat);
        s.sms.deliveries.emplace_back(at, EncodePdu(pdu));
        at += gap;
      }
    }
  }

  // A sender: a number ("+" and digits, or digits), else an alphanumeric name (type 0xD0) of up to
  // 11 characters of the GSM default alphabet.
  Address Sender(const std::string& from, const std::string& path) const {
    const std::string digits = !from.empty() && from[0] == '+' ? from.substr(1) : from;
    if (!digits.empty() && digits.find_first_not_of("0123456789") == std::string::npos)
      return Address::FromText(from);
    const auto septets = ToGsmSeptets(Utf8ToUtf16(from));
    if (from.empty() || !septets || septets->size() > 11)
      Fail(path, "expected a number, or a name of 1 to 11 characters of the GSM alphabet");
    return Address{from, 0xD0};
  }

  // The pieces of a text, each one part of a concatenated message: 153 septets, or 67 UCS2 units
  // when any character lacks a GSM form (152 and 66 with a 16-bit reference); a character is never
  // cut.
  static std::vector<std::u16string> SplitForParts(const std::u16string& text, bool wide) {
    const bool gsm = ToGsmSeptets(text).has_value();
    const std::size_t whole = gsm ? ToGsmSeptets(text)->size() : text.size();
    if (whole <= (gsm ? 160u : 70u)) return {text};
    const std::size_t room = (gsm ? 153 : 67) - (wide ? 1 : 0);
    std::vector<std::u16string> pieces(1);
    std::size_t used = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
      std::size_t units = 1;
      if (gsm) units = ToGsmSeptets(text.substr(i, 1))->size();
      else if (text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size()) units = 2;
      if (used + units > room) pieces.emplace_back(), used = 0;
      pieces.back() += text.substr(i, units == 2 && !gsm ? 2 : 1);
      used += units;
      if (units == 2 && !gsm) ++i;
    }
    return pieces;
  }

  int ReadStatus(const json& m, const std::string& path) const {
    static const char* kNames[] = {"REC UNREAD", "REC READ", "STO UNSENT", "STO SENT"};
    if (!m.contains("status")) return 0;
    if (m["status"].is_number_integer()) {
      int status = 0;
      Get(m, path, "status", status, 0, 3);
      return status;
    }
    std::string text;
    Get(m, path, "status", text);
    for (int k = 0; k < 4; ++k)
      if (text == kNames[k]) return k;
    Fail(path + ".status", "expected \"REC UNREAD\", \"REC READ\", \"STO UNSENT\", \"STO SENT\" or 0 to 3");
  }

  std::string MessagePdu(const json& m, const std::string& path, int status, const Scenario& s) const {
    if (m.contains("pdu")) {
      std::string hex;
      Get(m, path, "pdu", hex);
      try {
        DecodePdu(hex);
      } catch (const PduError& e) {
        Fail(path + ".pdu", std::string("not a PDU: ") + e.what());
      }
      return hex;
    }
    if (!m.contains("text")) Fail(path, "needs \"text\" or \"pdu\"");
    std::string text, from = "+15550100456", to = "+15550100456", time = s.clock, smsc = s.sim.smsc;
    Get(m, path, "text", text);
    Get(m, path, "from", from);
    Get(m, path, "to", to);
    GetTime(m, path, "time", time);
    Get(m, path, "smsc", smsc);
    Pdu pdu;
    pdu.smsc = Address::FromText(smsc);
    const bool received = status <= 1;
    pdu.tpdu.type = received ? PduType::kDeliver : PduType::kSubmit;
    pdu.tpdu.first_octet = received ? 0x04 : 0x11;
    pdu.tpdu.address = Address::FromText(received ? from : to);
    pdu.tpdu.scts = *Timestamp::Parse(time);
    if (!received) pdu.tpdu.validity = std::string(1, '\xA7');
    pdu.tpdu.SetText(Utf8ToUtf16(text));
    if (pdu.tpdu.ud.size() > 140) Fail(path + ".text", "too long for one message");
    return EncodePdu(pdu);
  }

  void LoadPhonebook(const json& j, Scenario::Phonebook& p) const {
    Object(j, "phonebook", {"capacity", "number_length", "name_length", "empty_error", "entries"});
    Get(j, "phonebook", "capacity", p.capacity, 1, 9999);
    Get(j, "phonebook", "number_length", p.number_length, 1, 80);
    Get(j, "phonebook", "name_length", p.name_length, 1, 80);
    Get(j, "phonebook", "empty_error", p.empty_error);
    if (!j.contains("entries")) return;
    if (!j["entries"].is_array()) Fail("phonebook.entries", "expected a list");
    p.entries.clear();
    std::set<int> used;
    for (std::size_t i = 0; i < j["entries"].size(); ++i) {
      const std::string path = "phonebook.entries[" + std::to_string(i) + "]";
      const json& e = Object(j["entries"][i], path, {"index", "number", "type", "name"});
      PhonebookEntry entry;
      if (!e.contains("index")) Fail(path + ".index", "missing");
      Get(e, path, "index", entry.index, 1, p.capacity);
      if (!used.insert(entry.index).second) Fail(path + ".index", "used twice");
      Get(e, path, "number", entry.number);
      entry.type = Address::FromText(entry.number).type;
      Get(e, path, "type", entry.type, 128, 255);
      Get(e, path, "name", entry.name);
      p.entries.push_back(entry);
    }
  }

  void LoadCalls(const json& j, std::map<std::string, CallPlan>& calls) const {
    static const std::map<std::string, CallPlan::Kind> kKinds = {{"answer", CallPlan::Kind::kAnswer},
                                                                 {"ring", CallPlan::Kind::kRing},
                                                                 {"busy", CallPlan::Kind::kBusy},
                                                                 {"reject", CallPlan::Kind::kReject},
                                                                 {"no_answer", CallPlan::Kind::kNoAnswer}};
    for (const auto& [number, c] : Object(j, "calls").items()) {
      const std::string path = "calls." + number;
      Object(c, path, {"behaviour", "after_ms", "alert_ms"});
      CallPlan plan;
      std::string behaviour = "answer";
      Get(c, path, "behaviour", behaviour);
      if (!kKinds.count(behaviour))
        Fail(path + ".behaviour", "expected \"answer\", \"ring\", \"busy\", \"reject\" or \"no_answer\"");
      plan.kind = kKinds.at(behaviour);
      Get(c, path, "after_ms", plan.after_ms);
      Get(c, path, "alert_ms", plan.alert_ms);
      calls[number] = plan;
    }
  }

  UssdNode LoadUssd(const json& j, const std::string& path) const {
    Object(j, path, {"status", "text", "dcs", "before_ok", "delay_ms", "next"});
    UssdNode n;
    Get(j, path, "status", n.status, 0, 5);
    Get(j, path, "text", n.text);
    Get(j, path, "dcs", n.dcs, 0, 255);
    Get(j, path, "before_ok", n.before_ok);
    Get(j, path, "delay_ms", n.delay_ms);
    if (j.contains("next"))
      for (const auto& [answer, node] : Object(j["next"], path + ".next").items())
        n.next[answer] = LoadUssd(node, path + ".next." + answer);
    return n;
  }

  void LoadNotifications(const json& j, Scenario& s) const {
    if (!j.is_array()) Fail("ussd_notifications", "expected a list");
    for (std::size_t i = 0; i < j.size(); ++i) {
      const std::string path = "ussd_notifications[" + std::to_string(i) + "]";
      Object(j[i], path, {"at_ms", "status", "text", "dcs"});
      UssdNotification n;
      Get(j[i], path, "at_ms", n.at_ms);
      Get(j[i], path, "status", n.status, 0, 5);
      Get(j[i], path, "text", n.text);
      Get(j[i], path, "dcs", n.dcs, 0, 255);
      s.ussd_notifications.push_back(n);
    }
  }

  void LoadStk(const json& j, Scenario::Stk& stk) const {
    Object(j, "stk",
           {"supported", "needs_restart", "profile", "timeout_ms", "stin_delay_ms", "csms_not_ready_after_off",
            "title", "items"});
    Get(j, "stk", "supported", stk.supported);
    Get(j, "stk", "needs_restart", stk.needs_restart);
    if (j.contains("profile")) {
      std::string profile;
      Get(j, "stk", "profile", profile);
      stk.profile = profile;
    }
    Get(j, "stk", "timeout_ms", stk.timeout_ms);
    Get(j, "stk", "stin_delay_ms", stk.stin_delay_ms);
    Get(j, "stk", "csms_not_ready_after_off", stk.csms_not_ready_after_off, 0, 1000);
    if (j.contains("items") || j.contains("title")) {
      json menu = json::object();
      if (j.contains("title")) menu["title"] = j["title"];
      menu["items"] = j.contains("items") ? j["items"] : json::array();
      stk.menu = LoadStkNode(menu, "stk");
    }
  }

  StkNode LoadStkNode(const json& j, const std::string& path) const {
    Object(j, path, {"id", "label", "title", "items", "display", "input", "sms", "to", "end", "then"});
    StkNode n;
    Get(j, path, "id", n.id, 0, 255);
    Get(j, path, "label", n.label);
    if (j.contains("items")) {
      n.kind = StkNode::Kind::kMenu;
      Get(j, path, "title", n.title);
      if (!j["items"].is_array()) Fail(path + ".items", "expected a list");
      for (std::size_t i = 0; i < j["items"].size(); ++i)
        n.items.push_back(LoadStkNode(j["items"][i], path + ".items[" + std::to_string(i) + "]"));
    } else if (j.contains("display")) {
      n.kind = StkNode::Kind::kDisplay;
      Get(j, path, "display", n.text);
    } else if (j.contains("input")) {
      n.kind = StkNode::Kind::kInput;
      const std::string ipath = path + ".input";
      const json& in = Object(j["input"], ipath, {"prompt", "min", "max", "format", "echo"});
      Get(in, ipath, "prompt", n.text);
      Get(in, ipath, "min", n.min, 0, 255);
      Get(in, ipath, "max", n.max, 0, 255);
      Get(in, ipath, "format", n.format, 0, 255);
      Get(in, ipath, "echo", n.echo, 0, 1);
    } else if (j.contains("sms")) {
      n.kind = StkNode::Kind::kSms;
      Get(j, path, "sms", n.text);
      Get(j, path, "to", n.to);
    }
    if (j.contains("then")) n.then = std::make_shared<StkNode>(LoadStkNode(j["then"], path + ".then"));
    return n;
  }

  void LoadDelays(const json& j, Scenario& s) const {
    for (const auto& [pattern, d] : Object(j, "delays").items()) {
      const std::string path = "delays." + pattern;
      Timing t;
      if (d.is_number_integer()) {
        Get(j, "delays", pattern.c_str(), t.ms);
        t.final_ms = t.ms;
      } else {
        Object(d, path, {"ms", "final_ms"});
        Get(d, path, "ms", t.ms);
        t.final_ms = t.ms;
        Get(d, path, "final_ms", t.final_ms);
      }
      s.delays.emplace_back(pattern, t);
    }
  }

  void LoadFaults(const json& j, Faults& f) const {
    Object(j, "faults", {"until_ms", "garbage", "interleave", "silence_every", "resets_ms", "gone"});
    Get(j, "faults", "until_ms", f.until_ms, -1);
    Get(j, "faults", "silence_every", f.silence_every, 0, 1 << 20);
    if (j.contains("garbage")) {
      const json& g = Object(j["garbage"], "faults.garbage", {"every", "bytes"});
      Get(g, "faults.garbage", "every", f.garbage_every, 1, 1 << 20);
      Get(g, "faults.garbage", "bytes", f.garbage);
    }
    if (j.contains("interleave")) {
      const json& g = Object(j["interleave"], "faults.interleave", {"every", "lines"});
      Get(g, "faults.interleave", "every", f.interleave_every, 1, 1 << 20);
      if (!g.contains("lines") || !g["lines"].is_array() || g["lines"].empty())
        Fail("faults.interleave.lines", "expected a list of lines");
      for (const auto& line : g["lines"]) {
        if (!line.is_string()) Fail("faults.interleave.lines", "expected a list of lines");
        f.interleave.push_back(line.get<std::string>());
      }
    }
    if (j.contains("resets_ms")) {
      if (!j["resets_ms"].is_array()) Fail("faults.resets_ms", "expected a list of times");
      for (const auto& t : j["resets_ms"]) {
        if (!t.is_number_integer() || t.get<long long>() < 0) Fail("faults.resets_ms", "expected a list of times");
        f.resets_ms.push_back(t.get<long long>());
      }
    }
    if (j.contains("gone")) {
      const json& g = Object(j["gone"], "faults.gone", {"from_ms", "to_ms"});
      Get(g, "faults.gone", "from_ms", f.gone_from_ms);
      Get(g, "faults.gone", "to_ms", f.gone_to_ms);
      if (f.gone_to_ms <= f.gone_from_ms) Fail("faults.gone", "needs from_ms before to_ms");
    }
  }

  void LoadUnsolicited(const json& j, Scenario& s) const {
    if (!j.is_array()) Fail("unsolicited", "expected a list");
    for (std::size_t i = 0; i < j.size(); ++i) {
      const std::string path = "unsolicited[" + std::to_string(i) + "]";
      Object(j[i], path, {"at_ms", "after", "delay_ms", "text"});
      TimedLine line;
      Get(j[i], path, "at_ms", line.at_ms);
      Get(j[i], path, "after", line.after);
      Get(j[i], path, "delay_ms", line.delay_ms);
      Get(j[i], path, "text", line.bytes);
      if ((line.at_ms >= 0) == !line.after.empty())
        Fail(path, "needs exactly one of \"at_ms\" and \"after\"");
      s.unsolicited.push_back(line);
    }
  }

  std::string origin_;
};

StkNode Display(int id, std::string label, std::string text) {
  StkNode n;
  n.kind = StkNode::Kind::kDisplay;
  n.id = id;
  n.label = std::move(label);
  n.text = std::move(text);
  return n;
}

}  // namespace

bool LineMatches(std::string_view pattern, std::string_view line) {
  if (!pattern.empty() && pattern.back() == '*')
    return line.substr(0, pattern.size() - 1) == pattern.substr(0, pattern.size() - 1);
  return pattern == line;
}

Scenario::Scenario() {
  ussd["*100#"] = UssdNode{0, "Your balance is 10.00 EUR", 15, false, 100, {}};
  UssdNode menu{1, "1 Balance\n2 Bundles", 15, false, 100, {}};
  menu.next["1"] = UssdNode{0, "Your balance is 10.00 EUR", 15, false, 100, {}};
  menu.next["2"] = UssdNode{2, "No bundles available", 15, false, 100, {}};
  ussd["*101#"] = menu;

  StkNode& m = stk.menu;
  m.kind = StkNode::Kind::kMenu;
  m.title = "SIM Services";
  m.items.push_back(Display(1, "Balance", "Your balance is 10.00"));
  StkNode services;
  services.kind = StkNode::Kind::kMenu;
  services.id = 2;
  services.label = services.title = "Services";
  services.items.push_back(Display(1, "News", "No news today"));
  StkNode topup;
  topup.kind = StkNode::Kind::kInput;
  topup.id = 2;
  topup.label = "Top up";
  topup.text = "Enter voucher code";
  topup.min = 1;
  topup.max = 16;
  topup.then = std::make_shared<StkNode>(Display(0, "", "Voucher {input} accepted"));
  services.items.push_back(topup);
  m.items.push_back(services);
  StkNode sms;
  sms.kind = StkNode::Kind::kSms;
  sms.id = 3;
  sms.label = "Send SMS";
  sms.text = "Sending SMS";
  m.items.push_back(sms);
  StkNode end;
  end.id = 4;
  end.label = "Exit";
  m.items.push_back(end);
}

Scenario LoadScenarioText(std::string_view text, const std::string& origin) {
  json root;
  try {
    root = json::parse(text);
  } catch (const json::exception& e) {
    // A number too large for any key (error 406) is refused like text that is no JSON.
    throw ScenarioError("scenario " + origin + ": not valid JSON: " + e.what());
  }
  Scenario s;
  Loader(origin).Load(root, s);
  return s;
}

Scenario LoadScenarioFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw ScenarioError("scenario " + path + ": cannot be read");
  std::ostringstream text;
  text << in.rdbuf();
  return LoadScenarioText(text.str(), path);
}

}  // namespace quandelstk::modemsim
