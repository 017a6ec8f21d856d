// Timeouts and poll cadence of the exchanges, in virtual time.
#include <gtest/gtest.h>

#include <utility>

#include "channel/exchange.hpp"
#include "channel/poll.hpp"
#include "channel/session.hpp"
#include "support/virtual_session.hpp"

namespace quandelstk::channel {
namespace {

using platform::TimeMs;
using testing::VirtualSession;

TEST(Timing, SilentModemIsPolledAtTheCadenceAndGivenUpWithinTheWindow) {
  struct Case {
    std::int16_t timeout;
    std::int16_t effective;
    TimeMs written_at;  // offset inside the first second
    TimeMs step;
  } cases[] = {{0, 7, 0, 100},   {0, 7, 999, 100}, {7, 7, 1, 100},     {7, 7, 500, 100},
               {1, 1, 730, 100}, {59, 59, 0, 100}, {60, 60, 250, 500}, {61, 61, 999, 500}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "timeout " << c.timeout << " written at " << c.written_at);
    VirtualSession vs;
    vs.OpenPort();
    vs.Platform().Advance(c.written_at);
    std::vector<TimeMs> polls;
    SetPendingEventsHook([&] { polls.push_back(vs.NowMs()); });
    std::string r;
    EXPECT_FALSE(SendATCommand("AT", r, c.timeout));
    ASSERT_FALSE(polls.empty());
    EXPECT_EQ(polls.front(), c.written_at);
    for (std::size_t i = 1; i < polls.size(); ++i) ASSERT_EQ(polls[i] - polls[i - 1], c.step) << "poll " << i;
    const TimeMs gave_up = polls.back() - c.written_at;
    EXPECT_GT(gave_up, c.effective * 1000);
    EXPECT_LE(gave_up, (c.effective + 1) * 1000 + c.step);
    // Given up at the first poll after the whole-second limit, not one later.
    EXPECT_LE((polls.back() - c.step) / 1000, c.effective);
    EXPECT_EQ(vs.NowMs(), polls.back());
  }
}

TEST(Timing, IsTimedOutCountsWholeSecondsAndAlwaysPauses) {
  struct Case {
    TimeMs start_at;
    TimeMs now_at;
    std::int16_t timeout;
    bool up;
    TimeMs pause;
  } cases[] = {
      {0, 7999, 7, false, 100},   {0, 8000, 7, true, 100},    {900, 8000, 7, true, 100},
      {999, 7999, 7, false, 100}, {0, 999, 0, false, 100},    {0, 1000, 0, true, 100},
      {0, 60999, 59, true, 100},  {0, 60999, 60, false, 500}, {0, 61000, 60, true, 500},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.start_at << " to " << c.now_at << " against " << c.timeout);
    VirtualSession vs;
    vs.Platform().Advance(c.start_at);
    const Instant start = ClockNow();
    vs.Platform().Advance(c.now_at - c.start_at);
    EXPECT_EQ(IsTimedOut(start, c.timeout), c.up);
    EXPECT_EQ(vs.Platform().SleptMs(), c.pause);
  }
}

TEST(Timing, AWallClockStepDuringAnExchangeNeitherCutsNorStretchesItsWait) {
  struct Case {
    const char* name;
    std::int64_t step_s;      // the wall clock jumps by this much at the first poll
    bool answered;            // the modem answers at 3 s
    bool result;
    TimeMs ends_at;
  } cases[] = {
      {"forward an hour, answer at 3 s", 3600, true, true, 3000},
      {"back an hour, answer at 3 s", -3600, true, true, 3000},
      {"forward an hour, silent", 3600, false, false, 8000},
      {"back an hour, silent", -3600, false, false, 8000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    VirtualSession vs;
    vs.OpenPort();
    if (c.answered) vs.Modem().On("AT", {{3000, "\r\nOK\r\n"}});
    bool stepped = false;
    SetPendingEventsHook([&] {
      if (!std::exchange(stepped, true)) vs.Platform().StepWallClock(c.step_s);
    });
    std::string r;
    EXPECT_EQ(SendATCommand("AT", r, 0), c.result);
    EXPECT_EQ(vs.NowMs(), c.ends_at);
  }
}

}  // namespace
}  // namespace quandelstk::channel
