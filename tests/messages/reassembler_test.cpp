// Joining concatenated parts: any order, duplicates, senders kept apart, and the time limit for
// sets that never complete, on an injected clock.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "pdu/field_writers.hpp"
#include "pdu/hex_text.hpp"
#include "quandelstk/messages.hpp"

namespace quandelstk::testing {
namespace {

using namespace messages;

// Part sequence of total with reference (8-bit, or 16-bit when wide) from a sender, carrying text.
Message Part(const std::string& from, int reference, int total, int sequence, const std::string& text,
             bool wide = false) {
  Message m;
  m.address = from;
  m.concatenation = Concatenation{reference, total, sequence, wide};
  m.text = text;
  return m;
}

// Parts in arrival order, each with the next index: what comes out whole, what still waits, and
// the copies of parts of sets already released. Sets of other senders, references, reference widths
// and totals stay apart; a sequence held again with other content begins another message
// (references wrap; some senders always use one).
TEST(Reassembler, JoinsPartsOfOneSetOnly) {
  struct P {
    std::string from;
    int reference, total, sequence;
    std::string text;
    bool wide = false;
  };
  const auto abc = [](std::vector<int> order) {
    std::vector<P> parts;
    for (const int s : order)
      parts.push_back({"+1555", 7, 3, s, std::string(1, static_cast<char>('a' + s - 1))});
    return parts;
  };
  const auto two = [](std::vector<std::pair<int, std::string>> arrivals) {
    std::vector<P> parts;
    for (const auto& [sequence, text] : arrivals) parts.push_back({"+1555", 7, 2, sequence, text});
    return parts;
  };
  // clang-format off
  const struct {
    std::string name;
    std::vector<P> parts;
    std::vector<std::string> released;
    std::size_t waiting = 0, late = 0;
  } cases[] = {
      {"in order", abc({1, 2, 3}), {"abc"}},
      {"out of order", abc({3, 1, 2}), {"abc"}},
      {"a duplicate before the set is whole", abc({2, 2, 3, 1}), {"abc"}},
      {"copies before and after", abc({3, 3, 3, 2, 1, 1}), {"abc"}, 0, 1},
      {"other senders, references and totals", {{"+1555", 7, 2, 1, "a"}, {"+1666", 7, 2, 2, "x"},
        {"+1555", 8, 2, 2, "y"}, {"+1555", 7, 3, 2, "z"}, {"+1555", 7, 2, 2, "b"}}, {"ab"}, 3},
      {"8- and 16-bit references", {{"+1555", 5, 2, 1, "eight-1 "}, {"+1555", 5, 2, 2, "sixteen-2", true},
        {"+1555", 5, 2, 2, "eight-2"}, {"+1555", 5, 2, 1, "sixteen-1 ", true}},
       {"eight-1 eight-2", "sixteen-1 sixteen-2"}},
      {"one after the other", two({{1, "Hello "}, {2, "world"}, {1, "Your code "}, {2, "is 1234"}}),
       {"Hello world", "Your code is 1234"}},
      {"interleaved", two({{1, "Hello "}, {1, "Your code "}, {2, "world"}, {2, "is 1234"}}),
       {"Hello world", "Your code is 1234"}},
      {"a duplicate is still one", two({{1, "Hello "}, {1, "Hello "}, {2, "world"}}), {"Hello world"}},
      {"a late copy is a copy", two({{1, "Hello "}, {2, "world"}, {2, "world"}}), {"Hello world"}, 0, 1},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Reassembler r;
    std::vector<std::string> texts;
    std::size_t indexes = 0;
    int index = 0;
    for (const P& p : c.parts)
      for (const AssembledMessage& m :
           r.Add(Part(p.from, p.reference, p.total, p.sequence, p.text, p.wide), "SM", ++index)) {
        texts.push_back(m.text);
        EXPECT_TRUE(m.complete);
        EXPECT_EQ(m.sequences.size(), static_cast<std::size_t>(m.first.concatenation->total));
        indexes += m.indexes.size();
      }
    EXPECT_EQ(texts, c.released);
    EXPECT_EQ(r.Waiting(), c.waiting);
    EXPECT_EQ(r.TakeLateCopies().size(), c.late);
    if (c.waiting == 0) {
      EXPECT_EQ(indexes + c.late, c.parts.size()) << "every index stays with its message";
    }
  }
}

TEST(Reassembler, PassesSingleAndUndecodableMessagesStraightThroughIndexZeroIncluded) {
  Reassembler r;
  Message single;
  single.text = "hi";
  Message broken = Part("+1555", 1, 2, 1, "");
  broken.problem = "the PDU ends early";
  EXPECT_EQ(r.Add(single).at(0).text, "hi");
  EXPECT_TRUE(r.Add(single).at(0).indexes.empty());
  const auto out = r.Add(broken, "SM", 4);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].Problem(), "the PDU ends early");
  EXPECT_EQ(r.Waiting(), 0u);
  const auto at_zero = r.Add(single, "SM", 0).at(0);
  EXPECT_EQ(at_zero.indexes, std::vector<int>{0});
  EXPECT_EQ(at_zero.storages, std::vector<std::string>{"SM"});
}

