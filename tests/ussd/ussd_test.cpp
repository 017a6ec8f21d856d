// The USSD class against a scripted modem, in virtual time: the answers a network gives to a code,
// notifications it starts itself, cancelling, and the failures each method traps and logs.
#include "quandelstk/ussd.hpp"

#include <gtest/gtest.h>

#include <optional>

#include "channel/session.hpp"
#include "quandelstk/platform.hpp"
#include "support/virtual_session.hpp"

namespace quandelstk::testing {
namespace {

const std::string kOk = "\r\nOK\r\n";
const std::string kBalance = "AT+CUSD=1,\"*100#\"";

struct SendCase {
  const char* name;
  std::vector<Piece> answer;
  std::string result;
  TimeMs ends_at = -1;   // checked where the point is a deadline
  bool at_once = false;  // an answer without a text must not wait for one
};

TEST(UssdSend, AnswersOfTheNetwork) {
  const std::string menu = "\r\n+CUSD: 1,\"1 Balance\n2 Bundles\",15\r\n";
  // clang-format off
  const SendCase cases[] = {
      {"MenuAfterOk", {{0, kOk}, {300, menu}}, "1 Balance\n2 Bundles"},
      {"DoneBeforeOk", {{0, "\r\n+CUSD: 0,\" Balance 5.00 \",15\r\n" + kOk}}, "Balance 5.00"},
      {"EndedByNetwork", {{0, kOk}, {200, "\r\n+CUSD: 2,\"Goodbye\",15\r\n"}}, "Goodbye"},
      {"NotSupported", {{0, kOk}, {100, "\r\n+CUSD: 4\r\n"}}, "", -1, true},
      {"ErrorAnswer", {{0, "\r\n+CME ERROR: 30\r\n"}}, "", -1, true},
      {"TextWithCommas", {{0, kOk}, {100, "\r\n+CUSD: 0,\"Balance 5,00 EUR, valid\",15\r\n"}}, "Balance 5,00 EUR, valid"},
      {"LineInPieces", {{0, kOk}, {100, "\r\n+CUS"}, {150, "D: 1,\"Pick"}, {230, " one\",1"}, {300, "5\r\n"}}, "Pick one"},
      // The line ends inside the text: the rest is read after the exchange has ended.
      {"TextCompletedOverSeveralReads", {{0, kOk}, {200, "\r\n+CUSD: 0,\"Line one\r\n"}, {700, "line two\",15\r\n"}},
       "Line one\r\nline two"},
      // A status line without a text never completes: the command's 15 s end the wait.
      {"BareStatusRunsToTheDeadline", {{0, kOk}, {100, "\r\n+CUSD: 2\r\n"}}, "", 16000},
      {"TextJustBeforeTheDeadline", {{0, kOk}, {100, "\r\n+CUSD: 2\r\n"}, {15500, "\r\n+CUSD: 0,\"late\",15\r\n"}},
       "late", 15500},
      {"NoAnswer", {{0, kOk}}, "", 16000},
  };
  // clang-format on
  for (const SendCase& c : cases) {
    SCOPED_TRACE(c.name);
    VirtualSession vs;
    vs.OpenPort();
    vs.Modem().On(kBalance, c.answer);
    USSD ussd;
    ussd.USSDNotification("kept");
    EXPECT_EQ(ussd.Send("*100#"), c.result);
    EXPECT_EQ(vs.Modem().Written(), kBalance + "\r");
    EXPECT_EQ(ussd.USSDNotification(), "kept");
    if (c.ends_at >= 0) {
      EXPECT_EQ(vs.NowMs(), c.ends_at);
    }
    if (c.at_once) {
      EXPECT_LT(vs.NowMs(), 1000);
    }
    EXPECT_EQ(vs.LogText(), "");
  }
}

// The host's event handler may close the port in the middle of the wait (an SMS object released).
TEST(UssdTraps, PortClosedDuringTheWaitIsLoggedPerProcedure) {
  struct Case {
    const char* procedure;
    std::function<std::string(USSD&)> call;
    std::string failure;
  };
  const Case cases[] = {
      {"USSD", [](USSD& u) { return u.Send("*100#"); }, ""},
      {"USSDListen", [](USSD& u) { return std::to_string(u.USSDListen()); }, "0"},
      {"Cancel", [](USSD& u) { return std::to_string(u.Cancel()); }, "0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.procedure);
    VirtualSession vs;
    vs.OpenPort();
    SetPendingEventsHook([] { channel::UnloadSerialControl(); });
    USSD ussd;
    ussd.USSDNotification("kept");
    EXPECT_EQ(c.call(ussd), c.failure);
    EXPECT_EQ(ussd.USSDNotification(), "kept");
    const std::string log = vs.LogText();
    EXPECT_NE(log.find("Error 8012 ("), std::string::npos) << log;
    EXPECT_NE(log.find(std::string(") in procedure ") + c.procedure + " of Class Module USSD"),
              std::string::npos)
        << log;
  }
}

struct ListenCase {
  const char* name;
  std::optional<std::int16_t> timeout;  // none: the default
  std::vector<Piece> unsolicited;       // at absolute times
  bool result;
  std::string notification;  // afterwards; "kept" is what it held before
  TimeMs ends_at = -1;
  std::string log = "";  // the start of the trap's record, when one is written
};

TEST(UssdListen, Notifications) {
  const std::string note = "\r\n+CUSD: 0,\"  Credit low, top up  \",15\r\n";
  // clang-format off
  const ListenCase cases[] = {
      {"TrimmedTextWithComma", {}, {{1500, note}}, true, "Credit low, top up"},
      {"InPieces", {}, {{1000, "\r\n+CUSD: 1,\"Rep"}, {1100, "ly 1 or 2\",15\r\n"}}, true, "Reply 1 or 2"},
      {"NoneWithinTheDefault3s", {}, {{4500, note}}, false, "kept", 4000},
      {"ZeroMeans7s", std::int16_t{0}, {}, false, "kept", 8000},
      {"LongTimeoutCatchesALateOne", std::int16_t{30}, {{20000, note}}, true, "Credit low, top up"},
      // The time is tested before the text: a negative timeout reads once and gives up.
      {"NegativeReadsOnce", std::int16_t{-1}, {{0, note}}, false, "kept", 0},
      {"LineWithoutComma", {}, {{500, "\r\n+CUSD: 2\r\n"}}, false, "kept", -1, "Error 9 ("},
      {"NoCommaBeforeTheScheme", {}, {{500, "\r\n+CUSD: 0,\"text\"\r\n"}}, false, "kept", -1, "Error 5 ("},
  };
  // clang-format on
  for (const ListenCase& c : cases) {
    SCOPED_TRACE(c.name);
    VirtualSession vs;
    vs.OpenPort();
    vs.Modem().On("AT", kOk);
    for (const Piece& p : c.unsolicited) vs.Modem().Unsolicited(p.after_ms, p.bytes);
    USSD ussd;
    ussd.USSDNotification("kept");
    EXPECT_EQ(c.timeout ? ussd.USSDListen(*c.timeout) : ussd.USSDListen(), c.result);
    EXPECT_EQ(ussd.USSDNotification(), c.notification);
    EXPECT_EQ(vs.Modem().Written(), "AT\r");
    if (c.ends_at >= 0) {
      EXPECT_EQ(vs.NowMs(), c.ends_at);
    }
    if (c.log.empty()) {
      EXPECT_EQ(vs.LogText(), "");
    } else {
      const std::string log = vs.LogText();
      const auto at = log.find(c.log);
      ASSERT_NE(at, std::string::npos) << log;
      EXPECT_NE(log.find(") in procedure USSDListen of Class Module USSD", at), std::string::npos) << log;
    }
  }
}

TEST(UssdCancel, ResultOfTheModem) {
  struct Case {
    const char* name;
    std::optional<std::string> answer;  // none: silence
    bool result;
    TimeMs ends_at;  // checked for the 7 s of silence only
  };
  const Case cases[] = {
      {"Ok", kOk, true, -1}, {"Error", "\r\nERROR\r\n", false, -1}, {"Silence", {}, false, 8000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    VirtualSession vs;
    vs.OpenPort();
    if (c.answer) vs.Modem().On("AT+CUSD=2", *c.answer);
    USSD ussd;
    EXPECT_EQ(ussd.Cancel(), c.result);
    EXPECT_EQ(vs.Modem().Written(), "AT+CUSD=2\r");
    if (c.ends_at >= 0) {
      EXPECT_EQ(vs.NowMs(), c.ends_at);
    }
  }
}

// Only USSD tests the port first (nothing sent, nothing logged); the others find it closed when they
// write, and log it.
TEST(UssdTraps, ClosedPortIsLoggedByListenAndCancelOnly) {
  VirtualSession vs;
  USSD ussd;
  EXPECT_EQ(ussd.Send("*100#"), "");
  EXPECT_EQ(vs.LogText(), "");
  EXPECT_FALSE(ussd.USSDListen());
  EXPECT_FALSE(ussd.Cancel());
  EXPECT_EQ(vs.Modem().Written(), "");
  const std::string log = vs.LogText();
  EXPECT_NE(log.find(") in procedure USSDListen of Class Module USSD"), std::string::npos) << log;
  EXPECT_NE(log.find(") in procedure Cancel of Class Module USSD"), std::string::npos) << log;
}

}  // namespace
}  // namespace quandelstk::testing
