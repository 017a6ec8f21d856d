// Which sent message a status report is about: numbers compared as people write them.
#include <gtest/gtest.h>

#include "quandelstk/messages.hpp"

namespace quandelstk::testing {
namespace {

using namespace messages;

TEST(SameNumber, MatchesOneNumberWrittenTwoWaysAndNothingElse) {
  const struct {
    std::string a, b;
    bool same;
  } cases[] = {
      {"+15550100999", "15550100999", true},
      {"+15550100999", "+15550100999", true},
      {"+4915550100999", "015550100999", true},   // national, with its trunk prefix
      {"015550100999", "+4915550100999", true},   // either order
      {"+15550100999", "5550100999", true},       // national without a prefix
      {"05550100999", "15550100999", false},      // one length: a leading 0 is a digit like another
      {"15550100999", "05550100999", false},
      {"005550100", "105550100", false},
      {"+15550100999", "15550100998", false},
      {"0100999", "+15550100999", false},         // fewer than seven digits after the prefix
      {"", "", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.a + " / " + c.b);
    EXPECT_EQ(SameNumber(c.a, c.b), c.same);
  }
}

TEST(MatchReport, TakesTheNewestSentMessageToTheNumberWithTheReference) {
  Message report;
  report.type = MessageType::StatusReport;
  report.address = "+15550100999";
  report.reference = 7;
  const std::vector<SentMessage> sent = {{"15550100999", "old", {7}, ""},
                                         {"+15550100999", "two parts", {6, 7}, ""},
                                         {"+15550100888", "elsewhere", {7}, ""},
                                         {"05550100999", "another number of the same length", {7}, ""}};
  const auto match = MatchReport(report, sent);
  ASSERT_TRUE(match);
  EXPECT_EQ(match->sent, 1u);
  EXPECT_EQ(match->part, 2);
  report.reference = 8;
  EXPECT_FALSE(MatchReport(report, sent));
}

}  // namespace
}  // namespace quandelstk::testing