TEST(Reassembler, ReleasesIncompleteSetsAfterTheTimeLimitOnItsClock) {
  std::int64_t now = 0;
  Reassembler r(std::chrono::minutes(5), [&now] { return now; });
  r.Add(Part("+1555", 7, 4, 1, "a"));
  now = 60'000;
  r.Add(Part("+1555", 7, 4, 3, "c"));
  r.Add(Part("+1666", 9, 2, 1, "x"));
  EXPECT_EQ(r.NextDue(), 300'000);
  now = 299'999;
  EXPECT_TRUE(r.Expire().empty());
  now = 300'000;
  const auto due = r.Expire();
  ASSERT_EQ(due.size(), 1u);
  EXPECT_FALSE(due[0].complete);
  EXPECT_EQ(due[0].text, "ac");
  EXPECT_EQ(due[0].Problem(), "incomplete: parts 2, 4 of 4 missing");
  const auto rest = r.Flush();
  ASSERT_EQ(rest.size(), 1u);
  EXPECT_EQ(rest[0].Problem(), "incomplete: part 2 of 2 missing");
}

// What Collect and message watch --delete delete: each index in its own storage, index 0 too.
TEST(Reassembler, EachIndexKeepsItsStorage) {
  Reassembler r;
  EXPECT_TRUE(r.Add(Part("+1555", 3, 2, 1, "a"), "SM", 0).empty());
  const auto got = r.Add(Part("+1555", 3, 2, 2, "b"), "ME", 1);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].indexes, (std::vector<int>{0, 1}));
  EXPECT_EQ(got[0].storages, (std::vector<std::string>{"SM", "ME"}));
  EXPECT_EQ(got[0].storage, "SM");
}

// Another sender's splitting may end a part with an escape: the next part's first septet is its code.
TEST(Reassembler, AnEscapeEndingAPartTakesTheNextPartsFirstSeptet) {
  auto part = [](int sequence, const std::vector<std::uint8_t>& septets) {
    const std::string header = std::string("\x05\x00\x03\x21\x02", 5) + static_cast<char>(sequence);
    std::string pdu = "00440B915155100054F6000062214001000000";
    pdu::AppendHexOctet(pdu, static_cast<unsigned>(7 + septets.size()));
    pdu::AppendHexOctets(pdu, header);
    pdu::AppendPackedSeptets(pdu, septets, 1);
    return DecodePdu(pdu);
  };
  const struct {
    std::string name;
    std::vector<std::uint8_t> next;
    std::string text;
  } cases[] = {{"an extension character", {0x65, 'c'}, "ab€c"},
               {"a code without one: its default character", {'d', 'c'}, "abdc"},
               {"a second escape: a space, then its code alone", {0x1B, 0x65, 'c'}, "ab ec"},
               {"a second escape before a code without a character: a space, then that code", {0x1B, 'd', 'c'},
                "ab dc"},
               {"two more escapes: a space, then the second one's extension character", {0x1B, 0x1B, 0x65, 'c'},
                "ab \u20ACc"},
               {"a second escape that ends the part: a space", {0x1B}, "ab "}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Message first = part(1, {'a', 'b', 0x1B});
    EXPECT_EQ(first.text, "ab");
    EXPECT_TRUE(first.escape_at_end);
    Reassembler r;
    EXPECT_TRUE(r.Add(first).empty());
    const auto got = r.Add(part(2, c.next));
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].text, c.text);
    // The same septets in one message read the same.
    std::vector<std::uint8_t> all = {'a', 'b', 0x1B};
    all.insert(all.end(), c.next.begin(), c.next.end());
    std::string single = "00040B915155100054F6000062214001000000";
    pdu::AppendHexOctet(single, static_cast<unsigned>(all.size()));
    pdu::AppendPackedSeptets(single, all, 0);
    EXPECT_EQ(DecodePdu(single).text, c.text);
  }
}

