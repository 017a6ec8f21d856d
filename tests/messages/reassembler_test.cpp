// Joining concatenated parts: any order, duplicates, senders kept apart, and the time limit for
// sets that never complete, on an injected clock.
#include <gtest/gtest.h>

#include "quandelstk/messages.hpp"

namespace quandelstk::testing {
namespace {

using namespace messages;

// Part sequence of total with reference from a sender, carrying text.
Message Part(const std::string& from, int reference, int total, int sequence, const std::string& text) {
  Message m;
  m.address = from;
  m.concatenation = Concatenation{reference, total, sequence, false};
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

}  // namespace
}  // namespace quandelstk::testing
