// One call against scripted answers: its result and exactly the command lines it sent.
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

class CallTest : public StkTest, public ::testing::WithParamInterface<Case> {};

TEST_P(CallTest, ResultAndLines) {
  Script(GetParam().says);
  EXPECT_EQ(GetParam().call(stk), GetParam().result);
  EXPECT_THAT(vs.Modem().Lines(), ElementsAreArray(GetParam().lines));
}

const auto Name = [](const auto& info) { return info.param.name; };
const std::string kConfigure = "AT+STSF=2,\"5FFFFFFF7F\",6,0";
const std::vector<std::string> kActivation = {kConfigure, "AT+STSF=1", "AT+STSF?"};
Say Reported(const std::string& line) {
  return {"AT+STSF?", Answer({line})};
}
const std::string kSelect3 = "AT+STGR=0,1,3";
const std::vector<Say> kPrompt = {{"AT+STGR=3,1", "\r\n> "}};
const Say kSignal = {"AT+CSQ", Answer({"+CSQ: 15,99"})};
const std::vector<std::string> kRestore = {"AT+CSMS=0", "AT+CSQ", "AT+CSDH=1", "AT+CMGF=1",
                                           "AT+CNMI=0,0,0,2,0"};

std::vector<std::string> Then(std::vector<std::string> a, const std::vector<std::string>& b, int times = 1) {
  for (int i = 0; i < times; ++i) a.insert(a.end(), b.begin(), b.end());
  return a;
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(SessionControl, CallTest, ::testing::Values(
    Case{"ActivateWithOurProfile", {Reported("+STSF: 1,\"5FFFFFFF7F\",6,0")}, kActivate, "true", kActivation},
    // Some modems report a profile of their own once the toolkit is on.
    Case{"ActivateWithModemsProfile", {Reported("+STSF: 1,\"3F6BFFFF1F0100573E\",3,0")}, kActivate, "true", kActivation},
    Case{"ActivateButStillOff", {Reported("+STSF: 0,\"5FFFFFFF7F\",6,0")}, kActivate, "false", kActivation},
    Case{"ActivateProfileRefused", {{kConfigure, kError}}, kActivate, "false", {kConfigure}},
    Case{"DeactivateAndRestore", {kSignal}, kDeactivate, "true", Then({"AT+STSF=0"}, kRestore)},
    Case{"SwitchOffRefused", {{"AT+STSF=0", kError}}, kDeactivate, "false", {"AT+STSF=0"}},
    // Only 515 is waited for: any other refusal ends a restore at once; after three, still true.
    Case{"EveryRestoreFails", {{"AT+CSMS=0", "\r\n+CMS ERROR: 500\r\n"}}, kDeactivate, "true",
         Then({"AT+STSF=0"}, {"AT+CSMS=0"}, 3)},
    Case{"ThirdRestoreSucceeds", {{"AT+CSMS=0", kError, 2}, kSignal}, kDeactivate, "true",
         Then({"AT+STSF=0", "AT+CSMS=0", "AT+CSMS=0"}, kRestore)},
    Case{"NoSignalEndsEachRestoreBeforeTheSettings", {{"AT+CSQ", Answer({"+CSQ: 0,99"})}}, kDeactivate, "true",
         Then({"AT+STSF=0"}, {"AT+CSMS=0", "AT+CSQ"}, 3)},
    Case{"IndicationsRefusedDoNotMatter", {kSignal, {"AT+CNMI=0,0,0,2,0", kError}}, kDeactivate, "true",
         Then({"AT+STSF=0"}, kRestore)}),
    Name);

INSTANTIATE_TEST_SUITE_P(Selections, CallTest, ::testing::Values(
    Case{"MainAccepted", {}, MainSelect(3), "true", {kSelect3}},
    Case{"MainRejectedThreeTimes", {{kSelect3, kNotAllowed}}, MainSelect(3), "false",
         {kSelect3, "AT+STGI=0", kSelect3, "AT+STGI=0", kSelect3, "AT+STGI=0"}},
    Case{"MainAcceptedAtTheSecond", {{kSelect3, kNotAllowed, 1}}, MainSelect(3), "true", {kSelect3, "AT+STGI=0", kSelect3}},
    Case{"MainMenuGoneAfterARejection", {{kSelect3, kNotAllowed}, {"AT+STGI=0", kNotPending}}, MainSelect(3), "false",
         {kSelect3, "AT+STGI=0"}},
    Case{"MainNegativeItem", {}, MainSelect(-1), "true", {"AT+STGR=0,1,-1"}},
    Case{"SubRejectedIsNotRetried", {{"AT+STGR=6,1,12", kNotAllowed}}, SubSelect(12), "false", {"AT+STGR=6,1,12"}}),
    Name);

INSTANTIATE_TEST_SUITE_P(InputSubmit, CallTest, ::testing::Values(
    Case{"OkLowerCaseConfirms", {}, Submit("ok"), "true", {"AT+STGR=1"}},
    Case{"OkMixedCaseConfirms", {}, Submit("Ok"), "true", {"AT+STGR=1"}},
    Case{"LongerThanTwoIsText", kPrompt, Submit("OKAY"), "true", {"AT+STGR=3,1", "OKAY\x1A"}},
    Case{"ShorterThanTwoIsText", kPrompt, Submit("O"), "true", {"AT+STGR=3,1", "O\x1A"}},
    Case{"EmptyIsCtrlZAlone", kPrompt, Submit(""), "true", {"AT+STGR=3,1", "\x1A"}},
    Case{"NoPrompt", {{"AT+STGR=3,1", kError}}, Submit("1234"), "false", {"AT+STGR=3,1"}}),
    Name);
// clang-format on

TEST(STKStatusGet, EachIndicationWithAndWithoutEcho) {
  const std::vector<std::pair<std::string, STKStatus>> cases = {
      {Answer({"+STIN: 0"}), STKStatus::STKMainMenu},
      {Answer({"+STIN: 1"}), STKStatus::STKResponse},
      {Answer({"+STIN: 3"}), STKStatus::STKInputRequest},
      {Answer({"+STIN: 6"}), STKStatus::STKSubMenu},
      {Answer({"+STIN: 9"}), STKStatus::STKSMSSent},
      {Answer({"+STIN: 98"}), STKStatus::STKTimeOut},
      {Answer({"+STIN:  99 "}), STKStatus::STKSessionEnd},
      {Answer({"+STIN: 2"}), STKStatus::STKUnknown},
      {Answer({"+STIN: 15"}), STKStatus::STKUnknown},
      {Answer({"+STIN: 40000"}), STKStatus::STKUnknown},
      {Answer({"+STIN: six"}), STKStatus::STKUnknown},
      {kOk, STKStatus::STKUnknown},
      {kError, STKStatus::STKUnknown}};
  for (const bool echo : {false, true})
    for (const auto& [answer, status] : cases) {
      SCOPED_TRACE(answer + (echo ? " (echo)" : ""));
      VirtualSession vs;
      vs.OpenPort();
      vs.Modem().Echo(echo).On("AT+STIN?", answer);
      EXPECT_EQ(SIMToolKit().STKStatusGet(), status);
      EXPECT_EQ(vs.Modem().Written(), "AT+STIN?\r");
    }
}

TEST_F(StkTest, StatusLooksAfterTheEchoForTheAnswerOwnLine) {
  // "+STIN: 0" arrived unsolicited after the previous answer and waits in the line.
  vs.Modem().Unsolicited(0, "\r\n+STIN: 0\r\n").On("AT+STIN?", Answer({"+STIN: 6"}));
  EXPECT_EQ(stk.STKStatusGet(), STKStatus::STKSubMenu);
  // Without the echo there is nothing to tell them apart: the first one counts.
  vs.Modem().Echo(false).Unsolicited(vs.NowMs(), "\r\n+STIN: 0\r\n");
  EXPECT_EQ(stk.STKStatusGet(), STKStatus::STKMainMenu);
}

TEST(ToolkitTexts, FirstQuotedTextTrimmedFromEachOfTheThreeFetches) {
  using Fetch = std::string (SIMToolKit::*)();
  const std::vector<std::pair<Fetch, std::string>> fetches = {{&SIMToolKit::InputRequestDisplay, "AT+STGI=3"},
                                                              {&SIMToolKit::ResponseDisplay, "AT+STGI=1"},
                                                              {&SIMToolKit::SMSSentDisplay, "AT+STGI=9"}};
  const std::vector<std::pair<std::string, std::string>> cases = {
      {Answer({"+STGI: 0,0,1,1,16,\"Enter voucher code\""}), "Enter voucher code"},
      {Answer({"+STGI: 0,\"   Voucher  1234 accepted  \",1"}), "Voucher  1234 accepted"},
      {Answer({"+STGI: \"first\",\"second\""}), "first"},
      {Answer({"+STGI: 0,0,1,1,16"}), ""},
      {Answer({"+STGI: 0,\"Enter code"}), ""},
      {kError, ""}};
  for (const auto& [fetch, command] : fetches)
    for (const auto& [answer, text] : cases) {
      SCOPED_TRACE(command + answer);
      VirtualSession vs;
      vs.OpenPort();
      vs.Modem().On(command, answer);
      SIMToolKit stk;
      EXPECT_EQ((stk.*fetch)(), text);
      EXPECT_EQ(vs.Modem().Written(), command + "\r");
    }
}

}  // namespace
}  // namespace quandelstk::testing
