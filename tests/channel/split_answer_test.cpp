// Answers as a real line delivers them: the same bytes in pieces, at every cut and at a few gaps,
// must give every exchange the result, the response text and the leftover input of the whole answer.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <utility>

#include "channel/exchange.hpp"
#include "channel/session.hpp"
#include "modem/direct_exchange.hpp"
#include "support/error_number.hpp"
#include "support/virtual_session.hpp"

namespace quandelstk::channel {
namespace {

using platform::TimeMs;
using testing::Piece;
using testing::SplitAnswer;
using testing::VirtualSession;
using Run = std::function<bool(std::string&)>;

struct Outcome {
  bool result = false;
  std::string response;
  std::string leftover;  // what is still on the line for the next exchange
  bool operator==(const Outcome&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Outcome& o) {
  return os << o.result << " " << ::testing::PrintToString(o.response) << " leftover "
            << ::testing::PrintToString(o.leftover);
}

// Runs one exchange of "AT+X" against a fresh scripted modem on the session's port 1.
Outcome Exchange(VirtualSession& vs, const Run& run, const std::vector<Piece>& pieces) {
  if (Gsm().PortOpen()) Gsm().PortOpen(false);
  vs.AddModem(1).On("AT+X", pieces);
  vs.OpenPort();
  Outcome o;
  o.response = "previous";
  o.result = run(o.response);
  EXPECT_EQ(CurrentSession().ReceiveBuffer, "");
  vs.Platform().Advance(2000);
  o.leftover = Gsm().Input();
  return o;
}

struct Case {
  const char* name;
  Run run;
  std::string answer;
};

std::vector<Case> Cases() {
  const auto primitive = [](bool (*p)(const std::string&, std::string&, std::int16_t)) {
    return [p](std::string& r) { return p("AT+X", r, 0); };
  };
  const Run cmd = primitive(SendATCommand), info = primitive(SendATForInfo),
            prompt = primitive(SendATForPrompt), line = primitive(SendATForInfoLine);
  const Run direct = [](std::string& r) { return modem::DirectExchange("AT+X", r); };
  // clang-format off
  return {
    {"OK", cmd, "\r\nOK\r\n"},
    {"echo, information and OK", cmd, "AT+X\r\r\n+CSQ: 15,99\r\n\r\nOK\r\n"},
    {"message reference", cmd, "\r\n+CMGS: 12\r\n\r\nOK\r\n"},
    {"listing", cmd, "\r\n+CMGL: 1,\"REC READ\",\"+15550100\",,\"26/12/04,10:00:00+04\"\r\nhi, you\r\n\r\nOK\r\n"},
    // Message texts that read like results: only the answer's own final result ends it.
    {"message reading OK", cmd, "\r\n+CMGR: \"REC READ\",\"+15550100\",,\"26/12/04,10:00:00+04\"\r\nOK\r\n\r\nOK\r\n"},
    {"message reading ERROR", cmd, "AT+X\r\r\n+CMGR: \"REC READ\",\"+1555\",,\"26/12/04,10:00:00+04\"\r\nERROR\r\n\r\nOK\r\n"},
    {"listing of results", cmd, "\r\n+CMGL: 1,\"REC READ\",\"+1555\",,\"x\"\r\n+CMS ERROR: 500\r\n+CMGL: 2,\"REC READ\",\"+1555\",,\"x\"\r\nBUSY\r\n\r\nOK\r\n"},
    {"CMS 515", cmd, "\r\n+CMS ERROR: 515\r\n"},
    {"CME 10", cmd, "\r\n+CME ERROR: 10\r\n"},
    {"ERROR", cmd, "\r\nERROR\r\n"},
    {"PIN ready", info, "\r\n+CPIN: READY\r\n\r\nOK\r\n"},
    {"PIN needed, echo", info, "AT+X\r\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n"},
    {"PIN query refused", info, "\r\n+CME ERROR: 10\r\n"},
    {"info ERROR", info, "\r\nERROR\r\n"},
    {"prompt", prompt, "\r\n> "},
    {"prompt after echo", prompt, "AT+X\r\r\n> "},
    {"prompt ERROR", prompt, "\r\nERROR\r\n"},
    {"signal", line, "\r\n+CSQ: 15,99\r\n\r\nOK\r\n"},
    {"operator", line, "\r\n+COPS: 0,0,\"Operator\"\r\n\r\nOK\r\n"},
    {"line CME", line, "\r\n+CME ERROR: 30\r\n"},
    {"line ERROR", line, "\r\nERROR\r\n"},
    {"probe", direct, "AT+X\r\r\nOK\r\n"},
    {"probe, echo off", direct, "\r\nOK\r\n"},
  };
  // clang-format on
}

TEST(SplitAnswer, EveryCutAtEveryGapGivesTheWholeAnswersOutcome) {
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.name);
    VirtualSession vs;
    for (TimeMs start : {0, 20}) {
      const Outcome whole = Exchange(vs, c.run, {{start, c.answer}});
      for (TimeMs gap : {0, 1, 5, 20, 60})
        for (std::size_t cut = 1; cut < c.answer.size(); ++cut)
          ASSERT_EQ(Exchange(vs, c.run, SplitAnswer(c.answer, {cut}, gap, start)), whole)
              << "cut at " << cut << ", " << gap << " ms apart, from " << start << " ms";
    }
  }
}

TEST(SplitAnswer, RandomPiecesGiveTheWholeAnswersOutcome) {
  std::mt19937 random(20261206);
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.name);
    VirtualSession vs;
    const Outcome whole = Exchange(vs, c.run, {{0, c.answer}});
    for (int round = 0; round < 40; ++round) {
      // Pieces of 1 to 8 bytes, each 0 to 60 ms after the one before.
      std::vector<Piece> pieces;
      TimeMs at = 0;
      for (std::size_t from = 0; from < c.answer.size();) {
        const std::size_t size = std::uniform_int_distribution<std::size_t>(1, 8)(random);
        pieces.push_back({at, c.answer.substr(from, size)});
        from += size;
        at += std::uniform_int_distribution<TimeMs>(0, 60)(random);
      }
      ASSERT_EQ(Exchange(vs, c.run, pieces), whole) << "round " << round;
    }
  }
}

