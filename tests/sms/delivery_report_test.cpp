#include "quandelstk/sms.hpp"
#include "sms_test_support.hpp"
#include "support/virtual_session.hpp"

namespace quandelstk::testing {
namespace {

using ::testing::Contains;
using ::testing::Not;

std::string Report(const std::string& status) {
  return "\"REC UNREAD\",6,12,\"+15551234567\",145,\"08/12/25,14:30:00+32\",\"08/12/25,14:30:05-16\"," +
         status;
}

void StoreReport(ScriptedModem& modem, const std::string& status) {
  modem.On("AT+CPMS=\"SR\"", Ok("\r\n+CPMS: 1,10,1,10,1,10\r\n"));
  modem.On("AT+CMGL=\"ALL\"", Ok("\r\n+CMGL: 2," + Report(status) + "\r\n"));
  modem.On("AT+CMGR=2", Ok("\r\n+CMGR: " + Report(status) + "\r\n"));
  modem.On("AT+CMGD=2", Ok());
}

TEST(GetDeliveryReport, StatusTextGivesTheDeliveryStatus) {
  const std::pair<std::string, DeliveryStatus> cases[] = {{"0", DeliveryStatus::Delivered},
                                                          {" 48", DeliveryStatus::Undelivered},
                                                          {"70", DeliveryStatus::Unknown},
                                                          {"00", DeliveryStatus::Unknown}};
  for (const auto& [status, expected] : cases) {
    VirtualSession vs;
    vs.OpenPort();
    StoreReport(vs.Modem(), status);
    vs.Modem().On("AT+CPMS=\"SM\"", Ok());
    SMS sms;
    EXPECT_TRUE(sms.GetDeliveryReport()) << status;
    EXPECT_EQ(sms.DRStatus(), expected) << status;
    EXPECT_EQ(vs.Modem().Written(),
              "AT+CPMS=\"SR\"\rAT+CMGL=\"ALL\"\rAT+CMGR=2\rAT+CMGD=2\r\rAT+CPMS=\"SM\"\r");
  }
}

TEST(GetDeliveryReport, AFailingReturnToTheSIMStorageComesAfterTheReportWasStoredAndDeleted) {
  VirtualSession vs;
  vs.OpenPort();
  StoreReport(vs.Modem(), "0");
  vs.Modem().On("AT+CPMS=\"SM\"", "\r\n+CMS ERROR: 302\r\n");
  SMS sms;
  EXPECT_FALSE(sms.GetDeliveryReport());
  EXPECT_EQ(sms.DRMsgRef(), "12");
  EXPECT_EQ(sms.DRMNRecipient(), "+15551234567");
  EXPECT_EQ(sms.DRRDate(), "08/12/25");
  EXPECT_EQ(sms.DRRTime(), "14:30:00");
  EXPECT_EQ(sms.DRFDate(), "08/12/25");
  EXPECT_EQ(sms.DRFTime(), "14:30:05");
  EXPECT_EQ(sms.DRStatus(), DeliveryStatus::Delivered);
  EXPECT_THAT(vs.Modem().Lines(), Contains("AT+CMGD=2"));
}

TEST(GetDeliveryReport, WithNoStoredReportStaysOnTheReportStorage) {
  VirtualSession vs;
  vs.OpenPort();
  vs.Modem().On("AT+CPMS=\"SR\"", Ok()).On("AT+CMGL=\"ALL\"", Ok());
  SMS sms;
  EXPECT_FALSE(sms.GetDeliveryReport());
  EXPECT_THAT(vs.Modem().Lines(), Not(Contains("AT+CPMS=\"SM\"")));
  EXPECT_EQ(ErrorNumberOf([&] { sms.DRStatus(); }), err::kTypeMismatch);
}

}  // namespace
}  // namespace quandelstk::testing
