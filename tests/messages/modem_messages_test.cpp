// The messages layer on a scripted modem, in virtual time: what it writes, what it makes of the
// answers, and the same outcome whether the answers come whole or in the pieces a real line cuts.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "modemsim/gsm_text.hpp"
#include "modemsim/sms_pdu.hpp"
#include "quandelstk/errors.hpp"
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
    const auto lines = modem.Lines();
    EXPECT_EQ(lines.back(), "AT+CMGF=1");
    // A prompt that never came is cancelled, so that a late one cannot take AT+CMGF=1 for the PDU.
    if (c.name == "no prompt") {
      EXPECT_EQ(lines[lines.size() - 2], "\x1B");
    }
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
  modem.On("AT+CMGF=0", Ok()).On("AT+CMGF=1", Ok()).On("AT+CPMS=\"SM\"", Ok());
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
        .On("AT+CNMI?", Ok("\r\n+CNMI: 2,0,0,2,0\r\n"))
        .On("AT+CNMI=2,1,0,1,0", Ok())
        .On("AT+CNMI=2,0,0,2,0", Ok())
        .On("AT+CPMS=\"SM\"", Ok());
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

std::string Read(const std::string& pdu) {
  return Ok("\r\n+CMGR: 0,," + std::to_string(pdu.size() / 2 - 8) + "\r\n" + pdu + "\r\n");
}

// A modem that will not leave text mode gets nothing it would read as text: the call ends with the
// reason, and text mode is left as it was (no AT+CMGF=1 either).
TEST(MessagesPduMode, ARefusedSwitchEndsTheCallAndWritesNothingElse) {
  struct Case {
    std::string name;
    std::function<std::string(Messages&)> call;  // what went wrong, as the host learns it
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"send",
       [](Messages& box) {
         const SendResult r = box.Send("+15550100456", "hello");
         EXPECT_FALSE(r.ok);
         return r.error;
       },
       {"AT+CMGF=0"}},
      {"list",
       [](Messages& box) {
         try {
           box.List();
         } catch (const RuntimeError& e) {
           return e.Description();
         }
         return std::string("no error");
       },
       {"AT+CMGF=0"}},
      {"read",
       [](Messages& box) {
         try {
           box.Read(1);
         } catch (const RuntimeError& e) {
           return e.Description();
         }
         return std::string("no error");
       },
       {"AT+CMGF=0"}},
      {"watch",
       [](Messages& box) {
         EXPECT_FALSE(box.Watch());
         EXPECT_FALSE(box.Watching());
         return std::string("the modem refused PDU mode");
       },
       {"AT+CNMI?", "AT+CMGF=0"}},
  };
  for (const Line& line : kLines) {
    for (const Case& c : cases) {
      SCOPED_TRACE(line.name + ", " + c.name);
      VirtualSession vs;
      vs.OpenPort();
      ScriptedModem& modem = vs.Modem();
      modem.Chunked(line.size, line.gap_ms);
      modem.On("AT+CMGF=0", "\r\nERROR\r\n").Otherwise(Ok("\r\n> "));
      Messages box;
      EXPECT_THAT(c.call(box), ::testing::HasSubstr("the modem refused PDU mode"));
      EXPECT_EQ(modem.Lines(), c.lines);
    }
  }
}

// Two long messages from one sender with one reference and total (references wrap at 256): both are
// listed, and Collect deletes only the indexes of the one the host accepted.
TEST(MessagesCollect, TwoMessagesWithOneReferenceStayApartAndOnlyTheAcceptedOneIsDeleted) {
  const std::string from = "+15550100456";
  const std::string listing = Listed(1, 1, Deliver(from, "Hello ", 7, 2, 1)) +
                              Listed(2, 1, Deliver(from, "world", 7, 2, 2)) +
                              Listed(3, 0, Deliver(from, "Your code ", 7, 2, 1)) +
                              Listed(4, 0, Deliver(from, "is 1234", 7, 2, 2)) + "\r\n";
  for (const Line& line : kLines) {
    SCOPED_TRACE(line.name);
    VirtualSession vs;
    vs.OpenPort();
    ScriptedModem& modem = vs.Modem();
    modem.Chunked(line.size, line.gap_ms);
    modem.On("AT+CMGF=0", Ok()).On("AT+CMGF=1", Ok());
    modem.On("AT+CPMS=\"SM\"", Ok("\r\n+CPMS: 4,20,4,20,4,20\r\n"));
    modem.On("AT+CPMS=\"SR\"", "\r\n+CMS ERROR: 302\r\n");
    modem.On("AT+CMGL=4", Ok(listing));
    modem.Otherwise(Ok());
    Messages box;
    std::vector<std::string> seen;
    const int deleted = box.Collect([&seen](const AssembledMessage& m) {
      seen.push_back(m.text);
      return m.text == "Hello world";  // the host keeps only this one
    });
    EXPECT_THAT(seen, ::testing::UnorderedElementsAre("Hello world", "Your code is 1234"));
    EXPECT_EQ(deleted, 1);
    std::vector<std::string> deletes;
    for (const std::string& l : modem.Lines())
      if (l.rfind("AT+CMGD", 0) == 0) deletes.push_back(l);
    EXPECT_THAT(deletes, ElementsAre("AT+CMGD=1", "AT+CMGD=2"));
  }
}

