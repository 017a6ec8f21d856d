#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "channel/log.hpp"
#include "channel/text.hpp"
#include "modem_test_support.hpp"
#include "quandelstk/errors.hpp"
#include "quandelstk/modem.hpp"

namespace quandelstk::testing {
namespace {

using ::testing::HasSubstr;

auto CaseName = [](const auto& info) { return std::string(info.param.name); };

TEST_F(ModemTest, HealthyInitSendsEveryCommandInOrderAndLeavesThePortOpen) {
  AnswerLikeAReadyModem(vs.Modem());
  EXPECT_EQ(Modem().Init(1), InitStatus::OK);
  EXPECT_EQ(vs.Modem().Lines(),
            (std::vector<std::string>{"AT", "AT+CGMI", "AT+CPIN?", "AT+CSMS=0", "AT+CSDH=1",
                                      "AT+CSCS=\"GSM\"", "AT+CMGF=1", "AT+CNMI=2,0,0,2,0", "AT+CMMS=2",
                                      "AT+VGT=200", "AT+VGR=100", "AT+CGSN", "AT+CGSN", "AT+CGSN"}));
  EXPECT_TRUE(vs.Modem().IsOpen());
  EXPECT_EQ(vs.Modem().CurrentSettings(), "115200,N,8,1");
  EXPECT_EQ(vs.Platform().SleptMs(), 3000);  // a second after each IMEI query
}

struct ProbeCase {
  const char* name;
  bool only_at_9600;
  std::vector<Say> says;
  InitStatus status;
  int opens;
  const char* settings;
  long probes_written;
};

using ProbeTest = ModemTableTest<ProbeCase>;

TEST_P(ProbeTest, ReopensThePortForEachAttempt) {
  const ProbeCase& c = GetParam();
  if (c.only_at_9600) vs.Modem().OnlyAt("9600,N,8,1");
  AnswerLikeAReadyModem(vs.Modem(), c.says);
  EXPECT_EQ(Modem().Init(1), c.status);
  EXPECT_EQ(vs.Modem().Opens(), c.opens);
  EXPECT_EQ(vs.Modem().CurrentSettings(), c.settings);
  EXPECT_EQ(vs.Modem().IsOpen(), c.status == InitStatus::OK);
  EXPECT_EQ(CountOf(text::Split(vs.Modem().Written(), "\r"), "AT"), c.probes_written);
  // An unanswered attempt waits 7 whole seconds before the next.
  const auto& timed = vs.Modem().TimedLines();
  for (std::size_t i = 1; i < timed.size() && timed[i].second == "AT"; ++i) {
    EXPECT_GT(timed[i].first - timed[i - 1].first, 7000);
    EXPECT_LE(timed[i].first - timed[i - 1].first, 8100);
  }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Init, ProbeTest, ::testing::Values(
    ProbeCase{"answers_at_115200", false, {}, InitStatus::OK, 1, "115200,N,8,1", 1},
    ProbeCase{"fixed_at_9600", true, {}, InitStatus::OK, 2, "9600,N,8,1", 2},
    // "OK" is there when the wait runs out, though its line end never came.
    ProbeCase{"ok_without_line_end", false, {{"AT", "\r\nOK"}}, InitStatus::OK, 1, "115200,N,8,1", 1},
    ProbeCase{"silent", false, {{"AT", ""}}, InitStatus::Fail, 4, "9600,N,8,1", 4}), CaseName);
// clang-format on

struct OutcomeCase {
  const char* name;
  std::vector<Say> says;
  const char* pin;
  InitStatus status;
  const char* last_line;               // nothing is sent after it
  std::pair<const char*, long> count;  // how often a line was sent
  platform::TimeMs slept;
};

using InitOutcomeTest = ModemTableTest<OutcomeCase>;

TEST_P(InitOutcomeTest, EndsWithItsStatus) {
  const OutcomeCase& c = GetParam();
  AnswerLikeAReadyModem(vs.Modem(), c.says);
  EXPECT_EQ(Modem().Init(1, c.pin), c.status);
  const auto lines = vs.Modem().Lines();
  EXPECT_EQ(lines.back(), c.last_line);
  EXPECT_EQ(CountOf(lines, c.count.first), c.count.second) << c.count.first;
  EXPECT_EQ(vs.Platform().SleptMs(), c.slept);
  EXPECT_EQ(vs.Modem().IsOpen(), c.status == InitStatus::OK);
  EXPECT_EQ(vs.LogText(), "");  // ordinary failures are results, not errors
}

const std::string kPinNeeded = Answer("+CPIN: SIM PIN");
const std::string k515 = "\r\n+CMS ERROR: 515\r\n";
constexpr auto kOK = InitStatus::OK;
constexpr auto kFail = InitStatus::Fail;

// clang-format off
INSTANTIATE_TEST_SUITE_P(Init, InitOutcomeTest, ::testing::Values(
    OutcomeCase{"pin_needed_none_given", {{"AT+CPIN?", kPinNeeded}}, "", InitStatus::PINRequired, "AT+CPIN?",
                {"AT+CPIN?", 1}, 0},
    OutcomeCase{"pin_accepted", {{"AT+CPIN?", kPinNeeded}}, "1234", kOK, "AT+CGSN", {"AT+CPIN=1234", 1}, 3000},
    OutcomeCase{"pin_refused", {{"AT+CPIN?", kPinNeeded}, {"AT+CPIN=1234", "\r\n+CME ERROR: 16\r\n"}}, "1234",
                InitStatus::PINWrong, "AT+CPIN=1234", {"AT+CSMS=0", 0}, 0},
    OutcomeCase{"pin_not_allowed", {{"AT+CPIN?", kPinNeeded}, {"AT+CPIN=1234", "\r\n+CME ERROR: 3\r\n"}}, "1234",
                InitStatus::PINWrong, "AT+CPIN=1234", {"AT+CSMS=0", 0}, 0},
    OutcomeCase{"puk_needed_even_with_a_pin", {{"AT+CPIN?", Answer("+CPIN: SIM PUK")}}, "1234",
                InitStatus::SIMBlocked, "AT+CPIN?", {"AT+CPIN?", 1}, 0},
    OutcomeCase{"no_sim", {{"AT+CPIN?", "\r\n+CME ERROR: 10\r\n"}}, "", InitStatus::SIMError, "AT+CPIN?",
                {"AT+CPIN?", 1}, 0},
    OutcomeCase{"status_cut_after_its_colon", {{"AT+CPIN?", "\r\n+CPIN:"}}, "", InitStatus::SIMError, "AT+CPIN?",
                {"AT+CPIN?", 12}, 0},
    OutcomeCase{"service_not_ready_three_times", {{"AT+CSMS=0", k515, 3}}, "", kOK, "AT+CGSN", {"AT+CSMS=0", 4},
                21000 + 3000},
    OutcomeCase{"service_never_ready_goes_on", {{"AT+CSMS=0", k515}}, "", kOK, "AT+CGSN", {"AT+CSMS=0", 12},
                84000 + 3000},
    // A silent attempt leaves the text before it in the response: the 515 counts again...
    OutcomeCase{"service_not_ready_then_silent", {{"AT+CSMS=0", k515, 1}, {"AT+CSMS=0", ""}}, "", kOK, "AT+CGSN",
                {"AT+CSMS=0", 12}, 84000 + 3000},
    // ...but the maker's answer is no 515.
    OutcomeCase{"service_silent", {{"AT+CSMS=0", ""}}, "", kFail, "AT+CSMS=0", {"AT+CSMS=0", 1}, 0},
    OutcomeCase{"service_refused", {{"AT+CSMS=0", "\r\nERROR\r\n"}}, "", kFail, "AT+CSMS=0", {"AT+CSMS=0", 1}, 0},
    OutcomeCase{"service_other_error", {{"AT+CSMS=0", "\r\n+CMS ERROR: 500\r\n"}}, "", kFail, "AT+CSMS=0",
                {"AT+CSMS=0", 1}, 0},
    OutcomeCase{"header_display_silent", {{"AT+CSDH=1", ""}}, "", kFail, "AT+CSDH=1", {"AT+CSDH=1", 1}, 0},
    // Unlike the probe, the header display and text mode need the whole "OK" line in time.
    OutcomeCase{"header_display_ok_without_line_end", {{"AT+CSDH=1", "\r\nOK"}}, "", kFail, "AT+CSDH=1",
                {"AT+CSDH=1", 1}, 0},
    OutcomeCase{"text_mode_silent", {{"AT+CMGF=1", ""}}, "", kFail, "AT+CMGF=1", {"AT+CMGF=1", 1}, 0},
    OutcomeCase{"indications_refused_fall_back", {{"AT+CNMI=2,0,0,2,0", "\r\n+CMS ERROR: 303\r\n"}}, "", kOK,
                "AT+CGSN", {"AT+CNMI=0,0,0,0,0", 1}, 3000},
    OutcomeCase{"audio_gain_refused", {{"AT+VGT=200", "\r\nERROR\r\n"}}, "", kOK, "AT+CGSN", {"AT+VGR=100", 0},
                3000}), CaseName);
// clang-format on

struct MakerCase {
  const char* name;
  std::string answer;  // "" is silence
  const char* before;
  const char* after;
};

using MakerTest = ModemTableTest<MakerCase>;

TEST_P(MakerTest, OnlyOurMakerGetsTheMessageLinkCommand) {
  const MakerCase& c = GetParam();
  channel::CurrentSession().ModemMaker = c.before;
  AnswerLikeAReadyModem(vs.Modem(), {{"AT+CGMI", c.answer}});
  EXPECT_EQ(Modem().Init(1), InitStatus::OK);
  EXPECT_EQ(channel::CurrentSession().ModemMaker, c.after);
  EXPECT_EQ(CountOf(vs.Modem().Lines(), "AT+CMMS=2"), std::string(c.after) == "WAVECOM" ? 1 : 0);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Init, MakerTest, ::testing::Values(
    MakerCase{"wavecom", Answer("WAVECOM MODEM"), "UNKNOWN", "WAVECOM"},
    MakerCase{"another_maker", Answer("SIEMENS"), "WAVECOM", "UNKNOWN"},
    MakerCase{"silent_keeps_the_previous_one", "", "WAVECOM", "WAVECOM"},
    MakerCase{"silent_and_none_known", "", "", ""}), CaseName);
// clang-format on

// The wait of an exchange, from its command to the next command.
struct TimeoutCase {
  const char* name;
  const char* line;
  platform::TimeMs seconds;
};

using InitTimeoutTest = ModemTableTest<TimeoutCase>;

TEST_P(InitTimeoutTest, SilentCommandWaitsItsTimeout) {
  const TimeoutCase& c = GetParam();
  AnswerLikeAReadyModem(vs.Modem(), {{c.line, ""}});
  Modem().Init(1);
  const auto& timed = vs.Modem().TimedLines();
  auto it = std::find_if(timed.begin(), timed.end(), [&](const auto& t) { return t.second == c.line; });
  ASSERT_TRUE(it != timed.end() && it + 1 != timed.end());
  EXPECT_GT((it + 1)->first - it->first, c.seconds * 1000);
  EXPECT_LE((it + 1)->first - it->first, c.seconds * 1000 + 1100);
}

INSTANTIATE_TEST_SUITE_P(Init, InitTimeoutTest,
                         ::testing::Values(TimeoutCase{"maker", "AT+CGMI", 3},
                                           TimeoutCase{"sim", "AT+CPIN?", 7},
                                           TimeoutCase{"character_set", "AT+CSCS=\"GSM\"", 7},
                                           TimeoutCase{"message_link", "AT+CMMS=2", 7}),
                         CaseName);

struct ErrorCase {
  const char* name;
  std::int16_t port;
  const char* failing_line;  // the line fails to read while its answer is awaited
  InitStatus status;
  std::string logged;
};

using InitErrorTest = ModemTableTest<ErrorCase>;

TEST_P(InitErrorTest, RunTimeErrorIsTrapped) {
  const ErrorCase& c = GetParam();
  AnswerLikeAReadyModem(vs.Modem());
  SetPendingEventsHook([&] {
    const auto lines = vs.Modem().Lines();
    if (!lines.empty() && lines.back() == c.failing_line) throw RuntimeError(err::kReadError, "Read error");
  });
  EXPECT_EQ(Modem().Init(c.port), c.status);
  SetPendingEventsHook(nullptr);
  EXPECT_FALSE(vs.Modem().IsOpen() || channel::Gsm().PortOpen());
  if (c.logged.empty())
    EXPECT_EQ(vs.LogText(), "");
  else
    EXPECT_THAT(vs.LogText(), HasSubstr("***\r\n" + channel::MaskLogText(c.logged) + "\r\n"));
}

const std::string kReadErrorLog = "Error 8020 (Read error) in procedure Init of Class Module Modem";

// clang-format off
INSTANTIATE_TEST_SUITE_P(Init, InitErrorTest, ::testing::Values(
    ErrorCase{"port_without_device", 7, "", kFail,
              "Error 8002 (Invalid port number: virtual port 7 does not exist) in procedure Init of Class Module Modem"},
    ErrorCase{"read_failure_in_service", 1, "AT+CSMS=0", kFail, kReadErrorLog},
    ErrorCase{"read_failure_in_direct_exchange", 1, "AT+CMGF=1", kFail, kReadErrorLog},
    // The SIM status query has its own trap.
    ErrorCase{"read_failure_in_sim_status", 1, "AT+CPIN?", InitStatus::SIMError, ""}), CaseName);
// clang-format on

TEST_F(ModemTest, InitAgainOnAnOpenPortFailsAndClosesIt) {
  AnswerLikeAReadyModem(vs.Modem());
  ASSERT_EQ(Modem().Init(1), InitStatus::OK);
  EXPECT_EQ(Modem().Init(1), kFail);  // the control refuses a new port number while open
  EXPECT_FALSE(vs.Modem().IsOpen());
  EXPECT_THAT(vs.LogText(), HasSubstr("Error 8005 ("));
  EXPECT_EQ(Modem().Init(1), InitStatus::OK);
}

}  // namespace
}  // namespace quandelstk::testing
