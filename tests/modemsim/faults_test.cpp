// The simulator's faults, each on its own: what the modem sends (and does) when a scenario asks
// for noise, lines of its own inside answers, silence, a restart or a device that goes away.
#include <gtest/gtest.h>

#include "channel/session.hpp"
#include "modemsim/model.hpp"
#include "modemsim/virtual_modem.hpp"
#include "quandelstk/errors.hpp"
#include "support/error_number.hpp"
#include "support/virtual_session.hpp"

namespace quandelstk::modemsim {
namespace {

// Writes each line (CR added) one second apart and returns everything the modem sent.
std::string Dialogue(const std::string& scenario, const std::vector<std::string>& lines, TimeMs step = 1000) {
  Model model(LoadScenarioText(scenario));
  model.Open(115200, 0);
  std::string out;
  TimeMs now = 0;
  for (const std::string& line : lines) {
    model.Receive(line + "\r", now);
    now += step;
    out += model.Transmit(now);
  }
  return out + model.Transmit(now + 60000);
}

struct FaultCase {
  const char* name;
  const char* scenario;
  std::vector<std::string> lines;
  std::string expect;
};

TEST(FaultTest, TheModemSendsWhatTheFaultMakesOfIt) {
  // clang-format off
  const FaultCase cases[] = {
      // Found by the soak: with pieces and a late final result, the result's pieces ran in between
      // those of the information line ("+CPIN: REA\rD\nY...").
      {"PiecesOfALateResultFollowTheLine",
       R"({"echo": false, "chunking": {"*": {"size": 1, "gap_ms": 100}},
           "delays": {"*": {"ms": 0, "final_ms": 300}}})",
       {"AT+CPIN?"}, "\r\n+CPIN: READY\r\n\r\nOK\r\n"},
      // Found by the soak: an indication that fell due while an answer went out in pieces landed
      // inside one of its lines ("soak text 51\r\n+CDSI: ...\r\n7880174").
      {"AnIndicationWaitsForTheAnswerInPieces",
       R"({"echo": false, "chunking": {"*": {"size": 1, "gap_ms": 50}},
           "ussd_notifications": [{"at_ms": 300, "text": "Hi"}]})",
       {"AT+CGMI"}, "\r\nWAVECOM MODEM\r\n\r\nOK\r\n\r\n+CUSD: 0,\"Hi\",15\r\n"},
      {"GarbageBeforeEveryOtherAnswer",
       R"({"echo": false, "faults": {"garbage": {"every": 2, "bytes": "#~"}}})",
       {"AT", "AT", "AT"}, "\r\nOK\r\n#~\r\nOK\r\n\r\nOK\r\n"},
      {"ALineOfItsOwnBetweenTheLinesOfAnAnswer",
       R"({"echo": false, "faults": {"interleave": {"every": 1, "lines": ["RING"]}}})",
       {"AT+CSQ", "AT"}, "\r\n+CSQ: 15,99\r\n\r\nRING\r\n\r\nOK\r\n\r\nOK\r\n"},
      {"EveryThirdLineUnanswered", R"({"echo": false, "faults": {"silence_every": 3}})",
       {"AT", "AT", "AT", "AT"}, "\r\nOK\r\n\r\nOK\r\n\r\nOK\r\n"},
      {"NoFaultAfterTheirEnd",
       R"({"echo": false, "faults": {"until_ms": 1500, "garbage": {"every": 1, "bytes": "#"}}})",
       {"AT", "AT", "AT"}, "#\r\nOK\r\n#\r\nOK\r\n\r\nOK\r\n"}};
  // clang-format on
  for (const auto& c : cases) EXPECT_EQ(Dialogue(c.scenario, c.lines), c.expect) << c.name;
}

TEST(FaultRestart, LosesTheSettingsAndAsksForThePinAgain) {
  Model model(LoadScenarioText(R"({"sim": {"state": "SIM PIN"}, "faults": {"resets_ms": [5000]}})"));
  model.Open(115200, 0);
  for (const char* line : {"ATE0", "AT+CPIN=1234", "AT+CMGF=1"}) model.Receive(std::string(line) + "\r", 100);
  model.Transmit(1000);
  EXPECT_EQ(model.core().sim_state, "READY");
  model.Receive("AT+CPIN?\r", 6000);
  EXPECT_EQ(model.Transmit(7000), "AT+CPIN?\r\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n");  // echo is back on
  EXPECT_EQ(model.Resets(), 1);
  EXPECT_FALSE(model.Messaging().text_mode());
}

TEST(FaultPin, EveryEntryIsJournalledWithTheStateBefore) {
  Model model(LoadScenarioText(R"({"sim": {"state": "SIM PIN", "pin_attempts": 1}})"));
  model.Open(115200, 0);
  model.Receive("AT+CPIN=0000\rAT+CPIN=1234\r", 0);
  ASSERT_EQ(model.Device().PinEntries().size(), 2u);
  EXPECT_EQ(model.Device().PinEntries()[0].state_before, "SIM PIN");
  EXPECT_EQ(model.Device().PinEntries()[1].state_before, "SIM PUK");
}

TEST(FaultGone, OpenReadAndWriteFailWhileTheDeviceIsGone) {
  testing::VirtualSession vs;
  vs.Platform().Attach(2, std::make_shared<VirtualModem>(
                              LoadScenarioText(R"({"faults": {"gone": {"from_ms": 1000, "to_ms": 5000}}})")));
  SerialControl& gsm = channel::Gsm();
  gsm.CommPort(2);
  gsm.PortOpen(true);
  vs.Platform().Advance(2000);
  EXPECT_EQ(testing::ErrorNumberOf([&] { gsm.Output("AT\r"); }), err::kWriteError);
  EXPECT_EQ(testing::ErrorNumberOf([&] { gsm.Input(); }), err::kReadError);
  gsm.PortOpen(false);
  EXPECT_EQ(testing::ErrorNumberOf([&] { gsm.PortOpen(true); }), err::kInvalidPortNumber);
  vs.Platform().Advance(3000);
  EXPECT_EQ(testing::ErrorNumberOf([&] { gsm.PortOpen(true); }), 0);
  EXPECT_EQ(testing::ErrorNumberOf([&] { gsm.Output("AT\r"); }), 0);
}

}  // namespace
}  // namespace quandelstk::modemsim
