// The Modem class on a line that delivers answers in pieces: the same outcomes as whole answers.
#include <gtest/gtest.h>

#include "modem_test_support.hpp"
#include "quandelstk/modem.hpp"

namespace quandelstk::testing {
namespace {

// Everything the Modem class reports about a ready modem, in one line.
std::string Survey(VirtualSession& vs) {
  AnswerLikeAReadyModem(vs.Modem(), {{"AT+CSQ", Answer("+CSQ: 15,99")},
                                     {"AT+COPS?", Answer("+COPS: 0,0,\"Quandel Net\"")},
                                     {"AT+CREG?", Answer("+CREG: 0,1")},
                                     {"AT+CIMI", Answer("001010123456789")},
                                     {"AT+CNUM", Answer("+CNUM: \"Own\",\"+15550100999\",145")}});
  Modem modem;
  std::string seen = std::to_string(static_cast<int>(modem.Init(1)));
  seen += "|" + std::to_string(modem.SignalStrength());
  seen += "|" + modem.OperatorName();
  seen += "|" + std::to_string(modem.IsConnectToGSM());
  seen += "|" + modem.GetIMSI();
  seen += "|" + modem.GetMSISDN();
  seen += "|" + std::to_string(modem.ShutDown());
  return seen;
}

TEST_F(ModemTest, InitAndEveryQueryGiveTheSameResultsOnASplittingLine) {
  const std::string whole = Survey(vs);
  EXPECT_EQ(whole, "1|2|Quandel Net|1|001010123456789|+15550100999|1");
  const std::vector<std::string> lines = vs.Modem().Lines();
  struct {
    std::size_t size;
    platform::TimeMs gap;
  } chunkings[] = {{1, 0}, {1, 2}, {3, 5}, {7, 15}, {5, 60}};
  for (const auto& c : chunkings) {
    SCOPED_TRACE(::testing::Message() << c.size << " bytes every " << c.gap << " ms");
    channel::CurrentSession().ModemMaker.clear();
    VirtualSession split;
    split.Modem().Chunked(c.size, c.gap);
    EXPECT_EQ(Survey(split), whole);
    EXPECT_EQ(split.Modem().Lines(), lines);
  }
}

TEST_F(ModemTest, AnOKLateBehindTheSignalLineDoesNotAnswerTheIMSIQuery) {
  vs.Modem().On("AT+CSQ", {{0, "\r\n+CSQ: 15,99\r\n"}, {10, "\r\nOK\r\n"}});
  AnswerLikeAReadyModem(vs.Modem(), {{"AT+CIMI", Answer("001010123456789")}});
  ASSERT_EQ(Modem().Init(1), InitStatus::OK);
  Modem modem;
  EXPECT_EQ(modem.SignalStrength(), 2);
  EXPECT_EQ(modem.GetIMSI(), "001010123456789");
}

TEST_F(ModemTest, ANotReadyCodeArrivingAfterItsPrefixStillMeansRetry) {
  // "+CMS ERROR:" and its code 3 ms apart, twice, then the SIM is ready.
  const std::vector<Piece> not_ready = {{0, "\r\n+CMS ERROR:"}, {3, " 515\r\n"}};
  vs.Modem().On("AT+CSMS=0", not_ready, 2);
  vs.Modem().On("AT+CSMS=0", {{0, "\r\n+CSMS: 1,1,1\r\n"}, {3, "\r\nOK\r\n"}});
  AnswerLikeAReadyModem(vs.Modem());
  EXPECT_EQ(Modem().Init(1), InitStatus::OK);
  EXPECT_EQ(CountOf(vs.Modem().Lines(), "AT+CSMS=0"), 3);
  EXPECT_EQ(vs.Platform().SleptMs(), 2 * 7000 + 3000);
}

TEST_F(ModemTest, AStalledLineEndsInitWithinItsLimitAndLogsTheWriteError) {
  vs.Modem().StallInput(true);
  EXPECT_EQ(Modem().Init(1), InitStatus::Fail);
  EXPECT_FALSE(vs.Modem().IsOpen());
  EXPECT_EQ(vs.NowMs(), 8000);  // the probe's write, 7 seconds and the one its clock may add
  EXPECT_NE(vs.LogText().find("Error 8021 (Write timed out on virtual port 1"), std::string::npos)
      << vs.LogText();
}

}  // namespace
}  // namespace quandelstk::testing
