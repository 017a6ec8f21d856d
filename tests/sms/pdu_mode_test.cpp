#include "channel/session.hpp"
#include "pdu/pdu.hpp"
#include "quandelstk/sms.hpp"
#include "sms_test_support.hpp"
#include "support/virtual_session.hpp"

namespace quandelstk::testing {
namespace {

using ::testing::ElementsAre;

// The SMS-DELIVER of "hello" from +15550100456 as part 1 of 2 with reference 10.
const std::string kPart = "07915155100021F3440B915155100054F60000425071908070230C0500030A0201D06536FB0D";
const std::string kListing = "AT+CPMS=\"SM\"", kUnread = "AT+CMGL=\"REC UNREAD\"",
                  kRead = "AT+CMGL=\"REC READ\"";

TEST(ReadSMSText, WithNoStoredMessageNeverLeavesTextMode) {
  VirtualSession vs;
  vs.OpenPort();
  StoreReadListing(vs.Modem(), "");
  SMS sms;
  EXPECT_FALSE(sms.ReadSMSText());
  EXPECT_THAT(vs.Modem().Lines(), ElementsAre(kListing, kUnread, kRead));
}

TEST(ReadSMSText, DecodesAConcatenatedPartDeletesItAndReturnsToTextMode) {
  VirtualSession vs;
  vs.OpenPort();
  StoreReadListing(vs.Modem(), Listed(4));
  vs.Modem().On("AT+CMGR=4", Ok("\r\n+CMGR: 1,,35\r\n" + kPart + "\r\n")).Otherwise(Ok());
  SMS sms;
  EXPECT_TRUE(sms.ReadSMSText());
  EXPECT_EQ(sms.MN(), "+15550100456");
  EXPECT_EQ(sms.Msg(), "hello");
  EXPECT_EQ(sms.SMSC(), "+15550100123");
  EXPECT_EQ(sms.SCTS(), "17-05-24,09:08:07+32");
  EXPECT_TRUE(sms.IsLMS());
  EXPECT_EQ(sms.LMS_Reference(), 10);
  EXPECT_EQ(sms.LMS_Total(), 2);
  EXPECT_EQ(sms.LMS_Sequence(), 1);
  EXPECT_THAT(vs.Modem().Lines(),  // the delete ends with a single CR
              ElementsAre(kListing, kUnread, kRead, "AT+CMGF=0", "AT+CMGR=4", "AT+CMGD=4", "AT+CMGF=1"));
}

TEST(ReadSMSText, AnErrorAnswerIsLoggedAndKeepsTheMessage) {
  VirtualSession vs;
  vs.OpenPort();
  StoreReadListing(vs.Modem(), Listed(4));
  vs.Modem().On("AT+CMGR=4", "\r\nERROR\r\n").Otherwise(Ok());
  SMS sms;
  EXPECT_FALSE(sms.ReadSMSText());
  EXPECT_THAT(vs.Modem().Lines(),
              ElementsAre(kListing, kUnread, kRead, "AT+CMGF=0", "AT+CMGR=4", "AT+CMGF=1"));
  const std::string log = vs.LogText();
  EXPECT_NE(log.find("\r\nError 9 ("), std::string::npos) << log;
  EXPECT_NE(log.find(") in procedure ReadSMSText of Class Module SMS\r\n"), std::string::npos) << log;
}

TEST(SendSMSText, SubmitsThePduInPduModeAndCapturesTheReference) {
  VirtualSession vs;
  vs.OpenPort();
  vs.Modem().On("AT+CMGS=18", "\r\n> ");
  vs.Modem().On("0021000B915155100021F3000005E8329BFD06\x1A", Ok("\r\n+CMGS: 12\r\n")).Otherwise(Ok());
  SMS sms;
  sms.ToNumber("+15550100123");
  EXPECT_TRUE(sms.SendSMSText("", "hello"));
  EXPECT_EQ(vs.Modem().Written(),
            "AT+CMGF=0\rAT+CMGS=18\r\r0021000B915155100021F3000005E8329BFD06\x1A\rAT+CMGF=1\r");
  EXPECT_EQ(sms.MR(), "12\r\n\r\n");
}

TEST(SendSMSText, RefusesMoreThan160CharactersWithOnlyTheReturnToTextMode) {
  VirtualSession vs;
  vs.OpenPort();
  vs.Modem().Otherwise(Ok());
  SMS sms;
  EXPECT_FALSE(sms.SendSMSText("+15550100123", std::string(161, 'a')));
  EXPECT_EQ(vs.Modem().Written(), "AT+CMGF=1\r");
}

TEST(PduSenders, GiveUpOnAnUnansweredPduAfterTheirOwnTimeouts) {
  using Send = bool (*)(SMS&);
  const std::pair<Send, std::int64_t> cases[] = {
      {[](SMS& s) { return s.SendSMSText("+15550100123", "hello"); }, 61000},
      {[](SMS& s) { return s.SendSMSUnicode("+15550100123", "00480069"); }, 8000},
      {[](SMS& s) { return s.SendLMSText("+15550100123", "hello", 1); }, 13000}};
  for (const auto& [send, gives_up_after] : cases) {
    VirtualSession vs;
    vs.OpenPort();
    vs.Modem().On("AT+CMGF=0", Ok()).On("AT+CMGF=1", Ok());
    vs.Modem().On("AT+CMGS=18", "\r\n> ").On("AT+CMGS=16", "\r\n> ").On("AT+CMGS=24", "\r\n> ");
    SMS sms;
    EXPECT_FALSE(send(sms));
    const auto& lines = vs.Modem().TimedLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines.back().second, "AT+CMGF=1");
    EXPECT_NEAR(lines.back().first - lines[lines.size() - 2].first, gives_up_after, 500);
  }
}

// Scripts the prompt and the acceptance of one part, as Build_LMS_PDU builds it.
std::string ScriptPart(ScriptedModem& modem, const std::string& part, std::int16_t seq,
                       const std::string& answer) {
  EXPECT_TRUE(pdu::Build_LMS_PDU("+15550100123", part, 10, 2, seq));
  const channel::Session& s = channel::CurrentSession();
  modem.On("AT+CMGS=" + std::to_string(s.LMS_PDU_Length), "\r\n> ", 1);
  modem.On(s.LMS_PDU + "\x1A", answer);
  return s.LMS_PDU;
}

TEST(SendLMSText, SplitsIntoPartsOf153Characters) {
  for (int length : {154, 306}) {
    VirtualSession vs;
    vs.OpenPort();
    const std::string message = std::string(153, 'a') + std::string(length - 153, 'b');
    const std::string first = ScriptPart(vs.Modem(), message.substr(0, 153), 1, Ok("\r\n+CMGS: 1\r\n"));
    const std::string second = ScriptPart(vs.Modem(), message.substr(153), 2, Ok("\r\n+CMGS: 2\r\n"));
    vs.Modem().Otherwise(Ok());
    SMS sms;
    EXPECT_TRUE(sms.SendLMSText("+15550100123", message, 10)) << length;
    EXPECT_EQ(sms.MR(), "2\r\n\r\n");
    std::vector<std::string> lines = vs.Modem().Lines();
    EXPECT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[3], first + "\x1A");
    EXPECT_EQ(lines[6], second + "\x1A");
    EXPECT_EQ(lines.back(), "AT+CMGF=1");
  }
}

TEST(SendLMSText, AFailingSecondPartEndsInTextModeAfterTheFirstWasSent) {
  VirtualSession vs;
  vs.OpenPort();
  const std::string message = std::string(200, 'a');
  const std::string first = ScriptPart(vs.Modem(), message.substr(0, 153), 1, Ok("\r\n+CMGS: 1\r\n"));
  ScriptPart(vs.Modem(), message.substr(153), 2, "\r\n+CMS ERROR: 500\r\n");
  vs.Modem().Otherwise(Ok());
  SMS sms;
  EXPECT_FALSE(sms.SendLMSText("+15550100123", message, 10));
  EXPECT_EQ(sms.MR(), "1\r\n\r\n");
  EXPECT_EQ(vs.Modem().Lines()[3], first + "\x1A");
  EXPECT_EQ(vs.Modem().Lines().back(), "AT+CMGF=1");
}

}  // namespace
}  // namespace quandelstk::testing
