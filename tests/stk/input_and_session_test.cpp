#include "channel/exchange.hpp"
#include "channel/session.hpp"
#include "quandelstk/errors.hpp"
#include "stk_test_support.hpp"

namespace quandelstk::testing {
namespace {

using ::testing::ElementsAreArray;

struct Case {
  const char* name;
  std::vector<Say> says;
  Call call;
  std::string result;
  std::vector<std::string> lines;
};

class ToolkitCallTest : public StkTest, public ::testing::WithParamInterface<Case> {};

TEST_P(ToolkitCallTest, ResultAndLines) {
  Script(GetParam().says, true);
  EXPECT_EQ(GetParam().call(stk), GetParam().result);
  EXPECT_THAT(Received(), ElementsAreArray(GetParam().lines));
}

auto Name = [](const auto& info) { return info.param.name; };

// --- InputSubmit --------------------------------------------------------------------------------

Call Submit(const std::string& input) {
  return [input](SIMToolKit& s) { return Shown(s.InputSubmit(input)); };
}
const std::vector<Say> kPromptThenOk = {{"AT+STGR=3,1", kPrompt}};

// clang-format off
INSTANTIATE_TEST_SUITE_P(InputSubmit, ToolkitCallTest, ::testing::Values(
    Case{"ConfirmationLower", {}, Submit("ok"), "true", {"AT+STGR=1"}},
    Case{"ConfirmationMixed", {}, Submit("Ok"), "true", {"AT+STGR=1"}},
    Case{"ConfirmationMixedOther", {}, Submit("oK"), "true", {"AT+STGR=1"}},
    Case{"ConfirmationRefused", {{"AT+STGR=1", kNotAllowed}}, Submit("OK"), "false", {"AT+STGR=1"}},
    Case{"LongerThanTwo", kPromptThenOk, Submit("OKAY"), "true", {"AT+STGR=3,1", "OKAY\x1A"}},
    Case{"ShorterThanTwo", kPromptThenOk, Submit("O"), "true", {"AT+STGR=3,1", "O\x1A"}},
    Case{"OkWithBlank", kPromptThenOk, Submit("OK "), "true", {"AT+STGR=3,1", "OK \x1A"}},
    Case{"Empty", kPromptThenOk, Submit(""), "true", {"AT+STGR=3,1", "\x1A"}},
    Case{"Text", kPromptThenOk, Submit("1234 5678"), "true", {"AT+STGR=3,1", "1234 5678\x1A"}},
    Case{"NoPrompt", {{"AT+STGR=3,1", kNotAllowed}}, Submit("1234"), "false", {"AT+STGR=3,1"}},
    Case{"TextRefused", {{"AT+STGR=3,1", kPrompt}, {"1234\x1A", kNotAllowed}}, Submit("1234"), "false",
         {"AT+STGR=3,1", "1234\x1A"}}),
    Name);
// clang-format on

TEST_F(StkTest, EmptyInputSendsCtrlZAloneFollowedByCr) {
  Script(kPromptThenOk);
  EXPECT_TRUE(stk.InputSubmit(""));
  EXPECT_EQ(vs.Modem().Written(), "AT+STGR=3,1\r\x1A\r");
}

TEST_F(StkTest, InputSubmitWaitsTwelveSecondsForThePrompt) {
  vs.Modem().On("AT+STGR=3,1", kOk);  // answered, but without a prompt
  EXPECT_FALSE(stk.InputSubmit("1234"));
  EXPECT_GE(vs.NowMs(), 12000);
  EXPECT_LT(vs.NowMs(), 14000);
  EXPECT_EQ(vs.Modem().Written(), "AT+STGR=3,1\r");
}

// --- The three text fetches ---------------------------------------------------------------------

using FetchMethod = std::string (SIMToolKit::*)();
struct Fetch {
  const char* name;
  FetchMethod method;
  std::string command;
};
const Fetch kFetches[] = {{"InputRequestDisplay", &SIMToolKit::InputRequestDisplay, "AT+STGI=3"},
                          {"ResponseDisplay", &SIMToolKit::ResponseDisplay, "AT+STGI=1"},
                          {"SMSSentDisplay", &SIMToolKit::SMSSentDisplay, "AT+STGI=9"}};

struct TextCase {
  const char* name;
  std::string answer;
  std::string text;
};

class TextFetchTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(TextFetchTest, FirstQuotedTextTrimmed) {
  for (const Fetch& f : kFetches) {
    SCOPED_TRACE(f.name);
    VirtualSession vs;
    vs.OpenPort();
    vs.Modem().Echo(true).On(f.command, GetParam().answer);
    SIMToolKit stk;
    EXPECT_EQ((stk.*f.method)(), GetParam().text);
    EXPECT_EQ(vs.Modem().Lines(), std::vector<std::string>{f.command});
  }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(ToolkitTexts, TextFetchTest, ::testing::Values(
    TextCase{"Display", Answer({"+STGI: 0,\"Your balance is 10.00\",1"}), "Your balance is 10.00"},
    TextCase{"InputPrompt", Answer({"+STGI: 0,0,1,1,16,\"Enter voucher code\""}), "Enter voucher code"},
    TextCase{"Notice", Answer({"+STGI: \"Sending SMS\""}), "Sending SMS"},
    TextCase{"OuterBlanksTrimmedInnerKept", Answer({"+STGI: 0,\"   Voucher  1234 accepted  \",1"}),
             "Voucher  1234 accepted"},
    TextCase{"OnlyTheFirstQuotedText", Answer({"+STGI: \"first\",\"second\""}), "first"},
    TextCase{"EmptyText", Answer({"+STGI: 0,\"\",1"}), ""},
    TextCase{"NoQuote", Answer({"+STGI: 0,0,1,1,16"}), ""},
    TextCase{"OneQuote", Answer({"+STGI: 0,\"Enter code"}), ""},
    TextCase{"NoStgiLine", kOk, ""},
    TextCase{"Error", kError, ""},
    TextCase{"NothingPending", kNotPending, ""}),
    [](const auto& info) { return info.param.name; });
// clang-format on

// --- CloseSTK, DeactivateSTK and the restore of the message settings ----------------------------

Call Close = [](SIMToolKit& s) { return Shown(s.CloseSTK()); };
Call Deactivate = [](SIMToolKit& s) { return Shown(s.DeactivateSTK()); };
const std::vector<std::string> kRestored = {"AT+CSMS=0", "AT+CSQ", "AT+CSDH=1", "AT+CMGF=1", "AT+CNMI=0,0,0,2,0"};

std::vector<std::string> Then(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
std::vector<std::string> Times(int n, const std::vector<std::string>& lines) {
  std::vector<std::string> all;
  for (int i = 0; i < n; ++i) all = Then(all, lines);
  return all;
}
const Say kSignal = {"AT+CSQ", Answer({"+CSQ: 15,99"})};

// clang-format off
INSTANTIATE_TEST_SUITE_P(Session, ToolkitCallTest, ::testing::Values(
    Case{"CloseAccepted", {}, Close, "true", {"AT+STGR=99"}},
    Case{"CloseRefused", {{"AT+STGR=99", kNotAllowed}}, Close, "false", {"AT+STGR=99"}},
    Case{"DeactivatedAndRestored", {kSignal}, Deactivate, "true", Then({"AT+STSF=0"}, kRestored)},
    Case{"SwitchOffRefused", {{"AT+STSF=0", kError}}, Deactivate, "false", {"AT+STSF=0"}},
    // Any answer to the message service but 515 ends a restore at once; three restores, then true.
    Case{"EveryRestoreFails", {{"AT+CSMS=0", "\r\n+CMS ERROR: 500\r\n"}}, Deactivate, "true",
         Then({"AT+STSF=0"}, Times(3, {"AT+CSMS=0"}))},
    Case{"ThirdRestoreSucceeds", {{"AT+CSMS=0", kError, 2}, kSignal}, Deactivate, "true",
         Then({"AT+STSF=0", "AT+CSMS=0", "AT+CSMS=0"}, kRestored)},
    // No signal: the restore ends before the message settings.
    Case{"SignalZero", {{"AT+CSQ", Answer({"+CSQ: 0,99"})}}, Deactivate, "true",
         Then({"AT+STSF=0"}, Times(3, {"AT+CSMS=0", "AT+CSQ"}))},
    Case{"SignalTenIsNotZero", {{"AT+CSQ", Answer({"+CSQ: 10,99"})}}, Deactivate, "true",
         Then({"AT+STSF=0"}, kRestored)},
    Case{"SignalQueryFails", {{"AT+CSQ", kError}}, Deactivate, "true",
         Then({"AT+STSF=0"}, Times(3, {"AT+CSMS=0", "AT+CSQ"}))},
    Case{"HeaderSettingFails", {kSignal, {"AT+CSDH=1", kError, 1}}, Deactivate, "true",
         Then({"AT+STSF=0", "AT+CSMS=0", "AT+CSQ", "AT+CSDH=1"}, kRestored)},
    Case{"TextModeFails", {kSignal, {"AT+CMGF=1", kError}}, Deactivate, "true",
         Then({"AT+STSF=0"}, Times(3, {"AT+CSMS=0", "AT+CSQ", "AT+CSDH=1", "AT+CMGF=1"}))},
    Case{"IndicationsRefusedDoNotMatter", {kSignal, {"AT+CNMI=0,0,0,2,0", kError}}, Deactivate, "true",
         Then({"AT+STSF=0"}, kRestored)}),
    Name);
// clang-format on

TEST_F(StkTest, NotReadyTwelveTimesEndsARestoreAfterElevenPauses) {
  // Twelve 515s use up the first restore; the second one finds the service ready at once.
  Script({{"AT+CSMS=0", kNotReady, 12}, kSignal});
  EXPECT_TRUE(stk.DeactivateSTK());
  EXPECT_THAT(Received(), ElementsAreArray(Then(Then({"AT+STSF=0"}, Times(12, {"AT+CSMS=0"})), kRestored)));
  EXPECT_EQ(vs.Platform().SleptMs(), 11 * 7000);
  const auto& timed = vs.Modem().TimedLines();
  for (std::size_t i = 2; i <= 12; ++i) EXPECT_GE(timed[i].first - timed[i - 1].first, 7000) << i;
}

TEST_F(StkTest, NotReadyForEverGivesThreeFullRestoresAndStillTrue) {
  Script({{"AT+CSMS=0", kNotReady}});
  EXPECT_TRUE(stk.DeactivateSTK());
  EXPECT_EQ(Count("AT+CSMS=0"), 36);
  EXPECT_EQ(Count("AT+CSQ"), 0);
  EXPECT_EQ(vs.Platform().SleptMs(), 3 * 11 * 7000);
}

TEST_F(StkTest, SilenceAfterANotReadyCountsAsNotReady) {
  Script({{"AT+CSMS=0", kNotReady, 1}, {"AT+CSMS=0", "", 2}, kSignal});
  EXPECT_TRUE(stk.DeactivateSTK());
  EXPECT_THAT(Received(), ElementsAreArray(Then({"AT+STSF=0", "AT+CSMS=0", "AT+CSMS=0", "AT+CSMS=0"}, kRestored)));
  EXPECT_EQ(vs.Platform().SleptMs(), 3 * 7000);
}

TEST_F(StkTest, RunTimeFailureWhileRestoringClosesThePortAndDeactivateStillSucceeds) {
  Script({kSignal});
  SetPendingEventsHook([&] {
    const auto lines = vs.Modem().Lines();
    if (!lines.empty() && lines.back() == "AT+CSQ") throw RuntimeError(err::kReadError, "Read error");
  });
  EXPECT_TRUE(stk.DeactivateSTK());
  SetPendingEventsHook(nullptr);
  EXPECT_FALSE(channel::IsPortOpen());
  EXPECT_FALSE(vs.Modem().IsOpen());
  // The two restores after it find the port closed.
  EXPECT_THAT(Received(), ElementsAreArray({"AT+STSF=0", "AT+CSMS=0", "AT+CSQ"}));
}

// --- Every method traps run-time failures -------------------------------------------------------

TEST_F(StkTest, EveryMethodGivesItsFailureValueOnAClosedPort) {
  channel::Gsm().PortOpen(false);
  PresetMenus();
  const std::vector<std::pair<const char*, Call>> calls = {
      {"status 100", [](SIMToolKit& s) { return Shown(s.STKStatusGet()); }},
      {"false", [](SIMToolKit& s) { return Shown(s.ActivateSTK()); }},
      {"false", [](SIMToolKit& s) { return Shown(s.MainMenuDisplay()); }},
      {"false", [](SIMToolKit& s) { return Shown(s.MainMenuSelect(1)); }},
      {"false", [](SIMToolKit& s) { return Shown(s.SubMenuDisplay()); }},
      {"false", [](SIMToolKit& s) { return Shown(s.SubMenuSelect(1)); }},
      {"\"\"", [](SIMToolKit& s) { return Shown(s.InputRequestDisplay()); }},
      {"false", [](SIMToolKit& s) { return Shown(s.InputSubmit("1234")); }},
      {"false", [](SIMToolKit& s) { return Shown(s.InputSubmit("ok")); }},
      {"\"\"", [](SIMToolKit& s) { return Shown(s.ResponseDisplay()); }},
      {"\"\"", [](SIMToolKit& s) { return Shown(s.SMSSentDisplay()); }},
      {"false", [](SIMToolKit& s) { return Shown(s.CloseSTK()); }},
      {"false", [](SIMToolKit& s) { return Shown(s.DeactivateSTK()); }},
  };
  for (const auto& [expected, call] : calls) EXPECT_EQ(call(stk), expected);
  EXPECT_EQ(Menus(), kPresetMenus);
  EXPECT_EQ(vs.Modem().Written(), "");
}

}  // namespace
}  // namespace quandelstk::testing
