// quandelstk queue ...: the store from the shell.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "fakes.hpp"
#include "support/sim_process.hpp"

namespace quandelstk::gateway::testing {
namespace {

using nlohmann::json;
using quandelstk::testing::RunProgram;

class QueueCli : public ::testing::Test {
 protected:
  quandelstk::testing::RunResult Run(std::vector<std::string> args) {
    std::vector<std::string> argv{std::string(QSTK_BIN_DIR) + "/quandelstk"};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProgram(argv, 30000);
  }
  json Json(std::vector<std::string> args) {
    args.insert(args.begin(), "--json");
    const auto r = Run(args);
    EXPECT_EQ(r.exit_code, 0) << r.output;
    return json::parse(r.output);
  }
  TempDir dir_;
  std::string url_ = "sqlite:" + dir_.path() + "/q.db";
};

TEST_F(QueueCli, SendListShowInboxModems) {
  const json sent = Json({"queue", "--store", url_, "send", "+15550100123", "Grüße 🌍", "--report", "--at",
                          "2030-01-01T00:00Z"});
  const std::int64_t id = sent["result"];
  auto store = OpenStore(url_);
  const OutgoingRecord m = *store->Get(id);
  EXPECT_EQ(m.text, "Grüße 🌍");
  EXPECT_TRUE(m.report);
  EXPECT_EQ(m.not_before_ms, 1893456000000);

  const json queued = Json({"queue", "--store", url_, "list", "--state", "queued"});
  ASSERT_EQ(queued["result"].size(), 1u);
  EXPECT_EQ(queued["result"][0]["to"], "+15550100123");
  EXPECT_TRUE(Json({"queue", "--store", url_, "list", "--state", "sent"})["result"].empty());
  // A long text is cut on a character, not inside one.
  std::string accents;
  for (int i = 0; i < 45; ++i) accents += "é";
  Json({"queue", "--store", url_, "send", "+15550100123", accents});
  std::string cut;
  for (int i = 0; i < 37; ++i) cut += "é";
  EXPECT_NE(Run({"queue", "--store", url_, "list"}).output.find("  " + cut + "...\n"), std::string::npos);

  const json shown = Json({"queue", "--store", url_, "show", std::to_string(id)});
  EXPECT_EQ(shown["result"]["state"], "queued");
  EXPECT_EQ(shown["result"]["events"][0]["kind"], "queued");
  const auto missing = Run({"queue", "--store", url_, "show", "999"});
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_NE(missing.output.find("no message 999"), std::string::npos);

  store->AddIncoming({.modem = "m1", .from = "+15550100456", .text = "reply", .key = "k"});
  store->AddIncoming({.modem = "m1", .from = "+15550100456", .text = "later reply", .key = "k2"});
  // The newest first, and --before pages back from it.
  const json inbox = Json({"queue", "--store", url_, "inbox", "--limit", "1"});
  ASSERT_EQ(inbox["result"].size(), 1u);
  EXPECT_EQ(inbox["result"][0]["text"], "later reply");
  const json back = Json({"queue", "--store", url_, "inbox", "--before", inbox["result"][0]["id"].dump()});
  ASSERT_EQ(back["result"].size(), 1u);
  EXPECT_EQ(back["result"][0]["text"], "reply");
  EXPECT_EQ(Json({"queue", "--store", url_, "list", "--limit", "1"})["result"][0]["text"], accents);
  store->PutModem({.name = "m1", .state = "ready", .signal = 18});
  EXPECT_EQ(Json({"queue", "--store", url_, "modems"})["result"][0]["signal"], 18);
}

TEST_F(QueueCli, RefusesBadInputWithNothingStored) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"send", "12ab", "hi"},
           {"send", "+15550100123", "hi", "--at", "noon"},
           {"list", "--state", "lost"}}) {
    std::vector<std::string> full{"queue", "--store", url_};
    full.insert(full.end(), args.begin(), args.end());
    const auto r = Run(full);
    EXPECT_EQ(r.exit_code, 2) << args[0] << " " << args[1] << ": " << r.output;
  }
  EXPECT_TRUE(OpenStore(url_)->List("", 10).empty());
  // A store it cannot use is a run-time error, exit 3.
  const auto r = Run({"queue", "--store", "mysql://x", "list"});
  EXPECT_EQ(r.exit_code, 3);
  EXPECT_NE(r.output.find("sqlite:PATH or postgresql://"), std::string::npos) << r.output;
}

}  // namespace
}  // namespace quandelstk::gateway::testing