// Read, Delete and DeleteAll by index select their storage first, the SIM's too: a DeleteAll must not
// reach whatever storage was selected last (the phone's, say). A message whose parts lie in different
// storages is deleted index by index, each in its own.
TEST(MessagesStorage, IndexesAreReadAndDeletedInTheStorageSelectedForThem) {
  AssembledMessage spread;
  spread.storage = "SM";
  spread.indexes = {5, 0, 7};
  spread.storages = {"SM", "ME", "SM"};
  for (const Line& line : kLines) {
    SCOPED_TRACE(line.name);
    VirtualSession vs;
    vs.OpenPort();
    ScriptedModem& modem = vs.Modem();
    modem.Chunked(line.size, line.gap_ms);
    modem.Otherwise(Ok());
    modem.On("AT+CMGR=3", Read(Deliver("+15550100456", "hello")));
    modem.On("AT+CMGD=7", "\r\n+CMS ERROR: 321\r\n");
    Messages box;
    ASSERT_TRUE(box.Read(3));
    EXPECT_TRUE(box.Delete(3));
    EXPECT_TRUE(box.DeleteAll());
    EXPECT_TRUE(box.Delete(2, "SR"));
    EXPECT_FALSE(box.Delete(spread)) << "index 7 was refused";
    EXPECT_THAT(modem.Lines(),
                ElementsAre("AT+CMGF=0", "AT+CPMS=\"SM\"", "AT+CMGR=3", "AT+CMGF=1",             //
                            "AT+CPMS=\"SM\"", "AT+CMGD=3", "AT+CPMS=\"SM\"", "AT+CMGD=1,4",        //
                            "AT+CPMS=\"SR\"", "AT+CMGD=2", "AT+CPMS=\"SM\"",                       //
                            "AT+CPMS=\"SM\"", "AT+CMGD=5", "AT+CPMS=\"ME\"", "AT+CMGD=0",          //
                            "AT+CPMS=\"SM\"", "AT+CPMS=\"SM\"", "AT+CMGD=7"));
  }
}

// Some modems number their storage from 0.
TEST(MessagesList, AMessageAtIndexZeroIsListedAndDeleted) {
  for (const Line& line : kLines) {
    SCOPED_TRACE(line.name);
    VirtualSession vs;
    vs.OpenPort();
    ScriptedModem& modem = vs.Modem();
    modem.Chunked(line.size, line.gap_ms);
    modem.On("AT+CMGF=0", Ok()).On("AT+CMGF=1", Ok());
    modem.On("AT+CPMS=\"SM\"", Ok("\r\n+CPMS: 2,20,2,20,2,20\r\n"));
    modem.On("AT+CPMS=\"SR\"", "\r\n+CMS ERROR: 302\r\n");
    modem.On("AT+CMGL=4", Ok(Listed(0, 0, Deliver("+15550100456", "first")) +
                             Listed(1, 0, Deliver("+15550100456", "second")) + "\r\n"));
    modem.Otherwise(Ok());
    Messages box;
    const auto all = box.List();
    ASSERT_EQ(all.size(), 2u) << "the message at index 0 was dropped";
    EXPECT_EQ(all[0].text, "first");
    EXPECT_EQ(all[0].indexes, std::vector<int>{0});
    EXPECT_EQ(box.Collect([](const AssembledMessage&) { return true; }), 2);
    const auto lines = modem.Lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "AT+CMGD=0"), lines.end());
  }
}

