// The CLI's pieces on their own: the readers behind the operator's commands, the error-code table,
// the number check and the key-value form, on answers written the way modems send them; and the
// text and file readers and writers where the fuzzer found them wanting.
#include <gtest/gtest.h>

#include <set>

#include "answers.hpp"
#include "charset.hpp"
#include "error_watch.hpp"
#include "message_view.hpp"
#include "modem_errors.hpp"
#include "output.hpp"
#include "phonebook_files.hpp"
#include "progress.hpp"

namespace quandelstk::cli {
namespace {

using answers::InfoLines;

TEST(ModemErrors, LinesAreNamedFromTheTablesWithTheirHints) {
  struct Case {
    std::string line;
    ModemError::Kind kind;
    std::optional<int> code;
    std::string name;  // "" when the table has none
    std::string hint_part;
  };
  const std::vector<Case> cases = {
      {"+CME ERROR: 16", ModemError::Kind::kCme, 16, "incorrect password", "pin status"},
      {"+CME ERROR: 12", ModemError::Kind::kCme, 12, "SIM PUK required", "pin unblock"},
      {"+CMS ERROR: 305", ModemError::Kind::kCms, 305, "invalid text mode parameter", "--mode long"},
      {"+CMS ERROR: 330", ModemError::Kind::kCms, 330, "SMSC address unknown", "smsc NUMBER"},
      // The named form after AT+CMEE=2, in any letter case.
      {"+CME ERROR: SIM PIN required", ModemError::Kind::kCme, 11, "SIM PIN required", "pin enter"},
      {"+CME ERROR: Incorrect Password", ModemError::Kind::kCme, 16, "incorrect password", "pin status"},
      // The maker's own codes and gaps in the tables stay untranslated.
      {"+CMS ERROR: 515", ModemError::Kind::kCms, 515, "", "maker"},
      {"+CME ERROR: 772", ModemError::Kind::kCme, 772, "", "maker"},
      {"+CMS ERROR: 306", ModemError::Kind::kCms, 306, "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const auto e = ErrorOfLine(c.line + "\r\n");
    ASSERT_TRUE(e.has_value());
    EXPECT_EQ(e->kind, c.kind);
    EXPECT_EQ(e->code, c.code);
    EXPECT_EQ(e->known, !c.name.empty());
    const nlohmann::json j = e->Json();
    EXPECT_EQ(j["name"], c.name.empty() ? nlohmann::json(nullptr) : nlohmann::json(c.name));
    EXPECT_EQ(j["kind"], c.kind == ModemError::Kind::kCme ? "cme" : "cms");
    if (c.hint_part.empty()) {
      EXPECT_FALSE(j.contains("hint")) << j.dump();
    } else {
      EXPECT_NE(j.value("hint", "").find(c.hint_part), std::string::npos) << j.dump();
    }
    if (!e->known && c.code) {
      EXPECT_NE(e->Text().find("not in the table"), std::string::npos) << e->Text();
    }
  }
}

TEST(ModemErrors, AnUnknownNamedErrorKeepsTheModemsWords) {
  const auto e = ErrorOfLine("+CME ERROR: radio exploded");
  ASSERT_TRUE(e.has_value());
  EXPECT_FALSE(e->code.has_value());
  EXPECT_EQ(e->name, "radio exploded");
  EXPECT_EQ(e->Json()["code"], nullptr);
}

TEST(ModemErrors, OtherLinesAndCutLinesCarryNone) {
  for (const std::string line : {"OK", "ERROR", "+CME ERROR:", "+CMS ERROR:  ", "+CSQ: 15,99", "",
                                 "+CME ERROR: 12345678"})
    EXPECT_FALSE(ErrorOfLine(line).has_value()) << line;
}

TEST(ModemErrors, EverySplitOfAnAnswerGivesTheSameErrorToTheWatch) {
  const std::string answer = "AT+CMGS=\"+1555\"\r\r\n> \r\n+CMS ERROR: 305\r\nOK\r\n";
  for (std::size_t size = 1; size <= answer.size(); ++size) {
    ErrorWatch watch;
    for (std::size_t at = 0; at < answer.size(); at += size) watch.Read(answer.substr(at, size));
    ASSERT_TRUE(watch.Last().has_value()) << size;
    EXPECT_EQ(watch.Last()->code, 305) << size;
  }
  // Half a line is not yet an error: its code may still be coming.
  ErrorWatch watch;
  watch.Read("\r\n+CMS ERROR: 30");
  EXPECT_FALSE(watch.Last().has_value());
  watch.Read("5\r\n");
  ASSERT_TRUE(watch.Last().has_value());
  EXPECT_EQ(watch.Last()->code, 305);
  watch.Forget();
  EXPECT_FALSE(watch.Last().has_value());
}

TEST(NumberCheck, APlusAndOneToTwentyDigits) {
  const std::vector<std::pair<std::string, bool>> cases = {
      {"+15550100123", true},  {"15550100123", true},   {"1", true},
      {"+" + std::string(20, '9'), true},               {std::string(20, '1'), true},
      {std::string(21, '1'), false},                    {"+" + std::string(21, '1'), false},
      {"abc", false},          {"", false},             {"+", false},
      {"++15550100", false},   {"+1 555 0100", false},  {"1555-0100", false},
      {"*100#", false},        {"1555\xC3\xA9", false},
  };
  for (const auto& [number, good] : cases) EXPECT_EQ(NumberProblem(number).empty(), good) << number;
  // A phonebook entry is a dialling string: "*" and "#" as well, "+" still only in front.
  for (const auto& [number, good] : std::vector<std::pair<std::string, bool>>{
           {"*100#", true}, {"+15550100123#1", true}, {"+", false}, {"1*+2", false}, {"abc", false}})
    EXPECT_EQ(NumberProblem(number, NumberUse::kPhonebook).empty(), good) << number;
  EXPECT_NE(NumberProblem("abc").find("'a' at position 1"), std::string::npos);
  EXPECT_NE(NumberProblem("+12x").find("'x' at position 4"), std::string::npos);
  EXPECT_NE(NumberProblem(std::string(21, '1')).find("21 digits"), std::string::npos);
}

TEST(ShellHistory, KeepsNoPin) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"--pin 1234 signal", "--pin **** signal"},
      {"--pin=1234 signal", "--pin=**** signal"},
      {"--pin-file /home/ann/pin signal", "--pin-file **** signal"},
      {"pin enter 1234", "pin enter ****"},
      {"pin  unblock 12345678 4321", "pin unblock **** ****"},
      {"pin lock on 1234", "pin lock on ****"},
      {"at 'AT+CPIN=\"1234\"'", "at 'AT+CPIN=\"****\"'"},
      {"sms send +15550100123 1234", "sms send +15550100123 1234"},
  };
  for (const auto& [line, kept] : cases) EXPECT_EQ(WithoutPins(line), kept) << line;
}

