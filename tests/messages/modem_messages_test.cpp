// The messages layer on a scripted modem, in virtual time: what it writes, what it makes of the
// answers, and the same outcome whether the answers come whole or in the pieces a real line cuts.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "modemsim/gsm_text.hpp"
#include "modemsim/sms_pdu.hpp"
#include "quandelstk/messages.hpp"
#include "support/virtual_session.hpp"

namespace quandelstk::testing {
namespace {

using namespace messages;
using ::testing::ElementsAre;

std::string Ok(const std::string& info = "") {
  return info + "\r\nOK\r\n";
}

// How the scripted answers travel: whole, or cut into pieces some milliseconds apart.
struct Line {
  std::string name;
  std::size_t size;
  TimeMs gap_ms;
};
const Line kLines[] = {{"whole answers", 0, 0}, {"pieces of 5 bytes", 5, 20}, {"single bytes", 1, 2}};

// An SMS-DELIVER from the simulator's own encoder: part sequence of total (0: not concatenated).
std::string Deliver(const std::string& from, const std::string& text, int reference = 0, int total = 0,
                    int sequence = 0) {
  modemsim::Pdu p;
  p.smsc = modemsim::Address::FromText("+15550100123");
  p.tpdu.type = modemsim::PduType::kDeliver;
  p.tpdu.first_octet = 0x04;
  p.tpdu.address = modemsim::Address::FromText(from);
  if (from.find_first_of("0123456789") != 0 && from[0] != '+') p.tpdu.address.type = 0xD0;  // alphanumeric
  p.tpdu.scts = *modemsim::Timestamp::Parse("26/12/04,10:00:00-08");
  std::optional<modemsim::Concat> concat;
  if (total) concat = modemsim::Concat{reference, total, sequence};
  p.tpdu.SetText(modemsim::Utf8ToUtf16(text), concat);
  return modemsim::EncodePdu(p);
}

std::string Report(int reference, int status) {
  modemsim::Pdu p;
  p.smsc = modemsim::Address::FromText("+15550100123");
  p.tpdu.type = modemsim::PduType::kStatusReport;
  p.tpdu.first_octet = 0x06;
  p.tpdu.reference = reference;
  p.tpdu.address = modemsim::Address::FromText("+15550100456");
  p.tpdu.scts = p.tpdu.discharge = *modemsim::Timestamp::Parse("26/12/04,10:00:05+04");
  p.tpdu.status = status;
  return modemsim::EncodePdu(p);
}

std::string Listed(int index, int status, const std::string& pdu) {
  return "\r\n+CMGL: " + std::to_string(index) + "," + std::to_string(status) + ",," +
         std::to_string(pdu.size() / 2 - 8) + "\r\n" + pdu;
}

TEST(MessagesSend, WritesEveryPartThroughThePromptAndReturnsTheirReferences) {
  SendOptions options;
  options.reference = 42;
  options.status_report = true;
  const std::string text = std::string(150, 'a') + "€€€ and more";
  const auto parts = EncodeSubmit("+15550100456", text, options, 42);
  ASSERT_EQ(parts.size(), 2u);
  for (const Line& line : kLines) {
    SCOPED_TRACE(line.name);
    VirtualSession vs;
    vs.OpenPort();
    ScriptedModem& modem = vs.Modem();
    modem.Chunked(line.size, line.gap_ms);
    modem.On("AT+CMGF=0", Ok()).On("AT+CMGF=1", Ok());
    for (const auto& p : parts)
      modem.On("AT+CMGS=" + std::to_string(p.tpdu_length), "\r\n> ", 1)
          .On(p.pdu + "\x1A", Ok("\r\n+CMGS: " + std::to_string(11 + p.sequence) + "\r\n"));
    std::vector<std::pair<int, int>> progress;
    Messages box;
    const SendResult r =
        box.Send("+15550100456", text, options, [&](int k, int n) { progress.emplace_back(k, n); });
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.references, (std::vector<int>{12, 13}));
    EXPECT_EQ(progress, (std::vector<std::pair<int, int>>{{1, 2}, {2, 2}}));
    EXPECT_THAT(
        modem.Lines(),
        ElementsAre("AT+CMGF=0", "AT+CMGS=" + std::to_string(parts[0].tpdu_length), parts[0].pdu + "\x1A",
                    "AT+CMGS=" + std::to_string(parts[1].tpdu_length), parts[1].pdu + "\x1A", "AT+CMGF=1"));
  }
}

TEST(MessagesSend, StopsAtARefusedPartSaysWhyAndLeavesTextMode) {
  const std::string text = std::string(200, 'b');
  SendOptions options;
  options.reference = 7;
  const auto parts = EncodeSubmit("+15550100456", text, options, 7);
  struct Case {
    std::string name, second_answer, error;
  } cases[] = {{"refused", "\r\n+CMS ERROR: 38\r\n", "part 2 of 2: the modem refused it (+CMS ERROR: 38)"},
               {"no prompt", "", "part 2 of 2: the modem gave no prompt for the message (no answer)"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    VirtualSession vs;
    vs.OpenPort();
    ScriptedModem& modem = vs.Modem();
    modem.On("AT+CMGF=0", Ok()).On("AT+CMGF=1", Ok());
    modem.On("AT+CMGS=" + std::to_string(parts[0].tpdu_length), "\r\n> ", 1)
        .On(parts[0].pdu + "\x1A", Ok("\r\n+CMGS: 1\r\n"));
    if (c.name == "refused")
      modem.On("AT+CMGS=" + std::to_string(parts[1].tpdu_length), "\r\n> ")
          .On(parts[1].pdu + "\x1A", c.second_answer);
    Messages box;
    const SendResult r = box.Send("+15550100456", text, options);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, c.error);
    EXPECT_EQ(r.references, std::vector<int>{1});
    EXPECT_EQ(modem.Lines().back(), "AT+CMGF=1");
  }
}

TEST(MessagesList, JoinsPartsInAnyOrderKeepsWhatItCannotReadAndListsReports) {
  const std::string long_text = std::string(692, 'x') + " the end";
  // The five parts as the simulator splits them: 153 septets each.
  std::vector<std::string> part;
  for (int k = 0; k < 5; ++k)
    part.push_back(
        Deliver("+15550100456", long_text.substr(static_cast<std::size_t>(k) * 153, 153), 9, 5, k + 1));
  const std::string compressed =
      "07915155100021F3040B915155100054F600204250719080702304"
      "01020304";
  const std::string sm_listing = Listed(1, 1, part[3]) +
                                 Listed(2, 0, Deliver("+15550100789", "Café €5 [ok] 😀")) +
                                 Listed(3, 1, part[0]) + Listed(4, 1, compressed) + Listed(5, 1, part[4]) +
                                 Listed(6, 1, part[2]) + Listed(7, 1, part[1]) + Listed(8, 1, part[3]) +
                                 "\r\n+CMTI: \"SM\",9\r\n" + Listed(10, 1, Deliver("Google", "code 1234"));
  for (const Line& line : kLines) {
    SCOPED_TRACE(line.name);
    VirtualSession vs;
    vs.OpenPort();
    ScriptedModem& modem = vs.Modem();
    modem.Chunked(line.size, line.gap_ms);
    modem.On("AT+CMGF=0", Ok()).On("AT+CMGF=1", Ok());
    modem.On("AT+CPMS=\"SM\"", Ok("\r\n+CPMS: 9,20,9,20,9,20\r\n"));
    modem.On("AT+CPMS=\"SR\"", Ok("\r\n+CPMS: 1,20,9,20,9,20\r\n"));
    modem.On("AT+CMGL=4", Ok(sm_listing + "\r\n"), 1)
        .On("AT+CMGL=4", Ok(Listed(1, 0, Report(12, 0x21)) + "\r\n"), 1);

    Messages box;
    const auto all = box.List();
    ASSERT_EQ(all.size(), 5u);
    EXPECT_EQ(all[0].text, long_text);
    EXPECT_TRUE(all[0].complete);
    EXPECT_EQ(all[0].indexes, (std::vector<int>{1, 3, 5, 6, 7, 8}));
    EXPECT_EQ(all[1].text, "Café €5 [ok] 😀");
    EXPECT_EQ(all[1].first.time->Text(), "2026-12-04 10:00:00 -02:00");
    EXPECT_THAT(all[2].Problem(), ::testing::HasSubstr("compressed"));
    EXPECT_EQ(all[2].indexes, std::vector<int>{4});
    EXPECT_EQ(all[3].from(), "Google");
    EXPECT_TRUE(all[4].first.IsReport());
    EXPECT_EQ(all[4].storage, "SR");
    EXPECT_EQ(all[4].first.reference, 12);
    EXPECT_EQ(StatusText(all[4].first.status), "still trying: recipient busy");
    EXPECT_THAT(modem.Lines(), ElementsAre("AT+CMGF=0", "AT+CPMS=\"SM\"", "AT+CMGL=4", "AT+CPMS=\"SR\"",
                                           "AT+CMGL=4", "AT+CPMS=\"SM\"", "AT+CMGF=1"));
  }
}

TEST(MessagesRead, ReadsOneWithoutDeletingItAndTellsAnEmptyIndex) {
  VirtualSession vs;
  vs.OpenPort();
  ScriptedModem& modem = vs.Modem();
  const std::string pdu = Deliver("+15550100456", "hello");
  modem.On("AT+CMGF=0", Ok()).On("AT+CMGF=1", Ok());
  modem.On("AT+CMGR=3", Ok("\r\n+CMGR: 1,,23\r\n" + pdu + "\r\n")).On("AT+CMGR=4", "\r\n+CMS ERROR: 321\r\n");
  Messages box;
  const auto m = box.Read(3);
  ASSERT_TRUE(m);
  EXPECT_EQ(m->text, "hello");
  EXPECT_FALSE(box.Read(4));
  for (const std::string& l : modem.Lines()) EXPECT_EQ(l.find("AT+CMGD"), std::string::npos);
}

TEST(MessagesWatch, TurnsIndicationsIntoMessagesAndReleasesAnIncompleteSetOnTime) {
  const std::string hello = Deliver("+15550100456", "hello");
  const std::string a = Deliver("+15550100456", std::string(153, 'a'), 3, 3, 1);
  const std::string c = Deliver("+15550100456", "c", 3, 3, 3);
  const std::string report = Report(12, 0);
  for (const Line& line : kLines) {
    SCOPED_TRACE(line.name);
    VirtualSession vs;
    vs.OpenPort();
    ScriptedModem& modem = vs.Modem();
    modem.Chunked(line.size, line.gap_ms);
    modem.On("AT+CMGF=0", Ok())
        .On("AT+CMGF=1", Ok())
        .On("AT+CNMI=2,1,0,1,0", Ok())
        .On("AT+CNMI=2,0,0,2,0", Ok());
    modem.On("AT+CMGR=1", Ok("\r\n+CMGR: 0,,23\r\n" + hello + "\r\n"));
    modem.On("AT+CMGR=2", Ok("\r\n+CMGR: 0,,160\r\n" + a + "\r\n"));
    modem.On("AT+CMGR=3", Ok("\r\n+CMGR: 0,,30\r\n" + c + "\r\n"));
    modem.Unsolicited(5000, "\r\n+CMTI: \"SM\",1\r\n");
    modem.Unsolicited(8000, "\r\n+CDS: 25\r\n" + report + "\r\n");
    modem.Unsolicited(10000, "\r\n+CMTI: \"SM\",2\r\n\r\n+CMTI: \"SM\",3\r\n");

    Messages box;
    ASSERT_TRUE(box.Watch(std::chrono::seconds(60)));
    auto got = box.Wait(std::chrono::seconds(30));
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].text, "hello");
    EXPECT_EQ(got[0].indexes, std::vector<int>{1});
    EXPECT_GE(vs.NowMs(), 5000);
    EXPECT_LT(vs.NowMs(), 6000);

    got = box.Wait(std::chrono::seconds(30));
    ASSERT_EQ(got.size(), 1u);
    EXPECT_TRUE(got[0].first.IsReport());
    EXPECT_EQ(got[0].first.reference, 12);

    // Parts 1 and 3 come at 10 s; part 2 never does: the set goes out incomplete at 70 s.
    got = box.Wait(std::chrono::minutes(10));
    ASSERT_EQ(got.size(), 1u);
    EXPECT_FALSE(got[0].complete);
    EXPECT_EQ(got[0].Problem(), "incomplete: part 2 of 3 missing");
    EXPECT_GE(vs.NowMs(), 70000);
    EXPECT_LT(vs.NowMs(), 72000);

    box.StopWatching();
    const auto lines = modem.Lines();
    EXPECT_THAT(std::vector<std::string>(lines.end() - 2, lines.end()),
                ElementsAre("AT+CNMI=2,0,0,2,0", "AT+CMGF=1"));
  }
}

}  // namespace
}  // namespace quandelstk::testing