// The parts of one message announced in different storages (one of them at index 0): each index is
// kept with its own storage, for deleting.
TEST(MessagesWatch, PartsInDifferentStoragesKeepTheirStorage) {
  for (const Line& line : kLines) {
    SCOPED_TRACE(line.name);
    VirtualSession vs;
    vs.OpenPort();
    ScriptedModem& modem = vs.Modem();
    modem.Chunked(line.size, line.gap_ms);
    modem.On("AT+CNMI?", Ok("\r\n+CNMI: 2,0,0,2,0\r\n")).Otherwise(Ok());
    modem.On("AT+CMGR=0", Read(Deliver("+15550100456", "one ", 4, 2, 1)));
    modem.On("AT+CMGR=1", Read(Deliver("+15550100456", "two", 4, 2, 2)));
    modem.Unsolicited(5000, "\r\n+CMTI: \"SM\",0\r\n");
    modem.Unsolicited(6000, "\r\n+CMTI: \"ME\",1\r\n");
    Messages box;
    ASSERT_TRUE(box.Watch(std::chrono::seconds(60)));
    std::vector<AssembledMessage> got;
    while (got.empty() && vs.NowMs() < 60000) got = box.Wait(std::chrono::seconds(10));
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].text, "one two");
    EXPECT_EQ(got[0].indexes, (std::vector<int>{0, 1}));
    EXPECT_EQ(got[0].storages, (std::vector<std::string>{"SM", "ME"}));
    box.StopWatching();
  }
}

// An indication the modem sends right behind an answer may be cut where the answer's wait ended:
// its start is kept and joined with the rest when that comes.
TEST(MessagesWatch, AnIndicationCutAtTheEndOfAnAnswerIsJoinedWithItsRest) {
  const std::string hello = Deliver("+15550100456", "hello");
  const std::string again = Deliver("+15550100456", "again");
  const std::string report = Report(12, 0);
  struct Case {
    std::string name, tail, rest;
    bool is_report;
  };
  const Case cases[] = {
      {"a report cut in its PDU", "\r\n+CDS: 25\r\n" + report.substr(0, 20), report.substr(20) + "\r\n",
       true},
      {"a report cut after its header", "\r\n+CDS: 25\r\n", report + "\r\n", true},
      {"a whole report", "\r\n+CDS: 25\r\n" + report + "\r\n", "", true},
      {"a message's indication cut in its line", "\r\n+CMTI: \"SM\"", ",2\r\n", false},
  };
  for (const Line& line : kLines) {
    for (const Case& c : cases) {
      SCOPED_TRACE(line.name + ", " + c.name);
      VirtualSession vs;
      vs.OpenPort();
      ScriptedModem& modem = vs.Modem();
      modem.Chunked(line.size, line.gap_ms);
      modem.On("AT+CNMI?", Ok("\r\n+CNMI: 2,0,0,2,0\r\n")).Otherwise(Ok());
      modem.On("AT+CMGR=1", Read(hello) + c.tail);
      modem.On("AT+CMGR=2", Read(again));
      modem.Unsolicited(5000, "\r\n+CMTI: \"SM\",1\r\n");
      if (!c.rest.empty()) modem.Unsolicited(6000, c.rest);
      Messages box;
      ASSERT_TRUE(box.Watch(std::chrono::seconds(60)));
      std::vector<AssembledMessage> got;
      for (int round = 0; round < 2 && got.size() < 2; ++round)
        for (AssembledMessage& m : box.Wait(std::chrono::seconds(30))) got.push_back(std::move(m));
      EXPECT_EQ(got.size(), 2u) << "lost";
      if (got.size() != 2) continue;
      EXPECT_EQ(got[0].text, "hello");
      EXPECT_EQ(got[1].first.IsReport(), c.is_report);
      if (!c.is_report) {
        EXPECT_EQ(got[1].text, "again");
      }
    }
  }
}

