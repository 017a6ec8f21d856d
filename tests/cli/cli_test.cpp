// The CLI end to end: the built quandelstk against quandelstk-modemsim on pseudo-terminals where a
// real device matters, else on the in-process simulator (virtual time); its JSON parsed.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "support/cli_run.hpp"

namespace quandelstk::testing {
namespace {

// Runs the CLI with these arguments (and this standard input, when given).
RunResult Cli(const std::vector<std::string>& args, const std::string& input = "") {
  return RunCli(args, input.empty() ? std::nullopt : std::optional(input), 60000);
}

std::string WriteScenario(const std::string& name, const std::string& json) {
  const auto path = std::filesystem::temp_directory_path() / ("quandelstk-cli-" + std::to_string(::getpid()) + name);
  std::ofstream(path) << json;
  return path.string();
}

TEST(CliOverPty, ShellRunsEveryQueryAfterOneInit) {
  SimProcess sim;
  const auto r = Cli({"--port", sim.DevicePath(), "--json", "shell"},
                     "signal\noperator\nregistered\nimsi\nmsisdn\nat \"AT+CSQ\" --until line\nexit\n");
  ASSERT_EQ(r.exit_code, 0) << r.output;
  const auto lines = JsonLines(r);
  ASSERT_EQ(lines.size(), 6u) << r.output;
  const std::vector<std::pair<std::string, nlohmann::json>> expected = {
      {"signal", 2}, {"operator", "Quandel Mobile"}, {"registered", true},
      {"imsi", "001010123456789"}, {"msisdn", "+15550100999"}, {"at", true}};
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(lines[i]["command"], expected[i].first);
    EXPECT_EQ(lines[i]["result"], expected[i].second) << lines[i].dump();
    EXPECT_TRUE(lines[i]["properties"].is_object());
  }
  EXPECT_NE(lines[5]["properties"]["response"].get<std::string>().find("+CSQ: 15,99\r\n"), std::string::npos);
}

TEST(CliOverPty, FindPortFindsTheWavecomModemOnTheThirdPort) {
  SimProcess other(R"({"maker": "SIEMENS"})");
  SimProcess another(R"({"maker": "Nokia Mobile Phones"})");
  SimProcess wavecom;
  const auto r = Cli({"--assign", "11=" + other.DevicePath(), "--assign", "12=" + another.DevicePath(), "--assign",
                      "13=" + wavecom.DevicePath(), "--json", "find-port", "11", "13"});
  ASSERT_EQ(r.exit_code, 0) << r.output;
  EXPECT_EQ(JsonLines(r).at(0)["result"], 13);

  const auto none = Cli({"--assign", "11=" + other.DevicePath(), "--json", "find-port", "11", "11"});
  EXPECT_EQ(none.exit_code, 1) << none.output;
  EXPECT_EQ(JsonLines(none).at(0)["result"], 0);
}

// Init's outcome for each SIM state and PIN, a run-time error, a silent modem: exit code and JSON.
TEST(CliOnSimulator, InitOutcomesAndErrorsGiveTheirJsonAndExitCode) {
  const struct {
    std::string scenario;
    std::vector<std::string> args;
    int exit_code;
    std::string pointer;  // into the one JSON object printed
    nlohmann::json value;
  } cases[] = {
      {R"({"sim": {"state": "SIM PIN"}})", {"signal"}, 1, "/result", "PINRequired"},
      {R"({"sim": {"state": "SIM PIN", "pin": "1234"}})", {"--pin", "4321", "signal"}, 1, "/result", "PINWrong"},
      {R"({"sim": {"state": "SIM PUK"}})", {"--pin", "1234", "signal"}, 1, "/result", "SIMBlocked"},
      {R"({"sim": {"state": "absent"}})", {"signal"}, 1, "/result", "SIMError"},
      {R"({"silent": ["*"]})", {"signal"}, 1, "/result", "Fail"},
      {R"({"sim": {"state": "SIM PIN", "pin": "2468"}})", {"--pin", "2468", "registered"}, 0, "/result", true},
      // A SIM without its own number answers AT+CNUM with OK alone: no field to cut, error 9.
      {R"({"sim": {"msisdn": ""}})", {"msisdn"}, 3, "/error/number", 9},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"--port", "sim:" + WriteScenario("case.json", c.scenario), "--json"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const auto r = Cli(args);
    EXPECT_EQ(r.exit_code, c.exit_code) << c.scenario << ": " << r.output;
    const auto lines = JsonLines(r);
    ASSERT_EQ(lines.size(), 1u) << r.output;
    EXPECT_EQ(lines[0]["command"], c.exit_code == 1 ? "init" : c.args.back()) << r.output;
    EXPECT_EQ(lines[0].value(nlohmann::json::json_pointer(c.pointer), nlohmann::json()), c.value) << r.output;
  }
}

TEST(CliOnSimulator, TheShellsPortIsOpenForTheNextCommand) {
  // After a shutdown init opens it again; list --probe leaves it alone, shown as the session's.
  const std::vector<std::pair<std::string, nlohmann::json>> cases = {
      {"shutdown\ninit\n", "OK"}, {"list --probe\n", "in use by this session"}};
  for (const auto& [between, shown] : cases) {
    const auto r = Cli({"--port", "sim", "--json", "shell"}, between + "signal\nexit\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    const auto lines = JsonLines(r);
    ASSERT_GE(lines.size(), 2u) << r.output;
    const auto& before = lines[lines.size() - 2]["result"];
    EXPECT_EQ(before.is_array() ? before[0]["probe"] : before, shown) << r.output;
    EXPECT_EQ(lines.back()["result"], 2) << r.output;
  }
}

TEST(CliOnSimulator, EveryReadInTheShellGivesTheWholeMessage) {
  // Two messages alike but for their text: the second read still names sender, stamp and centre.
  const auto scenario = WriteScenario("twins.json", R"({"sms": {"messages": [
      {"from": "+15550100456", "text": "one", "time": "26/12/04,10:00:00+04", "smsc": "+15550100123"},
      {"from": "+15550100456", "text": "two", "time": "26/12/04,10:00:00+04", "smsc": "+15550100123"}]}})");
  const auto r = Cli({"--port", "sim:" + scenario, "--json", "shell"}, "sms read\nsms read\nexit\n");
  const auto lines = JsonLines(r);
  ASSERT_EQ(lines.size(), 2u) << r.output;
  for (const auto& line : lines)
    for (const char* key : {"MN", "SCTS", "SMSC", "Msg"}) EXPECT_TRUE(line["properties"].contains(key)) << line;
  EXPECT_EQ(lines[1]["properties"]["MN"], "+15550100456");
}

