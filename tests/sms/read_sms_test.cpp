#include "quandelstk/sms.hpp"
#include "sms_test_support.hpp"
#include "support/virtual_session.hpp"

namespace quandelstk::testing {
namespace {

using ::testing::ElementsAre;

TEST(ReadSMS, WithNoStoredMessageListsTwiceAndReadsNothing) {
  VirtualSession vs;
  vs.OpenPort();
  StoreReadListing(vs.Modem(), "");
  SMS sms;
  EXPECT_FALSE(sms.ReadSMS());
  EXPECT_THAT(vs.Modem().Lines(),
              ElementsAre("AT+CPMS=\"SM\"", "AT+CMGL=\"REC UNREAD\"", "AT+CMGL=\"REC READ\""));
}

struct HeaderCase {
  const char* name;
  std::string header;  // after "+CMGR: "
  std::string text;
  bool read;
  std::string mn, scts, smsc, msg;
  const char* log;  // the trap's record, or nullptr
};

void PrintTo(const HeaderCase& c, std::ostream* os) {
  *os << c.name;
}

class ReadSMSHeader : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(ReadSMSHeader, StoresTheFieldsAndDeletesTheFirstListedMessage) {
  const HeaderCase& c = GetParam();
  VirtualSession vs;
  vs.OpenPort();
  StoreReadListing(vs.Modem(), Listed(3) + Listed(5));
  vs.Modem().On("AT+CMGR=3", Ok("\r\n+CMGR: " + c.header + "\r\n" + c.text + "\r\n")).Otherwise(Ok());
  SMS sms;
  EXPECT_EQ(sms.ReadSMS(), c.read);
  EXPECT_EQ(sms.MN(), c.mn);
  EXPECT_EQ(sms.SCTS(), c.scts);
  EXPECT_EQ(sms.SMSC(), c.smsc);
  EXPECT_EQ(sms.Msg(), c.msg);
  const std::string& written = vs.Modem().Written();
  EXPECT_EQ(written.find("AT+CMGD=3\r\r") != std::string::npos, c.read) << written;
  if (c.log) {
    EXPECT_NE(vs.LogText().find(c.log), std::string::npos) << vs.LogText();
  }
}

const std::string kLong = ",145,4,0,0,\" +15550100123 \",145,5";
INSTANTIATE_TEST_SUITE_P(
    Cases, ReadSMSHeader,
    ::testing::Values(
        HeaderCase{"ZonePlus", "\"REC READ\",\" +15550100456 \",,\"08/12/25,14:30:00+32\"" + kLong, "hello",
                   true, "+15550100456", "08/12/25 14:30:00", " +15550100123 ", "hello", nullptr},
        HeaderCase{"ZoneMinus", "\"REC READ\",\"0123\",,\"08/12/25,14:30:00-16\"" + kLong, " a, b\r\nc ",
                   true, "0123", "08/12/25 14:30:00", " +15550100123 ", "a, b\r\nc", nullptr},
        HeaderCase{"NoZone", "\"REC READ\",\"0123\",,\"08/12/25,14:30:00\"" + kLong, "x", true, "0123",
                   "08/12/25 14:30:00", " +15550100123 ", "x", nullptr},
        // The short header: the missing separators make the time stamp's cut negative.
        HeaderCase{"ShortHeader", "\"REC READ\",\"0123\",,\"08/12/25,14:30:00+32\"", "hello", false, "0123",
                   "", "", "", "Class Module.SMS.ReadSMS() 5Invalid procedure call"}),
    [](const auto& info) { return info.param.name; });

TEST(ReadSMS, ErrorAnswersEndWithoutALogRecord) {
  VirtualSession vs;
  vs.OpenPort();
  StoreReadListing(vs.Modem(), Listed(3));
  vs.Modem().On("AT+CMGR=3", "\r\n+CMS ERROR: 321\r\n");
  SMS sms;
  EXPECT_FALSE(sms.ReadSMS());
  EXPECT_EQ(vs.Modem().Lines().back(), "AT+CMGR=3");
  EXPECT_EQ(vs.LogText(), "");
}

TEST(ReadSMS, AListingWithoutANumericIndexIsLoggedByListSMS) {
  VirtualSession vs;
  vs.OpenPort();
  StoreReadListing(vs.Modem(), "\r\n+CMGL: x,\"REC READ\"\r\n");
  SMS sms;
  EXPECT_FALSE(sms.ReadSMS());
  EXPECT_NE(vs.LogText().find("Class Module.SMS.ListSMS() 13Type mismatch"), std::string::npos);
}

}  // namespace
}  // namespace quandelstk::testing