// Stored copies of a part of a message Wait already returned are handed over for deleting (message
// watch --delete deletes them), and only the latest are kept however long the watch runs.
TEST(MessagesWatch, CopiesOfPartsAlreadyReturnedAreHandedOverAndKeptBounded) {
  const std::string first = Deliver("+15550100456", "one ", 4, 2, 1);
  const int copies = static_cast<int>(Messages::kMaxDuplicates) + 20;
  std::string announced;
  for (int k = 3; k < 3 + copies; ++k) announced += "\r\n+CMTI: \"SM\"," + std::to_string(k) + "\r\n";
  for (const Line& line : kLines) {
    SCOPED_TRACE(line.name);
    VirtualSession vs;
    vs.OpenPort();
    ScriptedModem& modem = vs.Modem();
    modem.Chunked(line.size, line.gap_ms);
    modem.On("AT+CNMI?", Ok("\r\n+CNMI: 2,0,0,2,0\r\n")).Otherwise(Ok());
    modem.On("AT+CMGR=1", Read(first)).On("AT+CMGR=2", Read(Deliver("+15550100456", "two", 4, 2, 2)));
    for (int k = 3; k < 3 + copies; ++k) modem.On("AT+CMGR=" + std::to_string(k), Read(first));
    modem.Unsolicited(5000, "\r\n+CMTI: \"SM\",1\r\n\r\n+CMTI: \"SM\",2\r\n");
    modem.Unsolicited(10000, announced);
    Messages box;
    // A limit past the last copy, read a byte at a time: a copy later than that is not known as one.
    ASSERT_TRUE(box.Watch(std::chrono::minutes(30)));
    auto got = box.Wait(std::chrono::seconds(30));
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].text, "one two");
    EXPECT_TRUE(box.TakeDuplicates().empty());
    // Long enough for every copy to be announced and read, even a byte at a time.
    EXPECT_TRUE(box.Wait(std::chrono::minutes(10)).empty()) << "a copy is not a new message";
    const auto duplicates = box.TakeDuplicates();
    ASSERT_EQ(duplicates.size(), Messages::kMaxDuplicates);
    EXPECT_EQ(duplicates.back().index, 2 + copies);
    EXPECT_EQ(duplicates.back().storage, "SM");
    EXPECT_TRUE(box.TakeDuplicates().empty());
    box.StopWatching();
  }
}

// What was in force before the watch comes back after it: read from the modem, else the one of
// Init's two settings the modem takes.
TEST(MessagesWatch, StopWatchingRestoresTheIndicationsInForceBefore) {
  struct Case {
    std::string name, query_answer;
    std::vector<std::string> refused;
    std::vector<std::string> restoring;  // the AT+CNMI lines after the watch's own
  };
  const Case cases[] = {
      {"as read: reports switched off", "\r\n+CNMI: 2,0,0,0,0\r\n\r\nOK\r\n", {}, {"AT+CNMI=2,0,0,0,0"}},
      {"unreadable: Init's", "\r\nERROR\r\n", {}, {"AT+CNMI=2,0,0,2,0"}},
      {"unreadable: Init's fallback, which the modem takes",
       "\r\nERROR\r\n",
       {"AT+CNMI=2,0,0,2,0"},
       {"AT+CNMI=2,0,0,2,0", "AT+CNMI=0,0,0,0,0"}},
  };
  for (const Line& line : kLines) {
    for (const Case& c : cases) {
      SCOPED_TRACE(line.name + ", " + c.name);
      VirtualSession vs;
      vs.OpenPort();
      ScriptedModem& modem = vs.Modem();
      modem.Chunked(line.size, line.gap_ms);
      modem.On("AT+CNMI?", c.query_answer);
      for (const std::string& r : c.refused) modem.On(r, "\r\nERROR\r\n");
      modem.Otherwise(Ok());
      Messages box;
      ASSERT_TRUE(box.Watch(std::chrono::seconds(60)));
      box.StopWatching();
      const auto lines = modem.Lines();
      const auto watch = std::find(lines.begin(), lines.end(), "AT+CNMI=2,1,0,1,0");
      ASSERT_NE(watch, lines.end());
      std::vector<std::string> after(std::next(watch), lines.end());
      std::vector<std::string> expected = c.restoring;
      expected.push_back("AT+CMGF=1");
      EXPECT_EQ(after, expected);
    }
  }
}

