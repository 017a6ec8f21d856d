// The messages codec on hand-made cases: where texts split, what the options put in the PDU, and the
// fields the generated cross-check cannot see (zone signs, other header elements, validity formats,
// damaged PDUs).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <random>

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
  const Case cases[] = {
      {"plain", "hello", false, Alphabet::Gsm7, 5, 5, 1, 160, 155},
      {"escaped characters take two septets", "€[]{}~|^\\", false, Alphabet::Gsm7, 9, 18, 1, 160, 142},
      {"a full single message", Repeat("a", 160), false, Alphabet::Gsm7, 160, 160, 1, 160, 0},
      {"one more septet makes two parts of 153", Repeat("a", 161), false, Alphabet::Gsm7, 161, 161, 2, 153,
       145},
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
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SendOptions o;
    o.wide_reference = c.wide;
    const TextPlan p = Plan(c.text, o);
    EXPECT_EQ(p.alphabet, c.alphabet);
    EXPECT_EQ(p.characters, c.characters);
    EXPECT_EQ(p.units, c.units);
    EXPECT_EQ(p.parts, c.parts);
    EXPECT_EQ(p.per_part, c.per_part);
    EXPECT_EQ(p.left, c.left);
  }
}

TEST(EncodeSubmit, PutsTheOptionsWhereTheyBelong) {
  struct Case {
    std::string name;
    SendOptions options;
    std::string text, pdu;
    int tpdu_length;
  };
  auto with = [](auto set) {
    SendOptions o;
    set(o);
    return o;
  };
  const Case cases[] = {
      {"plain", {}, "hello", "0001000B915155100021F3000005E8329BFD06", 18},
      {"report asked", with([](SendOptions& o) { o.status_report = true; }), "hello",
       "0021000B915155100021F3000005E8329BFD06", 18},
      {"flash", with([](SendOptions& o) { o.flash = true; }), "hello",
       "0001000B915155100021F3001005E8329BFD06", 18},
      {"validity of a day", with([](SendOptions& o) { o.validity = std::chrono::hours(24); }), "hello",
       "0011000B915155100021F30000A705E8329BFD06", 19},
      {"validity rounds up, never shorter",
       with([](SendOptions& o) { o.validity = std::chrono::minutes(7); }), "hello",
       "0011000B915155100021F300000105E8329BFD06", 19},
      {"service centre", with([](SendOptions& o) { o.service_centre = "+15550100999"; }), "hello",
       "07915155100099F901000B915155100021F3000005E8329BFD06", 18},
      {"UCS2 flash", with([](SendOptions& o) { o.flash = true; }), "Ж",
       "0001000B915155100021F3001802"
       "0416",
       15},
      {"emoji as a surrogate pair", {}, "😀", "0001000B915155100021F3000804D83DDE00", 17},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto parts = EncodeSubmit("+15550100123", c.text, c.options, 0);
    ASSERT_EQ(parts.size(), 1u);
    EXPECT_EQ(parts[0].pdu, c.pdu);
    EXPECT_EQ(parts[0].tpdu_length, c.tpdu_length);
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

TEST(DecodePdu, ReadsEveryFieldTheExactDecoderCouldNot) {
  struct Case {
    std::string name, pdu;
    std::function<void(const Message&)> check;
  };
  const Case cases[] = {
      {"a zone west of Greenwich", Deliver("04", "00", "69", "05E8329BFD06"),
       [](const Message& m) {
         ASSERT_TRUE(m.time);
         EXPECT_EQ(m.time->Text(), "2024-05-17 09:08:07 -04:00");
       }},
      {"a zone east", Deliver("04", "00", "23", "05E8329BFD06"),
       [](const Message& m) { EXPECT_EQ(m.time->zone_minutes, 8 * 60); }},
      {"an alphanumeric sender",
       "07915155100021F3040CD0C7F7FBCC2E030000425071908070230"
       "5E8329BFD06",
       [](const Message& m) {
         EXPECT_EQ(m.address, "Google");
         EXPECT_EQ(m.text, "hello");
       }},
      {"a 16-bit concatenation reference", Deliver("44", "00", "23", "0A06080412340302E834"),
       [](const Message& m) {
         ASSERT_TRUE(m.concatenation);
         EXPECT_EQ(m.concatenation->reference, 0x1234);
         EXPECT_TRUE(m.concatenation->wide_reference);
         EXPECT_EQ(m.concatenation->total, 3);
         EXPECT_EQ(m.concatenation->sequence, 2);
         EXPECT_EQ(m.text, "hi");
       }},
      {"another element before the concatenation",
       Deliver("44", "00", "23", "0F0A0A0300001000030A020140A701"),
       [](const Message& m) {
         ASSERT_EQ(m.elements.size(), 2u);
         EXPECT_EQ(m.elements[0].id, 0x0A);
         ASSERT_TRUE(m.concatenation);
         EXPECT_EQ(m.concatenation->reference, 10);
         EXPECT_EQ(m.text, "hi");
       }},
      {"8-bit data behind a header", Deliver("44", "04", "23", "08050003010201ABCD"),
       [](const Message& m) {
         EXPECT_TRUE(m.Decoded());
         EXPECT_EQ(m.data, "\xAB\xCD");
         EXPECT_EQ(m.concatenation->total, 2);
       }},
      {"voicemail waiting", Deliver("04", "C8", "23", "05E8329BFD06"),
       [](const Message& m) {
         ASSERT_TRUE(m.coding.waiting);
         EXPECT_TRUE(m.coding.waiting->active);
         EXPECT_TRUE(m.coding.waiting->discard);
         EXPECT_EQ(m.coding.waiting->kind, MessageWaiting::Kind::Voicemail);
         EXPECT_EQ(m.text, "hello");
       }},
      {"flash in UCS2", Deliver("04", "18", "23", "020416"),
       [](const Message& m) {
         EXPECT_EQ(m.coding.message_class, 0);
         EXPECT_EQ(m.text, "Ж");
       }},
      {"a reserved coding is read as GSM 7-bit", Deliver("04", "80", "23", "05E8329BFD06"),
       [](const Message& m) {
         EXPECT_TRUE(m.coding.reserved);
         EXPECT_EQ(m.text, "hello");
         EXPECT_EQ(m.data, "");
       }},
      {"compressed text: the octets and the reason", Deliver("04", "20", "23", "0401020304"),
       [](const Message& m) {
         EXPECT_THAT(m.problem, ::testing::HasSubstr("compressed"));
         EXPECT_EQ(m.data, "\x01\x02\x03\x04");
       }},
      {"a header longer than the user data", Deliver("44", "00", "23", "03050003"),
       [](const Message& m) {
         EXPECT_THAT(m.problem, ::testing::HasSubstr("header"));
         EXPECT_EQ(m.data, std::string("\x05\x00\x03", 3));
       }},
      {"cut short", Deliver("04", "00", "23", "05E832"),
       [](const Message& m) {
         EXPECT_THAT(m.problem, ::testing::HasSubstr("ends after 2 of its 5 octets"));
         EXPECT_EQ(m.address, "+15550100456");
       }},
      {"not hex", "07915155100021F3ZZ",
       [](const Message& m) { EXPECT_THAT(m.problem, ::testing::HasSubstr("hex")); }},
      {"the reserved message type is read as an SMS-DELIVER", Deliver("07", "00", "23", "05E8329BFD06"),
       [](const Message& m) {
         EXPECT_TRUE(m.Decoded()) << m.problem;
         EXPECT_EQ(m.type, MessageType::Deliver);
         EXPECT_EQ(m.address, "+15550100456");
         EXPECT_EQ(m.text, "hello");
       }},
      {"absolute validity",
       "0019000B915155100021F30000"
       "42507190807069"
       "05E8329BFD06",
       [](const Message& m) {
         EXPECT_EQ(m.validity.format, Validity::Format::Absolute);
         EXPECT_EQ(m.validity.Text(), "until 2024-05-17 09:08:07 -04:00");
       }},
      {"enhanced validity in seconds, single attempt",
       "0009000B915155100021F30000"
       "421E0000000000"
       "05E8329BFD06",
       [](const Message& m) {
         EXPECT_EQ(m.validity.format, Validity::Format::Enhanced);
         EXPECT_EQ(m.validity.seconds, 30);
         EXPECT_TRUE(m.validity.single_shot);
         EXPECT_EQ(m.text, "hello");
       }},
      {"enhanced validity as hh mm ss",
       "0009000B915155100021F30000"
       "03103254000000"
       "05E8329BFD06",
       [](const Message& m) { EXPECT_EQ(m.validity.seconds, 1 * 3600 + 23 * 60 + 45); }},
      {"a time stamp digit that is not decimal: kept, and noted",
       "07915155100021F3040B915155100054F60000"
       "4250719080F023"
       "05E8329BFD06",
       [](const Message& m) {
         EXPECT_EQ(m.problem, "the service-centre time stamp holds a digit that is not decimal");
         EXPECT_EQ(m.text, "hello");
       }},
      {"a discharge time digit that is not decimal",
       "07915155100021F3060C0B915155100099F9"
       "62214001003040"
       "6221400100F540"
       "00",
       [](const Message& m) {
         EXPECT_TRUE(m.IsReport());
         EXPECT_EQ(m.problem, "the discharge time holds a digit that is not decimal");
       }},
      {"a cut PDU says so before a time stamp digit", Deliver("04", "00", "F3", "05E832"),
       [](const Message& m) { EXPECT_THAT(m.problem, ::testing::HasSubstr("ends after 2 of its 5 octets")); }},
      {"a national language single shift: noted, read with the default alphabet",
       Deliver("44", "00", "23", "070324010140A701"),
       [](const Message& m) {
         EXPECT_EQ(m.problem,
                   "national language tables are not supported (element 36): the text is read with the "
                   "default alphabet");
         EXPECT_EQ(m.text, "hi");
       }},
      {"a national language locking shift", Deliver("44", "00", "23", "070325010140A701"),
       [](const Message& m) {
         EXPECT_THAT(m.problem, ::testing::HasSubstr("national language tables are not supported (element 37)"));
         EXPECT_EQ(m.text, "hi");
       }},
      {"a status report with its optional parameters",
       "07915155100021F3060C0B915155100099F9"
       "62214001003040"
       "62214001005040"
       "46"
       "07"
       "00"
       "00"
       "05E8329BFD06",
       [](const Message& m) {
         EXPECT_TRUE(m.IsReport());
         EXPECT_EQ(m.reference, 12);
         EXPECT_EQ(m.address, "+15550100999");
         EXPECT_EQ(m.status, 0x46);
         EXPECT_EQ(StateOfStatus(m.status), DeliveryState::Failed);
         EXPECT_EQ(StatusText(m.status), "failed: validity period expired");
         EXPECT_EQ(m.discharge->Text(), "2026-12-04 10:00:05 +01:00");
         EXPECT_EQ(m.text, "hello");
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Message m = DecodePdu(c.pdu);
    EXPECT_EQ(m.pdu, c.pdu);
    c.check(m);
  }
}

TEST(DecodePdu, EscapesThatLeadNowhereFollowTheAlphabetsRules) {
  // septets: 'a', ESC 'a' (no extension: shows 'a'), ESC ESC (a space), then a lone ESC at the end
  const struct {
    std::string name;
    int septets;
    std::string packed, text;
  } cases[] = {
      {"escape before a code without an extension", 3, "E14D18", "aa"},
      {"two escapes", 3, "E1CD06", "a "},
      {"an escape at the very end", 2, "E10D", "a"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    char length[3];
    std::snprintf(length, sizeof length, "%02X", c.septets);
    EXPECT_EQ(DecodePdu(Deliver("04", "00", "23", length + c.packed)).text, c.text);
  }
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

std::string DeliverHex(int first, const std::string& dcs, const std::string& ud,
                       const std::string& scts = kScts) {
  std::string h = "00";
  pdu::AppendHexOctet(h, static_cast<unsigned>(first));
  return h + kOa + "00" + dcs + scts + ud;
}

TEST(DataCoding, ReservedCodingsAreReadAsTheGsmDefaultAlphabet) {
  // A reserved alphabet (general and automatic-deletion groups), reserved groups, a reserved bit set.
  for (const char* dcs : {"0C", "1C", "4C", "80", "B0", "C4", "D4", "E4", "F8"}) {
    SCOPED_TRACE(dcs);
    const Message m = DecodePdu(DeliverHex(0x04, dcs, kHello));
    EXPECT_TRUE(m.coding.reserved);
    EXPECT_EQ(m.coding.alphabet, Alphabet::Gsm7);
    EXPECT_EQ(m.text, "hello");
    EXPECT_EQ(m.data, "");
    EXPECT_TRUE(m.Decoded()) << m.problem;
  }
}

TEST(DataCoding, GroupsClassesAndWaiting) {
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
    if (d.waiting) {
      EXPECT_EQ(d.waiting->active, c.active);
    }
    EXPECT_EQ(d.auto_delete, c.auto_delete);
    EXPECT_FALSE(d.reserved);
  }
  EXPECT_EQ(DecodePdu(DeliverHex(0x04, "E8", "0400480069")).text, "Hi");
}

TEST(DecodePdu, AlphanumericSendersOfEveryLength) {
  const std::string letters = "GoogleBank1";
  for (std::size_t n = 1; n <= letters.size(); ++n) {
    const std::string name = letters.substr(0, n);
    const std::vector<std::uint8_t> septets(name.begin(), name.end());
    std::string h = "0004";
    pdu::AppendHexOctet(h, static_cast<unsigned>((n * 7 + 3) / 4));
    h += "D0";
    pdu::AppendPackedSeptets(h, septets, 0);
    h += "0000" + kScts + kHello;
    const Message m = DecodePdu(h);
    EXPECT_EQ(m.address, name) << h;
    EXPECT_EQ(m.text, "hello") << h;
    EXPECT_TRUE(m.Decoded()) << m.problem;
  }
}

TEST(DecodePdu, StatusReportsWithAndWithoutTheParameterIndicator) {
  const std::string head = "00060C" + kOa + kScts + kScts + "00";
  struct Case {
    std::string name, rest, text;
    Alphabet alphabet;
  };
  const Case cases[] = {{"none", "", "", Alphabet::Gsm7},
                        {"an empty indicator", "00", "", Alphabet::Gsm7},
                        {"every parameter",
                         "07"
                         "00"
                         "08"
                         "0400480069",
                         "Hi", Alphabet::Ucs2},
                        {"an extended indicator", "8400" + kHello, "hello", Alphabet::Gsm7},
                        {"no user data",
                         "0300"
                         "08",
                         "", Alphabet::Ucs2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Message m = DecodePdu(head + c.rest);
    EXPECT_TRUE(m.Decoded()) << m.problem;
    EXPECT_EQ(m.reference, 12);
    EXPECT_EQ(m.text, c.text);
    EXPECT_EQ(m.coding.alphabet, c.alphabet);
  }
}

// The exact codec's 7-bit packing, which the messages layer shares, packs as its loop did before the
// messages layer came (that loop, verbatim).
void LoopPacked7Bit(std::string& out, std::string_view text, int fill_bits) {
  static const auto kSeptetOf = [] {
    std::array<std::uint8_t, 256> t{};
    for (int c = 0; c < 256; ++c)
      t[static_cast<std::size_t>(c)] = pdu::Convert_To_GSM(static_cast<std::int16_t>(c)) & 0x7F;
    return t;
  }();
  using pdu::kHexDigits;
  if (text.empty()) return;
  const std::size_t start = out.size();
  const std::size_t octets = (text.size() * 7 + static_cast<std::size_t>(fill_bits) + 7) / 8;
  out.resize(start + 2 * octets);
  char* p = out.data() + start;
  std::uint32_t pending = 0;
  int bits = fill_bits;
  for (const char c : text) {
    pending |= static_cast<std::uint32_t>(kSeptetOf[static_cast<unsigned char>(c)]) << bits;
    bits += 7;
    if (bits >= 8) {
      *p++ = kHexDigits[(pending >> 4) & 0xF];
      *p++ = kHexDigits[pending & 0xF];
      pending >>= 8;
      bits -= 8;
    }
  }
  if (bits > 0) {
    *p++ = kHexDigits[(pending >> 4) & 0xF];
    *p++ = kHexDigits[pending & 0xF];
  }
}

TEST(ExactCodec, PacksSeptetsAsItsLoopDid) {
  VirtualSession vs;
  std::mt19937 rng(19);
  for (int n = 0; n < 2000; ++n) {
    std::string text(static_cast<std::size_t>(rng() % 400), '\0');
    for (char& c : text) c = static_cast<char>(rng() & 0xFF);
    for (int fill = 0; fill <= 6; ++fill) {
      std::string a = "AB", b = "AB";
      pdu::AppendPacked7Bit(a, text, fill);
      LoopPacked7Bit(b, text, fill);
      ASSERT_EQ(a, b) << n << " fill " << fill;
    }
    std::string fill0, fill1;
    LoopPacked7Bit(fill0, text, 0);
    LoopPacked7Bit(fill1, text, 1);
    ASSERT_EQ(pdu::Encode_7_bit(text), fill0);
    ASSERT_EQ(pdu::Encode_7_bit_LMS(text), fill1);
  }
}

}  // namespace
}  // namespace quandelstk::testing