// A UCS2 part sequence of total (reference 9) from +15550100777 carrying these units, 4 hex digits each.
Message Ucs2Part(int total, int sequence, const std::string& hex_units) {
  std::string pdu = "06919471060040440B915155100077F7000842507190807021";
  pdu::AppendHexOctet(pdu, static_cast<unsigned>(6 + hex_units.size() / 2));
  pdu += "05000309";
  pdu::AppendHexOctet(pdu, static_cast<unsigned>(total));
  pdu::AppendHexOctet(pdu, static_cast<unsigned>(sequence));
  return DecodePdu(pdu + hex_units);
}

// A character beyond U+FFFF takes two UCS2 units, which another sender's splitting may put in two
// parts: joined, they are the character again, wherever the parts divide the text.
TEST(Reassembler, ASurrogatePairSplitBetweenUcs2PartsIsOneCharacterAgain) {
  // The parts as a phone sent them: "ab" and the high half, then the low half and "cd".
  const std::string sent1 =
      "06919471060040440B915155100077F70008425071908070210C0500030902010061"
      "0062D83D";
  const std::string sent2 =
      "06919471060040440B915155100077F70008425071908070210C050003090202DE00"
      "00630064";
  const std::string units = "00610062D83DDE0000630064";  // a b (high low) c d, 4 hex digits a unit
  const auto part = [](int sequence, const std::string& hex_units) {
    return Ucs2Part(2, sequence, hex_units);
  };
  struct Case {
    std::string name;
    Message first, second;
    std::string first_text;  // the first part's own text
  };
  std::vector<Case> cases = {{"as sent", DecodePdu(sent1), DecodePdu(sent2), "ab"}};
  for (std::size_t split = 4; split <= 20; split += 4)
    cases.push_back({"split after " + std::to_string(split / 4) + " units", part(1, units.substr(0, split)),
                     part(2, units.substr(split)),
                     split == 12  ? "ab"
                     : split < 12 ? std::string("ab").substr(0, split / 4)
                                  : std::string("ab\U0001F600c").substr(0, split / 4 + 2)});
  for (const Case& c : cases) {
    for (const bool in_order : {true, false}) {
      SCOPED_TRACE(c.name + (in_order ? ", in order" : ", second part first"));
      ASSERT_TRUE(c.first.Decoded()) << c.first.problem;
      ASSERT_TRUE(c.second.Decoded()) << c.second.problem;
      EXPECT_EQ(c.first.text, c.first_text);
      Reassembler r;
      EXPECT_TRUE(r.Add(in_order ? c.first : c.second).empty());
      const auto got = r.Add(in_order ? c.second : c.first);
      ASSERT_EQ(got.size(), 1u);
      EXPECT_EQ(got[0].text, "ab\U0001F600cd");
      EXPECT_EQ(got[0].Problem(), "");
    }
  }
}

// Half a pair that the next part does not complete, or whose other part never came, shows as
// U+FFFD; the joined message says why.
TEST(Reassembler, HalfASurrogatePairLeftAloneIsShownAndNoted) {
  const auto part = Ucs2Part;
  const std::string lone = "\uFFFD";
  const std::string noted = "half a UTF-16 surrogate pair stands alone (shown as U+FFFD)";
  struct Case {
    std::string name;
    std::vector<Message> parts;
    bool flush;
    std::string text, problem;
  };
  // clang-format off
  const Case cases[] = {
      {"a high half the next part does not complete", {part(2, 1, "0061D83D"), part(2, 2, "0063")}, false,
       "a" + lone + "c", noted},
      {"a low half the part before did not begin", {part(2, 1, "0061"), part(2, 2, "DE000063")}, false,
       "a" + lone + "c", noted},
      {"a high half whose next part is missing", {part(3, 1, "0061D83D"), part(3, 3, "0063")}, true, "a" + lone + "c",
       "incomplete: part 2 of 3 missing"},
      {"a high half at the end of the last part", {part(2, 1, "0061"), part(2, 2, "0063D83D")}, false, "ac" + lone,
       noted},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Reassembler r;
    std::vector<AssembledMessage> got;
    for (const Message& m : c.parts) {
      ASSERT_TRUE(m.Decoded()) << m.problem;
      for (auto& a : r.Add(m)) got.push_back(a);
    }
    if (c.flush)
      for (auto& a : r.Flush()) got.push_back(a);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].text, c.text);
    EXPECT_EQ(got[0].Problem(), c.problem);
  }
}

}  // namespace
}  // namespace quandelstk::testing
