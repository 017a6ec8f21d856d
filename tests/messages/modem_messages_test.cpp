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
const std::string kFrom = "+15550100456";
const std::string kCnmiBefore = Ok("\r\n+CNMI: 2,0,0,2,0\r\n");

// Runs body on a fresh open port once per way the answers travel: whole, or cut into pieces some
// milliseconds apart.
void OnEveryLine(const std::function<void(VirtualSession&, ScriptedModem&)>& body) {
  const struct {
    const char* name;
    std::size_t size;
    TimeMs gap_ms;
  } lines[] = {{"whole answers", 0, 0}, {"pieces of 5 bytes", 5, 20}, {"single bytes", 1, 2}};
  for (const auto& line : lines) {
    SCOPED_TRACE(line.name);
    VirtualSession vs;
    vs.OpenPort();
    vs.Modem().Chunked(line.size, line.gap_ms);
    body(vs, vs.Modem());
  }
}

// What Wait hands over in up to rounds calls of 30 s, until n messages came.
std::vector<AssembledMessage> WaitFor(Messages& box, std::size_t n, int rounds = 3) {
  std::vector<AssembledMessage> got;
  for (int round = 0; round < rounds && got.size() < n; ++round)
    for (AssembledMessage& m : box.Wait(std::chrono::seconds(30))) got.push_back(std::move(m));
  return got;
}

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
  p.tpdu.address = modemsim::Address::FromText(kFrom);
  p.tpdu.scts = p.tpdu.discharge = *modemsim::Timestamp::Parse("26/12/04,10:00:05+04");
  p.tpdu.status = status;
  return modemsim::EncodePdu(p);
}

std::string Listed(int index, int status, const std::string& pdu) {
  return "\r\n+CMGL: " + std::to_string(index) + "," + std::to_string(status) + ",," +
         std::to_string(pdu.size() / 2 - 8) + "\r\n" + pdu;
}
std::string Read(const std::string& pdu) {
  return Ok("\r\n+CMGR: 0,," + std::to_string(pdu.size() / 2 - 8) + "\r\n" + pdu + "\r\n");
}

TEST(MessagesSend, WritesEveryPartThroughThePromptAndReturnsTheirReferences) {
  SendOptions options;
  options.reference = 42;
  options.status_report = true;
  const std::string text = std::string(150, 'a') + "€€€ and more";
  const auto parts = EncodeSubmit(kFrom, text, options, 42);
  ASSERT_EQ(parts.size(), 2u);
  OnEveryLine([&](VirtualSession&, ScriptedModem& modem) {
    for (const auto& p : parts)
      modem.On("AT+CMGS=" + std::to_string(p.tpdu_length), "\r\n> ", 1)
          .On(p.pdu + "\x1A", Ok("\r\n+CMGS: " + std::to_string(11 + p.sequence) + "\r\n"));
    modem.Otherwise(Ok());
    std::vector<std::pair<int, int>> progress;
    const SendResult r =
        Messages().Send(kFrom, text, options, [&](int k, int n) { progress.emplace_back(k, n); });
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.references, (std::vector<int>{12, 13}));
    EXPECT_EQ(progress, (std::vector<std::pair<int, int>>{{1, 2}, {2, 2}}));
    EXPECT_THAT(
        modem.Lines(),
        ElementsAre("AT+CMGF=0", "AT+CMGS=" + std::to_string(parts[0].tpdu_length), parts[0].pdu + "\x1A",
                    "AT+CMGS=" + std::to_string(parts[1].tpdu_length), parts[1].pdu + "\x1A", "AT+CMGF=1"));
  });
}