TEST(Answers, InfoLinesLeaveOutTheEchoBlankLinesAndFinalResults) {
  EXPECT_EQ(InfoLines("AT+CSQ\r\r\n+CSQ: 15,99\r\n\r\nOK\r\n", "AT+CSQ"), std::vector<std::string>{"+CSQ: 15,99"});
  EXPECT_EQ(InfoLines("\r\n+CPIN: SIM PIN\r\n\r\n+CME ERROR: 10\r\n", "AT+CPIN?"),
            std::vector<std::string>{"+CPIN: SIM PIN"});
  EXPECT_TRUE(InfoLines("AT\r\r\nOK\r\n", "AT").empty());
}

TEST(Answers, RegistrationFromTheReadAnswerNotFromAReportedLine) {
  struct Case {
    std::string answer;
    int mode, state;
    std::string lac, ci;
    int act;
  };
  const std::vector<Case> cases = {
      {"\r\n+CREG: 0,1\r\n\r\nOK\r\n", 0, 1, "", "", -1},
      {"\r\n+CREG: 2,5,\"00C3\",\"0A1B\"\r\n\r\nOK\r\n", 2, 5, "00C3", "0A1B", -1},
      {"\r\n+CREG: 2,1,\"1A2B\",\"01C3D4E5\",7\r\n\r\nOK\r\n", 2, 1, "1A2B", "01C3D4E5", 7},
      // A change the modem reports by itself, in the middle of the answer.
      {"\r\n+CREG: 1,\"00C3\",\"0A1B\"\r\n\r\n+CREG: 2,1,\"00C3\",\"0A1B\"\r\n\r\nOK\r\n", 2, 1, "00C3", "0A1B", -1},
      {"\r\n+CREG: 2,\"00C3\",\"0A1B\",7\r\n\r\n+CREG: 1,2\r\n\r\nOK\r\n", 1, 2, "", "", -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.answer);
    const auto r = answers::ParseRegistration(InfoLines(c.answer, "AT+CREG?"), "+CREG:");
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->mode, c.mode);
    EXPECT_EQ(r->state, c.state);
    EXPECT_EQ(r->lac, c.lac);
    EXPECT_EQ(r->ci, c.ci);
    EXPECT_EQ(r->act, c.act);
  }
  EXPECT_FALSE(answers::ParseRegistration(InfoLines("\r\n+CREG: 1,\"00C3\",\"0A1B\"\r\n", ""), "+CREG:"));
  EXPECT_FALSE(answers::ParseRegistration(InfoLines("\r\nERROR\r\n", ""), "+CREG:"));
}

