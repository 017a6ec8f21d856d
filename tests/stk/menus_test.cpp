#include "stk_test_support.hpp"

namespace quandelstk::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

const std::string kMenu = Answer({"+STGI: \"SIM Services\"", "+STGI: 1,3,\"Balance\",0,0",
                                  "+STGI: 2,3,\"Services\",0,1", "+STGI: 3,3,\"Send SMS\",0,0"});
const std::string kMenuList = "1:Balance\r\n2:Services\r\n3:Send SMS";

// --- MainMenuDisplay's attempts ------------------------------------------------------------------

struct RetryCase {
  const char* name;
  std::vector<Say> says;
  bool result;
  int attempts;       // "AT+STGI=11" / "AT+STGI=0" pairs sent
  long restarts;      // "AT+CFUN=1" sent
  std::int64_t slept;  // plain pauses, ms
  std::string menus;
};

class MainMenuRetryTest : public StkTest, public ::testing::WithParamInterface<RetryCase> {};

TEST_P(MainMenuRetryTest, AttemptsPausesAndOneRestart) {
  const RetryCase& c = GetParam();
  PresetMenus();
  Script(c.says);
  EXPECT_EQ(stk.MainMenuDisplay(), c.result);
  EXPECT_EQ(Count("AT+STGI=11"), c.attempts);
  EXPECT_EQ(Count("AT+STGI=0"), c.attempts);
  EXPECT_EQ(Count("AT+CFUN=1"), c.restarts);
  EXPECT_EQ(vs.Platform().SleptMs(), c.slept);
  EXPECT_EQ(Menus(), c.menus);
  // Each attempt asks for command 11 first, and the restart follows the first failed fetch.
  const auto lines = Received();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "AT+STGI=11");
  if (c.restarts) {
    EXPECT_EQ(lines[2], "AT+CFUN=1");
  }
}

Say MenuFails(int times, const std::string& how = kNotPending) { return {"AT+STGI=0", how, times}; }

// clang-format off
INSTANTIATE_TEST_SUITE_P(MainMenuDisplay, MainMenuRetryTest, ::testing::Values(
    RetryCase{"AtTheFirstAttempt", {{"AT+STGI=0", kMenu}}, true, 1, 0, 1000,
              "SIM Services|" + kMenuList + "|old sub|9:old sub"},
    RetryCase{"AtTheThird", {MenuFails(2), {"AT+STGI=0", kMenu}}, true, 3, 1, 5000,
              "SIM Services|" + kMenuList + "|old sub|9:old sub"},
    // The last answer holds no quoted title: the properties are emptied and the cut fails.
    RetryCase{"Never", {MenuFails(0)}, false, 8, 1, 16000, "||old sub|9:old sub"},
    RetryCase{"NeverAndTheRestartFails", {MenuFails(0), {"AT+CFUN=1", kError}}, false, 1, 1, 1000, kPresetMenus},
    // Eight refusals, the last of which still carries a menu: it is cut from that answer.
    RetryCase{"CutFromTheLastAnswer", {MenuFails(7), MenuFails(1, "\r\n+STGI: \"Late\"\r\n" + kNotAllowed)},
              true, 8, 1, 16000, "Late||old sub|9:old sub"}),
    [](const auto& info) { return info.param.name; });
// clang-format on

// --- Cutting menus ------------------------------------------------------------------------------

struct CutCase {
  const char* name;
  std::string answer;
  bool result;
  std::string name_and_list;  // "<name>|<list>"
};

class MainMenuCutTest : public StkTest, public ::testing::WithParamInterface<CutCase> {};

