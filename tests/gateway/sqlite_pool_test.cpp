// The whole gateway on SQLite: one process, four simulated modems, 200 messages of every kind,
// killed with SIGKILL part-way and started again.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>

#include "fakes.hpp"
#include "pool_harness.hpp"

namespace quandelstk::gateway::testing {
namespace {

std::int64_t Now() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::string Tail(const std::string& path) {
  std::ifstream f(path);
  std::string all((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  return all.size() > 3000 ? all.substr(all.size() - 3000) : all;
}

TEST(SqlitePool, SendsEveryMessageOnceAcrossAKillAndStoresTheLoopbackCopiesAndReports) {
  if (!RunningAlone()) GTEST_SKIP() << "run alone by the test gateway.pool";
  TempDir dir;
  const std::string url = "sqlite:" + dir.path() + "/gateway.db";
  auto store = OpenStore(url);
  const std::vector<std::int64_t> ids = QueueMix(*store, 200, Now());
  Simulators sims = StartSimulators(4, dir.path());
  std::vector<std::pair<std::string, std::string>> modems;
  for (std::size_t i = 0; i < sims.sims.size(); ++i)
    modems.emplace_back("sim" + std::to_string(i + 1), sims.sims[i]->DevicePath());
  const std::string config = WriteConfig(dir.path(), "gw", url, modems, 30);
  const std::string log = dir.path() + "/gateway.log";

  auto sent = [&] {
    const auto counts = store->CountByState();
    return counts.at(kSent) + counts.at(kDelivered) + counts.at(kFailed);
  };
  {
    GatewayProcess first(config, log);
    ASSERT_TRUE(WaitFor([&] { return sent() >= 60; }, 180000)) << Tail(log);
    first.Kill();
  }
  const std::int64_t at_kill = sent();
  EXPECT_LT(at_kill, 200) << "the kill came too late to test anything";
  {
    GatewayProcess second(config, log);
    const bool all = WaitFor(
        [&] {
          return store->CountByState().at(kDelivered) == 200 && store->Inbox(1000).size() >= 200;
        },
        180000);
    EXPECT_TRUE(all) << "states: " << store->CountByState().at(kDelivered) << " delivered, inbox "
                     << store->Inbox(1000).size() << "\n"
                     << Tail(log);
    EXPECT_EQ(second.Terminate(), 0);
  }

  // What went out: every part of every message, and each message once, apart from those the
  // history shows in the at-least-once window of the kill (at most one per modem).
  const Outcome out = ReadJournals(sims, *store, ids);
  EXPECT_EQ(out.unknown_parts, 0);
  const std::vector<std::int64_t> window = SentAgainAfterACrash(*store, ids);
  EXPECT_LE(window.size(), 4u);
  int duplicates = 0;
  for (const std::int64_t id : ids) {
    const bool in_window = std::find(window.begin(), window.end(), id) != window.end();
    EXPECT_GE(out.least.at(id), 1) << "message " << id << " did not go out whole";
    EXPECT_LE(out.sends.at(id), in_window ? 2 : 1) << "message " << id << " went out more than once";
    duplicates += out.sends.at(id) - 1;
  }

  // What came back: each text reassembled and identical. A copy sent again carries the same
  // concatenation reference, so the parts of a send cut short by the kill join the next one's.
  std::map<std::string, int> inbox;
  for (const IncomingRecord& m : store->Inbox(1000)) {
    EXPECT_TRUE(m.complete) << m.text;
    EXPECT_EQ(m.from, "+15550100999");
    ++inbox[m.text];
  }
  for (const std::int64_t id : ids) {
    const OutgoingRecord m = *store->Get(id);
    EXPECT_GE(inbox[m.text], 1) << "message " << id;
    EXPECT_LE(inbox[m.text], out.sends.at(id)) << "message " << id;
    // Every part's status report matched to it.
    EXPECT_EQ(m.state, kDelivered);
    ASSERT_EQ(static_cast<int>(m.part_records.size()), m.parts) << "message " << id;
    for (const PartRecord& p : m.part_records) EXPECT_EQ(p.status, "delivered") << "message " << id;
    EXPECT_EQ(static_cast<int>(store->Reports(id).size()), m.parts) << "message " << id;
  }
  EXPECT_LE(static_cast<int>(store->Inbox(1000).size()), 200 + duplicates);
  // One row per modem, each written by this gateway.
  const auto rows = store->Modems();
  ASSERT_EQ(rows.size(), 4u);
  for (const ModemRecord& r : rows) EXPECT_EQ(r.state, "stopped");
}

}  // namespace
}  // namespace quandelstk::gateway::testing
