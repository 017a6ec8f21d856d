// How the message commands show a text to people: the message itself and the sent message a report
// is about show a backslash alike, as the sender wrote it.
#include <gtest/gtest.h>

#include "message_view.hpp"

namespace quandelstk::testing {
namespace {

using namespace messages;
using cli::AssembledText;

TEST(MessageView, ABackslashShowsAsWrittenInTheTextAndBesideAReport) {
  const struct {
    std::string name, text, shown;
  } cases[] = {{"a backslash", "C:\\dir", "C:\\dir"},
               {"two in a row", "a\\\\b", "a\\\\b"},
               {"beside a control character", "x\\\ty", "x\\\\x09y"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    AssembledMessage message;
    message.first.address = "+15550100456";
    message.text = c.text;
    EXPECT_NE(AssembledText(message, {}).find("\n    " + c.shown), std::string::npos)
        << AssembledText(message, {});

    AssembledMessage report;
    report.first.type = MessageType::StatusReport;
    report.first.address = "+15550100456";
    report.first.reference = 7;
    const std::vector<SentMessage> sent = {{"+15550100456", c.text, {7}, "today"}};
    EXPECT_NE(AssembledText(report, sent).find("for \"" + c.shown + "\" sent today"), std::string::npos)
        << AssembledText(report, sent);
  }
}

}  // namespace
}  // namespace quandelstk::testing
