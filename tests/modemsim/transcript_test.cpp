// The model, area by area, as transcripts written the way a modem sends them: each step writes
// bytes, lets time pass and compares everything the modem sent meanwhile.
#include "modemsim/transcript.hpp"

#include <gtest/gtest.h>

#include "modemsim/model.hpp"

namespace quandelstk::modemsim {
namespace {

const std::string OK = "\r\nOK\r\n";
// An information block: CR LF, then each line followed by CR LF.
std::string Info(std::initializer_list<std::string> lines) {
  std::string s = "\r\n";
  for (const auto& l : lines) s += l + "\r\n";
  return s;
}
std::string L(const std::string& line) {
  return "\r\n" + line + "\r\n";
}

struct Step {
  std::string send;
  std::string expect;
  TimeMs wait = 1000;
};

struct TranscriptCase {
  const char* name;
  const char* scenario;
  std::vector<Step> steps;
};

constexpr const char* kDeliverPdu =
    "07911326040000F0040B911346610089F60000208062917314480CC8F71D14969741F977FD07";
constexpr const char* kTwoMessages = R"({"echo": false, "sms": {"messages": [
  {"status": "REC READ", "from": "+15550100777", "text": "first, read", "time": "08/12/24,09:00:00+32"},
  {"status": "REC UNREAD", "from": "+15550100456", "text": "hello", "time": "08/12/25,14:30:00+32"}]}})";