TEST(MessagesSend, StopsAtARefusedPartSaysWhyAndLeavesTextMode) {
  const std::string text = std::string(200, 'b');
  SendOptions options;
  options.reference = 7;
  const auto parts = EncodeSubmit(kFrom, text, options, 7);
  for (const bool prompted : {true, false}) {
    VirtualSession vs;
    vs.OpenPort();
    ScriptedModem& modem = vs.Modem();
    modem.On("AT+CMGF=0", Ok()).On("AT+CMGF=1", Ok());
    modem.On("AT+CMGS=" + std::to_string(parts[0].tpdu_length), "\r\n> ", 1)
        .On(parts[0].pdu + "\x1A", Ok("\r\n+CMGS: 1\r\n"));
    if (prompted)
      modem.On("AT+CMGS=" + std::to_string(parts[1].tpdu_length), "\r\n> ")
          .On(parts[1].pdu + "\x1A", "\r\n+CMS ERROR: 38\r\n");
    const SendResult r = Messages().Send(kFrom, text, options);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, prompted ? "part 2 of 2: the modem refused it (+CMS ERROR: 38)"
                                : "part 2 of 2: the modem gave no prompt for the message (no answer)");
    EXPECT_EQ(r.references, std::vector<int>{1});
    const auto lines = modem.Lines();
    EXPECT_EQ(lines.back(), "AT+CMGF=1");
    // A prompt that never came is cancelled, so that a late one cannot take AT+CMGF=1 for the PDU.
    if (!prompted) {
      EXPECT_EQ(lines[lines.size() - 2], "\x1B");
    }
  }
}

// Parts in any order, index 0 (some modems number from 0), a PDU it cannot read, an indication in
// the middle of the listing, and the reports in their own storage.
TEST(MessagesList, JoinsPartsInAnyOrderKeepsWhatItCannotReadAndListsReports) {
  const std::string long_text = std::string(692, 'x') + " the end";
  // The five parts as the simulator splits them: 153 septets each.
  std::vector<std::string> part;
  for (int k = 0; k < 5; ++k)
    part.push_back(Deliver(kFrom, long_text.substr(static_cast<std::size_t>(k) * 153, 153), 9, 5, k + 1));
  const std::string compressed = "07915155100021F3040B915155100054F60020425071908070230401020304";
  const std::string sm_listing = Listed(0, 1, part[3]) +
                                 Listed(2, 0, Deliver("+15550100789", "Café €5 [ok] 😀")) +
                                 Listed(3, 1, part[0]) + Listed(4, 1, compressed) + Listed(5, 1, part[4]) +
                                 Listed(6, 1, part[2]) + Listed(7, 1, part[1]) + Listed(8, 1, part[3]) +
                                 "\r\n+CMTI: \"SM\",9\r\n" + Listed(10, 1, Deliver("Google", "code 1234"));
  OnEveryLine([&](VirtualSession&, ScriptedModem& modem) {
    modem.On("AT+CMGF=0", Ok()).On("AT+CMGF=1", Ok());
    modem.On("AT+CPMS=\"SM\"", Ok("\r\n+CPMS: 9,20,9,20,9,20\r\n"));
    modem.On("AT+CPMS=\"SR\"", Ok("\r\n+CPMS: 1,20,9,20,9,20\r\n"));
    modem.On("AT+CMGL=4", Ok(sm_listing + "\r\n"), 1)
        .On("AT+CMGL=4", Ok(Listed(1, 0, Report(12, 0x21)) + "\r\n"), 1);
    const auto all = Messages().List();
    ASSERT_EQ(all.size(), 5u);
    EXPECT_EQ(all[0].text, long_text);
    EXPECT_TRUE(all[0].complete);
    EXPECT_EQ(all[0].indexes, (std::vector<int>{0, 3, 5, 6, 7, 8})) << "the part at index 0 was dropped";
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
  });
}

