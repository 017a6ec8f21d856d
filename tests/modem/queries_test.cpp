#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "modem_test_support.hpp"
#include "quandelstk/errors.hpp"
#include "quandelstk/modem.hpp"
#include "support/error_number.hpp"

namespace quandelstk::testing {
namespace {

template <typename Case>
class QueryTest : public ModemTableTest<Case> {
 protected:
  QueryTest() { this->vs.OpenPort(); }
};

using SignalTest = QueryTest<std::pair<std::string, std::int16_t>>;

TEST_P(SignalTest, MapsTheReceivedSignalCode) {
  vs.Modem().On("AT+CSQ", GetParam().first);
  EXPECT_EQ(Modem().SignalStrength(), GetParam().second);
}

using SignalCase = std::pair<std::string, std::int16_t>;
// clang-format off
INSTANTIATE_TEST_SUITE_P(Modem, SignalTest, ::testing::Values(
    SignalCase{Answer("+CSQ: 0,99"), 0}, SignalCase{Answer("+CSQ: 1,99"), 1}, SignalCase{Answer("+CSQ: 15,99"), 2},
    SignalCase{Answer("+CSQ:30,0"), 2}, SignalCase{Answer("+CSQ: 31,99"), 3}, SignalCase{Answer("+CSQ: 99,99"), -1},
    SignalCase{"\r\nERROR\r\n", -1}, SignalCase{Answer("+CSQ: 15"), -1}, SignalCase{Answer("+CSQ: x,99"), -1}));
// clang-format on

using OperatorTest = QueryTest<std::pair<std::string, std::string>>;

TEST_P(OperatorTest, CutsTheThirdField) {
  vs.Modem().On("AT+COPS=3,0", kOk).On("AT+COPS?", GetParam().first);
  EXPECT_EQ(Modem().OperatorName(), GetParam().second);
  EXPECT_EQ(vs.Modem().Lines(), (std::vector<std::string>{"AT+COPS=3,0", "AT+COPS?"}));
}

using OperatorCase = std::pair<std::string, std::string>;
// clang-format off
INSTANTIATE_TEST_SUITE_P(Modem, OperatorTest, ::testing::Values(
    OperatorCase{Answer("+COPS: 0,0,\"Operator Name\""), "Operator Name"},
    OperatorCase{Answer("+COPS: 0,0, \"Op\" ,2"), "Op"},
    OperatorCase{Answer("+COPS: 0"), ""},  // not registered
    OperatorCase{"\r\nERROR\r\n", ""}));
// clang-format on

struct RegistrationCase {
  std::vector<std::string> answers;  // one per attempt; the last one repeats
  bool registered;
  long attempts;
  platform::TimeMs slept;
};

using RegistrationTest = QueryTest<RegistrationCase>;

TEST_P(RegistrationTest, AcceptsHomeOrRoamingWithReportingZeroOrOne) {
  const RegistrationCase& c = GetParam();
  for (std::size_t i = 0; i < c.answers.size(); ++i)
    vs.Modem().On("AT+CREG?", Answer(c.answers[i]), i + 1 < c.answers.size() ? 1 : 0);
  EXPECT_EQ(Modem().IsConnectToGSM(), c.registered);
  EXPECT_EQ(CountOf(vs.Modem().Lines(), "AT+CREG?"), c.attempts);
  EXPECT_EQ(vs.Platform().SleptMs(), c.slept);  // a second after each refusal, the third too
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Modem, RegistrationTest, ::testing::Values(
    RegistrationCase{{"+CREG: 0,1"}, true, 1, 0},
    RegistrationCase{{"+CREG: 1,5"}, true, 1, 0},
    RegistrationCase{{"+CREG: 2,1,\"00C3\",\"0A1B\""}, false, 3, 3000},
    RegistrationCase{{"+CREG: 0,2"}, false, 3, 3000},
    RegistrationCase{{"+CREG: 0,2", "+CREG: 0,2", "+CREG: 1,1"}, true, 3, 2000}));
// clang-format on

struct IdentityCase {
  const char* name;
  const char* maker;
  bool echo;
  std::string command;
  std::string answer;
  const char* expected;
};

using IdentityTest = QueryTest<IdentityCase>;

TEST_P(IdentityTest, AsksOnlyOurMaker) {
  const IdentityCase& c = GetParam();
  channel::CurrentSession().ModemMaker = c.maker;
  vs.Modem().Echo(c.echo).On(c.command, c.answer);
  std::string got;
  const int error =
      ErrorNumberOf([&] { got = c.command == "AT+CIMI" ? Modem().GetIMSI() : Modem().GetMSISDN(); });
  EXPECT_EQ(error ? "error " + std::to_string(error) : got, c.expected);
  EXPECT_EQ(vs.Modem().Written(), std::string(c.maker) == "WAVECOM" ? c.command + "\r" : "");
}

const std::string kImsi = Answer("208011234567890");
const std::string kOwnNumber = Answer("+CNUM: \"\",\"+15550100999\",145");

// clang-format off
INSTANTIATE_TEST_SUITE_P(Modem, IdentityTest, ::testing::Values(
    IdentityCase{"imsi", "WAVECOM", false, "AT+CIMI", kImsi, "208011234567890"},
    IdentityCase{"imsi_echoed", "WAVECOM", true, "AT+CIMI", kImsi, "208011234567890"},
    IdentityCase{"imsi_refused", "WAVECOM", false, "AT+CIMI", "\r\n+CME ERROR: 10\r\n", ""},
    IdentityCase{"imsi_not_numeric", "WAVECOM", false, "AT+CIMI", Answer("+CIMI: 2080"), ""},
    IdentityCase{"imsi_other_maker", "UNKNOWN", false, "AT+CIMI", kImsi, ""},
    IdentityCase{"imsi_before_init", "", false, "AT+CIMI", kImsi, ""},
    IdentityCase{"msisdn", "WAVECOM", true, "AT+CNUM", kOwnNumber, "+15550100999"},
    IdentityCase{"msisdn_not_numeric", "WAVECOM", false, "AT+CNUM", Answer("+CNUM: \"\",\"Me\",129"), ""},
    IdentityCase{"msisdn_other_maker", "UNKNOWN", false, "AT+CNUM", kOwnNumber, ""},
    // An own number missing from the SIM reaches the caller.
    IdentityCase{"msisdn_missing", "WAVECOM", false, "AT+CNUM", kOk, "error 9"}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

}  // namespace
}  // namespace quandelstk::testing