TEST(CliUsage, BadInputExitsTwoWithAClearMessage) {
  const auto bad_scenario = WriteScenario("bad.json", "{ not json");
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"frobnicate"}, "unknown command \"frobnicate\""},
      {{"signal", "loud"}, "signal: unexpected \"loud\""},
      {{"--port", "/dev/quandelstk-no-such-tty", "signal"}, "/dev/quandelstk-no-such-tty does not exist"},
      {{"find-port", "one", "3"}, "\"one\" is not a whole number"},
      {{"at", "AT", "--timeout", "7s"}, "\"7s\" is not a whole number"},
      {{"--port", "sim:" + bad_scenario, "signal"}, bad_scenario},
      {{"pdu", "decode", "07G1"}, "\"G\" at position 3"},
      {{"sms", "online", "+15550100456", "--wait", "40"}, "40"},
  };
  for (const auto& [args, message] : cases) {
    const auto r = Cli(args);
    EXPECT_EQ(r.exit_code, 2) << args[0] << ": " << r.output;
    EXPECT_NE(r.output.find(message), std::string::npos) << r.output;
  }
}

TEST(CliOffline, PduEncodeAndDecodeRoundTrip) {
  const auto encoded = Cli({"--json", "pdu", "encode", "+15550100123", "hello"});
  ASSERT_EQ(encoded.exit_code, 0) << encoded.output;
  const auto part = JsonLines(encoded).at(0)["result"]["parts"][0];
  EXPECT_EQ(part["length"], 18);
  EXPECT_EQ(part["pdu"], "0021000B915155100021F3000005E8329BFD06");

  const auto decoded = Cli({"--json", "pdu", "decode", "07911326040000F0040B911346610089F60000208062917314480CC8F71D14969741F977FD07"});
  ASSERT_EQ(decoded.exit_code, 0) << decoded.output;
  const auto fields = JsonLines(decoded).at(0)["result"];
  EXPECT_EQ(fields["ServiceCentre"], "+31624000000");
  EXPECT_EQ(fields["Originator"], "+31641600986");
  EXPECT_EQ(fields["Text"], "How are you?");

  const auto too_long = Cli({"pdu", "encode", "+15550100123", std::string(161, 'a')});
  EXPECT_EQ(too_long.exit_code, 1);
  EXPECT_NE(too_long.output.find("161 characters"), std::string::npos) << too_long.output;
  const auto too_long_json = Cli({"--json", "pdu", "encode", "+15550100123", std::string(161, 'a')});
  EXPECT_EQ(too_long_json.exit_code, 1);
  ASSERT_EQ(JsonLines(too_long_json).size(), 1u) << too_long_json.output;
  EXPECT_EQ(JsonLines(too_long_json)[0]["result"], false);
}

}  // namespace
}  // namespace quandelstk::testing