// A modem that will not leave text mode gets nothing it would read as text: the call ends with the
// reason, and text mode is left as it was (no AT+CMGF=1 either).
TEST(MessagesPduMode, ARefusedSwitchEndsTheCallAndWritesNothingElse) {
  const auto thrown = [](const std::function<void()>& call) {
    try {
      call();
    } catch (const RuntimeError& e) {
      return e.Description();
    }
    return std::string("no error");
  };
  // clang-format off
  const struct {
    std::string name;
    std::function<std::string(Messages&)> call;  // what went wrong, as the host learns it
    std::vector<std::string> lines;
  } cases[] = {
      {"send", [](Messages& box) { return box.Send(kFrom, "hello").error; }, {"AT+CMGF=0"}},
      {"list", [&](Messages& box) { return thrown([&] { box.List(); }); }, {"AT+CMGF=0"}},
      {"read", [&](Messages& box) { return thrown([&] { box.Read(1); }); }, {"AT+CMGF=0"}},
      {"watch", [](Messages& box) { return std::string(box.Watch() || box.Watching() ? "on" : "the modem refused PDU mode"); },
       {"AT+CNMI?", "AT+CMGF=0"}},
  };
  // clang-format on
  for (const auto& c : cases)
    OnEveryLine([&](VirtualSession&, ScriptedModem& modem) {
      SCOPED_TRACE(c.name);
      modem.On("AT+CMGF=0", "\r\nERROR\r\n").Otherwise(Ok("\r\n> "));
      Messages box;
      EXPECT_THAT(c.call(box), ::testing::HasSubstr("the modem refused PDU mode"));
      EXPECT_EQ(modem.Lines(), c.lines);
    });
}

// Two long messages from one sender with one reference and total (references wrap at 256): both are
// listed, and Collect deletes only the indexes of the one the host accepted, index 0 included.
TEST(MessagesCollect, TwoMessagesWithOneReferenceStayApartAndOnlyTheAcceptedOneIsDeleted) {
  const std::string listing = Listed(0, 1, Deliver(kFrom, "Hello ", 7, 2, 1)) +
                              Listed(2, 1, Deliver(kFrom, "world", 7, 2, 2)) +
                              Listed(3, 0, Deliver(kFrom, "Your code ", 7, 2, 1)) +
                              Listed(4, 0, Deliver(kFrom, "is 1234", 7, 2, 2)) + "\r\n";
  OnEveryLine([&](VirtualSession&, ScriptedModem& modem) {
    modem.On("AT+CPMS=\"SM\"", Ok("\r\n+CPMS: 4,20,4,20,4,20\r\n"));
    modem.On("AT+CPMS=\"SR\"", "\r\n+CMS ERROR: 302\r\n");
    modem.On("AT+CMGL=4", Ok(listing)).Otherwise(Ok());
    std::vector<std::string> seen;
    const int deleted = Messages().Collect([&seen](const AssembledMessage& m) {
      seen.push_back(m.text);
      return m.text == "Hello world";  // the host keeps only this one
    });
    EXPECT_THAT(seen, ::testing::UnorderedElementsAre("Hello world", "Your code is 1234"));
    EXPECT_EQ(deleted, 1);
    std::vector<std::string> deletes;
    for (const std::string& l : modem.Lines())
      if (l.rfind("AT+CMGD", 0) == 0) deletes.push_back(l);
    EXPECT_THAT(deletes, ElementsAre("AT+CMGD=0", "AT+CMGD=2"));
  });
}

// Read, Delete and DeleteAll by index select their storage first, the SIM's too: a DeleteAll must not
// reach whatever storage was selected last (the phone's, say). A message whose parts lie in different
// storages is deleted index by index, each in its own. Read does not delete; an empty index reads as
// nothing.
TEST(MessagesStorage, IndexesAreReadAndDeletedInTheStorageSelectedForThem) {
  AssembledMessage spread;
  spread.storage = "SM";
  spread.indexes = {5, 0, 7};
  spread.storages = {"SM", "ME", "SM"};
  OnEveryLine([&](VirtualSession&, ScriptedModem& modem) {
    modem.Otherwise(Ok());
    modem.On("AT+CMGR=3", Read(Deliver(kFrom, "hello"))).On("AT+CMGR=4", "\r\n+CMS ERROR: 321\r\n");
    modem.On("AT+CMGD=7", "\r\n+CMS ERROR: 321\r\n");
    Messages box;
    const auto m = box.Read(3);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->text, "hello");
    EXPECT_FALSE(box.Read(4));
    EXPECT_TRUE(box.Delete(3));
    EXPECT_TRUE(box.DeleteAll());
    EXPECT_TRUE(box.Delete(2, "SR"));
    EXPECT_FALSE(box.Delete(spread)) << "index 7 was refused";
    EXPECT_THAT(modem.Lines(), ElementsAre("AT+CMGF=0", "AT+CPMS=\"SM\"", "AT+CMGR=3", "AT+CMGF=1",         //
                                           "AT+CMGF=0", "AT+CPMS=\"SM\"", "AT+CMGR=4", "AT+CMGF=1",         //
                                           "AT+CPMS=\"SM\"", "AT+CMGD=3", "AT+CPMS=\"SM\"", "AT+CMGD=1,4",  //
                                           "AT+CPMS=\"SR\"", "AT+CMGD=2", "AT+CPMS=\"SM\"",                 //
                                           "AT+CPMS=\"SM\"", "AT+CMGD=5", "AT+CPMS=\"ME\"", "AT+CMGD=0",    //
                                           "AT+CPMS=\"SM\"", "AT+CPMS=\"SM\"", "AT+CMGD=7"));
  });
}

