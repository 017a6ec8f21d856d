#include <algorithm>

#include "channel/exchange.hpp"
#include "channel/session.hpp"
#include "quandelstk/errors.hpp"
#include "stk_test_support.hpp"

namespace quandelstk::testing {
namespace {

const Say kSignal = {"AT+CSQ", Answer({"+CSQ: 15,99"})};

long CountOf(const std::vector<std::string>& lines, const std::string& line) {
  return std::count(lines.begin(), lines.end(), line);
}

TEST_F(StkTest, NotReadyTwelveTimesEndsARestoreAfterElevenPausesOfSevenSeconds) {
  // Twelve 515s use up the first restore; the second one finds the service ready at once.
  Script({{"AT+CSMS=0", kNotReady, 12}, kSignal});
  EXPECT_TRUE(stk.DeactivateSTK());
  const auto& timed = vs.Modem().TimedLines();
  ASSERT_EQ(CountOf(vs.Modem().Lines(), "AT+CSMS=0"), 13);
  EXPECT_EQ(vs.Platform().SleptMs(), 11 * 7000);
  for (std::size_t i = 2; i <= 12; ++i) EXPECT_GE(timed[i].first - timed[i - 1].first, 7000) << i;
  EXPECT_EQ(vs.Modem().Lines().back(), "AT+CNMI=0,0,0,2,0");
}

TEST_F(StkTest, SilenceAfterANotReadyCountsAsNotReady) {
  // A timed-out attempt leaves the previous answer to be looked at.
  Script({{"AT+CSMS=0", kNotReady, 1}, {"AT+CSMS=0", "", 2}, kSignal});
  EXPECT_TRUE(stk.DeactivateSTK());
  EXPECT_EQ(CountOf(vs.Modem().Lines(), "AT+CSMS=0"), 4);
  EXPECT_EQ(CountOf(vs.Modem().Lines(), "AT+CMGF=1"), 1);
  EXPECT_EQ(vs.Platform().SleptMs(), 3 * 7000);
}

TEST_F(StkTest, RunTimeFailureWhileRestoringClosesThePortAndDeactivateStillSucceeds) {
  Script({kSignal});
  SetPendingEventsHook([&] {
    if (vs.Modem().Lines().back() == "AT+CSQ") throw RuntimeError(err::kReadError, "Read error");
  });
  EXPECT_TRUE(stk.DeactivateSTK());
  SetPendingEventsHook(nullptr);
  EXPECT_FALSE(channel::IsPortOpen());
  EXPECT_FALSE(vs.Modem().IsOpen());
  // The two restores after it find the port closed.
  EXPECT_EQ(vs.Modem().Lines(), (std::vector<std::string>{"AT+STSF=0", "AT+CSMS=0", "AT+CSQ"}));
}

TEST_F(StkTest, EveryMethodGivesItsFailureValueOnAClosedPort) {
  channel::Gsm().PortOpen(false);
  PresetMenus();
  const std::vector<std::pair<std::string, Call>> calls = {
      {"status 100", kStatus}, {"false", kActivate},    {"false", kMainMenu},    {"false", MainSelect(1)},
      {"false", kSubMenu},     {"false", SubSelect(1)}, {"\"\"", kInputRequest}, {"false", Submit("1234")},
      {"false", Submit("ok")}, {"\"\"", kResponse},     {"\"\"", kSmsSent},      {"false", kClose},
      {"false", kDeactivate}};
  for (const auto& [expected, call] : calls) EXPECT_EQ(call(stk), expected);
  EXPECT_EQ(Menus(), kPresetMenus);
  EXPECT_EQ(vs.Modem().Written(), "");
}

}  // namespace
}  // namespace quandelstk::testing