TEST(Answers, EverySixRegistrationStateHasItsOwnName) {
  std::set<std::string> names;
  for (int state = 0; state <= 5; ++state) names.insert(answers::RegistrationStateName(state));
  EXPECT_EQ(names.size(), 6u);
  EXPECT_STREQ(answers::RegistrationStateName(5), "registered, roaming");
  EXPECT_STREQ(answers::RegistrationStateName(3), "registration denied");
  EXPECT_TRUE(answers::IsRegistered(1));
  EXPECT_TRUE(answers::IsRegistered(5));
  for (int state : {0, 2, 3, 4, 8}) EXPECT_FALSE(answers::IsRegistered(state)) << state;
}

TEST(Answers, OperatorAndItsCodeSplitIntoMccAndMnc) {
  const auto o = answers::ParseOperator(InfoLines("\r\n+COPS: 0,0,\"Quandel Mobile\",7\r\n\r\nOK\r\n", ""));
  ASSERT_TRUE(o.has_value());
  EXPECT_EQ(o->mode, 0);
  EXPECT_EQ(o->format, 0);
  EXPECT_EQ(o->name, "Quandel Mobile");
  EXPECT_EQ(o->act, 7);
  const auto none = answers::ParseOperator(InfoLines("\r\n+COPS: 0\r\n\r\nOK\r\n", ""));
  ASSERT_TRUE(none.has_value());
  EXPECT_EQ(none->format, -1);
  EXPECT_EQ(answers::SplitPlmn("00101"), std::make_pair(std::string("001"), std::string("01")));
  EXPECT_EQ(answers::SplitPlmn("310410"), std::make_pair(std::string("310"), std::string("410")));
  EXPECT_FALSE(answers::SplitPlmn("0010"));
  EXPECT_FALSE(answers::SplitPlmn("Quandel"));
}

TEST(Answers, SignalInDbmAndBitErrorClasses) {
  const std::vector<std::pair<int, std::optional<int>>> dbm = {
      {0, -113}, {1, -111}, {2, -109}, {15, -83}, {30, -53}, {31, -51}, {99, std::nullopt}, {32, std::nullopt}};
  for (const auto& [rssi, expected] : dbm) EXPECT_EQ(answers::RssiDbm(rssi), expected) << rssi;
  EXPECT_EQ(answers::BerText(0), "less than 0.2 %");
  EXPECT_EQ(answers::BerText(7), "more than 12.8 %");
  EXPECT_FALSE(answers::BerText(99));
  const auto s = answers::ParseSignal(InfoLines("AT+CSQ\r\r\n+CSQ: 21,3\r\n\r\nOK\r\n", "AT+CSQ"));
  ASSERT_TRUE(s.has_value());
  EXPECT_EQ(s->rssi, 21);
  EXPECT_EQ(s->ber, 3);
}

