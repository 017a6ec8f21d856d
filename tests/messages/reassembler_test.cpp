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

TEST(Reassembler, JoinsPartsInAnyOrderAndIgnoresDuplicates) {
  const std::vector<std::vector<int>> orders = {{1, 2, 3}, {3, 1, 2}, {2, 2, 3, 1}, {3, 3, 3, 2, 1, 1}};
  for (const auto& order : orders) {
    Reassembler r;
    std::vector<AssembledMessage> out;
    int index = 0;
    for (const int s : order)
      for (auto& m :
           r.Add(Part("+1555", 7, 3, s, std::string(1, static_cast<char>('a' + s - 1))), "SM", ++index))
        out.push_back(m);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].text, "abc");
    EXPECT_TRUE(out[0].complete);
    EXPECT_EQ(out[0].sequences, (std::vector<int>{1, 2, 3}));
    // Every copy's index, so that deleting cleans up; a copy after the set was whole comes apart.
    const auto late = r.TakeLateCopies();
    EXPECT_EQ(out[0].indexes.size() + late.size(), order.size());
    const std::vector<int> late_one = {3, 3, 3, 2, 1, 1};
    EXPECT_EQ(late.size(), order == late_one ? 1u : 0u);
    EXPECT_EQ(r.Waiting(), 0u);
  }
}

TEST(Reassembler, KeepsSetsOfOtherSendersReferencesAndTotalsApart) {
  Reassembler r;
  EXPECT_TRUE(r.Add(Part("+1555", 7, 2, 1, "a")).empty());
  EXPECT_TRUE(r.Add(Part("+1666", 7, 2, 2, "x")).empty());
  EXPECT_TRUE(r.Add(Part("+1555", 8, 2, 2, "y")).empty());
  EXPECT_TRUE(r.Add(Part("+1555", 7, 3, 2, "z")).empty());
  const auto done = r.Add(Part("+1555", 7, 2, 2, "b"));
  ASSERT_EQ(done.size(), 1u);
  EXPECT_EQ(done[0].text, "ab");
  EXPECT_EQ(r.Waiting(), 3u);
}

TEST(Reassembler, PassesSingleAndUndecodableMessagesStraightThrough) {
  Reassembler r;
  Message single;
  single.text = "hi";
  Message broken = Part("+1555", 1, 2, 1, "");
  broken.problem = "the PDU ends early";
  EXPECT_EQ(r.Add(single).at(0).text, "hi");
  const auto out = r.Add(broken, "SM", 4);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].Problem(), "the PDU ends early");
  EXPECT_EQ(r.Waiting(), 0u);
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

TEST(Reassembler, KeepsEightAndSixteenBitReferencesApart) {
  Reassembler r;
  EXPECT_TRUE(r.Add(Part("+1555", 5, 2, 1, "eight-1 ")).empty());
  const auto got = r.Add(Part("+1555", 5, 2, 2, "sixteen-2", true));
  EXPECT_TRUE(got.empty()) << "joined: " << (got.empty() ? "" : got[0].text);
  EXPECT_EQ(r.Waiting(), 2u);
  EXPECT_EQ(r.Add(Part("+1555", 5, 2, 2, "eight-2")).at(0).text, "eight-1 eight-2");
  EXPECT_EQ(r.Add(Part("+1555", 5, 2, 1, "sixteen-1 ", true)).at(0).text, "sixteen-1 sixteen-2");
}

