#include <algorithm>

#include "stk_test_support.hpp"

namespace quandelstk::testing {
namespace {

const std::string kMenu = Answer({"+STGI: \"SIM Services\"", "+STGI: 1,3,\"Balance\",0,0",
                                  "+STGI: 2,3,\"Services\",0,1", "+STGI: 3,3,\"Send SMS\",0,0"});
const std::string kMenuList = "1:Balance\r\n2:Services\r\n3:Send SMS";

struct RetryCase {
  const char* name;
  std::vector<Say> says;
  bool result;
  long attempts;       // "AT+STGI=11" / "AT+STGI=0" pairs sent
  long restarts;       // "AT+CFUN=1" sent
  std::int64_t slept;  // plain pauses, ms
  std::string menus;
};

class MainMenuRetryTest : public StkTest, public ::testing::WithParamInterface<RetryCase> {};

TEST_P(MainMenuRetryTest, EightAttemptsOneRestartAndTheirPauses) {
  const RetryCase& c = GetParam();
  PresetMenus();
  Script(c.says);
  EXPECT_EQ(stk.MainMenuDisplay(), c.result);
  const auto lines = vs.Modem().Lines();
  const auto count = [&](const char* line) { return std::count(lines.begin(), lines.end(), line); };
  EXPECT_EQ(count("AT+STGI=11"), c.attempts);
  EXPECT_EQ(count("AT+STGI=0"), c.attempts);
  EXPECT_EQ(count("AT+CFUN=1"), c.restarts);
  EXPECT_EQ(vs.Platform().SleptMs(), c.slept);
  EXPECT_EQ(Menus(), c.menus);
  // Command 11 leads each attempt; the restart follows the first failed fetch.
  EXPECT_EQ(lines.at(0), "AT+STGI=11");
  if (c.restarts) {
    EXPECT_EQ(lines.at(2), "AT+CFUN=1");
  }
}

const Say kNoMenu = {"AT+STGI=0", kNotPending};

// clang-format off
INSTANTIATE_TEST_SUITE_P(MainMenuDisplay, MainMenuRetryTest, ::testing::Values(
    RetryCase{"AtTheFirstAttempt", {{"AT+STGI=0", kMenu}}, true, 1, 0, 1000, "SIM Services|" + kMenuList + "|old sub|9:old sub"},
    RetryCase{"AtTheThird", {{"AT+STGI=0", kNotPending, 2}, {"AT+STGI=0", kMenu}}, true, 3, 1, 5000,
              "SIM Services|" + kMenuList + "|old sub|9:old sub"},
    // The last answer holds no quoted title: the properties are emptied, then the cut fails.
    RetryCase{"Never", {kNoMenu}, false, 8, 1, 16000, "||old sub|9:old sub"},
    RetryCase{"RestartFails", {kNoMenu, {"AT+CFUN=1", kError}}, false, 1, 1, 1000, kPresetMenus}),
    [](const auto& info) { return info.param.name; });
// clang-format on

struct CutCase {
  const char* name;
  std::string command;
  std::string answer;
  bool result;
  std::string menus;
};

class MenuCutTest : public StkTest, public ::testing::WithParamInterface<CutCase> {};

TEST_P(MenuCutTest, TitleAndItems) {
  PresetMenus();
  Script({{GetParam().command, GetParam().answer}});
  EXPECT_EQ(GetParam().command == "AT+STGI=6" ? stk.SubMenuDisplay() : stk.MainMenuDisplay(),
            GetParam().result);
  EXPECT_EQ(Menus(), GetParam().menus);
}

const std::string kMain = "AT+STGI=0", kSub = "AT+STGI=6", kOldSub = "|old sub|9:old sub",
                  kOldMain = "old|1:old|";

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cuts, MenuCutTest, ::testing::Values(
    CutCase{"MainThreeItems", kMain, kMenu, true, "SIM Services|" + kMenuList + kOldSub},
    CutCase{"MainTitleWithoutItems", kMain, Answer({"+STGI: \" My  SIM \""}), true, " My  SIM |" + kOldSub},
    // The third comma after "+STGI:" ends the label, even inside its quotes; blanks in it stay.
    CutCase{"MainCommaInALabel", kMain, Answer({"+STGI: \"M\"", "+STGI: 1,2,\" Pay, now\",0,0", "+STGI: 2,2,\"Help\",0,0"}),
            true, "M|1: Pay\r\n2:Help" + kOldSub},
    CutCase{"MainBlanksAroundIdentifiers", kMain, Answer({"+STGI: \"M\"", "+STGI:  12 ,2,\"A\",0,0", "+STGI:1,2,\"B\",0,0"}),
            true, "M|12:A\r\n1:B" + kOldSub},
    CutCase{"MainNoQuote", kMain, Answer({"+STGI: SIM Services", "+STGI: 1,1,Balance,0,0"}), false, "|" + kOldSub},
    CutCase{"MainOneQuote", kMain, Answer({"+STGI: \"SIM Services", "+STGI: 1,1,A,0,0"}), false, "|" + kOldSub},
    // What was cut before the failure stays; an item line without its label must not be searched again.
    CutCase{"MainItemEndsBeforeItsLabel", kMain, Answer({"+STGI: \"M\"", "+STGI: 1,2,\"A\",0,0", "+STGI: 2,2"}), false,
            "M|1:A" + kOldSub},
    // One comma only: the label search starts again from the top of the answer, and the next scan
    // starts after the line.
    CutCase{"MainOnlyItemWithOneComma", kMain, Answer({"+STGI: \"M\"", "+STGI: 1,\"A\""}), true,
            "M|1:AT+STGI=0\r\r\n+STGI: M\r\n\r\n+STGI: 1" + kOldSub},
    CutCase{"SubTitleInQuotes", kSub, Answer({"+STGI: 0,\"Services\",0", "+STGI: 1,2,\"News\",0,0", "+STGI: 2,2,\"Top up\",0,0"}),
            true, kOldMain + "Services|1:News\r\n2:Top up"},
    CutCase{"SubTitleLineWithoutQuotes", kSub, Answer({"+STGI: 0,,0", "+STGI: 1,1,\"News\",0,0"}), true,
            kOldMain + "|1:News"},
    CutCase{"SubTitleLineWithOneQuote", kSub, Answer({"+STGI: 0,\"Services,0", "+STGI: 1,1,\"News\",0,0"}), false,
            kOldMain + "|"},
    CutCase{"SubRefusedLeavesTheProperties", kSub, kNotPending, false, kPresetMenus}),
    [](const auto& info) { return info.param.name; });
// clang-format on

}  // namespace
}  // namespace quandelstk::testing
