// The message commands and pdu decode --full on the built-in simulator (virtual time): what they
// refuse before touching the modem, and what they print.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "support/cli_run.hpp"
#include "support/sim_process.hpp"

namespace quandelstk::testing {
namespace {

TEST(MessageCli, RefusesWhatCannotBeSentWithWhatToDo) {
  const struct {
    std::vector<std::string> args;
    std::string says;
  } cases[] = {
      {{"message", "send", "+1555-0100", "hi"}, "holds \"-\"; give digits"},
      {{"message", "send", "+15550100123", "hi", "--validity", "3x"},
       "give minutes, or a number with m, h, d or w"},
      {{"message", "send", "+15550100123", "hi", "--validity", "64w"}, "outside 5 minutes to 63 weeks"},
      {{"message", "send", "+15550100123", "hi", "--validity", "4"}, "4 is outside 5 minutes to 63 weeks"},
      {{"message", "send", "+15550100123", ""}, "the text is empty"},
      {{"message", "delete"}, "give an INDEX (see message list) or --all"},
      {{"message", "get", "zero"}, "is not a whole number"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.says);
    // Refused before the modem is touched: a port that is not there is never reached.
    std::vector<std::string> unreachable = {"--port", "/dev/quandelstk-no-such-port"};
    unreachable.insert(unreachable.end(), c.args.begin(), c.args.end());
    const RunResult early = RunCli(unreachable);
    EXPECT_EQ(early.exit_code, 2) << early.output;
    EXPECT_NE(early.output.find(c.says), std::string::npos) << early.output;
    EXPECT_EQ(early.output.find("--port"), std::string::npos) << early.output;
  }
}

// Some modems number their storage from 0: the index is taken, and a failure says what the modem
// said without the echo of the command or its line ends.
TEST(MessageCli, TakesIndexZeroAndReportsTheModemsAnswerPlainly) {
  const RunResult get = RunCli({"message", "get", "0"});
  EXPECT_EQ(get.exit_code, 1) << get.output;
  EXPECT_NE(get.output.find("no message at index 0 of SM"), std::string::npos) << get.output;
  const RunResult del = RunCli({"message", "delete", "0"});
  EXPECT_EQ(del.exit_code, 1) << del.output;
  EXPECT_NE(del.output.find("could not delete message 0 of SM: +CMS ERROR: 321; "), std::string::npos)
      << del.output;
  EXPECT_EQ(del.output.find("AT+CMGD"), std::string::npos) << del.output;
  EXPECT_EQ(del.output.find('\r'), std::string::npos) << del.output;
}

// watch --delete: a long message whose first part the network delivers twice, the copy after the
// message was whole. Each message is a JSON line like every other; afterwards the SIM is empty.
TEST(MessageCli, WatchDeletesWhatItShowsAndTheCopiesOfItsParts) {
  const auto scenario = std::filesystem::temp_directory_path() /
                        ("quandelstk-msgwatch-" + std::to_string(::getpid()) + ".json");
  // Late enough for the watch to have begun (the simulator's clock follows the real one).
  std::ofstream(scenario) << R"({"sms": {"deliveries": [{"at_ms": 6000, "gap_ms": 100, "text": ")"
                          << std::string(200, 'x') << R"(", "order": [1, 2, 1]}]}})";
  const RunResult r = RunProgram({"sh", "-c",
                                  "printf 'message watch --delete --for 8\nmessage list\nexit\n' | '" + kCli +
                                      "' --json --port 'sim:" + scenario.string() + "' shell"},
                                 60000);
  std::filesystem::remove(scenario);
  ASSERT_EQ(r.exit_code, 0) << r.output;
  const auto lines = JsonLines(r.output);
  ASSERT_EQ(lines.size(), 3u) << r.output;
  EXPECT_EQ(lines[2].value("command", ""), "message list");
  EXPECT_EQ(lines[2].value("result", nlohmann::json()), nlohmann::json::array())
      << "left on the SIM: " << lines[2].dump();
  EXPECT_EQ(lines[0].value("command", ""), "message watch");
  ASSERT_TRUE(lines[0].contains("result") && lines[0].contains("properties")) << lines[0].dump();
  EXPECT_EQ(lines[0]["result"].value("text", ""), std::string(200, 'x')) << lines[0].dump();
  EXPECT_EQ(lines[0]["properties"], nlohmann::json::object());
  EXPECT_EQ(lines[1]["command"], "message watch");
  EXPECT_EQ(lines[1]["result"], 1);
}

// SIGTERM and SIGHUP end a watch as Ctrl-C does: settings restored, the count reported, exit 0. The
// signal goes out once the watch says it is watching (read through a named pipe, no waiting on time).
TEST(MessageCli, WatchStopsCleanlyOnTermAndHangUp) {
  const auto folder = std::filesystem::temp_directory_path() /
                      ("quandelstk-msgsignal-" + std::to_string(::getpid()));
  for (const std::string signal : {"INT", "TERM", "HUP"}) {
    SCOPED_TRACE(signal);
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const std::string pipe = (folder / "out").string();
    const RunResult r = RunProgram(
        {"sh", "-c",
         "mkfifo '" + pipe + "' && { '" + kCli + "' --trace message watch >'" + pipe + "' 2>&1 & p=$!; " +
             "exec 3<'" + pipe + "'; " +
             "while IFS= read -r l <&3; do echo \"$l\"; case \"$l\" in watching*) break;; esac; done; " +
             "kill -" + signal + " $p; cat <&3; wait $p; }"},
        60000);
    EXPECT_EQ(r.exit_code, 0) << r.output;
    const std::size_t watching = r.output.find("watching (Ctrl-C stops)\n");
    ASSERT_NE(watching, std::string::npos) << r.output;
    const std::string after = r.output.substr(watching);
    const std::size_t restored = after.find("-> AT+CNMI=2,0,0,2,0");
    const std::size_t text_mode = after.find("-> AT+CMGF=1");
    EXPECT_NE(restored, std::string::npos) << after;
    EXPECT_NE(text_mode, std::string::npos) << after;
    EXPECT_LT(restored, text_mode) << after;
    EXPECT_NE(after.find("stopped after 0 messages"), std::string::npos) << after;
  }
  std::filesystem::remove_all(folder);
}

TEST(MessageCli, PduDecodeFullReadsWhatTheExactDecoderRefuses) {
  // A class-1 coding refused by the exact decoder; the full one reads it, and the sender's name.
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
