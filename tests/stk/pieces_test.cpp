// Real lines deliver answers in pieces: the main paths give the same results when every answer
// arrives cut at awkward places, a little apart.
#include <algorithm>

#include "stk_test_support.hpp"

namespace quandelstk::testing {
namespace {

using ::testing::ElementsAreArray;

// The answer cut into pieces of size bytes, gap_ms apart.
std::vector<Piece> InPieces(const std::string& answer, std::size_t size = 5, TimeMs gap_ms = 30) {
  std::vector<Piece> pieces;
  for (std::size_t i = 0; i < answer.size(); i += size)
    pieces.push_back({static_cast<TimeMs>(i / size) * gap_ms, answer.substr(i, size)});
  return pieces;
}

class PiecesTest : public StkTest {
 protected:
  void Say(const std::string& line, const std::string& answer, int times = 0) {
    vs.Modem().On(line, InPieces(answer), times);
  }
  // Error results are cut anywhere too, "+CME ERROR:" apart from its code included.
  void SayError(const std::string& line, const std::string& answer, int times = 0) {
    vs.Modem().On(line, InPieces(answer, 7, 20), times);
  }
};

TEST_F(PiecesTest, StatusMenusAndSelections) {
  SayError("AT+STGI=0", kNotPending, 1);
  Say("AT+STGI=0",
      Answer({"+STGI: \"SIM Services\"", "+STGI: 1,2,\"Balance\",0,0", "+STGI: 2,2,\"Services\",0,1"}));
  SayError("AT+STGI=11", kNotPending);
  Say("AT+CFUN=1", kOk);
  SayError("AT+STGR=0,1,2", kNotAllowed, 1);
  Say("AT+STGR=0,1,2", kOk);
  Say("AT+STIN?", Answer({"+STIN: 6"}));
  Say("AT+STGI=6",
      Answer({"+STGI: 0,\"Services\",0", "+STGI: 1,2,\"News\",0,0", "+STGI: 2,2,\"Top up\",0,0"}));
  Say("AT+STGR=6,1,2", kOk);

  EXPECT_TRUE(stk.MainMenuDisplay());
  EXPECT_EQ(stk.MainMenuName(), "SIM Services");
  EXPECT_EQ(stk.MainMenuList(), "1:Balance\r\n2:Services");
  EXPECT_EQ(vs.Platform().SleptMs(), 3000);
  EXPECT_TRUE(stk.MainMenuSelect(2));
  EXPECT_EQ(stk.STKStatusGet(), STKStatus::STKSubMenu);
  EXPECT_TRUE(stk.SubMenuDisplay());
  EXPECT_EQ(stk.SubMenuName(), "Services");
  EXPECT_EQ(stk.SubMenuList(), "1:News\r\n2:Top up");
  EXPECT_TRUE(stk.SubMenuSelect(2));
  EXPECT_THAT(
      vs.Modem().Lines(),
      ElementsAreArray({"AT+STGI=11", "AT+STGI=0", "AT+CFUN=1", "AT+STGI=11", "AT+STGI=0", "AT+STGR=0,1,2",
                        "AT+STGI=0", "AT+STGR=0,1,2", "AT+STIN?", "AT+STGI=6", "AT+STGR=6,1,2"}));
}

TEST_F(PiecesTest, InputResponseAndClose) {
  Say("AT+STSF=2,\"5FFFFFFF7F\",6,0", kOk);
  Say("AT+STSF=1", kOk);
  Say("AT+STSF?", Answer({"+STSF: 1,\"5FFFFFFF7F\",6,0"}));
  Say("AT+STGI=3", Answer({"+STGI: 0,0,1,1,16,\"Enter voucher code\""}));
  vs.Modem().On("AT+STGR=3,1", std::vector<Piece>{{0, "\r\n"}, {40, "> "}});
  Say("1234\x1A", kOk);
  Say("AT+STGI=1", Answer({"+STGI: 0,\" Voucher 1234 accepted\",1"}));
  Say("AT+STGR=1", kOk);
  Say("AT+STGI=9", Answer({"+STGI: \"Sending SMS\""}));
  Say("AT+STGR=99", kOk);

  EXPECT_TRUE(stk.ActivateSTK());
  EXPECT_EQ(stk.InputRequestDisplay(), "Enter voucher code");
  EXPECT_TRUE(stk.InputSubmit("1234"));
  EXPECT_EQ(stk.ResponseDisplay(), "Voucher 1234 accepted");
  EXPECT_TRUE(stk.InputSubmit("ok"));
  EXPECT_EQ(stk.SMSSentDisplay(), "Sending SMS");
  EXPECT_TRUE(stk.CloseSTK());
}

TEST_F(PiecesTest, DeactivateRestoresTheSettings) {
  Say("AT+STSF=0", kOk);
  SayError("AT+CSMS=0", kError, 1);
  Say("AT+CSMS=0", Answer({"+CSMS: 1,1,1"}));
  Say("AT+CSQ", Answer({"+CSQ: 0,99"}), 1);
  Say("AT+CSQ", Answer({"+CSQ: 15,99"}));
  EXPECT_TRUE(stk.DeactivateSTK());
  EXPECT_THAT(vs.Modem().Lines(),
              ElementsAreArray({"AT+STSF=0", "AT+CSMS=0", "AT+CSMS=0", "AT+CSQ", "AT+CSMS=0", "AT+CSQ",
                                "AT+CSDH=1", "AT+CMGF=1", "AT+CNMI=0,0,0,2,0"}));
}

// An error code that arrives after its "+CMS ERROR:" must still be seen: a restore waits only for
// the "not ready" code 515.
TEST_F(PiecesTest, NotReadyInPiecesIsStillRetried) {
  Say("AT+CSMS=0", kNotReady, 2);
  Say("AT+CSQ", Answer({"+CSQ: 15,99"}));
  EXPECT_TRUE(stk.DeactivateSTK());
  const auto lines = vs.Modem().Lines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "AT+CSMS=0"), 3);
  EXPECT_EQ(vs.Platform().SleptMs(), 2 * 7000);
}

}  // namespace
}  // namespace quandelstk::testing