// clang-format off
const TranscriptCase kCases[] = {
    // Framing
    {"EchoOff", "{}", {{"ATE0\r", "ATE0\r" + OK}, {"AT\r", OK}, {"ATE1\r", OK}, {"AT\r", "AT\r" + OK}}},
    {"EmptyLinesAndNoise", R"({"echo": false})", {{"\r", ""}, {"hello\r", ""}, {"AT\r\r", OK}}},
    {"UnknownCommand", R"({"echo": false})", {{"AT+FOO\r", L("ERROR")}, {"ATE0+FOO\r", L("ERROR")}}},
    {"ChainedCommands", R"({"echo": false})",
     {{"ATE0V1Q0;+CMGF=1;+CSDH=1\r", OK}, {"AT+CMGF?;+CSDH?\r", Info({"+CMGF: 1", "+CSDH: 1"}) + OK}}},
    {"ErrorReporting", R"({"echo": false, "cmee": 0})", {{"AT+CPBR=999\r", L("ERROR")}, {"AT+CMEE=1\r", OK},
      {"AT+CPBR=999\r", L("+CME ERROR: 21")}, {"AT+CMEE=2\r", OK},
      {"AT+CPBR=999\r", L("+CME ERROR: invalid index")}, {"AT+CMGR=7\r", L("+CMS ERROR: 321")}}},
    {"ResetBringsBackTheEcho", R"({"echo": true})",
     {{"ATE0\r", "ATE0\r" + OK}, {"ATZ\r", OK}, {"AT\r", "AT\r" + OK}}},

    // IdentityAndSim
    {"Identity", R"({"echo": false})", {{"AT+CGMI\r", L("WAVECOM MODEM") + OK},
      {"AT+CGMM\r", L("MULTIBAND  900E  1800") + OK}, {"AT+CGSN\r", L("351234567890125") + OK},
      {"AT+CIMI\r", L("001010123456789") + OK}, {"AT+CNUM\r", L("+CNUM: \"\",\"+15550100999\",145") + OK}}},
    {"NoOwnNumber", R"({"echo": false, "sim": {"msisdn": ""}})", {{"AT+CNUM\r", OK}}},
    {"PinEntry", R"({"echo": false, "sim": {"state": "SIM PIN"}})", {{"AT+CPIN?\r", L("+CPIN: SIM PIN") + OK},
      {"AT+CIMI\r", L("+CME ERROR: 11")}, {"AT+CPMS=\"SM\"\r", L("+CMS ERROR: 311")},
      {"AT+CPIN=0000\r", L("+CME ERROR: 16")}, {"AT+CPIN=\"1234\"\r", OK},
      {"AT+CPIN?\r", L("+CPIN: READY") + OK}, {"AT+CPIN=1234\r", L("+CME ERROR: 3")}}},
    {"ThreeWrongPinsThenPuk", R"({"echo": false, "sim": {"state": "SIM PIN"}})",
     {{"AT+CPIN=1\r", L("+CME ERROR: 16")}, {"AT+CPIN=2\r", L("+CME ERROR: 16")},
      {"AT+CPIN=3\r", L("+CME ERROR: 16")}, {"AT+CPIN?\r", L("+CPIN: SIM PUK") + OK},
      {"AT+CPIN=\"12345678\",\"4321\"\r", OK}, {"AT+CPIN?\r", L("+CPIN: READY") + OK}}},
    {"NoSim", R"({"echo": false, "sim": {"state": "absent"}})", {{"AT+CPIN?\r", L("+CME ERROR: 10")},
      {"AT+CMGL=\"ALL\"\r", L("+CMS ERROR: 310")}, {"AT+CREG?\r", L("+CREG: 0,0") + OK}}},
    {"SimBusyAfterPowerUp", R"({"echo": false, "sim": {"busy_ms": 3000}})",
     {{"AT+CPIN?\r", L("+CME ERROR: 515"), 3000}, {"AT+CPIN?\r", L("+CPIN: READY") + OK}}},
    {"StatusAnswerDelayed", R"({"echo": false, "delays": {"AT+CPIN?": 2500}})",
     {{"AT+CPIN?\r", "", 2000}, {"", L("+CPIN: READY") + OK}}},
    {"MessageServiceNotReady", R"({"echo": false, "csms_not_ready": 2})",
     {{"AT+CSMS=0\r", L("+CMS ERROR: 515")}, {"AT+CSMS=0\r", L("+CMS ERROR: 515")},
      {"AT+CSMS=0\r", L("+CSMS: 1,1,1") + OK}}},

    // Network
    {"RegistrationAndOperator", R"({"echo": false})", {{"AT+CREG?\r", L("+CREG: 0,1") + OK},
      {"AT+CREG=2\r", OK}, {"AT+CREG?\r", L("+CREG: 2,1,\"00C3\",\"0A1B\"") + OK}, {"AT+COPS=3,0\r", OK},
      {"AT+COPS?\r", L("+COPS: 0,0,\"Quandel Mobile\"") + OK}, {"AT+COPS=3,2\r", OK},
      {"AT+COPS?\r", L("+COPS: 0,2,\"00101\"") + OK}}},
    {"Roaming", R"({"echo": false, "network": {"registration": 5, "signal": 31}})",
     {{"AT+CREG?\r", L("+CREG: 0,5") + OK}, {"AT+CSQ\r", L("+CSQ: 31,99") + OK}}},
    {"NotRegistered", R"({"echo": false, "network": {"registration": 2}})",
     {{"AT+COPS?\r", L("+COPS: 0") + OK}, {"AT+CREG?\r", L("+CREG: 0,2") + OK}}},
    {"RestartDropsTheRegistration", R"({"echo": false, "network": {"restart_ms": 3000}})",
     {{"AT+CREG=1\r", OK}, {"AT+CFUN=1\r", OK + L("+CREG: 2"), 2000},
      {"AT+CREG?\r", L("+CREG: 1,2") + OK, 500}, {"", L("+CREG: 1")}, {"AT+CREG?\r", L("+CREG: 1,1") + OK}}},

    // Messages
    {"TextModeListingMarksRead", kTwoMessages,
     {{"AT+CMGF=1;+CSDH=1\r", OK}, {"AT+CPMS=\"SM\"\r", L("+CPMS: 2,20,2,20,2,20") + OK},
      {"AT+CMGL=\"REC UNREAD\"\r",
       Info({"+CMGL: 2,\"REC UNREAD\",\"+15550100456\",,\"08/12/25,14:30:00+32\",145,5", "hello"}) + OK},
      {"AT+CMGL=\"REC UNREAD\"\r", OK}, {"AT+CSDH=0\r", OK},
      {"AT+CMGL=\"REC READ\"\r", Info({"+CMGL: 1,\"REC READ\",\"+15550100777\",,\"08/12/24,09:00:00+32\"",
                                       "first, read",
                                       "+CMGL: 2,\"REC READ\",\"+15550100456\",,\"08/12/25,14:30:00+32\"",
                                       "hello"}) + OK}}},
    {"TextModeReadWithLongHeader", kTwoMessages,
     {{"AT+CMGF=1;+CSDH=1\r", OK},
      {"AT+CMGR=2\r", Info({"+CMGR: \"REC UNREAD\",\"+15550100456\",,\"08/12/25,14:30:00+32\",145,4,0,0,"
                            "\"+15550100123\",145,5", "hello"}) + OK},
      {"AT+CMGR=3\r", L("+CMS ERROR: 321")}}},
    {"PduModeReadAndList", R"({"echo": false, "sms": {"messages": [{"status": 1, "pdu":
                           "07911326040000F0040B911346610089F60000208062917314480CC8F71D14969741F977FD07"}]}})",
     {{"AT+CMGR=1\r", Info({"+CMGR: 1,,30", kDeliverPdu}) + OK},
      {"AT+CMGL=4\r", Info({"+CMGL: 1,1,,30", kDeliverPdu}) + OK},
      {"AT+CMGL=\"ALL\"\r", L("+CMS ERROR: 302")}}},
    {"Delete", kTwoMessages, {{"AT+CMGD=1\r", OK}, {"AT+CMGD=1\r", L("+CMS ERROR: 321")},
      {"AT+CMGD=0\r", L("+CMS ERROR: 321")}, {"AT+CMGD=1,4\r", OK},
      {"AT+CPMS?\r", L("+CPMS: \"SM\",0,20,\"SM\",0,20,\"SM\",0,20") + OK}}},
    {"DeletingAnEmptyIndexMayBeOk", R"({"echo": false, "sms": {"delete_empty_ok": true}})",
     {{"AT+CMGD=4\r", OK}}},
    {"TextSendToOwnNumberLoopsBackWithReport", R"({"echo": false})",
     {{"AT+CMGF=1;+CNMI=2,1,0,2,0;+CSMP=33,167,0,0\r", OK}, {"AT+CMGS=\"+15550100999\"\r", "\r\n> ", 10},
      {"hello\x1A", L("+CMGS: 0") + OK, 10}, {"", L("+CMTI: \"SM\",1"), 1000},
      {"", L("+CDSI: \"SR\",1"), 1000},
      {"AT+CPMS=\"SR\";+CMGR=1\r", Info({"+CPMS: 1,20,1,20,1,20",
                                         "+CMGR: \"REC UNREAD\",6,0,\"+15550100999\",145,"
                                         "\"26/12/04,10:00:01+04\",\"26/12/04,10:00:03+04\",0"}) + OK},
      {"AT+CPMS=\"SM\";+CMGR=1\r", Info({"+CPMS: 1,20,1,20,1,20",
                                         "+CMGR: \"REC UNREAD\",\"+15550100999\",,\"26/12/04,10:00:02+04\"",
                                         "hello"}) + OK}}},
    {"EchoedBodyAndCancel", "{}", {{"AT+CMGF=1\r", "AT+CMGF=1\r" + OK},
      {"AT+CMGS=\"123\"\r", "AT+CMGS=\"123\"\r\r\n> "}, {"ab\rc\x1B", "ab\r\n> c" + OK}}},
    {"PduSendChecksTheLength", R"({"echo": false})", {{"AT+CMGS=10\r", "\r\n> "},
      {"0001000B917228001011F100000CC8329BFD065DDF72363904\x1A", L("+CMS ERROR: 304")},
      {"AT+CMGS=24\r", "\r\n> "},
      {"0001000B917228001011F100000CC8329BFD065DDF7236390\x1A", L("+CMS ERROR: 304")},
      {"AT+CMGS=24\r", "\r\n> "},
      {"0001000B917228001011F100000CC8329BFD065DDF72363904\x1A", L("+CMGS: 0") + OK},
      {"AT+CMGS=24\r", "\r\n> "},
      {"0001000B917228001011F100000CC8329BFD065DDF72363904\x1A", L("+CMGS: 1") + OK}}},
    {"DirectDeliveryAndReport", R"({"echo": false, "sms": {"report_status": 48}})",
     {{"AT+CMGF=1;+CNMI=2,2,0,1,0;+CSMP=49,167,0,0\r", OK}, {"AT+CMGS=\"15550100999\"\r", "\r\n> ", 10},
      {"hi\x1A", L("+CMGS: 0") + OK, 10},
      {"", L("+CMT: \"+15550100999\",,\"26/12/04,10:00:02+04\"\r\nhi") +
           L("+CDS: 6,0,\"15550100999\",129,\"26/12/04,10:00:01+04\",\"26/12/04,10:00:03+04\",48"),
       3000}}},
    {"NoNetworkNoSending", R"({"echo": false, "network": {"registration": 0}})",
     {{"AT+CMGF=1;+CMGS=\"123\"\r", "\r\n> "}, {"x\x1A", L("+CMS ERROR: 331")}}},

    // Calls
    {"AnsweredAfterRinging", R"({"echo": false, "calls": {"*": {"after_ms": 3000}}})",
     {{"ATD+15550100456;\r", OK, 0}, {"AT+CLCC\r", L("+CLCC: 1,0,2,0,0,\"+15550100456\",145") + OK, 1500},
      {"AT+CLCC\r", L("+CLCC: 1,0,3,0,0,\"+15550100456\",145") + OK, 2000},
      {"AT+CLCC\r", L("+CLCC: 1,0,0,0,0,\"+15550100456\",145") + OK}, {"ATH\r", OK}, {"AT+CLCC\r", OK}}},
    {"RingsForEver", R"({"echo": false, "calls": {"0123": {"behaviour": "ring"}}})",
     {{"ATD0123;\r", OK, 60000}, {"AT+CLCC\r", L("+CLCC: 1,0,3,0,0,\"0123\",129") + OK}}},
    {"Busy", R"({"echo": false, "calls": {"*": {"behaviour": "busy", "after_ms": 2000}}})",
     {{"ATD123;\r", OK, 1500}, {"", L("BUSY")}, {"AT+CLCC\r", OK}}},
    {"RejectedBeforeRinging", R"({"echo": false, "calls": {"*": {"behaviour": "reject", "after_ms": 500}}})",
     {{"ATD123;\r", OK + L("NO CARRIER")}}},
    {"NoAnswer", R"({"echo": false, "calls": {"*": {"behaviour": "no_answer", "after_ms": 5000}}})",
     {{"ATD123;\r", OK, 4000}, {"AT+CLCC\r", L("+CLCC: 1,0,3,0,0,\"123\",129") + OK, 500},
      {"", L("NO ANSWER")}}},
    {"HangUpStopsTheEvents", R"({"echo": false, "calls": {"*": {"behaviour": "busy"}}})",
     {{"ATD123;\r", OK, 100}, {"ATH\r", OK, 10000}}},
    {"NoDataCalls", R"({"echo": false})", {{"ATD123\r", L("NO CARRIER")}}},

    // Ussd
    {"OkThenResult", R"({"echo": false})",
     {{"AT+CUSD=1,\"*100#\"\r", OK, 50}, {"", L("+CUSD: 0,\"Your balance is 10.00 EUR\",15")}}},
    {"Menu", R"({"echo": false})",
     {{"AT+CUSD=1,\"*101#\",15\r", OK + L("+CUSD: 1,\"1 Balance\n2 Bundles\",15")},
      {"AT+CUSD=1,\"2\"\r", OK + L("+CUSD: 2,\"No bundles available\",15")},
      {"AT+CUSD=1,\"2\"\r", OK + L("+CUSD: 4")}}},
    {"ResultInPiecesToo", R"({"echo": false, "chunking": {"*": {"size": 7, "gap_ms": 100}}})",
     {{"AT+CUSD=1,\"*100#\"\r", OK + "\r\n+CUSD", 150},
      {"", ": 0,\"Your balance is 10.00 EUR\",15\r\n", 10000}}},
    {"ResultBeforeOk", R"({"echo": false, "ussd": {"*5#": {"text": "x, y", "before_ok": true}}})",
     {{"AT+CUSD=1,\"*5#\"\r", L("+CUSD: 0,\"x, y\",15") + OK}}},
    {"Ucs2Code", R"({"echo": false, "ussd": {"*1#": {"text": "Hi"}}})",
     {{"AT+CSCS=\"UCS2\"\r", OK}, {"AT+CUSD=1,\"002A00310023\",15\r", OK + L("+CUSD: 0,\"00480069\",15")}}},
    {"NetworkNotification", R"({"echo": false, "ussd_notifications": [{"at_ms": 5000, "text": "Promo"}]})",
     {{"AT\r", OK, 4000}, {"", L("+CUSD: 0,\"Promo\",15")}, {"AT+CUSD=2\r", OK}}},

    // Phonebook
    {"ReadWriteDelete",
     R"({"echo": false, "phonebook": {"entries": [{"index": 1, "number": "123", "name": "Ann Lee"}]}})",
     {{"AT+CPBS=\"SM\"\r", OK}, {"AT+CPBS?\r", L("+CPBS: \"SM\",1,250") + OK},
      {"AT+CPBR=1\r", L("+CPBR: 1,\"123\",129,\"Ann Lee\"") + OK}, {"AT+CPBR=2\r", OK},
      {"AT+CPBW=5,\"+15550100456\",,\"Bob, Jr\"\r", OK}, {"AT+CPBR=1,9\r",
       Info({"+CPBR: 1,\"123\",129,\"Ann Lee\"", "+CPBR: 5,\"+15550100456\",145,\"Bob, Jr\""}) + OK},
      {"AT+CPBW=5\r", OK}, {"AT+CPBR=5\r", OK}, {"AT+CPBR=251\r", L("+CME ERROR: 21")},
      {"AT+CPBR=?\r", L("+CPBR: (1-250),20,14") + OK}}},
    {"Limits", R"({"echo": false, "phonebook": {"capacity": 2, "empty_error": true}})",
     {{"AT+CPBW=1,\"123456789012345678901\",,\"x\"\r", L("+CME ERROR: 26")},
      {"AT+CPBW=1,\"1\",,\"Fifteen letters\"\r", L("+CME ERROR: 24")}, {"AT+CPBR=1\r", L("+CME ERROR: 22")},
      {"AT+CPBW=,\"1\",,\"a\"\r", OK}, {"AT+CPBW=,\"2\",,\"b\"\r", OK},
      {"AT+CPBW=,\"3\",,\"c\"\r", L("+CME ERROR: 20")}}},
    // The GSM alphabet's letters by their septet codes (é is 05: E9 is read as the septet 69,
    // "i"), or by their ISO 8859-1 codes, where a letter outside the alphabet (ë) becomes '?'.
    {"GsmSetAsSeptets", R"({"echo": false})", {{"AT+CPBW=1,\"1\",,\"Jos\x05 Jos\xE9\"\r", OK},
      {"AT+CPBR=1\r", L("+CPBR: 1,\"1\",129,\"Jos\x05 Josi\"") + OK}}},
    {"GsmSetAsLatin1", R"({"echo": false, "gsm_text": "latin1"})",
     {{"AT+CPBW=1,\"1\",,\"Jos\xE9 Zo\xEB\"\r", OK},
      {"AT+CPBR=1\r", L("+CPBR: 1,\"1\",129,\"Jos\xE9 Zo?\"") + OK}, {"AT+CSCS=\"8859-1\"\r", OK},
      {"AT+CPBW=2,\"2\",,\"Zo\xEB\"\r", OK}, {"AT+CPBR=2\r", L("+CPBR: 2,\"2\",129,\"Zo\xEB\"") + OK}}},

    // Toolkit
    {"MenuInputResponseEnd", R"({"echo": false})",
     {{"AT+STSF=2,\"5FFFFFFF7F\",6,0\r", OK}, {"AT+STSF=1\r", OK + L("+STIN: 0")},
      {"AT+STSF?\r", L("+STSF: 1,\"5FFFFFFF7F\",6,0") + OK}, {"AT+STIN?\r", L("+STIN: 0") + OK},
      {"AT+STGI=0\r", Info({"+STGI: \"SIM Services\"", "+STGI: 1,4,\"Balance\",0,0",
                            "+STGI: 2,4,\"Services\",0,0", "+STGI: 3,4,\"Send SMS\",0,0",
                            "+STGI: 4,4,\"Exit\",0,0"}) + OK},
      {"AT+STGR=0,1,2\r", OK + L("+STIN: 6")},
      {"AT+STGI=6\r",
       Info({"+STGI: 0,\"Services\",0", "+STGI: 1,2,\"News\",0,0", "+STGI: 2,2,\"Top up\",0,0"}) + OK},
      {"AT+STGR=6,1,2\r", OK + L("+STIN: 3")},
      {"AT+STGI=3\r", L("+STGI: 0,0,1,1,16,\"Enter voucher code\"") + OK}, {"AT+STGR=3,1\r", "\r\n> "},
      {"1234\x1A", OK + L("+STIN: 1")}, {"AT+STGI=1\r", L("+STGI: 0,\"Voucher 1234 accepted\",1") + OK},
      {"AT+STGR=1\r", OK + L("+STIN: 99")}, {"AT+STGI=1\r", L("+CME ERROR: 4")},
      {"AT+STGR=0,1,3\r", OK + L("+STIN: 9")},
      {"AT+STGI=9\r", L("+STGI: \"Sending SMS\"") + OK + L("+STIN: 99")},
      {"AT+STGR=0,1,9\r", L("+CME ERROR: 3")}}},
    {"MenuOnlyAfterRestartAndFixedProfile",
     R"({"echo": false, "stk": {"needs_restart": true, "profile": "3F6BFFFF1F0100573E"}})",
     {{"AT+STSF=1\r", OK}, {"AT+STGI=0\r", L("+CME ERROR: 4")}, {"AT+CFUN=1\r", OK + L("+STIN: 0")},
      {"AT+STSF?\r", L("+STSF: 1,\"3F6BFFFF1F0100573E\",3,0") + OK}}},
    {"TimeOut", R"({"echo": false, "stk": {"timeout_ms": 5000}})", {{"AT+STSF=1\r", OK + L("+STIN: 0")},
      {"AT+STGR=0,1,1\r", OK + L("+STIN: 1"), 4000}, {"", L("+STIN: 98")},
      {"AT+STIN?\r", L("+STIN: 98") + OK}}},
    {"OffOrAbsent", R"({"echo": false, "stk": {"supported": false}})", {{"AT+STSF?\r", L("ERROR")}}},
    {"SwitchedOff", R"({"echo": false})", {{"AT+STIN?\r", L("+CME ERROR: 3")}}},

    // ReplayAndFaults
    {"RecordedAnswer", R"({"echo": false, "responses": {"AT+CGMI": "\r\nACME\r\n\r\nOK\r\n"}})",
     {{"AT+CGMI\r", L("ACME") + OK}, {"AT+CGMI=?\r", OK}}},
    {"Silent", R"({"echo": true, "silent": ["AT+CSQ*"]})", {{"AT+CSQ\r", "AT+CSQ\r"}}},
    {"InfoAndResultApartWithALineBetween",
     R"({"echo": false, "delays": {"AT+CSQ": {"ms": 100, "final_ms": 500}},
                           "unsolicited": [{"after": "AT+CSQ", "delay_ms": 300, "text": "\r\nRING\r\n"}]})",
     {{"AT+CSQ\r", "", 50}, {"", L("+CSQ: 15,99"), 200}, {"", L("RING"), 200}, {"", OK},
      {"AT+CSQ\r", L("+CSQ: 15,99") + OK}}},
    {"SplitIntoPieces", R"({"echo": false, "chunking": {"*": {"size": 4, "gap_ms": 50}}})",
     {{"AT+CSQ\r", "\r\n+C", 10}, {"", "SQ: ", 50}, {"", "15,99\r\n\r\nOK\r\n"}}},
    {"TimedUnsolicited", R"({"echo": false, "unsolicited": [{"at_ms": 2000, "text": "\r\nRING\r\n"}]})",
     {{"", "", 1500}, {"", L("RING")}}},

};
// clang-format on

