#include "channel/session.hpp"
#include "sms_test_support.hpp"

namespace quandelstk::testing {
namespace {

const auto Read = [](SMS& s) { return s.ReadSMS(); };
const std::string kRead3 = kListed + "AT+CMGR=3\r", kReadAndDeleted = kRead3 + "AT+CMGD=3\r\r";
Answers Message(const std::string& stamp, const std::string& text) {
  return Listing(Entry(3) + Entry(5),
                 {{"AT+CMGR=3", Ok("\r\n+CMGR: \"REC READ\",\" +15550100456 \",,\"" + stamp +
                                   "\",145,4,0,0,\" +15550100123 \",145,5\r\n" + text + "\r\n")}});
}

const auto Fetch = [](SMS& s) { return s.GetDeliveryReport(); };
const std::string kFetched = "AT+CPMS=\"SR\"\rAT+CMGL=\"ALL\"\rAT+CMGR=2\rAT+CMGD=2\r\rAT+CPMS=\"SM\"\r";
const std::string kReport =
    "\"REC UNREAD\",6,12,\"+15551234567\",145,\"08/12/25,14:30:00+32\",\"08/12/25,14:30:05-16\",";
Answers Report(const std::string& status, Answers more = {}) {
  more.insert(more.begin(), {{"AT+CMGL=\"ALL\"", Ok("\r\n+CMGL: 2," + kReport + status + "\r\n")},
                             {"AT+CMGR=2", Ok("\r\n+CMGR: " + kReport + status + "\r\n")}});
  return more;
}

const auto Send = [](SMS& s) { return s.SendSMS("+15550100456", "hello"); };
const std::string kCmgs = "AT+CMGS=\"+15550100456\"";

TEST(TextMode, Transcripts) {
  // clang-format off
  const Transcript cases[] = {
      {"NothingStored", Listing(""), Read, false, kListed},
      {"FirstListedZonePlus", Message("08/12/25,14:30:00+32", "hello"), Read, true, kReadAndDeleted,
       {{"MN", "+15550100456"}, {"SCTS", "08/12/25 14:30:00"}, {"SMSC", " +15550100123 "}, {"Msg", "hello"}}},
      {"ZoneMinus", Message("08/12/25,14:30:00-16", " a, b\r\nc "), Read, true, kReadAndDeleted,
       {{"SCTS", "08/12/25 14:30:00"}, {"Msg", "a, b\r\nc"}}},
      {"NoZone", Message("08/12/25,14:30:00", "x"), Read, true, kReadAndDeleted, {{"SCTS", "08/12/25 14:30:00"}}},
      // Without the long header the missing separators make the time stamp's cut negative.
      {"ShortHeader", Listing(Entry(3), {{"AT+CMGR=3", Ok("\r\n+CMGR: \"REC READ\",\"0123\",,\"08/12/25,14:30:00\"\r\nx\r\n")}}),
       Read, false, kRead3, {{"MN", "0123"}, {"SCTS", ""}}, "Class Module.SMS.ReadSMS() 5"},
      {"ReadError", Listing(Entry(3), {{"AT+CMGR=3", "\r\n+CMS ERROR: 321\r\n"}}), Read, false, kRead3},
      {"IndexNotNumeric", Listing("\r\n+CMGL: x,\"REC READ\"\r\n"), Read, false, kListed, {}, "Class Module.SMS.ListSMS() 13"},

      {"Sent", {{kCmgs, "\r\n> "}, {"hello\x1A", Ok("\r\n+CMGS: 7\r\n")}}, Send, true, kCmgs + "\rhello\x1A\r", {{"MR", "7\r\n\r\n"}}},
      {"FallBacks", {{kCmgs, "\r\n> "}},
       [](SMS& s) { s.ToNumber("+15550100456"); s.ToMessage(7); s.MR("old"); return s.SendSMS(); },
       true, kCmgs + "\r7\x1A\r", {{"MR", "old"}}},
      {"NoNumber", {}, [](SMS& s) { return s.SendSMS("", "hello"); }, false, ""},
      {"TextRefused", {{kCmgs, "\r\n> "}, {"hello\x1A", "\r\n+CMS ERROR: 500\r\n"}}, Send, false, kCmgs + "\rhello\x1A\r", {{"MR", ""}}},
      {"NoPrompt", {{kCmgs, "\r\n+CMS ERROR: 500\r\n"}}, Send, false, kCmgs + "\r", {}, "", 8000},

      {"ReportsOnOff", {}, [](SMS& s) { return s.DeliveryReportOn() && s.DeliveryReportOff(); }, true,
       "AT+CNMI=2,0,0,2,0\r\rAT+CSMP=33,255,0,0\r\rAT+CNMI=2,0,0,0,0\r\rAT+CSMP=1,255,0,0\r\r"},
      {"ReportsOnFails", {{"AT+CNMI=2,0,0,2,0", "\r\nERROR\r\n"}}, [](SMS& s) { return s.DeliveryReportOn(); }, false,
       "AT+CNMI=2,0,0,2,0\r\r"},

      {"Delivered", Report("0"), Fetch, true, kFetched, {{"DRStatus", "1"}}},
      {"Undelivered", Report(" 48"), Fetch, true, kFetched, {{"DRStatus", "0"}}},
      {"StillTrying", Report("70"), Fetch, true, kFetched, {{"DRStatus", "2"}}},
      {"BackToSIMFails", Report("0", {{"AT+CPMS=\"SM\"", "\r\n+CMS ERROR: 302\r\n"}}), Fetch, false, kFetched,
       {{"DR", "12|+15551234567|08/12/25|14:30:00|08/12/25|14:30:05"}, {"DRStatus", "1"}}},
      {"ReportAtIndexZero", {{"AT+CMGL=\"ALL\"", Ok("\r\n+CMGL: 0," + kReport + "0\r\n")},
                             {"AT+CMGR=0", Ok("\r\n+CMGR: " + kReport + "0\r\n")}},
       Fetch, true, "AT+CPMS=\"SR\"\rAT+CMGL=\"ALL\"\rAT+CMGR=0\rAT+CMGD=0\r\rAT+CPMS=\"SM\"\r", {{"DRStatus", "1"}}},
      {"NoReport", {}, Fetch, false, "AT+CPMS=\"SR\"\rAT+CMGL=\"ALL\"\r", {{"DRStatus", "error 13"}}},
  };
  // clang-format on
  for (const Transcript& t : cases) RunTranscript(t);
}

}  // namespace
}  // namespace quandelstk::testing

namespace quandelstk::testing {
namespace {

TEST(TextMode, AMessageThatReadsOKReadsTheSameOnALineDeliveringAByteAtATime) {
  const std::string header = "\r\n+CMGR: \"REC READ\",\"+15550100\",,\"26/12/04,10:00:00+04\",145,4,0,0,\"+15550000\",145,2\r\n";
  for (std::size_t chunk : {0u, 1u}) {
    SCOPED_TRACE(chunk);
    VirtualSession vs;
    vs.OpenPort();
    vs.Modem()
        .Chunked(chunk, 2)
        .On("AT+CMGL=\"REC READ\"", "\r\n+CMGL: 1,\"REC READ\",\"+15550100\",,\"26/12/04,10:00:00+04\"\r\nOK\r\n\r\nOK\r\n")
        .On("AT+CMGR=1", header + "OK\r\n\r\nOK\r\n")
        .Otherwise("\r\nOK\r\n");
    SMS sms;
    EXPECT_TRUE(sms.ReadSMS());
    EXPECT_EQ(sms.Msg(), "OK");
    vs.Platform().Advance(2000);
    EXPECT_EQ(channel::Gsm().Input(), "") << "left for the next command";
  }
}

}  // namespace
}  // namespace quandelstk::testing
