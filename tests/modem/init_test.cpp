#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "channel/log.hpp"
#include "channel/text.hpp"
#include "modem_test_support.hpp"
#include "quandelstk/errors.hpp"
#include "quandelstk/modem.hpp"

namespace quandelstk::testing {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;

const std::vector<Piece> kSilence{};

TEST_F(ModemTest, HealthyInitSendsEveryCommandInOrderAndLeavesThePortOpen) {
  AnswerLikeAReadyModem(vs.Modem());
  EXPECT_EQ(Modem().Init(1), InitStatus::OK);
  EXPECT_EQ(vs.Modem().Lines(),
            (std::vector<std::string>{"AT", "AT+CGMI", "AT+CPIN?", "AT+CSMS=0", "AT+CSDH=1",
                                      "AT+CSCS=\"GSM\"", "AT+CMGF=1", "AT+CNMI=2,0,0,2,0", "AT+CMMS=2",
                                      "AT+VGT=200", "AT+VGR=100", "AT+CGSN", "AT+CGSN", "AT+CGSN"}));
  EXPECT_TRUE(vs.Modem().IsOpen());
  EXPECT_EQ(vs.Modem().CurrentSettings(), "115200,N,8,1");
  EXPECT_EQ(channel::CurrentSession().ModemMaker, "WAVECOM");
  EXPECT_EQ(vs.Platform().SleptMs(), 3000);  // a second after each IMEI query
  // The direct exchanges pass by the shared buffer.
  EXPECT_EQ(channel::CurrentSession().ReceiveBuffer, "");
}

struct ProbeCase {
  const char* name;
  bool only_at_9600 = false;
  std::vector<Piece> at_answer;
  InitStatus status;
  int opens;
  const char* settings;
  int probes_written;
};

class ProbeTest : public ModemTest, public ::testing::WithParamInterface<ProbeCase> {};

TEST_P(ProbeTest, ReopensThePortForEachAttempt) {
  const ProbeCase& c = GetParam();
  if (c.only_at_9600) vs.Modem().OnlyAt("9600,N,8,1");
  if (!c.at_answer.empty() || c.status == InitStatus::Fail) vs.Modem().On("AT", c.at_answer);
  AnswerLikeAReadyModem(vs.Modem());

  EXPECT_EQ(Modem().Init(1), c.status);
  EXPECT_EQ(vs.Modem().Opens(), c.opens);
  EXPECT_EQ(vs.Modem().CurrentSettings(), c.settings);
  EXPECT_EQ(vs.Modem().IsOpen(), c.status == InitStatus::OK);
  const auto written = text::Split(vs.Modem().Written(), "\r");
  EXPECT_EQ(CountOf(written, "AT"), c.probes_written);
  // Each unanswered attempt waits its 7 seconds, whole seconds counted, before the next.
  const auto& timed = vs.Modem().TimedLines();
  for (std::size_t i = 1; i < timed.size() && timed[i].second == "AT"; ++i) {
    EXPECT_GT(timed[i].first - timed[i - 1].first, 7000);
    EXPECT_LE(timed[i].first - timed[i - 1].first, 8100);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Init, ProbeTest,
    ::testing::Values(
        ProbeCase{"answers_at_115200", false, {}, InitStatus::OK, 1, "115200,N,8,1", 1},
        ProbeCase{"fixed_at_9600", true, {}, InitStatus::OK, 2, "9600,N,8,1", 2},
        // "OK" is there when the wait runs out, though its line end never came.
        ProbeCase{"ok_without_line_end", false, {{0, "\r\nOK"}}, InitStatus::OK, 1, "115200,N,8,1", 1},
        ProbeCase{"silent", false, {}, InitStatus::Fail, 4, "9600,N,8,1", 4}),
    [](const auto& info) { return std::string(info.param.name); });

struct OutcomeCase {
  const char* name;
  std::vector<std::pair<std::string, std::vector<Piece>>> answers{};  // before the ready modem's
  std::string pin{};
  InitStatus status = InitStatus::OK;
  std::string last_line = "AT+CGSN";
  std::pair<std::string, int> count{"AT+CSMS=0", 1};
  platform::TimeMs slept = 3000;
  std::vector<std::string> sent{};
  std::vector<std::string> not_sent{};
  std::string maker_before{};
  std::string maker_after = "WAVECOM";
};

std::vector<Piece> Say(const std::string& bytes) {
  return {{0, bytes}};
}
std::pair<std::string, std::vector<Piece>> Silent(const std::string& line) {
  return {line, kSilence};
}

class InitOutcomeTest : public ModemTest, public ::testing::WithParamInterface<OutcomeCase> {};

TEST_P(InitOutcomeTest, EndsWithItsStatus) {
  const OutcomeCase& c = GetParam();
  channel::CurrentSession().ModemMaker = c.maker_before;
  for (const auto& [line, reply] : c.answers) vs.Modem().On(line, reply, line == "AT+CSMS=0" ? 1 : 0);
  AnswerLikeAReadyModem(vs.Modem());

  EXPECT_EQ(Modem().Init(1, c.pin), c.status);
  const auto lines = vs.Modem().Lines();
  EXPECT_EQ(lines.back(), c.last_line);
  EXPECT_EQ(CountOf(lines, c.count.first), c.count.second);
  EXPECT_EQ(vs.Platform().SleptMs(), c.slept);
  for (const auto& line : c.sent) EXPECT_THAT(lines, Contains(line));
  for (const auto& line : c.not_sent) EXPECT_THAT(lines, Not(Contains(line)));
  EXPECT_EQ(channel::CurrentSession().ModemMaker, c.maker_after);
  EXPECT_EQ(vs.Modem().IsOpen(), c.status == InitStatus::OK);
  EXPECT_EQ(vs.LogText(), "");  // ordinary failures are results, not errors
}

const std::string k515 = "\r\n+CMS ERROR: 515\r\n";

INSTANTIATE_TEST_SUITE_P(
    Init, InitOutcomeTest,
    ::testing::Values(
        // The SIM.
        OutcomeCase{.name = "pin_needed_and_none_given",
                    .answers = {{"AT+CPIN?", Say(Answer("+CPIN: SIM PIN"))}},
                    .status = InitStatus::PINRequired,
                    .last_line = "AT+CPIN?",
                    .count = {"AT+CSMS=0", 0},
                    .slept = 0},
        OutcomeCase{.name = "pin_accepted",
                    .answers = {{"AT+CPIN?", Say(Answer("+CPIN: SIM PIN"))}, {"AT+CPIN=1234", Say(kOk)}},
                    .pin = "1234",
                    .sent = {"AT+CPIN=1234"}},
        OutcomeCase{.name = "pin_refused",
                    .answers = {{"AT+CPIN?", Say(Answer("+CPIN: SIM PIN"))},
                                {"AT+CPIN=1234", Say("\r\n+CME ERROR: 16\r\n")}},
                    .pin = "1234",
                    .status = InitStatus::PINWrong,
                    .last_line = "AT+CPIN=1234",
                    .count = {"AT+CSMS=0", 0},
                    .slept = 0},
        OutcomeCase{.name = "pin_not_allowed_counts_as_refused",
                    .answers = {{"AT+CPIN?", Say(Answer("+CPIN: SIM PIN"))},
                                {"AT+CPIN=1234", Say("\r\n+CME ERROR: 3\r\n")}},
                    .pin = "1234",
                    .status = InitStatus::PINWrong,
                    .last_line = "AT+CPIN=1234",
                    .count = {"AT+CSMS=0", 0},
                    .slept = 0},
        OutcomeCase{.name = "puk_needed_even_with_a_pin",
                    .answers = {{"AT+CPIN?", Say(Answer("+CPIN: SIM PUK"))}},
                    .pin = "1234",
                    .status = InitStatus::SIMBlocked,
                    .last_line = "AT+CPIN?",
                    .count = {"AT+CSMS=0", 0},
                    .slept = 0},
        OutcomeCase{.name = "no_sim",
                    .answers = {{"AT+CPIN?", Say("\r\n+CME ERROR: 10\r\n")}},
                    .status = InitStatus::SIMError,
                    .last_line = "AT+CPIN?",
                    .count = {"AT+CPIN?", 1},
                    .slept = 0},
        OutcomeCase{.name = "status_cut_after_its_colon",
                    .answers = {{"AT+CPIN?", Say("\r\n+CPIN:")}},
                    .status = InitStatus::SIMError,
                    .last_line = "AT+CPIN?",
                    .count = {"AT+CPIN?", 12},
                    .slept = 0},
        // The message service.
        OutcomeCase{.name = "service_not_ready_three_times",
                    .answers = {{"AT+CSMS=0", Say(k515)}, {"AT+CSMS=0", Say(k515)}, {"AT+CSMS=0", Say(k515)}},
                    .count = {"AT+CSMS=0", 4},
                    .slept = 21000 + 3000},
        OutcomeCase{
            .name = "service_never_ready_goes_on",
            .answers = std::vector<std::pair<std::string, std::vector<Piece>>>(12, {"AT+CSMS=0", Say(k515)}),
            .count = {"AT+CSMS=0", 12},
            .slept = 84000 + 3000},
        // A silent attempt leaves the 515 of the one before in the response.
        OutcomeCase{.name = "service_not_ready_then_silent",
                    .answers = {{"AT+CSMS=0", Say(k515)},
                                {"AT+CSMS=0", kSilence},
                                {"AT+CSMS=0", kSilence},
                                {"AT+CSMS=0", kSilence},
                                {"AT+CSMS=0", kSilence},
                                {"AT+CSMS=0", kSilence},
                                {"AT+CSMS=0", kSilence},
                                {"AT+CSMS=0", kSilence},
                                {"AT+CSMS=0", kSilence},
                                {"AT+CSMS=0", kSilence},
                                {"AT+CSMS=0", kSilence},
                                {"AT+CSMS=0", kSilence}},
                    .count = {"AT+CSMS=0", 12},
                    .slept = 84000 + 3000},
        // A silent first attempt leaves the maker's answer in the response: not a 515.
        OutcomeCase{.name = "service_silent",
                    .answers = {Silent("AT+CSMS=0")},
                    .status = InitStatus::Fail,
                    .last_line = "AT+CSMS=0",
                    .slept = 0},
        OutcomeCase{.name = "service_refused",
                    .answers = {{"AT+CSMS=0", Say("\r\nERROR\r\n")}},
                    .status = InitStatus::Fail,
                    .last_line = "AT+CSMS=0",
                    .slept = 0},
        OutcomeCase{.name = "service_other_error",
                    .answers = {{"AT+CSMS=0", Say("\r\n+CMS ERROR: 500\r\n")}},
                    .status = InitStatus::Fail,
                    .last_line = "AT+CSMS=0",
                    .slept = 0},
        // Text mode and its header display.
        OutcomeCase{.name = "header_display_silent",
                    .answers = {Silent("AT+CSDH=1")},
                    .status = InitStatus::Fail,
                    .last_line = "AT+CSDH=1",
                    .slept = 0},
        OutcomeCase{.name = "header_display_ok_without_line_end",
                    .answers = {{"AT+CSDH=1", Say("\r\nOK")}},
                    .status = InitStatus::Fail,
                    .last_line = "AT+CSDH=1",
                    .slept = 0},
        OutcomeCase{.name = "text_mode_silent",
                    .answers = {Silent("AT+CMGF=1")},
                    .status = InitStatus::Fail,
                    .last_line = "AT+CMGF=1",
                    .slept = 0},
        // Optional steps.
        OutcomeCase{.name = "indications_refused_fall_back",
                    .answers = {{"AT+CNMI=2,0,0,2,0", Say("\r\n+CMS ERROR: 303\r\n")}},
                    .sent = {"AT+CNMI=0,0,0,0,0"}},
        OutcomeCase{.name = "another_maker",
                    .answers = {{"AT+CGMI", Say(Answer("SIEMENS"))}},
                    .not_sent = {"AT+CMMS=2"},
                    .maker_after = "UNKNOWN"},
        OutcomeCase{.name = "maker_silent_keeps_the_previous_one",
                    .answers = {Silent("AT+CGMI")},
                    .sent = {"AT+CMMS=2"},
                    .maker_before = "WAVECOM"},
        OutcomeCase{.name = "maker_silent_and_none_known",
                    .answers = {Silent("AT+CGMI")},
                    .not_sent = {"AT+CMMS=2"},
                    .maker_after = ""},
        OutcomeCase{.name = "audio_gain_refused",
                    .answers = {{"AT+VGT=200", Say("\r\nERROR\r\n")}},
                    .not_sent = {"AT+VGR=100"}}),
    [](const auto& info) { return std::string(info.param.name); });

// The wait of each exchange, from its command to the next command.
class InitTimeoutTest : public ModemTest,
                        public ::testing::WithParamInterface<std::pair<std::string, platform::TimeMs>> {};

TEST_P(InitTimeoutTest, SilentCommandWaitsItsTimeout) {
  const auto& [line, seconds] = GetParam();
  vs.Modem().On(line, kSilence);
  AnswerLikeAReadyModem(vs.Modem());
  Modem().Init(1);
  const auto& timed = vs.Modem().TimedLines();
  auto it = std::find_if(timed.begin(), timed.end(), [&](const auto& t) { return t.second == line; });
  ASSERT_NE(it, timed.end());
  ASSERT_NE(it + 1, timed.end());
  EXPECT_GT((it + 1)->first - it->first, seconds * 1000);
  EXPECT_LE((it + 1)->first - it->first, seconds * 1000 + 1100);
}

INSTANTIATE_TEST_SUITE_P(Init, InitTimeoutTest,
                         ::testing::Values(std::pair<std::string, platform::TimeMs>{"AT+CGMI", 3},
                                           std::pair<std::string, platform::TimeMs>{"AT+CPIN?", 7},
                                           std::pair<std::string, platform::TimeMs>{"AT+CSCS=\"GSM\"", 7},
                                           std::pair<std::string, platform::TimeMs>{"AT+CNMI=2,0,0,2,0", 7},
                                           std::pair<std::string, platform::TimeMs>{"AT+CMMS=2", 7}));

struct ErrorCase {
  const char* name;
  std::int16_t port;
  std::string failing_line;  // a read failure on the line while the answer to it is awaited
  InitStatus status;
  std::string logged;
};

class InitErrorTest : public ModemTest, public ::testing::WithParamInterface<ErrorCase> {};

TEST_P(InitErrorTest, RunTimeErrorIsTrapped) {
  const ErrorCase& c = GetParam();
  AnswerLikeAReadyModem(vs.Modem());
  SetPendingEventsHook([&] {
    const auto lines = vs.Modem().Lines();
    if (!lines.empty() && lines.back() == c.failing_line) throw RuntimeError(err::kReadError, "Read error");
  });
  EXPECT_EQ(Modem().Init(c.port), c.status);
  SetPendingEventsHook(nullptr);
  EXPECT_FALSE(vs.Modem().IsOpen());
  EXPECT_FALSE(channel::Gsm().PortOpen());
  if (c.logged.empty())
    EXPECT_EQ(vs.LogText(), "");
  else
    EXPECT_THAT(vs.LogText(), HasSubstr("***\r\n" + channel::MaskLogText(c.logged) + "\r\n"));
}

INSTANTIATE_TEST_SUITE_P(
    Init, InitErrorTest,
    ::testing::Values(
        ErrorCase{
            "port_without_device", 7, "", InitStatus::Fail,
            "Error 8002 (Invalid port number: virtual port 7 does not exist) in procedure Init of Class "
            "Module Modem"},
        ErrorCase{"read_failure_in_service", 1, "AT+CSMS=0", InitStatus::Fail,
                  "Error 8020 (Read error) in procedure Init of Class Module Modem"},
        ErrorCase{"read_failure_in_direct_exchange", 1, "AT+CMGF=1", InitStatus::Fail,
                  "Error 8020 (Read error) in procedure Init of Class Module Modem"},
        // The SIM status query has its own trap.
        ErrorCase{"read_failure_in_sim_status", 1, "AT+CPIN?", InitStatus::SIMError, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ModemTest, InitAgainOnAnOpenPortFailsAndClosesIt) {
  AnswerLikeAReadyModem(vs.Modem());
  ASSERT_EQ(Modem().Init(1), InitStatus::OK);
  EXPECT_EQ(Modem().Init(1), InitStatus::Fail);  // the control refuses a port number while open
  EXPECT_FALSE(vs.Modem().IsOpen());
  EXPECT_THAT(vs.LogText(), HasSubstr("Error 8005 ("));
  EXPECT_EQ(Modem().Init(1), InitStatus::OK);
}

}  // namespace
}  // namespace quandelstk::testing
