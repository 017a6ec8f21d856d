#include "quandelstk/sms.hpp"
#include "sms_test_support.hpp"
#include "support/virtual_session.hpp"

namespace quandelstk::testing {
namespace {

const std::string kCmgs = "AT+CMGS=\"+15550100456\"";

TEST(SendSMS, SendsAfterThePromptAndKeepsTheLineBreaksOfTheReference) {
  VirtualSession vs;
  vs.OpenPort();
  vs.Modem().On(kCmgs, "\r\n> ").On("hello\x1A", {{0, "\r\n+CMGS: 7\r\n"}, {800, Ok()}});
  SMS sms;
  EXPECT_TRUE(sms.SendSMS("+15550100456", "hello"));
  EXPECT_EQ(vs.Modem().Written(), kCmgs + "\rhello\x1A\r");
  EXPECT_EQ(sms.MR(), "7\r\n\r\n");
}

TEST(SendSMS, EmptyArgumentsFallBackToToNumberAndToMessage) {
  VirtualSession vs;
  vs.OpenPort();
  vs.Modem().On(kCmgs, "\r\n> ").On("7\x1A", Ok());
  SMS sms;
  sms.ToMessage(7);
  EXPECT_FALSE(sms.SendSMS());  // no number anywhere: nothing is sent
  EXPECT_EQ(vs.Modem().Written(), "");
  sms.ToNumber("+15550100456");
  sms.MR("old");
  EXPECT_TRUE(sms.SendSMS());
  EXPECT_EQ(sms.MR(), "old");  // no "+CMGS" in the answer
}

TEST(SendSMS, AnErrorInsteadOfThePromptFailsAfterSevenSeconds) {
  VirtualSession vs;
  vs.OpenPort();
  vs.Modem().On(kCmgs, "\r\n+CMS ERROR: 500\r\n");
  SMS sms;
  EXPECT_FALSE(sms.SendSMS("+15550100456", "hello"));
  EXPECT_EQ(vs.Modem().Written(), kCmgs + "\r");
  EXPECT_GT(vs.NowMs(), 7000);  // more than 7 whole seconds
  EXPECT_LE(vs.NowMs(), 8100);
}

TEST(SendSMS, AnErrorAnswerToTheTextKeepsMR) {
  VirtualSession vs;
  vs.OpenPort();
  vs.Modem().On(kCmgs, "\r\n> ").On("hello\x1A", "\r\n+CMS ERROR: 500\r\n");
  SMS sms;
  sms.MR("old");
  EXPECT_FALSE(sms.SendSMS("+15550100456", "hello"));
  EXPECT_EQ(sms.MR(), "old");
}

TEST(DeliveryReportSwitches, SendEachLineWithAnExtraCR) {
  VirtualSession vs;
  vs.OpenPort();
  vs.Modem().Otherwise(Ok());
  SMS sms;
  EXPECT_TRUE(sms.DeliveryReportOn());
  EXPECT_TRUE(sms.DeliveryReportOff());
  EXPECT_EQ(vs.Modem().Written(),
            "AT+CNMI=2,0,0,2,0\r\rAT+CSMP=33,255,0,0\r\rAT+CNMI=2,0,0,0,0\r\rAT+CSMP=1,255,0,0\r\r");
}

TEST(DeliveryReportSwitches, AFailedFirstLineSendsNoSecond) {
  VirtualSession vs;
  vs.OpenPort();
  vs.Modem().Otherwise("\r\nERROR\r\n");
  SMS sms;
  EXPECT_FALSE(sms.DeliveryReportOn());
  EXPECT_EQ(vs.Modem().Written(), "AT+CNMI=2,0,0,2,0\r\r");
}

}  // namespace
}  // namespace quandelstk::testing