TEST(Answers, PinTriesInEveryMakersForm) {
  struct Case {
    std::string name;
    answers::PinRetries (*parse)(const std::vector<std::string>&);
    std::string answer;
    std::optional<int> pin, puk, pin2, puk2;
  };
  const std::vector<Case> cases = {
      {"standard", answers::ParseCpinr,
       "\r\n+CPINR: SIM PIN,2,3\r\n+CPINR: SIM PUK,10,10\r\n+CPINR: SIM PIN2,3,3\r\n+CPINR: SIM PUK2,9,10\r\n\r\nOK\r\n",
       2, 10, 3, 9},
      {"standard, PIN only", answers::ParseCpinr, "\r\n+CPINR: SIM PIN,1,3\r\n\r\nOK\r\n", 1, std::nullopt,
       std::nullopt, std::nullopt},
      {"WAVECOM", answers::ParseCpinc, "\r\n+CPINC: 1,3,8,10\r\n\r\nOK\r\n", 1, 8, 3, 10},
      {"Quectel", answers::ParseQpinc, "\r\n+QPINC: \"SC\",2,10\r\n+QPINC: \"P2\",3,7\r\n\r\nOK\r\n", 2, 10, 3, 7},
      {"SIMCom", answers::ParseSpic, "\r\n+SPIC: 3,3,10,10\r\n\r\nOK\r\n", 3, 10, 3, 10},
      {"Huawei", answers::ParseHuaweiCpin, "\r\n^CPIN: SIM PIN,3,10,2,10,3\r\n\r\nOK\r\n", 2, 10, 3, 10},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto r = c.parse(InfoLines(c.answer, ""));
    EXPECT_EQ(r.pin, c.pin);
    EXPECT_EQ(r.puk, c.puk);
    EXPECT_EQ(r.pin2, c.pin2);
    EXPECT_EQ(r.puk2, c.puk2);
  }
  EXPECT_FALSE(answers::ParseCpinr(InfoLines("\r\nERROR\r\n", "")).Any());
  EXPECT_FALSE(answers::ParseQpinc(InfoLines("\r\n+QPINC: \"SC\"\r\n", "")).Any());
}

TEST(Answers, IccidFromEveryForm) {
  const std::string id = "8900101201234567890";
  const std::vector<std::pair<std::string, std::optional<std::string>>> cases = {
      {"\r\n+CCID: \"8900101201234567890\"\r\n\r\nOK\r\n", id},
      {"\r\n+QCCID: 8900101201234567890\r\n\r\nOK\r\n", id},
      {"\r\n+ICCID: 8900101201234567890F\r\n\r\nOK\r\n", id},
      {"\r\n8900101201234567890\r\n\r\nOK\r\n", id},
      // The EF as the SIM stores it: digits swapped in pairs, the odd one out filled with F.
      {"\r\n+CRSM: 144,0,\"980001211032547698F0\"\r\n\r\nOK\r\n", id},
      {"\r\n+CRSM: 148,4\r\n\r\nOK\r\n", std::nullopt},
      {"\r\n+CCID: \"12\"\r\n\r\nOK\r\n", std::nullopt},
  };
  for (const auto& [answer, expected] : cases) EXPECT_EQ(answers::ParseIccid(InfoLines(answer, "")), expected) << answer;
}

TEST(Answers, ClockWithAndWithoutItsZone) {
  struct Case {
    std::string answer;
    std::optional<std::string> iso;
  };
  const std::vector<Case> cases = {
      {"\r\n+CCLK: \"26/12/04,10:00:00+04\"\r\n", "2026-12-04T10:00:00+01:00"},
      {"\r\n+CCLK: \"24/02/29,23:59:59-22\"\r\n", "2024-02-29T23:59:59-05:30"},
      {"\r\n+CCLK: \"24/02/29,23:59:59\"\r\n", "2024-02-29T23:59:59"},
      {"\r\n+CCLK: 24/02/29,23:59:59+00\r\n", "2024-02-29T23:59:59+00:00"},
      {"\r\n+CCLK: \"24/13/01,00:00:00+00\"\r\n", std::nullopt},
      {"\r\n+CCLK: \"24/01/01,25:00:00+00\"\r\n", std::nullopt},
      {"\r\n+CCLK: \"24/01/01 10:00:00\"\r\n", std::nullopt},
      {"\r\nERROR\r\n", std::nullopt},
  };
  for (const auto& c : cases) {
    const auto t = answers::ParseClock(InfoLines(c.answer, ""));
    EXPECT_EQ(t ? std::optional(t->Iso()) : std::nullopt, c.iso) << c.answer;
  }
  answers::ModemTime t;
  t.year = 2025, t.month = 3, t.day = 9, t.hour = 7, t.minute = 5, t.second = 1, t.quarters = -14;
  EXPECT_EQ(answers::ClockText(t), "25/03/09,07:05:01-14");
  EXPECT_EQ(answers::ParseClock({"+CCLK: \"" + answers::ClockText(t) + "\""})->Iso(), t.Iso());
}