TEST(MessagesWatch, TurnsIndicationsIntoMessagesAndReleasesAnIncompleteSetOnTime) {
  const std::string a = Deliver(kFrom, std::string(153, 'a'), 3, 3, 1);
  const std::string c = Deliver(kFrom, "c", 3, 3, 3);
  OnEveryLine([&](VirtualSession& vs, ScriptedModem& modem) {
    modem.On("AT+CNMI?", kCnmiBefore).Otherwise(Ok());
    modem.On("AT+CMGR=1", Read(Deliver(kFrom, "hello"))).On("AT+CMGR=2", Read(a)).On("AT+CMGR=3", Read(c));
    modem.Unsolicited(5000, "\r\n+CMTI: \"SM\",1\r\n");
    modem.Unsolicited(8000, "\r\n+CDS: 25\r\n" + Report(12, 0) + "\r\n");
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
    EXPECT_EQ(got[0].Problem(), "incomplete: part 2 of 3 missing");
    EXPECT_GE(vs.NowMs(), 70000);
    EXPECT_LT(vs.NowMs(), 72000);
    box.StopWatching();
    EXPECT_THAT(modem.Lines(), ElementsAre("AT+CNMI?", "AT+CMGF=0", "AT+CNMI=2,1,0,1,0", "AT+CPMS=\"SM\"",
                                           "AT+CMGR=1", "AT+CPMS=\"SM\"", "AT+CMGR=2", "AT+CPMS=\"SM\"",
                                           "AT+CMGR=3", "AT+CNMI=2,0,0,2,0", "AT+CMGF=1"));
  });
}

// A message as the watch hands it over: its text (or report, or problem) and where its parts lie.
std::string Shown(const AssembledMessage& m) {
  std::string s = m.first.IsReport()    ? "report " + std::to_string(m.first.reference)
                  : m.Problem().empty() ? m.text
                                        : "problem: " + m.Problem();
  for (std::size_t k = 0; k < m.indexes.size(); ++k)
    s += (k ? "," : " @") + m.storages.at(k) + ":" + std::to_string(m.indexes[k]);
  return s;
}