TEST(SplitAnswer, AnOKJustAfterTheInformationLineIsNotLeftForTheNextCommand) {
  VirtualSession vs;
  vs.OpenPort();
  vs.Modem().On("AT+CSQ", {{0, "\r\n+CSQ: 15,99\r\n"}, {10, "\r\nOK\r\n"}});
  std::string r;
  EXPECT_TRUE(SendATForInfoLine("AT+CSQ", r, 0));
  EXPECT_EQ(r, "\r\n+CSQ: 15,99\r\n\r\nOK\r\n");
  // The next command gets no answer of its own: it must not take a stale OK for one.
  EXPECT_FALSE(SendATCommand("AT+CMGF=0", r, 0));
}

TEST(SplitAnswer, ChunkedScriptedModemKeepsTheOrderOfLatePieces) {
  // A long first piece still being sent when the second is due: the second waits its turn.
  VirtualSession vs;
  vs.OpenPort();
  vs.Modem().Chunked(2, 10).On("AT+X", {{0, "\r\n+CSQ: 15,99\r\n"}, {20, "\r\nOK\r\n"}});
  std::string r;
  EXPECT_TRUE(SendATCommand("AT+X", r, 0));
  EXPECT_EQ(r, "\r\n+CSQ: 15,99\r\n\r\nOK\r\n");
  EXPECT_EQ(vs.NowMs(), 100);  // the line's 8 pieces from 0 to 70 ms, then the OK's 3 from 80 ms
}

TEST(SplitAnswer, ANestedExchangeMovesTheInterruptedOnesStart) {
  // A host event handler running an exchange of its own shares CommandStartTime with the one it
  // interrupted, which then counts its seconds from the nested one's start.
  VirtualSession vs;
  vs.OpenPort();
  vs.Modem().On("AT+B", "\r\nOK\r\n");
  bool nested = false;
  SetPendingEventsHook([&] {
    if (vs.NowMs() >= 5000 && !std::exchange(nested, true)) {
      std::string r;
      EXPECT_TRUE(SendATCommand("AT+B", r, 0));
    }
  });
  std::string r;
  EXPECT_FALSE(SendATCommand("AT+A", r, 0));
  EXPECT_EQ(vs.NowMs(), 13000);
}

TEST(SplitAnswer, AFailedWriteLeavesWhatWasWaitingForTheNextExchange) {
  VirtualSession vs;
  vs.OpenPort();
  vs.Modem().Unsolicited(0, "\r\n+CMTI: \"SM\",3\r\n").StallInput(true);
  vs.Platform().Advance(10);
  std::string r;
  EXPECT_EQ(testing::ErrorNumberOf([&] { SendATCommand("AT+X", r, 0); }), 8021);
  vs.Modem().StallInput(false).On("AT+CPIN?", {{100, "\r\n+CPIN: READY\r\n\r\nOK\r\n"}});
  EXPECT_TRUE(SendATForInfo("AT+CPIN?", r, 0));
  EXPECT_EQ(r, "\r\n+CMTI: \"SM\",3\r\n");
}

}  // namespace
}  // namespace quandelstk::channel
