// The whole gateway on SQLite: one process, four simulated modems, 200 messages of every kind,
// killed with SIGKILL part-way and started again.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>

#include "fakes.hpp"
#include "pool_harness.hpp"

namespace quandelstk::gateway::testing {
namespace {

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
  std::set<std::string> killed;
  {
    GatewayProcess first(config, log);
    ASSERT_TRUE(WaitFor([&] { return sent() >= 60; }, 180000)) << ReadFile(log, 3000);
    first.Kill();
    killed = Claimants(*store, "gw");
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
                     << ReadFile(log, 3000);
    EXPECT_EQ(second.Terminate(), 0);
  }

  EXPECT_EQ(killed.size(), 1u);
  EXPECT_LE(CheckEveryMessage(sims, *store, ids, killed).size(), 4u) << "more in the window than modems";
  // One row per modem, each written by this gateway.
  const auto rows = store->Modems();
  ASSERT_EQ(rows.size(), 4u);
  for (const ModemRecord& r : rows) {
    EXPECT_EQ(r.state, "stopped");
    EXPECT_EQ(killed.count(r.gateway), 0u) << "the restarted process took every modem row";
  }
}

}  // namespace
}  // namespace quandelstk::gateway::testing