// A message the modem will not read (a refused read, a refused storage) is handed over with its
// index and the reason, and the watch goes on to what was announced after it.
TEST(MessagesWatch, AnUnreadableMessageIsReportedAndTheWatchGoesOn) {
  struct Case {
    std::string name, announced, storage, refused, refusal, problem;
  };
  const Case cases[] = {
      {"a refused read", "\r\n+CMTI: \"SM\",1\r\n", "SM", "AT+CMGR=1", "\r\n+CMS ERROR: 500\r\n",
       "the modem could not read message 1 (+CMS ERROR: 500)"},
      {"a refused storage", "\r\n+CMTI: \"ME\",1\r\n", "ME", "AT+CPMS=\"ME\"", "\r\n+CMS ERROR: 302\r\n",
       "the modem cannot select the storage ME (+CMS ERROR: 302)"},
  };
  const std::string one = Deliver("+15550100456", "one");
  const std::string three = Deliver("+15550100456", "three");
  for (const Line& line : kLines) {
    for (const Case& c : cases) {
      for (const bool together : {true, false}) {
        SCOPED_TRACE(line.name + ", " + c.name + (together ? ", announced together" : ", one by one"));
        VirtualSession vs;
        vs.OpenPort();
        ScriptedModem& modem = vs.Modem();
        modem.Chunked(line.size, line.gap_ms);
        modem.On("AT+CNMI?", Ok("\r\n+CNMI: 2,0,0,2,0\r\n"));
        modem.On(c.refused, c.refusal);
        modem.On("AT+CMGR=1", Read(one)).On("AT+CMGR=3", Read(three)).Otherwise(Ok());
        if (together) {
          modem.Unsolicited(5000, c.announced + "\r\n+CMTI: \"SM\",3\r\n");
        } else {
          modem.Unsolicited(5000, c.announced);
          modem.Unsolicited(6000, "\r\n+CMTI: \"SM\",3\r\n");
        }
        Messages box;
        ASSERT_TRUE(box.Watch(std::chrono::seconds(60)));
        std::vector<AssembledMessage> got;
        for (int round = 0; round < 3 && got.size() < 2; ++round)
          for (AssembledMessage& m : box.Wait(std::chrono::seconds(30))) got.push_back(std::move(m));
        ASSERT_EQ(got.size(), 2u);
        EXPECT_FALSE(got[0].first.Decoded());
        EXPECT_EQ(got[0].Problem(), c.problem);
        EXPECT_EQ(got[0].indexes, std::vector<int>{1});
        EXPECT_EQ(got[0].storages, std::vector<std::string>{c.storage});
        EXPECT_EQ(got[1].text, "three");
        EXPECT_EQ(got[1].indexes, std::vector<int>{3});
        EXPECT_TRUE(box.Watching());
        box.StopWatching();
      }
    }
  }
}

// Indications an exchange came across while nobody watched, or that the end of the last watch left,
// are old: the next watch does not read them again (List finds what they announced).
TEST(MessagesWatch, IndicationsNotedOutsideAWatchAreNotReplayedByTheNext) {
  const std::string old = Deliver("+15550100456", "old");
  const std::string fresh = Deliver("+15550100456", "new");
  struct Case {
    std::string name;
    bool during_list;  // else in the answer to the restore at the end of a first watch
  };
  const Case cases[] = {{"noted by a listing", true}, {"noted by the end of a watch", false}};
  for (const Line& line : kLines) {
    for (const Case& c : cases) {
      SCOPED_TRACE(line.name + ", " + c.name);
      VirtualSession vs;
      vs.OpenPort();
      ScriptedModem& modem = vs.Modem();
      modem.Chunked(line.size, line.gap_ms);
      modem.On("AT+CNMI?", Ok("\r\n+CNMI: 2,0,0,2,0\r\n"));
      const std::string indication = "\r\n+CMTI: \"SM\",7\r\n";
      modem.On("AT+CMGL=4", Ok(Listed(7, 0, old) + (c.during_list ? indication : "")), 1);
      modem.On("AT+CNMI=2,0,0,2,0", Ok(c.during_list ? "" : indication));
      modem.On("AT+CMGR=7", Read(old)).On("AT+CMGR=8", Read(fresh)).Otherwise(Ok());
      modem.Unsolicited(20000, "\r\n+CMTI: \"SM\",8\r\n");
      Messages box;
      if (c.during_list) {
        ASSERT_EQ(box.List().size(), 1u);
      } else {
        ASSERT_TRUE(box.Watch(std::chrono::seconds(60)));
        EXPECT_TRUE(box.Wait(std::chrono::seconds(1)).empty());
        box.StopWatching();
      }
      ASSERT_TRUE(box.Watch(std::chrono::seconds(60)));
      std::vector<AssembledMessage> got;
      while (got.empty() && vs.NowMs() < 60000) got = box.Wait(std::chrono::seconds(10));
      ASSERT_EQ(got.size(), 1u);
      EXPECT_EQ(got[0].text, "new");
      box.StopWatching();
    }
  }
}

}  // namespace
}  // namespace quandelstk::testing
