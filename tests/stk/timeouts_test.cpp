// Each command's own timeout: against a silent modem, the time from one command line to the next
// (or to the end of the call) is the command's timeout in whole seconds, plus at most one second.
#include "stk_test_support.hpp"

namespace quandelstk::testing {
namespace {

struct TimeoutCase {
  const char* name;
  Call call;
  std::vector<Say> says;               // the rest is silence
  std::vector<std::int64_t> waits_ms;  // from each line to the next, the last to the end
};

class TimeoutTest : public StkTest, public ::testing::WithParamInterface<TimeoutCase> {};

TEST_P(TimeoutTest, EachExchangeWaitsItsOwnTime) {
  vs.Modem().Otherwise("");
  Script(GetParam().says);
  GetParam().call(stk);
  const auto& lines = vs.Modem().TimedLines();
  ASSERT_EQ(lines.size(), GetParam().waits_ms.size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::int64_t waited = (i + 1 < lines.size() ? lines[i + 1].first : vs.NowMs()) - lines[i].first;
    const std::int64_t timeout = GetParam().waits_ms[i];
    // Past the timeout (the clock counts whole seconds), by at most a second; an answer comes at once.
    EXPECT_TRUE(timeout ? waited > timeout && waited <= timeout + 1000 : waited == 0)
        << lines[i].second << " waited " << waited;
  }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(SIMToolKit, TimeoutTest, ::testing::Values(
    TimeoutCase{"STKStatusGet", kStatus, {}, {12000}},
    TimeoutCase{"ActivateSTK", kActivate, {}, {7000}},
    // Command 11, a 1000 ms pause, the menu, the restart.
    TimeoutCase{"MainMenuDisplay", kMainMenu, {}, {8000, 7000, 12000}},
    TimeoutCase{"MainMenuSelect", MainSelect(1), {}, {12000, 7000}},
    TimeoutCase{"SubMenuDisplay", kSubMenu, {}, {12000}},
    TimeoutCase{"SubMenuSelect", SubSelect(1), {}, {12000}},
    TimeoutCase{"InputRequestDisplay", kInputRequest, {}, {12000}},
    TimeoutCase{"ResponseDisplay", kResponse, {}, {12000}},
    TimeoutCase{"SMSSentDisplay", kSmsSent, {}, {12000}},
    TimeoutCase{"InputSubmitPrompt", Submit("1"), {}, {12000}},
    TimeoutCase{"InputSubmitText", Submit("1"), {{"AT+STGR=3,1", "\r\n> "}}, {0, 12000}},
    TimeoutCase{"InputSubmitConfirmation", Submit("ok"), {}, {12000}},
    TimeoutCase{"CloseSTK", kClose, {}, {7000}},
    TimeoutCase{"DeactivateSTK", kDeactivate, {}, {7000}},
    TimeoutCase{"Restore", kDeactivate, {{"AT+STSF=0", kOk}}, {0, 7000, 7000, 7000}},
    TimeoutCase{"RestoreSettings", kDeactivate,
                {{"AT+STSF=0", kOk}, {"AT+CSMS=0", kOk}, {"AT+CSQ", kOk}, {"AT+CSDH=1", kOk}, {"AT+CMGF=1", kOk}},
                {0, 0, 0, 0, 0, 7000}}),
    [](const auto& info) { return info.param.name; });
// clang-format on

}  // namespace
}  // namespace quandelstk::testing