TEST(Answers, ServiceCentreAndOwnNumbers) {
  const auto c = answers::ParseServiceCentre(InfoLines("\r\n+CSCA: \"+15550100123\",145\r\n\r\nOK\r\n", ""));
  ASSERT_TRUE(c.has_value());
  EXPECT_EQ(c->number, "+15550100123");
  EXPECT_EQ(c->type, 145);
  EXPECT_EQ(answers::ParseOwnNumbers(
                InfoLines("\r\n+CNUM: \"\",\"+15550100999\",145\r\n+CNUM: \"Fax\",\"5550100\",129\r\n\r\nOK\r\n", "")),
            (std::vector<std::string>{"+15550100999", "5550100"}));
  EXPECT_EQ(answers::IdentityValue({"+CGMI: \"Quectel\""}), "Quectel");
  EXPECT_EQ(answers::IdentityValue({"WAVECOM MODEM"}), "WAVECOM MODEM");
}

TEST(KeyValue, NestedKeysArraysNullsAndLineBreaks) {
  const nlohmann::json object = {{"schema", 1},
                                 {"result", {{"operator", {{"name", "Quandel"}, {"mcc", nullptr}}}}},
                                 {"properties", {{"MR", "5\r\n"}}},
                                 {"list", {"a", "b"}}};
  EXPECT_EQ(KeyValueLines(object),
            "list.length : 2\nlist.value[1] : a\nlist.value[2] : b\nproperties.MR : 5\\r\\n\n"
            "result.operator.mcc : --\nresult.operator.name : Quandel\nschema : 1\n");
}

// An overlong form, a surrogate or a code beyond Unicode is no UTF-8: it used to be read as the
// character it spells ("h\xE0\x82\xAC" as "h¬"), so a text did not come back as it was given.
TEST(Charset, OnlyTheShortestFormOfACharacterIsUtf8) {
  for (const char* bytes :
       {"h\xE0\x82\xAC", "\xC0\xAF", "\xC1\xBF", "\xF0\x82\x82\xAC", "\xED\xA0\x80", "\xF4\x90\x80\x80"})
    EXPECT_THROW(Utf8ToCp1252(bytes), CharsetError) << bytes;
  for (const char* text : {"h\xC2\xAC", "\xE2\x82\xAC", "caf\xC3\xA9"})
    EXPECT_EQ(Cp1252ToUtf8(Utf8ToCp1252(text)), text);
  EXPECT_EQ(Utf8ToUcs2Hex("\xE2\x82\xAC"), "20AC");
}

// Folding a line that holds a run of UTF-8 continuation bytes longer than a line used to look for
// the start of a character that never came, and wrote empty lines for ever.
TEST(PhonebookFiles, FoldsBytesThatAreNoUtf8) {
  for (std::size_t run : {74u, 75u, 76u, 200u}) {
    FileEntry e;
    e.number = "+15550100456";
    e.name = "A" + std::string(run, '\x80');
    const std::string card = ToVCards({e});
    for (std::size_t from = 0, end; (end = card.find("\r\n", from)) != std::string::npos; from = end + 2)
      EXPECT_LE(end - from, 75u) << "run " << run;
    const std::vector<FileEntry> back = FromVCards(card, "back.vcf");
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].name, e.name) << "run " << run;
  }
}

// The message itself and the sent message a report is about show a backslash alike, as written.
TEST(MessageView, ABackslashShowsAsWrittenInTheTextAndBesideAReport) {
  const struct {
    std::string name, text, shown;
  } cases[] = {{"a backslash", "C:\\dir", "C:\\dir"},
               {"two in a row", "a\\\\b", "a\\\\b"},
               {"beside a control character", "x\\\ty", "x\\\\x09y"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    messages::AssembledMessage message;
    message.first.address = "+15550100456";
    message.text = c.text;
    EXPECT_NE(AssembledText(message, {}).find("\n    " + c.shown), std::string::npos)
        << AssembledText(message, {});
    messages::AssembledMessage report;
    report.first.type = messages::MessageType::StatusReport;
    report.first.address = "+15550100456";
    report.first.reference = 7;
    const std::vector<messages::SentMessage> sent = {{"+15550100456", c.text, {7}, "today"}};
    EXPECT_NE(AssembledText(report, sent).find("for \"" + c.shown + "\" sent today"), std::string::npos)
        << AssembledText(report, sent);
  }
}

}  // namespace
}  // namespace quandelstk::cli