TEST_P(MainMenuCutTest, TitleAndItems) {
  PresetMenus();
  Script({{"AT+STGI=0", GetParam().answer}}, true);
  EXPECT_EQ(stk.MainMenuDisplay(), GetParam().result);
  EXPECT_EQ(stk.MainMenuName() + "|" + stk.MainMenuList(), GetParam().name_and_list);
  EXPECT_EQ(stk.SubMenuName() + "|" + stk.SubMenuList(), "old sub|9:old sub");
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(MainMenuDisplay, MainMenuCutTest, ::testing::Values(
    CutCase{"ThreeItems", kMenu, true, "SIM Services|" + kMenuList},
    CutCase{"TitleWithoutItems", Answer({"+STGI: \"SIM Services\""}), true, "SIM Services|"},
    CutCase{"BlanksKeptInTitleAndLabel", Answer({"+STGI: \" My  SIM \"", "+STGI: 1,1,\" Top  up \",0,0"}), true,
            " My  SIM |1: Top  up "},
    CutCase{"CommaInALabelCutsIt", Answer({"+STGI: \"M\"", "+STGI: 1,2,\"Pay, now\",0,0", "+STGI: 2,2,\"Help\",0,0"}),
            true, "M|1:Pay\r\n2:Help"},
    CutCase{"BlanksAroundIdentifiers", Answer({"+STGI: \"M\"", "+STGI:  12 ,2,\"A\",0,0", "+STGI:1 ,2,\"B\",0,0"}),
            true, "M|12:A\r\n1:B"},
    CutCase{"NoQuote", Answer({"+STGI: SIM Services", "+STGI: 1,1,Balance,0,0"}), false, "|"},
    CutCase{"OneQuote", Answer({"+STGI: \"SIM Services"}), false, "|"},
    // Properties written before the failure keep their new value.
    CutCase{"FirstItemEndsBeforeItsLabel", Answer({"+STGI: \"M\"", "+STGI: 1,2"}), false, "M|"},
    CutCase{"SecondItemEndsBeforeItsLabel", Answer({"+STGI: \"M\"", "+STGI: 1,2,\"A\",0,0", "+STGI: 2"}), false,
            "M|1:A"}),
    [](const auto& info) { return info.param.name; });
// clang-format on

class SubMenuCutTest : public StkTest, public ::testing::WithParamInterface<CutCase> {};

TEST_P(SubMenuCutTest, TitleLineAndItems) {
  PresetMenus();
  Script({{"AT+STGI=6", GetParam().answer}}, true);
  EXPECT_EQ(stk.SubMenuDisplay(), GetParam().result);
  EXPECT_EQ(stk.SubMenuName() + "|" + stk.SubMenuList(), GetParam().name_and_list);
  EXPECT_EQ(stk.MainMenuName() + "|" + stk.MainMenuList(), "old|1:old");
  EXPECT_THAT(Received(), ElementsAre("AT+STGI=6"));
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(SubMenuDisplay, SubMenuCutTest, ::testing::Values(
    CutCase{"TitleInQuotes", Answer({"+STGI: 0,\"Services\",0", "+STGI: 1,2,\"News\",0,0", "+STGI: 2,2,\"Top up\",0,0"}),
            true, "Services|1:News\r\n2:Top up"},
    CutCase{"TitleLineWithoutQuotes", Answer({"+STGI: 0,,0", "+STGI: 1,1,\"News\",0,0"}), true, "|1:News"},
    CutCase{"DefaultItemOtherThanZero", Answer({"+STGI: 2,\"Services\",0", "+STGI: 2,2,\"News\",0,0"}), true,
            "Services|2:News"},
    CutCase{"NoItems", Answer({"+STGI: 0,\"Empty\",0"}), true, "Empty|"},
    CutCase{"TitleLineWithOneQuote", Answer({"+STGI: 0,\"Services,0", "+STGI: 1,1,\"News\",0,0"}), false, "|"},
    CutCase{"NoStgiLine", kOk, false, "|"},
    CutCase{"Refused", kNotPending, false, "old sub|9:old sub"}),
    [](const auto& info) { return info.param.name; });
// clang-format on

// --- Selections ---------------------------------------------------------------------------------

struct SelectCase {
  const char* name;
  std::vector<Say> says;
  Call call;
  bool result;
  std::vector<std::string> lines;
};

class SelectTest : public StkTest, public ::testing::WithParamInterface<SelectCase> {};

TEST_P(SelectTest, SendsTheItemAndRetriesOnlyMainMenuSelections) {
  Script(GetParam().says, true);
  EXPECT_EQ(GetParam().call(stk), Shown(GetParam().result));
  EXPECT_THAT(Received(), ElementsAreArray(GetParam().lines));
}

Call MainSelect(std::int16_t item) { return [item](SIMToolKit& s) { return Shown(s.MainMenuSelect(item)); }; }
Call SubSelect(std::int16_t item) { return [item](SIMToolKit& s) { return Shown(s.SubMenuSelect(item)); }; }
const std::string kSelect3 = "AT+STGR=0,1,3";

// clang-format off
INSTANTIATE_TEST_SUITE_P(Select, SelectTest, ::testing::Values(
    SelectCase{"MainAccepted", {}, MainSelect(3), true, {kSelect3}},
    SelectCase{"MainRejectedThreeTimes", {{kSelect3, kNotAllowed}, {"AT+STGI=0", kMenu}}, MainSelect(3), false,
               {kSelect3, "AT+STGI=0", kSelect3, "AT+STGI=0", kSelect3, "AT+STGI=0"}},
    SelectCase{"MainAcceptedAtTheSecond", {{kSelect3, kNotAllowed, 1}, {"AT+STGI=0", kMenu}}, MainSelect(3), true,
               {kSelect3, "AT+STGI=0", kSelect3}},
    SelectCase{"MainMenuGoneAfterARejection", {{kSelect3, kNotAllowed}, {"AT+STGI=0", kNotPending}}, MainSelect(3),
               false, {kSelect3, "AT+STGI=0"}},
    SelectCase{"MainNegativeAndLargeItems", {}, [](SIMToolKit& s) {
                 return Shown(s.MainMenuSelect(-1) && s.MainMenuSelect(32767)); },
               true, {"AT+STGR=0,1,-1", "AT+STGR=0,1,32767"}},
    SelectCase{"SubAccepted", {}, SubSelect(12), true, {"AT+STGR=6,1,12"}},
    SelectCase{"SubRejectedOnce", {{"AT+STGR=6,1,12", kNotAllowed}}, SubSelect(12), false, {"AT+STGR=6,1,12"}}),
    [](const auto& info) { return info.param.name; });
// clang-format on

}  // namespace
}  // namespace quandelstk::testing