TEST(TranscriptTest, AnswersAsAModemDoes) {
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    Model m(LoadScenarioText(c.scenario));
    TimeMs now = 0;
    for (std::size_t k = 0; k < c.steps.size(); ++k) {
      m.Receive(c.steps[k].send, now);
      now += c.steps[k].wait;
      EXPECT_EQ(EscapeBytes(m.Transmit(now)), EscapeBytes(c.steps[k].expect))
          << "step " << k << ": " << EscapeBytes(c.steps[k].send);
    }
  }
}

TEST(LineTest, FixedSpeedIgnoresOtherSpeedsAndClosedLinesLoseOutput) {
  Model m(
      LoadScenarioText(R"({"echo": false, "baud": 9600, "unsolicited": [{"at_ms": 100, "text": "RING"}]})"));
  m.Open(115200, 0);
  m.Receive("AT\r", 0);
  EXPECT_EQ(m.Transmit(200), "");  // neither the answer nor the ring is heard at this speed
  m.Speed(9600, 200);
  m.Receive("AT\r", 200);
  EXPECT_EQ(m.Transmit(300), OK);
  m.Receive("AT\r", 300);
  m.Close(300);
  m.Open(9600, 400);
  EXPECT_EQ(m.Transmit(400), "");
  EXPECT_EQ(m.Lines().size(), 2u);  // the line at the wrong speed never reached the modem
}

