// The exchange primitives against a scripted modem, in virtual time.
#include "channel/exchange.hpp"

#include <gtest/gtest.h>

#include <latch>
#include <thread>

#include "channel/session.hpp"
#include "support/error_number.hpp"
#include "support/virtual_session.hpp"

namespace quandelstk::channel {
namespace {

using testing::ErrorNumberOf;
using testing::Piece;
using testing::VirtualSession;
using Primitive = bool (*)(const std::string&, std::string&, std::int16_t);

constexpr auto kUnchanged = "previous";

struct ExchangeCase {
  const char* name;
  Primitive primitive;
  std::vector<Piece> reply;
  bool result;
  std::string response;  // kUnchanged after a timeout
  platform::TimeMs ends_at;
  std::int16_t timeout = 0;
};

TEST(Exchange, EndMarkersAndResults) {
  const Primitive cmd = SendATCommand, info = SendATForInfo, prompt = SendATForPrompt,
                  line = SendATForInfoLine;
  // clang-format off
  const std::vector<ExchangeCase> cases = {
    {"ok", cmd, {{0, "\r\nOK\r\n"}}, true, "\r\nOK\r\n", 0},
    {"ok later", cmd, {{0, "\r\n+CSQ: 1\r\n"}, {300, "\r\nOK\r\n"}}, true, "\r\n+CSQ: 1\r\n\r\nOK\r\n", 300},
    {"OK without CR LF", cmd, {{0, "OK"}}, false, kUnchanged, 8000},
    {"OK without leading CR LF", cmd, {{0, "OK\r\n"}}, false, kUnchanged, 8000},
    {"OK without trailing CR LF", cmd, {{0, "\r\nOK"}}, false, kUnchanged, 8000},
    {"ERROR", cmd, {{0, "\r\nERROR\r\n"}}, false, "\r\nERROR\r\n", 0},
    {"ERROR without CR LF", cmd, {{0, "\r\nERROR"}}, false, kUnchanged, 8000},
    {"CMS at once", cmd, {{40, "\r\n+CMS ERROR: 515\r\n"}}, false, "\r\n+CMS ERROR: 515\r\n", 40},
    {"CMS code a moment later", cmd, {{40, "\r\n+CMS ERROR:"}, {43, " 515\r\n"}}, false, "\r\n+CMS ERROR: 515\r\n", 43},
    // A line that stays unfinished is decided on once it has been quiet for 100 ms.
    {"CMS line end after a quiet line", cmd, {{40, "\r\n+CMS ERROR: 515"}, {900, "\r\n"}}, false, "\r\n+CMS ERROR: 515", 140},
    {"CME without line end", cmd, {{0, "\r\n+CME ERROR: 10"}}, false, "\r\n+CME ERROR: 10", 100},
    {"info with its OK", info, {{0, "\r\n+CPIN: READY\r\n\r\nOK\r\n"}}, true, "\r\n+CPIN: READY\r\n\r\nOK\r\n", 0},
    {"info, OK a moment later", info, {{0, "\r\n+CPIN: READY\r\n"}, {60, "\r\nOK\r\n"}}, true, "\r\n+CPIN: READY\r\n\r\nOK\r\n", 60},
    {"info, OK after a quiet line", info, {{0, "\r\n+CPIN: READY\r\n"}, {300, "\r\nOK\r\n"}}, true, "\r\n+CPIN: READY\r\n", 100},
    {"info at the colon of a quiet line", info, {{0, "\r\n+CPIN:"}, {200, " READY\r\n"}}, true, "\r\n+CPIN:", 100},
    {"info on ERROR", info, {{0, "\r\nERROR\r\n"}}, false, "\r\nERROR\r\n", 0},
    {"info ignores OK", info, {{0, "\r\nOK\r\n"}}, false, kUnchanged, 8000},
    {"prompt", prompt, {{120, "\r\n> "}}, true, "\r\n> ", 120},
    // The prompt counts with its blank, or once the line has been quiet for 100 ms.
    {"prompt split before the blank", prompt, {{30, "\r\n>"}, {45, " "}}, true, "\r\n> ", 45},
    {"prompt split after the blank", prompt, {{30, "\r\n> "}, {45, ""}}, true, "\r\n> ", 30},
    {"prompt split before the sign", prompt, {{30, "\r\n"}, {90, "> "}}, true, "\r\n> ", 90},
    {"prompt without its blank", prompt, {{30, "\r\n>"}}, true, "\r\n>", 130},
    {"prompt on ERROR", prompt, {{0, "\r\nERROR\r\n"}}, false, "\r\nERROR\r\n", 0},
    {"prompt ignores CMS", prompt, {{0, "\r\n+CMS ERROR: 304\r\n"}}, false, kUnchanged, 8000},
    {"line", line, {{0, "\r\n+CSQ: 1\r\n\r\nOK\r\n"}}, true, "\r\n+CSQ: 1\r\n\r\nOK\r\n", 0},
    {"line, OK a moment later", line, {{0, "\r\n+CSQ: 15,99\r\n"}, {10, "\r\nOK\r\n"}}, true, "\r\n+CSQ: 15,99\r\n\r\nOK\r\n", 10},
    // Phase two reads once more after one more pause, even with the line end already there.
    {"line without OK", line, {{0, "\r\n+CSQ: 1\r\n"}}, true, "\r\n+CSQ: 1\r\n", 200},
    {"line in slow pieces", line, {{0, "\r\n+CSQ:"}, {150, " 1\r\n"}, {300, "\r\nOK\r\n"}}, true, "\r\n+CSQ: 1\r\n", 250},
    {"line on ERROR", line, {{0, "\r\nERROR\r\n"}}, false, "\r\nERROR\r\n", 0},
    {"line takes CME", line, {{0, "\r\n+CME ERROR: 10\r\n"}}, true, "\r\n+CME ERROR: 10\r\n", 0},
    {"line, ERROR first", line, {{0, "\r\nERROR\r\n+C: 2"}}, false, "\r\nERROR\r\n+C: 2", 200},
    // Both phases share one deadline: a colon at 5 s leaves phase two 3 s, not 8.
    {"line, one deadline", line, {{5000, "\r\n+CUSD: 1,\"ab"}}, false, kUnchanged, 8000},
    // An answer read in the poll in which the time runs out is lost.
    {"OK just in time", cmd, {{7999, "\r\nOK\r\n"}}, true, "\r\nOK\r\n", 7999},
    {"OK on the limit", cmd, {{8000, "\r\nOK\r\n"}}, false, kUnchanged, 8000},
    {"prompt on the limit", prompt, {{8000, "\r\n> "}}, false, kUnchanged, 8000},
    {"line end on the limit", line, {{0, "\r\n+C: 1"}, {8000, "\r\n"}}, false, kUnchanged, 8000},
    // From 60 s the loop reads every 500 ms: an unfinished line counts after 500 ms of quiet.
    {"long exchange, unfinished line", cmd, {{0, "\r\n+CMS ERROR:"}, {400, " 500\r\n"}}, false,
     "\r\n+CMS ERROR: 500\r\n", 400, 60},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    VirtualSession vs;
    vs.OpenPort();
    vs.Modem().On("AT+X", c.reply);
    std::string response = kUnchanged;
    EXPECT_EQ(c.primitive("AT+X", response, c.timeout), c.result);
    EXPECT_EQ(response, c.response);
    EXPECT_EQ(vs.NowMs(), c.ends_at);
    EXPECT_EQ(CurrentSession().ReceiveBuffer, "");
    EXPECT_EQ(vs.Modem().Written(), "AT+X\r");
    // Nothing of a failed exchange is kept for the next one.
    if (!c.result) {
      EXPECT_FALSE(SendATCommand("AT+SILENT", response, 0));
    }
  }
}

TEST(Exchange, WritesTheCommandUnchangedFollowedByOneCR) {
  VirtualSession vs;
  vs.OpenPort();
  std::string r;
  SendATCommand("AT\r", r, 1);
  SendATCommand("0011000B91\x1a", r, 1);
  EXPECT_EQ(vs.Modem().Written(), "AT\r\r0011000B91\x1a\r");
}

TEST(Exchange, TextWaitingBeforeTheCommandBecomesPartOfTheAnswer) {
  VirtualSession vs;
  vs.OpenPort();
  vs.Modem().Unsolicited(0, "\r\n+CMTI: \"SM\",3\r\n");
  vs.Modem().On("AT+CPIN?", {{100, "\r\n+CPIN: READY\r\n\r\nOK\r\n"}});
  std::string r;
  // The waiting indication holds a colon: the query stops on it before its own answer arrives.
  EXPECT_TRUE(SendATForInfo("AT+CPIN?", r, 0));
  EXPECT_EQ(r, "\r\n+CMTI: \"SM\",3\r\n");
  vs.Platform().Advance(500);
  // The late answer, never flushed, satisfies the next command, which gets no answer of its own.
  EXPECT_TRUE(SendATCommand("AT+SILENT", r, 0));
  EXPECT_EQ(r, "\r\n+CPIN: READY\r\n\r\nOK\r\n");
}

TEST(Exchange, ClosedPortRaises8012AndLeavesTheSessionAlone) {
  for (Primitive p : {SendATCommand, SendATForInfo, SendATForPrompt, SendATForInfoLine}) {
    VirtualSession vs;
    EXPECT_FALSE(IsPortOpen());
    std::string r = kUnchanged;
    EXPECT_EQ(ErrorNumberOf([&] { p("AT", r, 0); }), 8012);
    EXPECT_EQ(r, kUnchanged);
    EXPECT_EQ(CurrentSession().CommandStartTime, Instant{});
  }
}

TEST(Exchange, UnloadingTheControlDuringAPollFailsTheNextRead) {
  // A host event handler releasing an SMS object in the middle of an exchange.
  VirtualSession vs;
  vs.OpenPort();
  SetPendingEventsHook([] { UnloadSerialControl(); });
  std::string r;
  EXPECT_EQ(ErrorNumberOf([&] { SendATCommand("AT", r, 0); }), 8012);
  EXPECT_FALSE(vs.Modem().IsOpen());
}

TEST(Exchange, EachThreadHasItsOwnSession) {
  VirtualSession main_thread;
  main_thread.OpenPort();
  CurrentSession().ModemMaker = "WAVECOM";
  std::latch both_open(2);
  auto run = [&both_open](const std::string& maker, std::string& seen) {
    seen = CurrentSession().ModemMaker + (IsPortOpen() ? "open|" : "closed|");
    VirtualSession vs;
    vs.OpenPort();
    CurrentSession().ModemMaker = maker;
    vs.Modem().On("AT+CGMI", {{200, maker + "\r\n\r\nOK\r\n"}});
    both_open.arrive_and_wait();
    std::string answer;
    SendATCommand("AT+CGMI", answer, 0);
    seen += answer + "|" + CurrentSession().ModemMaker;
  };
  std::string seen_a, seen_b;
  std::thread a(run, "ALPHA", std::ref(seen_a)), b(run, "BETA", std::ref(seen_b));
  a.join();
  b.join();
  EXPECT_EQ(seen_a, "closed|ALPHA\r\n\r\nOK\r\n|ALPHA");
  EXPECT_EQ(seen_b, "closed|BETA\r\n\r\nOK\r\n|BETA");
  EXPECT_EQ(CurrentSession().ModemMaker, "WAVECOM");
  EXPECT_TRUE(IsPortOpen());
}

TEST(Exchange, AWriteTheLineDoesNotTakeFailsWithinTheExchangesLimit) {
  struct Case {
    std::int16_t timeout;
    platform::TimeMs fails_at;
  } cases[] = {{2, 3000}, {0, 8000}, {60, 61000}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.timeout);
    VirtualSession vs;
    vs.OpenPort();
    vs.Modem().StallInput(true);
    std::string r = "previous", description;
    EXPECT_EQ(ErrorNumberOf([&] { SendATCommand(std::string(4000, 'A') + "\x1a", r, c.timeout); }, &description),
              8021);
    EXPECT_NE(description.find("Write timed out"), std::string::npos) << description;
    EXPECT_EQ(vs.NowMs(), c.fails_at);
    EXPECT_EQ(r, "previous");
  }
}

}  // namespace
}  // namespace quandelstk::channel
