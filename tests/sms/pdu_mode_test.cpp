#include "channel/session.hpp"
#include "pdu/pdu.hpp"
#include "sms_test_support.hpp"

namespace quandelstk::testing {
namespace {

const auto Read = [](SMS& s) { return s.ReadSMSText(); };
// The SMS-DELIVER of "hello" from +15550100456, part 1 of 2 with reference 10.
const std::string kPart = "07915155100021F3440B915155100054F60000425071908070230C0500030A0201D06536FB0D";
const std::string kHello = "0021000B915155100021F3000005E8329BFD06\x1A",
                  kHi = "0021000B915155100021F300080400480069\x1A";
const auto SendHello = [](SMS& s) { return s.SendSMSText("+15550100123", "hello"); };

TEST(PduMode, Transcripts) {
  // clang-format off
  const Transcript cases[] = {
      {"NothingStored", Listing(""), Read, false, kListed},
      {"ConcatenatedPart", Listing(Entry(4), {{"AT+CMGR=4", Ok("\r\n+CMGR: 1,,35\r\n" + kPart + "\r\n")}}), Read, true,
       kListed + "AT+CMGF=0\rAT+CMGR=4\rAT+CMGD=4\rAT+CMGF=1\r",  // the delete has a single CR
       {{"MN", "+15550100456"}, {"SMSC", "+15550100123"}, {"Msg", "hello"}, {"SCTS", "17-05-24,09:08:07+32"}, {"LMS", "1,10,2,1"}}},
      {"ReadError", Listing(Entry(4), {{"AT+CMGR=4", "\r\nERROR\r\n"}}), Read, false, kListed + "AT+CMGF=0\rAT+CMGR=4\rAT+CMGF=1\r", {},
       "\r\nError 9 (Subscript out of range: field 2 of a text with 1 fields) in procedure ReadSMSText of Class Module SMS\r\n"},

      {"Sent", {{"AT+CMGS=18", "\r\n> "}, {kHello, Ok("\r\n+CMGS: 12\r\n")}},
       [](SMS& s) { s.ToNumber("+15550100123"); return s.SendSMSText("", "hello"); },
       true, "AT+CMGF=0\rAT+CMGS=18\r\r" + kHello + "\rAT+CMGF=1\r", {{"MR", "12\r\n\r\n"}}},
      {"TooLong", {}, [](SMS& s) { return s.SendSMSText("+15550100123", std::string(161, 'a')); }, false, "AT+CMGF=1\r"},
      {"TextUnanswered", {{"AT+CMGS=18", "\r\n> "}, {kHello, ""}}, SendHello, false,
       "AT+CMGF=0\rAT+CMGS=18\r\r" + kHello + "\rAT+CMGF=1\r", {}, "", 61000},
      {"UnicodeUnanswered", {{"AT+CMGS=17", "\r\n> "}, {kHi, ""}}, [](SMS& s) { return s.SendSMSUnicode("+15550100123", "00480069"); },
       false, "AT+CMGF=0\rAT+CMGS=17\r\r" + kHi + "\rAT+CMGF=1\r", {}, "", 8000},
  };
  // clang-format on
  for (const Transcript& t : cases) RunTranscript(t);
}

// Found by the soak: a device that went away during the read failed the trap's switch back to text
// mode too, and that second error escaped the trap.
TEST(ReadSMSText, ADeviceGoneDuringTheReadGivesFalse) {
  VirtualSession vs;
  vs.OpenPort();
  for (const auto& [line, reply] : Listing(Entry(4))) vs.Modem().On(line, reply);
  vs.Modem().Otherwise(Ok()).VanishAfter("AT+CMGF=0");
  SMS sms;
  EXPECT_EQ(ErrorNumberOf([&] { EXPECT_FALSE(sms.ReadSMSText()); }), 0);
  EXPECT_NE(vs.LogText().find("Error 8020 (Read error"), std::string::npos) << vs.LogText();
}

// Scripts the prompt and the answer for one part as Build_LMS_PDU builds it; returns the part's line.
std::string ExpectPart(ScriptedModem& modem, const std::string& part, std::int16_t seq,
                       const std::string& answer) {
  EXPECT_TRUE(pdu::Build_LMS_PDU("+15550100123", part, 10, 2, seq));
  const channel::Session& s = channel::CurrentSession();
  modem.On("AT+CMGS=" + std::to_string(s.LMS_PDU_Length), "\r\n> ", 1).On(s.LMS_PDU + "\x1A", answer);
  return s.LMS_PDU + "\x1A";
}

TEST(SendLMSText, SendsPartsOf153CharactersWithinTwelveSecondsEach) {
  struct {
    int length;
    std::string second_answer;
    bool sent;
    std::int64_t ends_at;
  } cases[] = {{154, Ok("\r\n+CMGS: 2\r\n"), true, 0},
               {306, Ok("\r\n+CMGS: 2\r\n"), true, 0},
               {200, "\r\n+CMS ERROR: 500\r\n", false, 0},
               {200, "", false, 13000}};
  for (const auto& c : cases) {
    VirtualSession vs;
    vs.OpenPort();
    const std::string text = std::string(153, 'a') + std::string(c.length - 153, 'b');
    const std::string first = ExpectPart(vs.Modem(), text.substr(0, 153), 1, Ok("\r\n+CMGS: 1\r\n"));
    const std::string second = ExpectPart(vs.Modem(), text.substr(153), 2, c.second_answer);
    vs.Modem().Otherwise(Ok());
    SMS sms;
    EXPECT_EQ(sms.SendLMSText("+15550100123", text, 10), c.sent) << c.length;
    EXPECT_EQ(sms.MR(), c.sent ? "2\r\n\r\n" : "1\r\n\r\n");
    using ::testing::_;
    EXPECT_THAT(vs.Modem().Lines(),
                ::testing::ElementsAre("AT+CMGF=0", _, "", first, _, "", second, "AT+CMGF=1"));
    EXPECT_EQ(vs.NowMs(), c.ends_at);
  }
}

}  // namespace
}  // namespace quandelstk::testing