// What a watch hands over from what the modem announces. Parts announced in different storages keep
// their own (for deleting). An indication the modem sends right behind an answer may be cut where
// the answer's wait ended: its start is kept and joined with the rest. A message the modem will not
// read is handed over with its index and the reason, and the watch goes on.
TEST(MessagesWatch, HandsOverWhatWasAnnounced) {
  using Answers = std::vector<std::pair<std::string, std::string>>;
  const std::string report = Report(12, 0);
  const Answers hello_then = {{"AT+CMGR=2", Read(Deliver(kFrom, "again"))}};
  const auto cut = [&](const std::string& tail) {
    Answers a = hello_then;
    a.emplace_back("AT+CMGR=1", Read(Deliver(kFrom, "hello")) + tail);
    return a;
  };
  const auto refusing = [&](const std::string& line, const std::string& refusal) {
    return Answers{{line, refusal},
                   {"AT+CMGR=1", Read(Deliver(kFrom, "one"))},
                   {"AT+CMGR=3", Read(Deliver(kFrom, "three"))}};
  };
  const std::string sm1 = "\r\n+CMTI: \"SM\",1\r\n", sm3 = "\r\n+CMTI: \"SM\",3\r\n";
  const std::string me1 = "\r\n+CMTI: \"ME\",1\r\n";
  const std::string read_refused = "problem: the modem could not read message 1 (+CMS ERROR: 500) @SM:1";
  const std::string storage_refused =
      "problem: the modem cannot select the storage ME (+CMS ERROR: 302) @ME:1";
  // clang-format off
  const struct {
    std::string name;
    Answers answers;
    std::vector<std::pair<TimeMs, std::string>> announced;
    std::vector<std::string> handed_over;
  } cases[] = {
      {"parts in two storages",
       {{"AT+CMGR=0", Read(Deliver(kFrom, "one ", 4, 2, 1))}, {"AT+CMGR=1", Read(Deliver(kFrom, "two", 4, 2, 2))}},
       {{5000, "\r\n+CMTI: \"SM\",0\r\n"}, {6000, me1}}, {"one two @SM:0,ME:1"}},
      {"a report cut in its PDU", cut("\r\n+CDS: 25\r\n" + report.substr(0, 20)),
       {{5000, sm1}, {6000, report.substr(20) + "\r\n"}}, {"hello @SM:1", "report 12"}},
      {"a report cut after its header", cut("\r\n+CDS: 25\r\n"), {{5000, sm1}, {6000, report + "\r\n"}},
       {"hello @SM:1", "report 12"}},
      {"a whole report", cut("\r\n+CDS: 25\r\n" + report + "\r\n"), {{5000, sm1}}, {"hello @SM:1", "report 12"}},
      {"a message's indication cut in its line", cut("\r\n+CMTI: \"SM\""), {{5000, sm1}, {6000, ",2\r\n"}},
       {"hello @SM:1", "again @SM:2"}},
      {"a refused read, announced together", refusing("AT+CMGR=1", "\r\n+CMS ERROR: 500\r\n"), {{5000, sm1 + sm3}},
       {read_refused, "three @SM:3"}},
      {"a refused read, one by one", refusing("AT+CMGR=1", "\r\n+CMS ERROR: 500\r\n"), {{5000, sm1}, {6000, sm3}},
       {read_refused, "three @SM:3"}},
      {"a refused storage, announced together", refusing("AT+CPMS=\"ME\"", "\r\n+CMS ERROR: 302\r\n"),
       {{5000, me1 + sm3}}, {storage_refused, "three @SM:3"}},
      {"a refused storage, one by one", refusing("AT+CPMS=\"ME\"", "\r\n+CMS ERROR: 302\r\n"),
       {{5000, me1}, {6000, sm3}}, {storage_refused, "three @SM:3"}},
  };
  // clang-format on
  for (const auto& c : cases)
    OnEveryLine([&](VirtualSession&, ScriptedModem& modem) {
      SCOPED_TRACE(c.name);
      modem.On("AT+CNMI?", kCnmiBefore);
      for (const auto& [line, answer] : c.answers) modem.On(line, answer);
      modem.Otherwise(Ok());
      for (const auto& [at, bytes] : c.announced) modem.Unsolicited(at, bytes);
      Messages box;
      ASSERT_TRUE(box.Watch(std::chrono::seconds(60)));
      std::vector<std::string> got;
      for (const AssembledMessage& m : WaitFor(box, c.handed_over.size())) got.push_back(Shown(m));
      EXPECT_EQ(got, c.handed_over);
      EXPECT_TRUE(box.Watching());
    });
}

