#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "modem_test_support.hpp"
#include "quandelstk/errors.hpp"
#include "quandelstk/modem.hpp"

namespace quandelstk::testing {
namespace {

TEST_F(ModemTest, ShutDownClosesAnOpenPortAndRefusesAClosedOne) {
  vs.OpenPort();
  EXPECT_TRUE(Modem().ShutDown());
  EXPECT_FALSE(vs.Modem().IsOpen());
  EXPECT_FALSE(Modem().ShutDown());  // 8012 from the control
}

struct RebootCase {
  std::string restart_answer;
  const char* registration;
  bool result;
  long checks;
  platform::TimeMs slept;
};

using RebootTest = ModemTableTest<RebootCase>;

TEST_P(RebootTest, WaitsForRegistration) {
  const RebootCase& c = GetParam();
  vs.OpenPort();
  vs.Modem().On("AT+CFUN=1", c.restart_answer).On("AT+CREG?", Answer(c.registration));
  EXPECT_EQ(Modem().Reboot(), c.result);
  EXPECT_EQ(CountOf(vs.Modem().Lines(), "AT+CREG?"), c.checks);
  EXPECT_EQ(vs.Platform().SleptMs(), c.slept);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Modem, RebootTest, ::testing::Values(
    RebootCase{"\r\nERROR\r\n", "+CREG: 0,1", false, 0, 0},
    RebootCase{kOk, "+CREG: 0,1", true, 1, 1000},
    // Twelve checks, each a pause and three tries a second apart.
    RebootCase{kOk, "+CREG: 0,2", false, 36, 12 * (1000 + 3000)}));
// clang-format on

TEST_F(ModemTest, RebootWaitsSixtySecondsForTheRestartAndHasNoTrap) {
  vs.OpenPort();
  EXPECT_FALSE(Modem().Reboot());
  EXPECT_GT(vs.NowMs(), 60000);
  EXPECT_LE(vs.NowMs(), 61500);
  Modem().ShutDown();
  try {
    Modem().Reboot();
    ADD_FAILURE() << "no error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.Number(), err::kPortNotOpen);
  }
}

TEST_F(ModemTest, FindCOMPortSkipsOtherMakersAndMissingPorts) {
  vs.Modem().On("AT+CGMI", Answer("SIEMENS"));  // port 1; port 2 has no device
  ScriptedModem& third = vs.AddModem(3).Echo(true).On("AT+CGMI", Answer("WAVECOM MODEM"));
  ScriptedModem& fourth = vs.AddModem(4).On("AT+CGMI", Answer("WAVECOM MODEM"));
  std::int16_t start = 1, end = 4;

  EXPECT_EQ(Modem().FindCOMPort(start, end), 3);
  EXPECT_EQ(start, 1);
  EXPECT_EQ(end, 4);
  EXPECT_EQ(vs.Modem().Lines(), std::vector<std::string>{"AT+CGMI"});
  EXPECT_EQ(third.Lines(), std::vector<std::string>{"AT+CGMI"});
  EXPECT_EQ(third.CurrentSettings(), "115200,N,8,1");
  EXPECT_EQ(fourth.Opens(), 0);
  EXPECT_FALSE(vs.Modem().IsOpen() || third.IsOpen() || channel::Gsm().PortOpen());
  EXPECT_EQ(channel::CurrentSession().ModemMaker, "");  // Init learns it
}

TEST_F(ModemTest, FindCOMPortWithoutOurMakerGivesZero) {
  vs.Modem().On("AT+CGMI", Answer("SIEMENS"));
  ScriptedModem& silent = vs.AddModem(2);
  std::int16_t start = 1, end = 2;
  EXPECT_EQ(Modem().FindCOMPort(start, end), 0);
  EXPECT_EQ(silent.Lines(), std::vector<std::string>{"AT+CGMI"});
  EXPECT_GT(vs.NowMs(), 3000);  // the silent port costs its 3-second query
  EXPECT_LE(vs.NowMs(), 4100);
  EXPECT_FALSE(vs.Modem().IsOpen() || silent.IsOpen());
  start = 2, end = 1;  // an empty range opens nothing
  EXPECT_EQ(Modem().FindCOMPort(start, end), 0);
  EXPECT_EQ(vs.Modem().Opens() + silent.Opens(), 2);
}

}  // namespace
}  // namespace quandelstk::testing
