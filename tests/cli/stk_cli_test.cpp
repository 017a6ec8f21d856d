// The toolkit through the CLI: a whole session command by command in the shell against
// quandelstk-modemsim on a pseudo-terminal with its answers in pieces; the same walk through stk
// browse on a pipe, its endings and faults on the in-process simulator (whole answers, virtual time).
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "support/cli_run.hpp"

namespace quandelstk::testing {
namespace {

using nlohmann::json;

const std::string kChunked = R"({"chunking": {"*": {"size": 7, "gap_ms": 15}}})";

// Standard input is always a pipe, empty when no input is given.
RunResult Cli(const std::vector<std::string>& args, const std::string& input = "") { return RunCli(args, input); }

std::string Scenario(const std::string& name, const std::string& text) {
  const auto path =
      std::filesystem::temp_directory_path() / ("quandelstk-stk-" + std::to_string(::getpid()) + name);
  std::ofstream(path) << text;
  return path.string();
}

json Items(const std::vector<std::pair<std::string, std::string>>& items) {
  json a = json::array();
  for (const auto& [id, label] : items) a.push_back({{"id", id}, {"label", label}});
  return a;
}
const json kMainItems = Items({{"1", "Balance"}, {"2", "Services"}, {"3", "Send SMS"}, {"4", "Exit"}});
const json kSubItems = Items({{"1", "News"}, {"2", "Top up"}});

TEST(StkCliOverPty, WholeSessionCommandByCommandInTheShellInPieces) {
  const std::vector<std::pair<std::string, json>> steps = {{"stk activate", true},
                                                           {"stk menu", true},
                                                           {"stk select 2", true},
                                                           {"stk status", "STKSubMenu"},
                                                           {"stk submenu", true},
                                                           {"stk subselect 2", true},
                                                           {"stk status", "STKInputRequest"},
                                                           {"stk input", "Enter voucher code"},
                                                           {"stk submit 1234", true},
                                                           {"stk status", "STKResponse"},
                                                           {"stk response", "Voucher 1234 accepted"},
                                                           {"stk submit OK", true},
                                                           {"stk status", "STKSessionEnd"},
                                                           {"stk close", true},
                                                           {"stk deactivate", true}};
  std::string input;
  for (const auto& [line, result] : steps) input += line + "\n";
  input += "at AT+CMGF?\nexit\n";

  SimProcess sim(kChunked);
  const auto r = Cli({"--port", sim.DevicePath(), "--json", "shell"}, input);
  ASSERT_EQ(r.exit_code, 0) << r.output;
  const auto lines = JsonLines(r);
  ASSERT_EQ(lines.size(), steps.size() + 1) << r.output;
  for (std::size_t i = 0; i < steps.size(); ++i) {
    EXPECT_EQ(lines[i]["command"], steps[i].first.substr(0, steps[i].first.find(' ', 4)));
    EXPECT_EQ(lines[i]["result"], steps[i].second) << lines[i].dump();
  }
  // The menus stay in the object's properties from one command to the next.
  const json& last = lines[steps.size() - 1]["properties"];
  EXPECT_EQ(last["MainMenuName"], "SIM Services");
  EXPECT_EQ(last["MainMenuList"], "1:Balance\r\n2:Services\r\n3:Send SMS\r\n4:Exit");
  EXPECT_EQ(last["MainMenuItems"], kMainItems);
  EXPECT_EQ(last["SubMenuName"], "Services");
  EXPECT_EQ(last["SubMenuItems"], kSubItems);
  // Deactivating put the modem back in text mode.
  EXPECT_NE(lines.back()["properties"]["response"].get<std::string>().find("+CMGF: 1"), std::string::npos);
}

TEST(StkCliOnSimulator, SameWalkThroughBrowseOnAPipe) {
  const auto r = Cli({"--json", "stk", "browse", "--deactivate"}, "2\n2\n1234\n");
  ASSERT_EQ(r.exit_code, 0) << r.output;
  const auto lines = JsonLines(r);
  ASSERT_EQ(lines.size(), 1u) << r.output;
  const json& result = lines[0]["result"];
  EXPECT_EQ(result["ended"], "STKSessionEnd");
  EXPECT_EQ(result["deactivated"], true);
  const json expected_steps = {
      {{"status", "STKMainMenu"}, {"title", "SIM Services"}, {"items", kMainItems}, {"choice", "2"}},
      {{"status", "STKSubMenu"}, {"title", "Services"}, {"items", kSubItems}, {"choice", "2"}},
      {{"status", "STKInputRequest"},
       {"prompt", "Enter voucher code"},
       {"answer", "1234"},
       {"accepted", true}},
      {{"status", "STKResponse"}, {"text", "Voucher 1234 accepted"}, {"confirmed", true}},
      {{"status", "STKSessionEnd"}}};
  EXPECT_EQ(result["steps"], expected_steps) << result.dump();
  EXPECT_EQ(lines[0]["properties"]["SubMenuName"], "Services");
}

TEST(StkCliOnSimulator, BrowseShowsTheWalkAndEndsCleanlyWhenTheSimTimesOut) {
  // The sub menu takes longer to show than the SIM waits for a choice.
  const std::string slow =
      Scenario("slow.json", R"({"stk": {"timeout_ms": 300}, "delays": {"AT+STGI=6": 600}})");
  const auto r = Cli({"--port", "sim:" + slow, "stk", "browse"}, "2\n1\n");
  EXPECT_EQ(r.exit_code, 1) << r.output;
  for (const char* shown :
       {"== SIM Services", " 2  Services", "choice (1-4, q ends)> 2", "== Services",
        "choice (1-2, q ends)> 1", "The SIM refused that item.", "Status STKTimeOut", "Session closed."})
    EXPECT_NE(r.output.find(shown), std::string::npos) << shown << "\n" << r.output;
}

TEST(StkCliOnSimulator, EndingsAndFaults) {
  const std::string none = "sim:" + Scenario("none.json", R"({"stk": {"supported": false}})");
  // Fourteen "not ready" answers outlast the first restore's twelve attempts.
  const std::string restart =
      "sim:" + Scenario("restart.json", R"({"stk": {"csms_not_ready_after_off": 14}})");
  struct Case {
    std::vector<std::string> args;
    std::string input;
    int exit_code;
    std::string pointer;  // into the last JSON object
    json value;
  };
  const std::vector<Case> cases = {
      {{"stk", "browse"}, "q\n", 0, "/result/ended", "Closed"},
      {{"stk", "browse"}, "", 0, "/result/closed", true},  // the end of input closes the session too
      {{"stk", "browse"}, "x\n9\n", 0, "/result/steps/0/choice", nullptr},
      {{"--port", none, "stk", "activate"}, "", 1, "/result", false},
      {{"--port", none, "stk", "status"}, "", 1, "/result", "STKUnknown"},
      {{"--port", none, "stk", "browse"}, "", 1, "/result/ended", "ActivateFailed"},
      {{"--port", restart, "shell"}, "stk activate\nstk deactivate\nat AT+CSMS=0\n", 0, "/result", true},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"--json"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const auto r = Cli(args, c.input);
    SCOPED_TRACE(r.output);
    EXPECT_EQ(r.exit_code, c.exit_code);
    const auto lines = JsonLines(r);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().value(json::json_pointer(c.pointer), json()), c.value);
  }
}

TEST(StkCliUsage, EveryCommandSaysWhenItIsValidAndBadItemsAreRefused) {
  for (const char* command : {"status", "activate", "deactivate", "close", "menu", "select", "submenu",
                              "subselect", "input", "submit", "response", "sms-sent", "browse"}) {
    const auto r = Cli({"stk", command, "--help"});
    EXPECT_EQ(r.exit_code, 0) << command;
    EXPECT_NE(r.output.find("Valid"), std::string::npos) << command << ": " << r.output;
  }
  const auto word = Cli({"stk", "select", "two"});
  EXPECT_EQ(word.exit_code, 2);
  EXPECT_NE(word.output.find("\"two\" is not a whole number"), std::string::npos) << word.output;
  const auto none = Cli({"stk", "subselect"});
  EXPECT_EQ(none.exit_code, 2);
  EXPECT_NE(none.output.find("ITEM"), std::string::npos) << none.output;
}

TEST(StkCliShell, AQuotedEmptyAnswerReachesTheCommand) {
  // The shell splits its lines itself: an empty quoted word is an argument, not nothing.
  for (const char* line : {"stk submit \"\"", "stk submit ''"}) {
    SCOPED_TRACE(line);
    const auto r = Cli({"--json", "shell"}, std::string(line) + "\n");
    EXPECT_EQ(r.output.find("is required"), std::string::npos) << r.output;
    const auto lines = JsonLines(r);
    ASSERT_EQ(lines.size(), 1u) << r.output;
    EXPECT_EQ(lines[0]["command"], "stk submit");
  }
}

}  // namespace
}  // namespace quandelstk::testing