// Stored copies of a part of a message Wait already returned are handed over for deleting (message
// watch --delete deletes them), and only the latest are kept however long the watch runs.
TEST(MessagesWatch, CopiesOfPartsAlreadyReturnedAreHandedOverAndKeptBounded) {
  const std::string first = Deliver(kFrom, "one ", 4, 2, 1);
  const int copies = static_cast<int>(Messages::kMaxDuplicates) + 20;
  std::string announced;
  for (int k = 3; k < 3 + copies; ++k) announced += "\r\n+CMTI: \"SM\"," + std::to_string(k) + "\r\n";
  OnEveryLine([&](VirtualSession&, ScriptedModem& modem) {
    modem.On("AT+CNMI?", kCnmiBefore).Otherwise(Ok());
    modem.On("AT+CMGR=1", Read(first)).On("AT+CMGR=2", Read(Deliver(kFrom, "two", 4, 2, 2)));
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
  });
}

// What was in force before the watch comes back after it: read from the modem, else the one of
// Init's two settings the modem takes.
TEST(MessagesWatch, StopWatchingRestoresTheIndicationsInForceBefore) {
  // clang-format off
  const struct {
    std::string name, query_answer, refused;
    std::vector<std::string> restoring;  // the lines after the watch's own
  } cases[] = {
      {"as read: reports switched off", Ok("\r\n+CNMI: 2,0,0,0,0\r\n"), "", {"AT+CNMI=2,0,0,0,0", "AT+CMGF=1"}},
      {"unreadable: Init's", "\r\nERROR\r\n", "", {"AT+CNMI=2,0,0,2,0", "AT+CMGF=1"}},
      {"unreadable: Init's fallback, which the modem takes", "\r\nERROR\r\n", "AT+CNMI=2,0,0,2,0",
       {"AT+CNMI=2,0,0,2,0", "AT+CNMI=0,0,0,0,0", "AT+CMGF=1"}},
  };
  // clang-format on
  for (const auto& c : cases)
    OnEveryLine([&](VirtualSession&, ScriptedModem& modem) {
      SCOPED_TRACE(c.name);
      modem.On("AT+CNMI?", c.query_answer).On(c.refused, "\r\nERROR\r\n").Otherwise(Ok());
      Messages box;
      ASSERT_TRUE(box.Watch(std::chrono::seconds(60)));
      box.StopWatching();
      const auto lines = modem.Lines();
      const auto watch = std::find(lines.begin(), lines.end(), "AT+CNMI=2,1,0,1,0");
      ASSERT_NE(watch, lines.end());
      EXPECT_EQ(std::vector<std::string>(std::next(watch), lines.end()), c.restoring);
    });
}

// Indications an exchange came across while nobody watched, or that the end of the last watch left,
// are old: the next watch does not read them again (List finds what they announced).
TEST(MessagesWatch, IndicationsNotedOutsideAWatchAreNotReplayedByTheNext) {
  const std::string old = Deliver(kFrom, "old");
  const std::string indication = "\r\n+CMTI: \"SM\",7\r\n";
  for (const bool during_list : {true, false})  // else in the answer to the restore ending a first watch
    OnEveryLine([&](VirtualSession&, ScriptedModem& modem) {
      SCOPED_TRACE(during_list ? "noted by a listing" : "noted by the end of a watch");
      modem.On("AT+CNMI?", kCnmiBefore);
      modem.On("AT+CMGL=4", Ok(Listed(7, 0, old) + (during_list ? indication : "")), 1);
      modem.On("AT+CNMI=2,0,0,2,0", Ok(during_list ? "" : indication));
      modem.On("AT+CMGR=7", Read(old)).On("AT+CMGR=8", Read(Deliver(kFrom, "new"))).Otherwise(Ok());
      modem.Unsolicited(20000, "\r\n+CMTI: \"SM\",8\r\n");
      Messages box;
      if (during_list) {
        ASSERT_EQ(box.List().size(), 1u);
      } else {
        ASSERT_TRUE(box.Watch(std::chrono::seconds(60)));
        EXPECT_TRUE(box.Wait(std::chrono::seconds(1)).empty());
        box.StopWatching();
      }
      ASSERT_TRUE(box.Watch(std::chrono::seconds(60)));
      const auto got = WaitFor(box, 1);
      ASSERT_EQ(got.size(), 1u);
      EXPECT_EQ(got[0].text, "new");
    });
}

}  // namespace
}  // namespace quandelstk::testing