// What the modem sends for a session of host writes, each given two seconds to be answered.
std::string SessionOutput(const std::string& scenario) {
  Model m(LoadScenarioText(scenario));
  m.Open(115200, 0);
  const char* writes[] = {"ATE1\r",           "AT+CSQ\r",    "AT+CNMI=2,0,0,2,0\r\r",
                          "AT+CPMS=\"SM\"\r", "AT+CMGF=1\r", "AT+CMGS=\"+15550100999\"\r",
                          "hello\x1a",        "AT+CGSN\r\r", "AT+CMGL=\"ALL\"\r",
                          "AT+CPIN?\r"};
  std::string out;
  TimeMs now = 0;
  for (const char* w : writes) {
    m.Receive(w, now);
    now += 2000;
    out += m.Transmit(now);
  }
  return out;
}

TEST(LineTest, AChunkedRunSendsExactlyTheBytesOfTheWholeRun) {
  const std::string whole = SessionOutput(R"({"echo": true})");
  ASSERT_NE(whole.find("+CMGS: "), std::string::npos) << whole;
  for (const char* chunking : {R"({"size": 1, "gap_ms": 2})", R"({"size": 7, "gap_ms": 15})"}) {
    SCOPED_TRACE(chunking);
    EXPECT_EQ(SessionOutput(std::string(R"({"echo": true, "chunking": {"*": )") + chunking + "}}"), whole);
  }
}

}  // namespace
}  // namespace quandelstk::modemsim