// The same sender, reference and total twice (references wrap; some senders always use one): a part
// whose sequence is already held with other content belongs to another message, whatever the order.
TEST(Reassembler, ASequenceAgainWithOtherContentBeginsAnotherMessage) {
  struct Case {
    std::string name;
    std::vector<std::pair<int, std::string>> parts;  // sequence, text, in arrival order
    std::vector<std::string> messages;
    std::size_t late;  // copies of parts of messages already released
  };
  const Case cases[] = {
      {"one after the other",
       {{1, "Hello "}, {2, "world"}, {1, "Your code "}, {2, "is 1234"}},
       {"Hello world", "Your code is 1234"},
       0},
      {"interleaved",
       {{1, "Hello "}, {1, "Your code "}, {2, "world"}, {2, "is 1234"}},
       {"Hello world", "Your code is 1234"},
       0},
      {"a duplicate is still one", {{1, "Hello "}, {1, "Hello "}, {2, "world"}}, {"Hello world"}, 0},
      {"a late copy is a copy", {{1, "Hello "}, {2, "world"}, {2, "world"}}, {"Hello world"}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Reassembler r;
    std::vector<std::string> texts;
    std::vector<int> indexes;
    int index = 0;
    for (const auto& [sequence, text] : c.parts)
      for (const AssembledMessage& m : r.Add(Part("+1555", 7, 2, sequence, text), "SM", ++index)) {
        texts.push_back(m.text);
        indexes.insert(indexes.end(), m.indexes.begin(), m.indexes.end());
      }
    EXPECT_EQ(texts, c.messages);
    EXPECT_EQ(r.Waiting(), 0u);
    const auto late = r.TakeLateCopies();
    EXPECT_EQ(late.size(), c.late);
    for (const auto& copy : late) indexes.push_back(copy.index);
    EXPECT_EQ(indexes.size(), c.parts.size()) << "every index stays with the message it belongs to";
  }
}

TEST(Reassembler, IndexZeroIsAnIndexAndMinusOneNone) {
  Reassembler r;
  Message single;
  single.text = "hi";
  EXPECT_EQ(r.Add(single, "SM", 0).at(0).indexes, std::vector<int>{0});
  EXPECT_EQ(r.Add(single, "SM", 0).at(0).storages, std::vector<std::string>{"SM"});
  EXPECT_TRUE(r.Add(single).at(0).indexes.empty());
  EXPECT_TRUE(r.Add(Part("+1555", 3, 2, 1, "a"), "SM", 0).empty());
  EXPECT_EQ(r.Add(Part("+1555", 3, 2, 2, "b"), "SM", 1).at(0).indexes, (std::vector<int>{0, 1}));
}

TEST(Reassembler, EachIndexKeepsItsStorage) {
  Reassembler r;
  EXPECT_TRUE(r.Add(Part("+1555", 3, 2, 1, "a"), "SM", 5).empty());
  const auto got = r.Add(Part("+1555", 3, 2, 2, "b"), "ME", 1);
  ASSERT_EQ(got.size(), 1u);
  // What Collect and message watch --delete delete:
  std::vector<std::pair<std::string, int>> deletes;
  ASSERT_EQ(got[0].storages.size(), got[0].indexes.size());
  for (std::size_t k = 0; k < got[0].indexes.size(); ++k)
    deletes.emplace_back(got[0].storages[k], got[0].indexes[k]);
  EXPECT_THAT(deletes, ::testing::UnorderedElementsAre(::testing::Pair("SM", 5), ::testing::Pair("ME", 1)));
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
               {"a second escape before a code without a character: a space, then that code",
                {0x1B, 'd', 'c'},
                "ab dc"},
               {"two more escapes: a space, then the second one's extension character",
                {0x1B, 0x1B, 0x65, 'c'},
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

// A character beyond U+FFFF takes two UCS2 units, which another sender's splitting may put in two
// parts: joined, they are the character again, wherever the parts divide the text.
TEST(Reassembler, ASurrogatePairSplitBetweenUcs2PartsIsOneCharacterAgain) {
  // The parts as a phone sent them: "ab" and the high half, then the low half and "cd".
  const std::string sent1 = "06919471060040440B915155100077F70008425071908070210C0500030902010061"
                            "0062D83D";
  const std::string sent2 = "06919471060040440B915155100077F70008425071908070210C050003090202DE00"
                            "00630064";
  const std::string units = "00610062D83DDE0000630064";  // a b (high low) c d, 4 hex digits a unit
  auto part = [](int sequence, const std::string& hex_units) {
    std::string pdu = "06919471060040440B915155100077F7000842507190807021";
    pdu::AppendHexOctet(pdu, static_cast<unsigned>(6 + hex_units.size() / 2));
    pdu += "0500030902" + std::string(sequence == 1 ? "01" : "02") + hex_units;
    return DecodePdu(pdu);
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
                     split == 12 ? "ab" : split < 12 ? std::string("ab").substr(0, split / 4)
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
  auto part = [](int total, int sequence, const std::string& hex_units) {
    std::string pdu = "06919471060040440B915155100077F7000842507190807021";
    pdu::AppendHexOctet(pdu, static_cast<unsigned>(6 + hex_units.size() / 2));
    pdu += "050003090" + std::string(1, static_cast<char>('0' + total)) + "0" +
           std::string(1, static_cast<char>('0' + sequence)) + hex_units;
    return DecodePdu(pdu);
  };
  const std::string lone = "\uFFFD";
  const std::string noted = "half a UTF-16 surrogate pair stands alone (shown as U+FFFD)";
  struct Case {
    std::string name;
    std::vector<Message> parts;
    bool flush;
    std::string text, problem;
  };
  const Case cases[] = {
      {"a high half the next part does not complete",
       {part(2, 1, "0061D83D"), part(2, 2, "0063")}, false, "a" + lone + "c", noted},
      {"a low half the part before did not begin",
       {part(2, 1, "0061"), part(2, 2, "DE000063")}, false, "a" + lone + "c", noted},
      {"a high half whose next part is missing",
       {part(3, 1, "0061D83D"), part(3, 3, "0063")}, true, "a" + lone + "c", "incomplete: part 2 of 3 missing"},
      {"a high half at the end of the last part", {part(2, 1, "0061"), part(2, 2, "0063D83D")}, false,
       "ac" + lone, noted},
  };
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
