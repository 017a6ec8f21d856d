// The messages codec against a mature independent one, python-gammu, on generated messages in both
// directions: gammu decodes the PDUs we encode, we decode the PDUs gammu encodes, and both decode the
// same PDUs of every data coding and of status reports (made by the simulator's own encoder). Every
// field both sides expose is compared; the run must end with no difference.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <random>

#include "modemsim/gsm_text.hpp"
#include "modemsim/sms_pdu.hpp"
#include "pdu/hex_text.hpp"
#include "quandelstk/messages.hpp"
#include "support/sim_process.hpp"

namespace quandelstk::testing {
namespace {

using messages::Alphabet;
using messages::Message;
using nlohmann::json;

const std::string kPython = "/usr/bin/python3";
const std::string kScript = std::string(QSTK_SOURCE_DIR) + "/tests/messages/gammu_crosscheck.py";

// Characters by where they live: the default table, its extension, and beyond GSM.
const std::vector<std::string> kGsmBasic = {
    "a", "b", "c", "k", "x", "z", "A", "M", "Z",  "0", "5", "9", " ", " ", " ", ".", ",", "!", "?",  "-",
    "+", "*", "/", "(", ")", ":", ";", "'", "\"", "#", "%", "&", "<", ">", "=", "@", "$", "_", "\n", "£",
    "¥", "è", "é", "ù", "ì", "ò", "Ç", "Ø", "ø",  "Å", "å", "Δ", "Φ", "Γ", "Λ", "Ω", "Π", "Ψ", "Σ",  "Θ",
    "Ξ", "Æ", "æ", "ß", "É", "¤", "¡", "Ä", "Ö",  "Ñ", "Ü", "§", "¿", "ä", "ö", "ñ", "ü", "à"};
const std::vector<std::string> kGsmExtension = {"^", "{", "}", "\\", "[", "~", "]", "|", "€"};
const std::vector<std::string> kBeyondGsm = {"Ж",  "я",    "Привет", "α", "β", "ω", "中", "文",
                                             "漢", "日本", "á",      "í", "ó", "ú", "ç",  "ã",
                                             "😀",  "😂",    "👍",      "🎉", "🚀", "❤", "ß",  "€"};

class Generator {
 public:
  explicit Generator(unsigned seed) : rng_(seed) {}

  int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
  bool Chance(int percent) { return Int(1, 100) <= percent; }
  const std::string& Pick(const std::vector<std::string>& from) {
    return from[static_cast<std::size_t>(Int(0, static_cast<int>(from.size()) - 1))];
  }

  // A text of about this many characters; extension characters and characters beyond GSM mixed in
  // at the given rates (percent).
  std::string Text(int characters, int extension, int beyond) {
    std::string s;
    for (int i = 0; i < characters; ++i) {
      const int roll = Int(1, 100);
      s += roll <= beyond               ? Pick(kBeyondGsm)
           : roll <= beyond + extension ? Pick(kGsmExtension)
                                        : Pick(kGsmBasic);
    }
    return s;
  }
  // python-gammu takes "~" in UCS2 text for its own escape character (it doubles it and cuts the
  // text short by as much): such texts would test gammu's binding, not the codec. The 7-bit "~"
  // (an extension character) stays in.
  static std::string WithoutUcs2Tilde(std::string s) {
    if (messages::Plan(s).alphabet == Alphabet::Ucs2)
      for (char& c : s)
        if (c == '~') c = '-';
    return s;
  }
  std::string International() { return "+" + std::to_string(Int(1, 9)) + Digits(Int(6, 13)); }
  std::string National() { return "0" + std::to_string(Int(1, 9)) + Digits(Int(5, 9)); }
  std::string Alphanumeric() {
    static const std::string letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789 ";
    std::string s(1, letters[static_cast<std::size_t>(Int(0, 51))]);
    for (int n = Int(2, 10); n > 0; --n) s += letters[static_cast<std::size_t>(Int(0, 61))];
    while (s.back() == ' ') s.pop_back();
    return s;
  }
  std::string Digits(int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += static_cast<char>('0' + Int(0, 9));
    return s;
  }

