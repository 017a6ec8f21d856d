// The messages codec on hand-made cases: where texts split, what the options put in the PDU, and the
// fields the generated cross-check cannot see (zone signs, other header elements, validity formats,
// damaged PDUs).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>
#include <tuple>

#include "pdu/field_writers.hpp"
#include "pdu/hex_text.hpp"
#include "pdu/pdu.hpp"
#include "quandelstk/errors.hpp"
#include "quandelstk/messages.hpp"
#include "support/virtual_session.hpp"

namespace quandelstk::testing {
namespace {

using namespace messages;

std::string Repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

TEST(Plan, CountsUnitsAndPartsAsPhonesDo) {
  struct Case {
    std::string name, text;
    bool wide;
    Alphabet alphabet;
    int characters, units, parts, per_part, left;
  };
  // clang-format off
  const Case cases[] = {
      {"plain", "hello", false, Alphabet::Gsm7, 5, 5, 1, 160, 155},
      {"escaped characters take two septets", "€[]{}~|^\\", false, Alphabet::Gsm7, 9, 18, 1, 160, 142},
      {"a full single message", Repeat("a", 160), false, Alphabet::Gsm7, 160, 160, 1, 160, 0},
      {"one more septet makes two parts of 153", Repeat("a", 161), false, Alphabet::Gsm7, 161, 161, 2, 153, 145},
      {"a 16-bit reference leaves 152", Repeat("a", 161), true, Alphabet::Gsm7, 161, 161, 2, 152, 143},
      {"an escape is not cut: the euro moves to part 2", Repeat("a", 152) + "€" + Repeat("a", 10), false,
       Alphabet::Gsm7, 163, 164, 2, 153, 141},
      {"beyond GSM: UCS2", "Привет", false, Alphabet::Ucs2, 6, 6, 1, 70, 64},
      {"an emoji is a surrogate pair", "😀", false, Alphabet::Ucs2, 1, 2, 1, 70, 68},
      {"71 units make two parts of 67", Repeat("Ж", 71), false, Alphabet::Ucs2, 71, 71, 2, 67, 63},
      {"a pair is not cut: the emoji moves to part 2", Repeat("Ж", 66) + "😀" + Repeat("Ж", 5), false,
       Alphabet::Ucs2, 72, 73, 2, 67, 60},
      {"10 parts", Repeat("a", 1530), false, Alphabet::Gsm7, 1530, 1530, 10, 153, 0},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SendOptions o;
    o.wide_reference = c.wide;
    const TextPlan p = Plan(c.text, o);
    EXPECT_EQ(std::tie(p.alphabet, p.characters, p.units, p.parts, p.per_part, p.left),
              std::tie(c.alphabet, c.characters, c.units, c.parts, c.per_part, c.left));
  }
}

SendOptions With(const std::function<void(SendOptions&)>& set) {
  SendOptions o;
  set(o);
  return o;
}

TEST(EncodeSubmit, PutsTheOptionsWhereTheyBelong) {
  // clang-format off
  const struct {
    std::string name;
    SendOptions options;
    std::string text, pdu;
    int tpdu_length;
  } cases[] = {
      {"plain", {}, "hello", "0001000B915155100021F3000005E8329BFD06", 18},
      {"report asked", With([](SendOptions& o) { o.status_report = true; }), "hello",
       "0021000B915155100021F3000005E8329BFD06", 18},
      {"flash", With([](SendOptions& o) { o.flash = true; }), "hello", "0001000B915155100021F3001005E8329BFD06", 18},
      {"validity of a day", With([](SendOptions& o) { o.validity = std::chrono::hours(24); }), "hello",
       "0011000B915155100021F30000A705E8329BFD06", 19},
      {"validity rounds up, never shorter", With([](SendOptions& o) { o.validity = std::chrono::minutes(7); }), "hello",
       "0011000B915155100021F300000105E8329BFD06", 19},
      {"service centre", With([](SendOptions& o) { o.service_centre = "+15550100999"; }), "hello",
       "07915155100099F901000B915155100021F3000005E8329BFD06", 18},
      {"UCS2 flash", With([](SendOptions& o) { o.flash = true; }), "Ж", "0001000B915155100021F30018020416", 15},
      {"emoji as a surrogate pair", {}, "😀", "0001000B915155100021F3000804D83DDE00", 17},
  };
  // clang-format on
  for (const auto& c : cases) {
    const auto parts = EncodeSubmit("+15550100123", c.text, c.options, 0);
    ASSERT_EQ(parts.size(), 1u) << c.name;
    EXPECT_EQ(parts[0].pdu, c.pdu) << c.name;
    EXPECT_EQ(parts[0].tpdu_length, c.tpdu_length) << c.name;
  }
}

TEST(EncodeSubmit, ConcatenationHeadersOfBothWidths) {
  SendOptions wide;
  wide.wide_reference = true;
  const auto eight = EncodeSubmit("+15550100123", Repeat("a", 161), {}, 0xAB);
  const auto sixteen = EncodeSubmit("+15550100123", Repeat("a", 161), wide, 0x1234);
  ASSERT_EQ(eight.size(), 2u);
  ASSERT_EQ(sixteen.size(), 2u);
  // first octet 41 (a header), then after the destination: coding, length, header
  EXPECT_EQ(eight[1].pdu.substr(0, 4), "0041");
  // the user data length (the part's septets and the header's), then the header
  EXPECT_EQ(eight[1].pdu.substr(26, 14), "0F050003AB0202");
  EXPECT_EQ(sixteen[1].pdu.substr(26, 16), "1106080412340202");
}

TEST(EncodeSubmit, EveryPartDecodesToItsShareAndTheSharesToTheText) {
  // Escapes and surrogate pairs placed on every position around the part boundary.
  for (int lead = 148; lead <= 155; ++lead) {
    for (const std::string tail : {"€", "😀"}) {
      const std::string text =
          Repeat(tail == "€" ? "a" : "Ж", tail == "€" ? lead : lead - 88) + Repeat(tail, 4) + "z";
      SCOPED_TRACE(text);
      std::string joined;
      for (const auto& part : EncodeSubmit("0123456", text, {}, 9)) {
        const Message m = DecodePdu(part.pdu);
        EXPECT_TRUE(m.Decoded()) << m.problem;
        EXPECT_EQ(m.text, part.text);
        joined += m.text;
      }
      EXPECT_EQ(joined, text);
    }
  }
}

TEST(EncodeSubmit, RefusesWhatCannotBeSent) {
  const std::vector<std::pair<std::string, std::function<void()>>> cases = {
      {"a number with a dash", [] { EncodeSubmit("+1555-0100", "hi", {}, 0); }},
      {"no number", [] { EncodeSubmit("+", "hi", {}, 0); }},
      {"an empty text", [] { EncodeSubmit("+15550100123", "", {}, 0); }},
      {"text that is not UTF-8", [] { EncodeSubmit("+15550100123", "caf\xE9", {}, 0); }},
      {"a reference beyond 8 bits", [] { EncodeSubmit("+15550100123", "hi", {}, 256); }},
      {"256 parts", [] { EncodeSubmit("+15550100123", Repeat("a", 153 * 255 + 1), {}, 0); }},
  };
  for (const auto& [name, call] : cases) {
    SCOPED_TRACE(name);
    try {
      call();
      ADD_FAILURE() << "accepted";
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.Number(), 5);
    }
  }
}

// An SMS-DELIVER from +15550100456 with the given first octet, coding, zone octet and user data.
std::string Deliver(const std::string& first, const std::string& coding, const std::string& zone,
                    const std::string& length_and_data) {
  return "07915155100021F3" + first + "0B915155100054F600" + coding + "425071908070" + zone + length_and_data;
}

// Every field of a decoded message as "name=value;", so that a table row names the ones it is about.
std::string Facts(const Message& m) {
  std::string data;
  for (const char c : m.data) pdu::AppendHexOctet(data, static_cast<unsigned char>(c));
  std::string f = "type=" + std::string(MessageTypeName(m.type)) + "; address=" + m.address +
                  "; text=" + m.text + "; data=" + data + "; alphabet=" + AlphabetName(m.coding.alphabet) +
                  "; class=" + std::to_string(m.coding.message_class.value_or(-1)) +
                  (m.coding.reserved ? "; reserved" : "") + "; problem=" + m.problem + ";";
  if (m.time) f += " time=" + m.time->Text() + ";";
  if (m.discharge) f += " discharge=" + m.discharge->Text() + ";";
  if (const auto& c = m.concatenation)
    f += " part=" + std::to_string(c->sequence) + "/" + std::to_string(c->total) + " ref " +
         std::to_string(c->reference) + (c->wide_reference ? " wide;" : ";");
  for (const auto& e : m.elements) f += " element=" + std::to_string(e.id) + ";";
  if (const auto& w = m.coding.waiting)
    f += " waiting=" + std::to_string(static_cast<int>(w->kind)) + (w->active ? " active" : "") +
         (w->discard ? " discard" : "") + ";";
  if (m.validity.format != Validity::Format::None)
    f += " validity=" + m.validity.Text() + " (" + std::to_string(m.validity.seconds) + " s" +
         (m.validity.single_shot ? ", once);" : ");");
  if (m.IsReport())
    f += " reference=" + std::to_string(m.reference) + "; status=" + StatusText(m.status) + ";";
  return f;
}

TEST(DecodePdu, ReadsEveryFieldTheExactDecoderCouldNot) {
  const std::string report = "07915155100021F3060C0B915155100099F9";
  // clang-format off
  const struct {
    std::string name, pdu;
    std::vector<std::string> facts;
  } cases[] = {
      {"a zone west of Greenwich", Deliver("04", "00", "69", "05E8329BFD06"), {"time=2024-05-17 09:08:07 -04:00;"}},
      {"a zone east", Deliver("04", "00", "23", "05E8329BFD06"), {"time=2024-05-17 09:08:07 +08:00;"}},
      {"an alphanumeric sender", "07915155100021F3040CD0C7F7FBCC2E0300004250719080702305E8329BFD06",
       {"address=Google;", "text=hello;"}},
      {"a 16-bit concatenation reference", Deliver("44", "00", "23", "0A06080412340302E834"),
       {"part=2/3 ref 4660 wide;", "text=hi;"}},
      {"another element before the concatenation", Deliver("44", "00", "23", "0F0A0A0300001000030A020140A701"),
       {"element=10; element=0;", "ref 10;", "text=hi;"}},
      {"8-bit data behind a header", Deliver("44", "04", "23", "08050003010201ABCD"),
       {"data=ABCD;", "part=1/2", "problem=;"}},
      {"voicemail waiting", Deliver("04", "C8", "23", "05E8329BFD06"), {"waiting=0 active discard;", "text=hello;"}},
      {"flash in UCS2", Deliver("04", "18", "23", "020416"), {"class=0;", "text=Ж;"}},
      {"a reserved coding is read as GSM 7-bit", Deliver("04", "80", "23", "05E8329BFD06"),
       {"reserved;", "text=hello;", "data=;"}},
      {"compressed text: the octets and the reason", Deliver("04", "20", "23", "0401020304"),
       {"compressed", "data=01020304;"}},
      {"a header longer than the user data", Deliver("44", "00", "23", "03050003"), {"header", "data=050003;"}},
      {"cut short", Deliver("04", "00", "23", "05E832"), {"ends after 2 of its 5 octets", "address=+15550100456;"}},
      {"not hex", "07915155100021F3ZZ", {"hex"}},
      {"the reserved message type is read as an SMS-DELIVER", Deliver("07", "00", "23", "05E8329BFD06"),
       {"type=SMS-DELIVER;", "address=+15550100456;", "text=hello;", "problem=;"}},
      {"absolute validity", "0019000B915155100021F300004250719080706905E8329BFD06",
       {"validity=until 2024-05-17 09:08:07 -04:00"}},
      {"enhanced validity in seconds, single attempt", "0009000B915155100021F30000421E000000000005E8329BFD06",
       {"(30 s, once);", "text=hello;"}},
      {"enhanced validity as hh mm ss", "0009000B915155100021F300000310325400000005E8329BFD06", {"(5025 s);"}},
      {"a time stamp digit that is not decimal: kept, and noted",
       "07915155100021F3040B915155100054F600004250719080F02305E8329BFD06",
       {"problem=the service-centre time stamp holds a digit that is not decimal;", "text=hello;"}},
      {"a discharge time digit that is not decimal", report + "622140010030406221400100F54000",
       {"type=SMS-STATUS-REPORT;", "problem=the discharge time holds a digit that is not decimal;"}},
      {"a cut PDU says so before a time stamp digit", Deliver("04", "00", "F3", "05E832"),
       {"ends after 2 of its 5 octets"}},
      {"a national language single shift: noted, read with the default alphabet",
       Deliver("44", "00", "23", "070324010140A701"),
       {"problem=national language tables are not supported (element 36): the text is read with the default "
        "alphabet;",
        "text=hi;"}},
      {"a national language locking shift", Deliver("44", "00", "23", "070325010140A701"),
       {"national language tables are not supported (element 37)", "text=hi;"}},
      {"a status report with its optional parameters", report + "62214001003040622140010050404607000005E8329BFD06",
       {"address=+15550100999;", "reference=12; status=failed: validity period expired;",
        "discharge=2026-12-04 10:00:05 +01:00;", "text=hello;"}},
      // Escapes that lead nowhere: ESC before a code without an extension shows the code, ESC ESC a
      // space, a lone ESC at the end nothing.
      {"escape before a code without an extension", Deliver("04", "00", "23", "03E14D18"), {"text=aa;"}},
      {"two escapes", Deliver("04", "00", "23", "03E1CD06"), {"text=a ;"}},
      {"an escape at the very end", Deliver("04", "00", "23", "02E10D"), {"text=a;"}},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Message m = DecodePdu(c.pdu);
    EXPECT_EQ(m.pdu, c.pdu);
    for (const std::string& fact : c.facts) EXPECT_THAT(Facts(m), ::testing::HasSubstr(fact));
  }
  EXPECT_EQ(StateOfStatus(0x46), DeliveryState::Failed);
}

TEST(StatusText, SaysWhatHappened) {
  const std::pair<int, std::string> cases[] = {
      {0x00, "delivered"},
      {0x02, "replaced by the service centre"},
      {0x21, "still trying: recipient busy"},
      {0x3F, "still trying (status 63)"},
      {0x41, "failed: incompatible destination"},
      {0x62, "failed, no more attempts: no response from the recipient"}};
  for (const auto& [status, text] : cases) EXPECT_EQ(StatusText(status), text) << status;
}

// ---- Hand-made PDUs from +15550100456, stamped 2026-12-04 10:00:00 +00:00.

const std::string kOa = "0B915155100054F6";  // +15550100456
const std::string kScts = "62214001000000";  // 2026-12-04 10:00:00 +00:00
const std::string kHello = "05E8329BFD06";   // UDL 5, "hello" in 7-bit

std::string DeliverHex(const std::string& dcs, const std::string& ud) {
  return "0004" + kOa + "00" + dcs + kScts + ud;
}

TEST(DataCoding, GroupsClassesWaitingAndReservedCodings) {
  struct C {
    const char* dcs;
    Alphabet alphabet;
    int message_class;
    bool waiting, active, auto_delete;
  };
  const C cases[] = {
      {"10", Alphabet::Gsm7, 0, false, false, false},     {"11", Alphabet::Gsm7, 1, false, false, false},
      {"16", Alphabet::EightBit, 2, false, false, false}, {"1B", Alphabet::Ucs2, 3, false, false, false},
      {"00", Alphabet::Gsm7, -1, false, false, false},    {"03", Alphabet::Gsm7, -1, false, false, false},
      {"50", Alphabet::Gsm7, 0, false, false, true},      {"48", Alphabet::Ucs2, -1, false, false, true},
      {"C8", Alphabet::Gsm7, -1, true, true, false},      {"D0", Alphabet::Gsm7, -1, true, false, false},
      {"E9", Alphabet::Ucs2, -1, true, true, false},      {"F0", Alphabet::Gsm7, 0, false, false, false},
      {"F7", Alphabet::EightBit, 3, false, false, false}};
  for (const C& c : cases) {
    SCOPED_TRACE(c.dcs);
    const DataCoding d = ReadDataCoding(std::stoi(c.dcs, nullptr, 16));
    EXPECT_EQ(d.alphabet, c.alphabet);
    EXPECT_EQ(d.message_class.value_or(-1), c.message_class);
    EXPECT_EQ(d.waiting.has_value(), c.waiting);
    EXPECT_EQ(d.waiting && d.waiting->active, c.active);
    EXPECT_EQ(d.auto_delete, c.auto_delete);
    EXPECT_FALSE(d.reserved);
  }
  EXPECT_EQ(DecodePdu(DeliverHex("E8", "0400480069")).text, "Hi");
  // A reserved alphabet (general and automatic-deletion groups), reserved groups, a reserved bit set.
  for (const char* dcs : {"0C", "1C", "4C", "80", "B0", "C4", "D4", "E4", "F8"})
    EXPECT_THAT(Facts(DecodePdu(DeliverHex(dcs, kHello))),
                ::testing::AllOf(::testing::HasSubstr("text=hello; data=; alphabet=GSM 7-bit;"),
                                 ::testing::HasSubstr("; reserved; problem=;")))
        << dcs;
}

TEST(DecodePdu, AlphanumericSendersOfEveryLength) {
  const std::string letters = "GoogleBank1";
  for (std::size_t n = 1; n <= letters.size(); ++n) {
    const std::string name = letters.substr(0, n);
    std::string h = "0004";
    pdu::AppendHexOctet(h, static_cast<unsigned>((n * 7 + 3) / 4));
    h += "D0";
    pdu::AppendPackedSeptets(h, std::vector<std::uint8_t>(name.begin(), name.end()), 0);
    EXPECT_THAT(Facts(DecodePdu(h + "0000" + kScts + kHello)),
                ::testing::HasSubstr("address=" + name +
                                     "; text=hello; data=; alphabet=GSM 7-bit; class=-1; problem=;"));
  }
}

TEST(DecodePdu, StatusReportsWithAndWithoutTheParameterIndicator) {
  const std::string head = "00060C" + kOa + kScts + kScts + "00";
  const std::pair<std::string, std::string> cases[] = {
      // the parameters, what they give
      {"", "text=; data=; alphabet=GSM 7-bit;"},
      {"00", "text=; data=; alphabet=GSM 7-bit;"},
      {"07000804"
       "00480069",
       "text=Hi; data=; alphabet=UCS2;"},
      {"8400" + kHello, "text=hello; data=; alphabet=GSM 7-bit;"},
      {"030008", "text=; data=; alphabet=UCS2;"}};
  for (const auto& [rest, facts] : cases) {
    const std::string f = Facts(DecodePdu(head + rest));
    EXPECT_THAT(f, ::testing::HasSubstr(facts)) << rest;
    EXPECT_THAT(f, ::testing::HasSubstr("problem=;")) << rest;
    EXPECT_THAT(f, ::testing::HasSubstr("reference=12;")) << rest;
  }
}

// The exact codec's 7-bit packing, which the messages layer shares, against packing bit by bit, with
// every fill a header can leave.
TEST(ExactCodec, PacksSeptetsBitByBit) {
  VirtualSession vs;
  std::mt19937 rng(19);
  for (int n = 0; n < 2000; ++n) {
    std::string text(static_cast<std::size_t>(rng() % 400), '\0');
    for (char& c : text) c = static_cast<char>(rng() & 0xFF);
    for (int fill = 0; fill <= 6; ++fill) {
      std::vector<bool> bits(static_cast<std::size_t>(fill), false);
      for (const char c : text)
        for (int b = 0; b < 7; ++b)
          bits.push_back((pdu::Convert_To_GSM(static_cast<unsigned char>(c)) >> b) & 1);
      std::string expected = "AB";
      for (std::size_t at = 0; !text.empty() && at < bits.size(); at += 8) {
        unsigned octet = 0;
        for (std::size_t b = 0; b < 8 && at + b < bits.size(); ++b) octet |= unsigned{bits[at + b]} << b;
        pdu::AppendHexOctet(expected, octet);
      }
      std::string packed = "AB";
      pdu::AppendPacked7Bit(packed, text, fill);
      ASSERT_EQ(packed, expected) << n << " fill " << fill;
      if (fill < 2) {
        ASSERT_EQ(fill ? pdu::Encode_7_bit_LMS(text) : pdu::Encode_7_bit(text), expected.substr(2));
      }
    }
  }
}

}  // namespace
}  // namespace quandelstk::testing
