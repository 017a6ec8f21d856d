// The configuration file and the flags, and what every way into the queue refuses.
#include <gtest/gtest.h>

#include "config.hpp"
#include "submit.hpp"

namespace quandelstk::gateway {
namespace {

TEST(Config, ReadsModemsStoreTimingsAndHttp) {
  const Config c = ParseConfig(R"(
name = "rack-1"
store = "postgresql:///sms?host=/run/postgresql"
[queue]
lease_seconds = 120
idle_seconds = 0.5
max_attempts = 7
[http]
listen = "0.0.0.0:8080"
token = "s3cret"
[[modem]]
name = "left"
device = "/dev/ttyUSB0"
pin = "1234"
per_minute = 10
[[modem]]
port = 33
)",
                               "gw.toml");
  EXPECT_EQ(c.name, "rack-1");
  EXPECT_EQ(c.store, "postgresql:///sms?host=/run/postgresql");
  EXPECT_EQ(c.timing.lease_ms, 120000);
  EXPECT_EQ(c.timing.idle_ms, 500);
  EXPECT_EQ(c.timing.max_attempts, 7);
  EXPECT_EQ(c.timing.retry_ms, Timing{}.retry_ms);
  EXPECT_EQ(c.http.listen, "0.0.0.0:8080");
  ASSERT_EQ(c.modems.size(), 2u);
  EXPECT_EQ(c.modems[0], (ModemConfig{"left", "/dev/ttyUSB0", "1234", 10}));
  EXPECT_EQ(c.modems[1], (ModemConfig{"modem2", "33", "", 0}));
  EXPECT_NO_THROW(Validate(c));
}

struct BadConfig {
  const char* toml;
  const char* says;
};

void PrintTo(const BadConfig& c, std::ostream* os) { *os << c.says; }

class RefusedConfig : public ::testing::TestWithParam<BadConfig> {};

TEST_P(RefusedConfig, NamesTheProblem) {
  try {
    Validate(ParseConfig(GetParam().toml, "gw.toml"));
    FAIL() << "accepted: " << GetParam().toml;
  } catch (const ConfigError& e) {
    EXPECT_NE(std::string(e.what()).find(GetParam().says), std::string::npos) << e.what();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Config, RefusedConfig,
    ::testing::Values(BadConfig{"store = 5", "store must be a string"},
                      BadConfig{"name = ", "gw.toml:1"},
                      BadConfig{"[queue]\nlease_seconds = \"long\"", "queue.lease_seconds must be a number"},
                      BadConfig{"[[modem]]\nname = \"a\"", "modem a has no device"},
                      BadConfig{"[[modem]]\nname = \"a\"\ndevice = \"sim\"\n[[modem]]\nname = \"a\"\ndevice = \"sim\"",
                                "two modems are named \"a\""},
                      BadConfig{"[[modem]]\nport = \"x\"", "port must be a port number"},
                      BadConfig{"[[modem]]\ndevice = \"sim\"\nper_minute = -1", "must not be negative"},
                      BadConfig{"modem = 3", "[[modem]] tables"},
                      BadConfig{"[http]\nlisten = \"8080\"", "needs a bearer token"},
                      BadConfig{"[queue]\nbackoff_first_seconds = 10\nbackoff_max_seconds = 1", "backoff_max"},
                      BadConfig{"stores = \"x\"", "unknown key \"stores\""},
                      BadConfig{"[queue]\nlease = 5", "unknown key \"queue.lease\""},
                      BadConfig{"[http]\ntokn = \"t\"", "unknown key \"http.tokn\""},
                      BadConfig{"[[modem]]\ndevice = \"sim\"\npin_code = \"1\"", "unknown key \"modem 1.pin_code\""}),
    [](const auto& info) { return "Case" + std::to_string(info.index); });

TEST(Config, TheShippedExampleIsReadAsItSays) {
  const Config c = LoadConfigFile(std::string(QSTK_SOURCE_DIR) + "/packaging/gateway/gateway.toml");
  EXPECT_NO_THROW(Validate(c));
  ASSERT_EQ(c.modems.size(), 1u);
  EXPECT_EQ(c.modems[0], (ModemConfig{"usb0", "/dev/ttyUSB0", "", 0}));
  EXPECT_EQ(c.timing, Timing{});  // the example states the defaults
  EXPECT_TRUE(c.http.listen.empty());
  EXPECT_TRUE(c.store.empty());
}

TEST(Config, ModemFlags) {
  EXPECT_EQ(ParseModemFlag("sim", 1), (ModemConfig{"modem1", "sim", "", 0}));
  EXPECT_EQ(ParseModemFlag("left=/dev/ttyUSB0,pin=0000,per-minute=5", 2),
            (ModemConfig{"left", "/dev/ttyUSB0", "0000", 5}));
  EXPECT_EQ(ParseModemFlag("sim:/tmp/a=b.json", 3), (ModemConfig{"modem3", "sim:/tmp/a=b.json", "", 0}));
  EXPECT_THROW(ParseModemFlag("sim,speed=9600", 1), ConfigError);
  EXPECT_THROW(ParseModemFlag("sim,per-minute=lots", 1), ConfigError);
}

struct SubmissionCase {
  Submission in;
  const char* error;  // "" accepted
  int parts;
};

void PrintTo(const SubmissionCase& c, std::ostream* os) { *os << (*c.error ? c.error : "accepted"); }

class Submissions : public ::testing::TestWithParam<SubmissionCase> {};

TEST_P(Submissions, AreCheckedBeforeAnythingIsStored) {
  const Checked c = Check(GetParam().in);
  if (*GetParam().error) {
    EXPECT_FALSE(c.message);
    EXPECT_NE(c.error.find(GetParam().error), std::string::npos) << c.error;
  } else {
    ASSERT_TRUE(c.message) << c.error;
    EXPECT_EQ(c.message->parts, GetParam().parts);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Submit, Submissions,
    ::testing::Values(SubmissionCase{{"+15550100123", "hi", false, "", ""}, "", 1},
                      SubmissionCase{{"0049301234", std::string(161, 'a'), false, "", ""}, "", 2},
                      SubmissionCase{{"+15550100123", "😀", false, "", ""}, "", 1},
                      SubmissionCase{{"+1555abc", "hi", false, "", ""}, "is not a phone number", 0},
                      SubmissionCase{{"+12", "hi", false, "", ""}, "is not a phone number", 0},
                      SubmissionCase{{"", "hi", false, "", ""}, "is not a phone number", 0},
                      SubmissionCase{{"+15550100123", "", false, "", ""}, "the text is empty", 0},
                      SubmissionCase{{"+15550100123", "caf\xC3", false, "", ""}, "not valid UTF-8", 0},
                      SubmissionCase{{"+15550100123", std::string(255 * 152, 'a'), false, "", ""}, "", 255},
                      SubmissionCase{{"+15550100123", std::string(255 * 152 + 1, 'a'), false, "", ""},
                                     "more than 255 parts", 0},
                      SubmissionCase{{"+15550100123", "hi", false, "tomorrow", ""}, "is not a time", 0},
                      SubmissionCase{{"+15550100123", "hi", false, "2026-02-30T10:00", ""}, "is not a time", 0},
                      SubmissionCase{{"+15550100123", "hi", false, "", "2030-01-01T00:00"}, "", 1},
                      SubmissionCase{{"+15550100123", "hi", false, "", "later"}, "is not a time", 0},
                      SubmissionCase{{"+15550100123", "hi", false, "2030-01-01T10:00", "2030-01-01T09:00"},
                                     "expire before it may be sent", 0}),
    [](const auto& info) { return "Case" + std::to_string(info.index); });

TEST(Times, ReadWithAndWithoutAZone) {
  EXPECT_EQ(ParseTime("2026-12-24T18:00"), 1798135200000);
  EXPECT_EQ(ParseTime("2026-12-24 18:00:30Z"), 1798135230000);
  EXPECT_EQ(ParseTime("2026-12-24T19:00+01:00"), 1798135200000);
  EXPECT_EQ(ParseTime("2026-12-24T17:30-00:30"), 1798135200000);
  EXPECT_EQ(ParseTime("1798135200"), 1798135200000);
  EXPECT_FALSE(ParseTime("2026-13-01T00:00"));
  EXPECT_FALSE(ParseTime("2026-12-24T18:00+1"));
  EXPECT_EQ(FormatTime(1798135230000), "2026-12-24 18:00:30Z");
}

}  // namespace
}  // namespace quandelstk::gateway