 private:
  std::mt19937 rng_;
};

// What one PDU says, in the terms both sides share.
json Fields(const Message& m) {
  json f;
  f["type"] = m.type == messages::MessageType::Deliver  ? "Deliver"
              : m.type == messages::MessageType::Submit ? "Submit"
                                                        : "Status_Report";
  f["number"] = m.address;
  f["smsc"] = m.service_centre;
  const bool report = m.IsReport();
  f["coding"] = report                                ? "Default_No_Compression"
                : m.coding.alphabet == Alphabet::Gsm7 ? "Default_No_Compression"
                : m.coding.alphabet == Alphabet::Ucs2 ? "Unicode_No_Compression"
                                                      : "8bit";
  f["class"] = m.coding.message_class.value_or(-1);
  f["text"] = m.text;
  if (report) {
    // gammu gives a report no class or coding of its own, and the state of delivery as its text.
    f.erase("class");
    f.erase("coding");
    const messages::DeliveryState state = messages::StateOfStatus(m.status);
    f["text"] = state == messages::DeliveryState::Delivered ? "Delivered"
                : state == messages::DeliveryState::Pending ? "Pending"
                                                            : "Failed";
  }
  std::string hex;
  for (const char c : m.data) pdu::AppendHexOctet(hex, static_cast<unsigned char>(c));
  f["data"] = hex;
  if (m.concatenation) {
    f["udh"] = m.concatenation->wide_reference ? "ConcatenatedMessages16bit" : "ConcatenatedMessages";
    f["udh_ref"] = m.concatenation->reference;
    f["udh_part"] = m.concatenation->sequence;
    f["udh_all"] = m.concatenation->total;
  } else {
    f["udh"] = "NoUDH";
  }
  f["validity"] = m.type == messages::MessageType::Submit ? m.validity.seconds : 0;
  if (report) {
    f["reference"] = m.reference;
    f["status"] = m.status;
  }
  auto stamp = [](const messages::Timestamp& t) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    return std::string(buf);
  };
  if (m.time) f["time"] = stamp(*m.time);
  if (m.discharge) f["discharge"] = stamp(*m.discharge);
  return f;
}

// Differences between our view and gammu's of one PDU, each "field: ours | gammu".
void Compare(const json& ours, const json& theirs, const std::string& where, std::vector<std::string>& out) {
  if (theirs.contains("error")) {
    out.push_back(where + ": gammu could not decode it (" + theirs["error"].get<std::string>() + ")");
    return;
  }
  for (const auto& [key, value] : ours.items())
    if (!theirs.contains(key) || theirs[key] != value)
      out.push_back(where + ": " + key + ": " + value.dump() + " | " +
                    (theirs.contains(key) ? theirs[key].dump() : "(none)"));
}

// A raw SMS-DELIVER of a given data coding, user data as it stands.
std::string DeliverWithCoding(int dcs, int udl, const std::string& ud_hex) {
  char head[64];
  std::snprintf(head, sizeof head, "07915155100021F3040B915155100054F600%02X42507190807023%02X", dcs, udl);
  return head + ud_hex;
}

class GammuCrossCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    if (RunProgram({kPython, "-c", "import gammu"}, 20000).exit_code != 0)
      FAIL() << "python3-gammu is not installed for " << kPython
             << ": run make deps (it is in the Makefile's PACKAGES)";
    folder_ =
        std::filesystem::temp_directory_path() / ("quandelstk-crosscheck-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  std::filesystem::path folder_;
};

TEST_F(GammuCrossCheck, BothDirectionsAgreeOnEveryGeneratedMessage) {
  Generator g(20261204);
  json cases = {{"decode", json::array()}, {"encode", json::array()}, {"plan", json::array()}};
  struct Expected {
    std::string text;  // the whole text the parts must join to ("" for none)
    std::vector<std::string> pdus;
    std::vector<std::string> part_texts;  // what each of our parts carries
    std::vector<int> zones;               // time zones (minutes) the time stamps were written with
  };
  std::map<std::string, Expected> expected;
  int id = 0;
  auto name = [&id](const std::string& kind) { return kind + "-" + std::to_string(++id); };

  // 1. Our encoder, gammu's decoder.
  auto ours = [&](const std::string& kind, const std::string& number, const std::string& any_text,
                  const messages::SendOptions& options) {
    const std::string key = name(kind);
    const std::string text = Generator::WithoutUcs2Tilde(any_text);
    Expected e;
    e.text = text;
    for (const auto& part :
         messages::EncodeSubmit(number, text, options, g.Int(0, options.wide_reference ? 65535 : 255))) {
      e.pdus.push_back(part.pdu);
      e.part_texts.push_back(part.text);
    }
    cases["decode"].push_back({{"id", key}, {"pdus", e.pdus}});
    expected[key] = e;
    if (e.pdus.size() > 1 && !options.wide_reference)
      cases["plan"].push_back(
          {{"id", key}, {"text", text}, {"unicode", messages::Plan(text).alphabet == Alphabet::Ucs2}});
  };
  messages::SendOptions plain;
  for (int i = 0; i < 120; ++i) ours("submit-gsm", g.International(), g.Text(g.Int(1, 150), 15, 0), plain);
  for (int i = 0; i < 120; ++i) ours("submit-ucs2", g.International(), g.Text(g.Int(1, 60), 5, 20), plain);
  for (int i = 0; i < 80; ++i) {
    messages::SendOptions o;
    o.wide_reference = g.Chance(40);
    ours("long-gsm", g.International(), g.Text(g.Int(2, 10) * 150 - g.Int(0, 140), 10, 0), o);
  }
  for (int i = 0; i < 80; ++i) {
    messages::SendOptions o;
    o.wide_reference = g.Chance(40);
    ours("long-ucs2", g.International(), g.Text(g.Int(2, 10) * 64 - g.Int(0, 60), 5, 25), o);
  }
  for (int i = 0; i < 100; ++i) {
    messages::SendOptions o;
    o.flash = g.Chance(50);
    o.status_report = g.Chance(50);
    if (g.Chance(70)) o.validity = std::chrono::minutes(g.Int(1, 63 * 7 * 24 * 60));
    if (g.Chance(60)) o.service_centre = g.International();
    ours("options", g.Chance(50) ? g.National() : g.International(),
         g.Text(g.Int(1, 200), 8, g.Chance(30) ? 10 : 0), o);
  }

  // 2. gammu's encoder, our decoder: submissions and deliveries, short and long, every class.
  for (int i = 0; i < 520; ++i) {
    const std::string key = name("gammu");
    const bool deliver = g.Chance(60);
    const bool unicode = g.Chance(40);
    const int parts = g.Chance(50) ? 1 : g.Int(2, 10);
    const int per_part = unicode ? 64 : 150;
    std::string number = g.Chance(60) ? g.International() : g.National();
    if (deliver && g.Chance(30)) number = g.Alphanumeric();
    json c = {
        {"id", key},
        {"layout", deliver ? "Deliver" : "Submit"},
        {"text", Generator::WithoutUcs2Tilde(
                     g.Text(std::max(1, parts * per_part - g.Int(0, per_part - 1)), 8, unicode ? 25 : 0))},
        {"unicode", unicode},
        {"wide", g.Chance(30)},
        {"class", g.Int(-1, 3)},
        {"number", number},
        {"smsc", g.International()},
        {"time", {g.Int(2000, 2069), g.Int(1, 12), g.Int(1, 28), g.Int(0, 23), g.Int(0, 59), g.Int(0, 59)}}};
    static const std::vector<std::string> kValidity = {"NA", "5M", "1H", "6H", "1D", "3D", "1W", "Max"};
    if (!deliver) c["validity"] = g.Pick(kValidity);
    cases["encode"].push_back(c);
  }

  // 3. The same PDUs decoded by both: every data coding octet, and status reports.
  for (int dcs = 0; dcs < 256; ++dcs) {
    const std::string key = name("coding");
    const int kind = dcs % 3;  // a 7-bit, an 8-bit and a UCS2 payload in turn, whatever the octet says
    const std::string pdu = kind == 0   ? DeliverWithCoding(dcs, 5, "E8329BFD06")
                            : kind == 1 ? DeliverWithCoding(dcs, 4, "01020304")
                                        : DeliverWithCoding(dcs, 6, "041F0430D83D");
    cases["decode"].push_back({{"id", key}, {"pdus", {pdu}}});
    expected[key] = Expected{"", {pdu}, {}, {}};
  }
  for (int i = 0; i < 160; ++i) {
    const std::string key = name("report");
    modemsim::Pdu p;
    p.smsc = modemsim::Address::FromText(g.International());
    p.tpdu.type = modemsim::PduType::kStatusReport;
    p.tpdu.first_octet = 0x06 | (g.Chance(50) ? 0x20 : 0);
    p.tpdu.reference = g.Int(0, 255);
    p.tpdu.address = modemsim::Address::FromText(g.Chance(70) ? g.International() : g.National());
    auto stamp = [&g] {
      modemsim::Timestamp t;
      t.year = g.Int(0, 69), t.month = g.Int(1, 12), t.day = g.Int(1, 28);
      t.hour = g.Int(0, 23), t.minute = g.Int(0, 59), t.second = g.Int(0, 59), t.zone = g.Int(-48, 56);
      return t;
    };
    p.tpdu.scts = stamp();
    p.tpdu.discharge = stamp();
    static const std::vector<int> kStatuses = {0,    1,    2,    0x20, 0x21, 0x25, 0x40,
                                               0x41, 0x46, 0x49, 0x60, 0x62, 0x65};
    p.tpdu.status = kStatuses[static_cast<std::size_t>(g.Int(0, static_cast<int>(kStatuses.size()) - 1))];
    const std::string pdu = modemsim::EncodePdu(p);
    cases["decode"].push_back({{"id", key}, {"pdus", {pdu}}});
    // gammu's binding drops the zone of a time stamp: the zones are checked against the
    // simulator's encoder instead.
    expected[key] = Expected{"", {pdu}, {}, {15 * p.tpdu.scts.zone, 15 * p.tpdu.discharge.zone}};
  }

  const auto in = folder_ / "cases.json";
  const auto out = folder_ / "result.json";
  std::ofstream(in) << cases.dump();
  const RunResult run = RunProgram({kPython, kScript, in.string(), out.string()}, 300000);
  ASSERT_EQ(run.exit_code, 0) << run.output;
  json result;
  std::ifstream(out) >> result;

  std::vector<std::string> differences;
  int messages_checked = 0, pdus_checked = 0;
  // Ours encoded (and the shared PDUs): gammu's reading of each PDU against ours, and the parts'
  // texts against what we meant to send.
  for (const json& r : result["decode"]) {
    const std::string key = r["id"];
    const Expected& e = expected.at(key);
    ++messages_checked;
    std::string joined;
    for (std::size_t k = 0; k < e.pdus.size(); ++k) {
      ++pdus_checked;
      const Message m = messages::DecodePdu(e.pdus[k]);
      const json& theirs = r["parts"][k];
      const std::string where = key + " part " + std::to_string(k + 1);
      json fields = Fields(m);
      // python-gammu reads no message class in the automatic-deletion group (01xx), whose low six
      // bits mean what they mean in group 00xx: the class is not compared there.
      if ((m.coding.octet & 0xC0) == 0x40) fields.erase("class");
      if (!m.Decoded()) {
        // What we cannot read in full gammu cannot read either, or it hands over the same text and
        // the same octets that we keep.
        if (!theirs.contains("error"))
          Compare({{"text", m.text}, {"data", fields["data"]}}, theirs, where, differences);
        continue;
      }
      // python-gammu deviates on reserved data codings: it reads them as 8-bit data, where 3GPP TS
      // 23.038 has a receiving entity assume the GSM 7-bit default alphabet (as we do). The alphabet,
      // the text and the data are not compared there; the class still is.
      if (m.coding.reserved) {
        fields.erase("coding");
        fields.erase("text");
        fields.erase("data");
      }
      Compare(fields, theirs, where, differences);
      if (!e.zones.empty() && (!m.time || !m.discharge || m.time->zone_minutes != e.zones[0] ||
                               m.discharge->zone_minutes != e.zones[1]))
        differences.push_back(where + ": time zones differ from the ones written");
      if (k < e.part_texts.size() && theirs.value("text", "") != e.part_texts[k])
        differences.push_back(where + ": sent " + json(e.part_texts[k]).dump() + " | gammu " +
                              theirs["text"].dump());
      joined += m.text;
    }
    if (!e.text.empty() && joined != e.text)
      differences.push_back(key + ": joined " + json(joined).dump() + " | sent " + json(e.text).dump());
  }
  // gammu encoded: our reading of each of its PDUs against its own, and the joined text against
  // the text it was given.
  std::map<std::string, json> encode_cases;
  for (const json& c : cases["encode"]) encode_cases[c["id"]] = c;
  for (const json& r : result["encode"]) {
    const std::string key = r["id"];
    const json& c = encode_cases.at(key);
    ++messages_checked;
    messages::Reassembler joiner;
    std::vector<messages::AssembledMessage> whole;
    for (std::size_t k = 0; k < r["pdus"].size(); ++k) {
      ++pdus_checked;
      const Message m = messages::DecodePdu(r["pdus"][k].get<std::string>());
      const std::string where = key + " part " + std::to_string(k + 1);
      if (!m.problem.empty()) differences.push_back(where + ": ours: " + m.problem);
      Compare(Fields(m), r["decoded"][k], where, differences);
      if (m.address != c["number"])
        differences.push_back(where + ": number " + m.address + " | given " + c["number"].dump());
      for (auto& a : joiner.Add(m)) whole.push_back(std::move(a));
    }
    if (whole.size() != 1 || !whole[0].complete || whole[0].text != c["text"])
      differences.push_back(key + ": joined " +
                            (whole.empty() ? std::string("nothing") : json(whole[0].text).dump()) +
                            " | given " + c["text"].dump());
  }
  for (const json& r : result["plan"]) {
    const std::string key = r["id"];
    const int parts = static_cast<int>(expected.at(key).pdus.size());
    if (r["parts"] != parts)
      differences.push_back(key + ": parts " + std::to_string(parts) + " | gammu " + r["parts"].dump());
  }

  std::cout << "cross-check: " << messages_checked << " messages, " << pdus_checked << " PDUs ("
            << result["decode"].size() << " decoded by gammu, " << result["encode"].size()
            << " encoded by gammu), " << result["plan"].size() << " part counts, " << differences.size()
            << " differences\n";
  EXPECT_GE(messages_checked, 1000);
  std::string listing;
  for (std::size_t i = 0; i < differences.size() && i < 30; ++i) listing += differences[i] + "\n";
  if (const char* all = std::getenv("QSTK_CROSSCHECK_DIFFERENCES")) {
    std::ofstream dump(all);
    for (const std::string& d : differences) dump << d << "\n";
  }
  EXPECT_TRUE(differences.empty()) << differences.size() << " differences, the first ones:\n" << listing;
}

}  // namespace
}  // namespace quandelstk::testing
