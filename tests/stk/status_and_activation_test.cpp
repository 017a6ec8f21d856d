#include "stk_test_support.hpp"

namespace quandelstk::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

struct StatusCase {
  const char* name;
  std::string answer;  // to "AT+STIN?"
  STKStatus status;
};

using StatusTest = ::testing::TestWithParam<StatusCase>;

TEST_P(StatusTest, SameWithAndWithoutEcho) {
  for (const bool echo : {false, true}) {
    SCOPED_TRACE(echo ? "echo" : "no echo");
    VirtualSession vs;
    vs.OpenPort();
    vs.Modem().Echo(echo).On("AT+STIN?", GetParam().answer);
    EXPECT_EQ(SIMToolKit().STKStatusGet(), GetParam().status);
    EXPECT_THAT(vs.Modem().Lines(), ElementsAre("AT+STIN?"));
  }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(STKStatusGet, StatusTest, ::testing::Values(
    StatusCase{"MainMenu", Answer({"+STIN: 0"}), STKStatus::STKMainMenu},
    StatusCase{"Response", Answer({"+STIN: 1"}), STKStatus::STKResponse},
    StatusCase{"InputRequest", Answer({"+STIN: 3"}), STKStatus::STKInputRequest},
    StatusCase{"SubMenu", Answer({"+STIN: 6"}), STKStatus::STKSubMenu},
    StatusCase{"SMSSent", Answer({"+STIN: 9"}), STKStatus::STKSMSSent},
    StatusCase{"TimeOut", Answer({"+STIN: 98"}), STKStatus::STKTimeOut},
    StatusCase{"SessionEnd", Answer({"+STIN: 99"}), STKStatus::STKSessionEnd},
    StatusCase{"BlanksAroundTheNumber", Answer({"+STIN:   6  "}), STKStatus::STKSubMenu},
    StatusCase{"NotInTheEnumeration2", Answer({"+STIN: 2"}), STKStatus::STKUnknown},
    StatusCase{"NotInTheEnumeration15", Answer({"+STIN: 15"}), STKStatus::STKUnknown},
    StatusCase{"UnknownItself", Answer({"+STIN: 100"}), STKStatus::STKUnknown},
    StatusCase{"Negative", Answer({"+STIN: -1"}), STKStatus::STKUnknown},
    StatusCase{"BeyondSixteenBits", Answer({"+STIN: 40000"}), STKStatus::STKUnknown},
    StatusCase{"NotANumber", Answer({"+STIN: six"}), STKStatus::STKUnknown},
    StatusCase{"EmptyNumber", Answer({"+STIN:"}), STKStatus::STKUnknown},
    StatusCase{"NoIndicationLine", kOk, STKStatus::STKUnknown},
    StatusCase{"Error", kError, STKStatus::STKUnknown},
    StatusCase{"NothingPending", kNotPending, STKStatus::STKUnknown}),
    [](const auto& info) { return info.param.name; });
// clang-format on

TEST_F(StkTest, StatusTakesTheLineAfterTheEchoOverAnIndicationWaitingBeforeIt) {
  // "+STIN: 0" arrived unsolicited after the previous answer and waits in the line.
  vs.Modem().Unsolicited(0, "\r\n+STIN: 0\r\n").On("AT+STIN?", Answer({"+STIN: 6"})).Echo(true);
  EXPECT_EQ(stk.STKStatusGet(), STKStatus::STKSubMenu);
}

TEST_F(StkTest, StatusWithoutEchoTakesTheFirstIndication) {
  vs.Modem().Unsolicited(0, "\r\n+STIN: 0\r\n").On("AT+STIN?", Answer({"+STIN: 6"}));
  EXPECT_EQ(stk.STKStatusGet(), STKStatus::STKMainMenu);
}

TEST_F(StkTest, StatusWaitsTwelveSecondsForASilentModem) {
  EXPECT_EQ(stk.STKStatusGet(), STKStatus::STKUnknown);
  EXPECT_GE(vs.NowMs(), 12000);
  EXPECT_LT(vs.NowMs(), 14000);
}

const std::string kConfigure = "AT+STSF=2,\"5FFFFFFF7F\",6,0";

struct ActivateCase {
  const char* name;
  std::vector<Say> says;
  bool result;
  std::vector<std::string> lines;
};

class ActivateTest : public StkTest, public ::testing::WithParamInterface<ActivateCase> {};

TEST_P(ActivateTest, ConfiguresSwitchesOnAndChecks) {
  Script(GetParam().says, true);
  EXPECT_EQ(stk.ActivateSTK(), GetParam().result);
  EXPECT_THAT(Received(), ElementsAreArray(GetParam().lines));
}

const std::vector<std::string> kAllThree = {kConfigure, "AT+STSF=1", "AT+STSF?"};
Say Reported(const std::string& status) { return {"AT+STSF?", Answer({status})}; }

// clang-format off
INSTANTIATE_TEST_SUITE_P(ActivateSTK, ActivateTest, ::testing::Values(
    ActivateCase{"OurProfile", {Reported("+STSF: 1,\"5FFFFFFF7F\",6,0")}, true, kAllThree},
    // Some modems report a profile of their own once the toolkit is on.
    ActivateCase{"ModemsOwnProfile", {Reported("+STSF: 1,\"3F6BFFFF1F0100573E\",3,0")}, true, kAllThree},
    ActivateCase{"StillOff", {Reported("+STSF: 0,\"5FFFFFFF7F\",6,0")}, false, kAllThree},
    ActivateCase{"OtherProfile", {Reported("+STSF: 1,\"160060C01F\",6,0")}, false, kAllThree},
    ActivateCase{"ProfileRefused", {{kConfigure, kNotAllowed}}, false, {kConfigure}},
    ActivateCase{"SwitchRefused", {{"AT+STSF=1", kError}}, false, {kConfigure, "AT+STSF=1"}},
    ActivateCase{"QueryRefused", {{"AT+STSF?", kError}}, false, kAllThree},
    // A modem without the toolkit knows none of its commands.
    ActivateCase{"NoToolkit", {{kConfigure, kError}, {"AT+STSF=1", kError}}, false, {kConfigure}}),
    [](const auto& info) { return info.param.name; });
// clang-format on

}  // namespace
}  // namespace quandelstk::testing
