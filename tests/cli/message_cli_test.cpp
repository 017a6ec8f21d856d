// The message commands and pdu decode --full on the built-in simulator (virtual time): what they
// refuse before touching the modem, and what they print.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "support/sim_process.hpp"

namespace quandelstk::testing {
namespace {

const std::string kCli = std::string(QSTK_BIN_DIR) + "/quandelstk";

RunResult RunCli(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {kCli};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunProgram(argv, 60000);
}

TEST(MessageCli, RefusesWhatCannotBeSentWithWhatToDo) {
  const struct {
    std::vector<std::string> args;
    std::string says;
  } cases[] = {
      {{"message", "send", "+1555-0100", "hi"}, "holds \"-\"; give digits"},
      {{"message", "send", "+15550100123", "hi", "--validity", "3x"},
       "give minutes, or a number with m, h, d or w"},
      {{"message", "send", "+15550100123", "hi", "--validity", "64w"}, "outside 5 minutes to 63 weeks"},
      {{"message", "delete"}, "give an INDEX (see message list) or --all"},
      {{"message", "get", "zero"}, "is not a whole number"},
  };
  for (const auto& c : cases) {
    const RunResult r = RunCli(c.args);
    EXPECT_EQ(r.exit_code, 2) << r.output;
    EXPECT_NE(r.output.find(c.says), std::string::npos) << r.output;
  }
}

TEST(MessageCli, ListsAScenariosMessagesJoinedAndDecodesBothWays) {
  const auto scenario =
      std::filesystem::temp_directory_path() / ("quandelstk-msgcli-" + std::to_string(::getpid()) + ".json");
  std::ofstream(scenario) << R"({"sms": {"deliveries": [{"at_ms": 0, "from": "+15550100456", "text": ")"
                          << std::string(200, 'x') << R"(", "order": [2, 1]}]}})";
  const RunResult list = RunCli({"--json", "--port", "sim:" + scenario.string(), "message", "list"});
  std::filesystem::remove(scenario);
  ASSERT_EQ(list.exit_code, 0) << list.output;
  const auto j = nlohmann::json::parse(list.output.substr(list.output.find('{')));
  ASSERT_EQ(j["result"].size(), 1u) << list.output;
  EXPECT_EQ(j["result"][0]["text"], std::string(200, 'x'));
  EXPECT_EQ(j["result"][0]["indexes"], nlohmann::json::array({1, 2}));

  // The exact decoder refuses a class-1 coding; the full one reads it, and the sender's name.
  const RunResult decoded = RunCli({"--json", "pdu", "decode", "--full",
                                    "07915155100021F3040CD0C7F7FBCC2E0300F14250719080706905E8329BFD06"});
  ASSERT_EQ(decoded.exit_code, 0) << decoded.output;
  const auto d = nlohmann::json::parse(decoded.output);
  EXPECT_EQ(d["result"]["exact"]["error"]["number"], 5);
  EXPECT_EQ(d["result"]["full"]["address"], "Google");
  EXPECT_EQ(d["result"]["full"]["text"], "hello");
  EXPECT_EQ(d["result"]["full"]["time"], "2024-05-17 09:08:07 -04:00");
}

}  // namespace
}  // namespace quandelstk::testing
