// The message commands end to end: the built CLI against quandelstk-modemsim on a pseudo-terminal.
// Texts in every script go to the SIM's own number and are listed back identical; a long message
// delivered out of order with a duplicate part lists as one; a status report is shown against the
// message it is about; a message that cannot be decoded is listed with its reason and the next one
// is still read. Once, with the answers in pieces: whole answers are what the other tests of these
// commands get.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <thread>

#include "support/cli_run.hpp"

namespace quandelstk::testing {
namespace {

using nlohmann::json;

const std::string kOwn = "+15550100999";

TEST(MessagesOverPty, SendsListsJoinsAndMatchesReports) {
  const auto state =
      std::filesystem::temp_directory_path() / ("quandelstk-msg-e2e-" + std::to_string(::getpid()));
  std::filesystem::create_directories(state);
  const std::string long_delivery = [] {
    std::string s;
    for (int i = 0; s.size() < 700; ++i) s += "sentence " + std::to_string(i) + " of a long message. ";
    return s.substr(0, 700);
  }();
  // A compressed text: its octets cannot be read; the next message must still be.
  const std::string undecodable =
      "07915155100021F3040B915155100054F600204250719080702304"
      "01020304";
  const json scenario = {{"sms",
                          {{"loopback_delay_ms", 100},
                           {"report_delay_ms", 150},
                           {"deliveries",
                            {{{"at_ms", 0},
                              {"gap_ms", 10},
                              {"from", "+15550100456"},
                              {"text", long_delivery},
                              {"reference", 77},
                              {"order", {3, 1, 5, 2, 2, 4}}}}},
                           {"messages",
                            {{{"index", 18}, {"status", "REC READ"}, {"pdu", undecodable}},
                             {{"index", 19},
                              {"status", "REC READ"},
                              {"from", "+15550100789"},
                              {"text", "after the broken one"}}}}}},
                         {"chunking", {{"*", {{"size", 7}, {"gap_ms", 2}}}}}};
  const SimProcess sim(scenario.dump());
  // The CLI on the simulator's device, its sent-messages journal in the test's own folder.
  auto Cli = [&](const std::vector<std::string>& args, const std::string& input = "") {
    std::string command = "XDG_STATE_HOME=" + ShellQuoted(state.string()) + " ";
    if (!input.empty()) command = "printf '%s' " + ShellQuoted(input) + " | " + command;
    command += ShellQuoted(kCli) + " --json --port " + ShellQuoted(sim.DevicePath());
    for (const auto& a : args) command += " " + ShellQuoted(a);
    return RunProgram({"sh", "-c", command}, 120000);
  };

  const std::vector<std::string> texts = {"Brackets €[]{}~|^\\ and all",
                                          "Accents: café, naïve, Ångström, São Paulo",
                                          "Кириллица: Привет, мир",
                                          "中文短信测试，谢谢",
                                          "Emoji 😀👍🎉 done",
                                          [] {
                                            std::string s;
                                            for (int i = 0; i < 30; ++i)
                                              s += "Long 😀 " + std::to_string(i) + " ";
                                            return s;
                                          }()};
  // One shell: one initialisation, every text sent with a report asked for.
  std::string lines;
  for (const std::string& t : texts) lines += "message send " + kOwn + " " + ShellQuoted(t) + " --report\n";
  const RunResult sent = Cli({"shell"}, lines + "exit\n");
  ASSERT_EQ(sent.exit_code, 0) << sent.output;
  const auto results = JsonLines(sent.output);
  ASSERT_EQ(results.size(), texts.size()) << sent.output;
  for (const json& r : results) EXPECT_EQ(r["result"], true) << r.dump();
  const int long_parts = results.back()["properties"]["parts"];
  EXPECT_GE(long_parts, 4);
  const int reports_due = static_cast<int>(texts.size()) - 1 + long_parts;

  // The network hands everything back within moments: list until it is all there, for a bounded while.
  json list;
  for (int attempt = 0; attempt < 10; ++attempt) {
    const RunResult r = Cli({"message", "list"});
    ASSERT_EQ(r.exit_code, 0) << r.output;
    list = JsonLines(r.output).at(0)["result"];
    int reports = 0;
    for (const json& m : list) reports += m["type"] == "SMS-STATUS-REPORT";
    if (reports >= reports_due) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
  }

  std::vector<std::string> received;
  const json* joined = nullptr;
  const json* broken = nullptr;
  const json* after = nullptr;
  int matched_reports = 0;
  for (const json& m : list) {
    if (m["type"] == "SMS-DELIVER" && m["address"] == kOwn) received.push_back(m["text"]);
    if (m["address"] == "+15550100456" && m["parts"] == 5) joined = &m;
    if (m["indexes"] == json::array({18})) broken = &m;
    if (m["indexes"] == json::array({19})) after = &m;
    if (m["type"] == "SMS-STATUS-REPORT" && m["about"].is_object()) {
      ++matched_reports;
      EXPECT_EQ(m["status_text"], "delivered");
      EXPECT_NE(std::find(texts.begin(), texts.end(), m["about"]["text"].get<std::string>()), texts.end())
          << m.dump();
    }
  }
  std::vector<std::string> expected = texts;
  std::sort(expected.begin(), expected.end());
  std::sort(received.begin(), received.end());
  EXPECT_EQ(received, expected);

  ASSERT_NE(joined, nullptr);
  EXPECT_EQ((*joined)["text"], long_delivery);
  EXPECT_EQ((*joined)["complete"], true);
  EXPECT_EQ((*joined)["parts"], 5);
  EXPECT_EQ((*joined)["indexes"].size(), 6u) << "the duplicate part stays with its message";

  ASSERT_NE(broken, nullptr);
  EXPECT_NE((*broken)["problem"].get<std::string>().find("compressed"), std::string::npos) << broken->dump();
  EXPECT_EQ((*broken)["pdu"], undecodable);
  ASSERT_NE(after, nullptr);
  EXPECT_EQ((*after)["text"], "after the broken one");

  EXPECT_EQ(matched_reports, reports_due);

  // Read one by index without deleting it, then delete it: one shell, one initialisation.
  const RunResult got = Cli({"shell"}, "message get 19\nmessage delete 19\nmessage get 19\nexit\n");
  EXPECT_EQ(got.exit_code, 1) << got.output;  // of the last get
  const auto gets = JsonLines(got.output);
  ASSERT_EQ(gets.size(), 3u) << got.output;
  EXPECT_EQ(gets[0]["result"]["text"], "after the broken one") << got.output;
  EXPECT_EQ(gets[1]["result"], true) << got.output;
  EXPECT_EQ(gets[2]["result"], nullptr) << got.output;
  std::filesystem::remove_all(state);
}

}  // namespace
}  // namespace quandelstk::testing
