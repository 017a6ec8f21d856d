// A mature independent client, gammu, drives the simulator over its pseudo-terminal.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "support/sim_process.hpp"

namespace quandelstk::testing {
namespace {

using ::testing::HasSubstr;

class GammuTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (RunProgram({"gammu", "--version"}, 10000).exit_code != 0) GTEST_SKIP() << "gammu is not installed";
    std::ofstream(sim.Folder() / "gammurc")
        << "[gammu]\ndevice = " << sim.DevicePath() << "\nconnection = at\n";
  }
  // One gammu command; never longer than a minute.
  RunResult Gammu(std::vector<std::string> args) {
    args.insert(args.begin(), {"gammu", "-c", (sim.Folder() / "gammurc").string()});
    RunResult r = RunProgram(args, 60000);
    EXPECT_FALSE(r.timed_out) << args[3];
    EXPECT_EQ(r.exit_code, 0) << args[3] << ":\n" << r.output;
    return r;
  }
  // gammu takes a "+CPIN:" line for a whole answer: the OK comes a moment later, as from a modem that
  // asks its SIM first.
  SimProcess sim{R"({"sms": {"loopback_delay_ms": 0}, "delays": {"AT+CPIN?": {"ms": 0, "final_ms": 20}},
    "phonebook": {"entries": [{"index": 1, "number": "+15550100456", "name": "Ann Lee"},
                              {"index": 3, "number": "0123", "name": "Bob"}]}})"};
};

TEST_F(GammuTest, IdentifiesChecksAndReadsTheNetwork) {
  const std::string id = Gammu({"identify"}).output;
  EXPECT_THAT(id, HasSubstr("351234567890125"));
  EXPECT_THAT(id, HasSubstr("001010123456789"));
  EXPECT_THAT(Gammu({"getsecuritystatus"}).output, HasSubstr("Nothing to enter"));
  const std::string net = Gammu({"networkinfo"}).output;
  EXPECT_THAT(net, HasSubstr("home network"));
  EXPECT_THAT(net, HasSubstr("Quandel Mobile"));
}

TEST_F(GammuTest, SendsToItselfReadsDeletesAndAsksTheNetwork) {
  EXPECT_THAT(Gammu({"sendsms", "TEXT", "+15550100999", "-text", "hello"}).output, HasSubstr("reference=0"));
  const std::string inbox = Gammu({"getallsms"}).output;
  EXPECT_THAT(inbox, HasSubstr("hello"));
  EXPECT_THAT(inbox, HasSubstr("+15550100999"));
  Gammu({"deletesms", "1", "1"});
  EXPECT_THAT(Gammu({"getallsms"}).output, HasSubstr("0 SMS parts"));
  EXPECT_THAT(Gammu({"getussd", "*100#"}).output, HasSubstr("Your balance is 10.00 EUR"));
  const std::string book = Gammu({"getmemory", "SM", "1", "3"}).output;
  EXPECT_THAT(book, HasSubstr("Ann Lee"));
  EXPECT_THAT(book, HasSubstr("Empty entry"));
  EXPECT_THAT(book, HasSubstr("Bob"));
}

}  // namespace
}  // namespace quandelstk::testing
