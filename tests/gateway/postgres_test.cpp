// The store on a real PostgreSQL server the test starts itself: claims that never overlap, a
// lost server waited out, and three gateway processes sharing one queue through a kill and a
// server restart.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <set>
#include <thread>

#include "pg_cluster.hpp"
#include "pool_harness.hpp"

namespace quandelstk::gateway::testing {
namespace {

class Postgres : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { cluster_ = new PgCluster(); }
  static void TearDownTestSuite() {
    delete cluster_;
    cluster_ = nullptr;
  }
  void SetUp() override {
    if (!cluster_->Available()) GTEST_SKIP() << "PostgreSQL is not installed (make deps installs it)";
    // Each test on an empty schema.
    auto store = OpenStore(cluster_->Url());
    store.reset();
    Wipe();
  }
  static void Wipe() {
    const std::string cmd = "psql -q -d '" + cluster_->Url() +
                            "' -c 'DROP TABLE IF EXISTS events, status_reports, outgoing_parts, incoming, modems, "
                            "outgoing, schema_version CASCADE; DROP FUNCTION IF EXISTS events_append_only CASCADE' "
                            ">/dev/null 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
  }
  static PgCluster* cluster_;
};
PgCluster* Postgres::cluster_ = nullptr;

TEST_F(Postgres, ConcurrentClaimsNeverShareAMessage) {
  {
    auto store = OpenStore(cluster_->Url());
    for (int i = 0; i < 300; ++i) store->Enqueue(Msg("+15550100999", "x"), 1);
  }
  std::vector<std::vector<std::int64_t>> got(6);
  std::vector<std::thread> threads;
  for (int t = 0; t < 6; ++t)
    threads.emplace_back([&, t] {
      auto store = OpenStore(cluster_->Url());
      for (;;) {
        const auto c = store->Claim("gw" + std::to_string(t), "m", 10, 60000, 3);
        if (c.empty()) break;
        for (const auto& m : c) got[static_cast<std::size_t>(t)].push_back(m.id);
      }
    });
  for (auto& t : threads) t.join();
  std::set<std::int64_t> all;
  std::size_t total = 0;
  int busy = 0;
  for (const auto& g : got) {
    total += g.size();
    all.insert(g.begin(), g.end());
    busy += !g.empty();
  }
  EXPECT_EQ(total, 300u);
  EXPECT_EQ(all.size(), 300u);
  EXPECT_GT(busy, 1) << "one connection took everything: the claims did not run side by side";
}

TEST_F(Postgres, GatewaysStartingTogetherOnAnEmptyDatabaseAllGetTheSchema) {
  for (int round = 0; round < 5; ++round) {
    Wipe();
    std::vector<std::string> failures(6);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < failures.size(); ++t)
      threads.emplace_back([&, t] {
        try {
          OpenStore(cluster_->Url());
        } catch (const std::exception& e) {
          failures[t] = e.what();
        }
      });
    for (auto& t : threads) t.join();
    for (const std::string& f : failures) EXPECT_EQ(f, "") << "round " << round;
  }
}

TEST_F(Postgres, TheHistoryIsAppendOnly) {
  OpenStore(cluster_->Url())->Enqueue(Msg("+1555", "x"), 1);
  for (const char* change : {"UPDATE events SET kind = 'x'", "DELETE FROM events", "TRUNCATE events"}) {
    const std::string cmd = "psql -q -d '" + cluster_->Url() + "' -c \"" + change + "\" >/dev/null 2>&1";
    EXPECT_NE(std::system(cmd.c_str()), 0) << change;
  }
}

// Leases run on the server's clock: a host whose clock is an hour ahead does not take over a claim
// whose lease still runs, and one an hour behind still renews it to the server's time.
TEST_F(Postgres, LeasesRunOnTheServersClock) {
  auto a = OpenStore(cluster_->Url());
  auto b = OpenStore(cluster_->Url());
  const std::int64_t id = a->Enqueue(Msg("+1555", "x"), 1);
  const auto claim = a->Claim("gw1", "m1", Now() - 3600000, 60000, 1);
  ASSERT_EQ(claim.size(), 1u);
  EXPECT_NEAR(static_cast<double>(claim[0].lease_until_ms), static_cast<double>(Now() + 60000), 10000);
  EXPECT_TRUE(b->Claim("gw2", "m2", Now() + 3600000, 60000, 1).empty());
  EXPECT_TRUE(a->RecordPart(id, claim[0].claim_token, 1, 5, Now() - 3600000, 60000));
  EXPECT_NEAR(static_cast<double>(a->Get(id)->lease_until_ms), static_cast<double>(Now() + 60000), 10000);
  // So do the modem rows: a host an hour ahead does not take a row its live holder just wrote.
  ASSERT_TRUE(a->PutModem({.name = "m1", .gateway = "gw1@a:1:1", .state = "ready", .updated_ms = Now() - 3600000}));
  EXPECT_FALSE(b->PutModem({.name = "m1", .gateway = "gw2@b:2:2", .state = "ready", .updated_ms = Now() + 3600000}));
}

// Times in ms since the epoch do not fit PostgreSQL's integer: a claim given back or failed for good
// records them all the same.
TEST_F(Postgres, AClaimReleasedOrFailedAtItsLastAttemptRecordsItsTimes) {
  constexpr std::int64_t kNow = 1'800'000'000'000;
  auto store = OpenStore(cluster_->Url());
  const std::int64_t released = store->Enqueue(Msg("+1555", "released"), kNow);
  const std::int64_t retried = store->Enqueue(Msg("+1555", "retried"), kNow);
  store->Claim("gw", "m1", kNow, 60000, 1, 1);
  const std::string token = store->Claim("gw", "m2", kNow, 60000, 1, 1).at(0).claim_token;
  EXPECT_EQ(store->Release("gw", "m1", "modem m1 stopped answering", kNow + 1, kNow + 60000, 1), 1);
  store->MarkRetry(retried, token, "refused", kNow + 2, kNow + 60000, 1);
  EXPECT_EQ(store->Get(released)->state, kFailed);
  EXPECT_EQ(store->Get(released)->done_ms, kNow + 1);
  EXPECT_EQ(store->Get(retried)->done_ms, kNow + 2);
  EXPECT_EQ(store->List(kFailed, 10, retried).size(), 1u);
}

TEST_F(Postgres, ALostServerIsWaitedOutAndTheConnectionComesBack) {
  auto store = OpenStore(cluster_->Url());
  const std::int64_t id = store->Enqueue(Msg("+1555", "kept"), 1);
  const std::string token = store->Claim("gw", "m1", 2, 60000, 1).at(0).claim_token;
  cluster_->Stop("immediate");
  EXPECT_THROW(store->MarkSent(id, token, {5}, 3), StoreUnavailable);
  EXPECT_THROW(store->MarkSent(id, token, {5}, 3), StoreUnavailable);
  cluster_->Start();
  // The same call again, on a new connection: the work held meanwhile is recorded once.
  EXPECT_TRUE(store->MarkSent(id, token, {5}, 4));
  const OutgoingRecord r = *store->Get(id);
  EXPECT_EQ(r.state, kSent);
  EXPECT_EQ(r.part_records.at(0).reference, 5);
}

TEST_F(Postgres, AGatewayStartedBeforeTheServerWaitsForIt) {
  TempDir dir;
  const std::int64_t id = OpenStore(cluster_->Url())->Enqueue(Msg("+15550100999", "patience"), 0);
  cluster_->Stop("fast");
  const std::string config = WriteConfig(dir.path(), "early", cluster_->Url(), {{"m1", "sim"}}, 30);
  GatewayProcess gateway(config, dir.path() + "/early.log");
  const auto log = [&] { return ReadFile(dir.path() + "/early.log"); };
  // Its modem's thread has found the server gone and waits.
  ASSERT_TRUE(WaitFor([&] { return log().find("starting again in") != std::string::npos; }, 60000)) << log();
  cluster_->Start();
  auto store = OpenStore(cluster_->Url());
  EXPECT_TRUE(WaitFor([&] { return store->Get(id)->state == kSent; }, 90000));
  EXPECT_EQ(gateway.Terminate(), 0);
  EXPECT_NE(log().find("the modems wait for it"), std::string::npos) << log();
}

TEST_F(Postgres, ThreeGatewaysShareTheQueueThroughAKillAndAServerRestart) {
  if (!RunningAlone()) GTEST_SKIP() << "run alone by the test gateway.pool";
  TempDir dir;
  const std::string url = cluster_->Url();
  auto store = OpenStore(url);
  const std::vector<std::int64_t> ids = QueueMix(*store, 600, Now());
  // gw1, the one killed, on slow modems: it holds claims when it dies.
  Simulators sims = StartSimulators(9, dir.path(), 3);
  std::vector<std::unique_ptr<GatewayProcess>> gateways(3);
  std::vector<std::string> configs;
  for (int g = 0; g < 3; ++g) {
    std::vector<std::pair<std::string, std::string>> modems;
    for (int i = 0; i < 3; ++i) {
      const int n = g * 3 + i;
      modems.emplace_back("sim" + std::to_string(n + 1), sims.sims[static_cast<std::size_t>(n)]->DevicePath());
    }
    configs.push_back(WriteConfig(dir.path(), "gw" + std::to_string(g + 1), url, modems, 10));
  }
  auto start = [&](int g) {
    const std::string name = "gw" + std::to_string(g + 1);
    gateways[static_cast<std::size_t>(g)] =
        std::make_unique<GatewayProcess>(configs[static_cast<std::size_t>(g)], dir.path() + "/" + name + ".log");
  };
  auto done = [&] {
    try {
      const auto c = store->CountByState();
      return c.at(kSent) + c.at(kDelivered) + c.at(kFailed);
    } catch (const StoreUnavailable&) {
      return std::int64_t{-1};
    }
  };
  auto logs = [&] {
    std::string all;
    for (int g = 1; g <= 3; ++g)
      all += "--- gw" + std::to_string(g) + "\n" + ReadFile(dir.path() + "/gw" + std::to_string(g) + ".log", 2000);
    return all;
  };
  auto sent_by_gw1 = [&] {
    try {
      int n = 0;
      for (const auto& m : store->List("", 1000)) n += GatewayOf(m.claimed_by) == "gw1" && m.sent_ms != 0;
      return n;
    } catch (const StoreUnavailable&) {
      return 0;
    }
  };
  std::set<std::string> killed;
  auto held_by_the_dead = [&] {
    int n = 0;
    for (const auto& m : store->List(kSending, 1000)) n += killed.count(m.claimed_by);
    return n;
  };
  // gw1 first, alone on its slow modems (a second and a half a part): it is killed while it holds
  // claims, which stay sending until their lease ends; the two others, started then, take them over.
  start(0);
  ASSERT_TRUE(WaitFor(
      [&] {
        killed = Claimants(*store, "gw1");
        return sent_by_gw1() >= 2 && held_by_the_dead() > 0;
      },
      180000))
      << logs();
  ASSERT_EQ(killed.size(), 1u);
  gateways[0]->Kill();
  start(1);
  start(2);
  ASSERT_TRUE(WaitFor([&] { return held_by_the_dead() == 0 && done() >= 250; }, 180000)) << logs();
  cluster_->Stop("fast");  // every connection lost at once
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  cluster_->Start();
  // Back up, it reads what its modems received meanwhile.
  gateways[0] = std::make_unique<GatewayProcess>(configs[0], dir.path() + "/gw1.log");
  const bool all = WaitFor(
      [&] {
        try {
          return store->CountByState().at(kDelivered) == 600 && store->Inbox(2000).size() >= 600;
        } catch (const StoreUnavailable&) {
          return false;
        }
      },
      240000);
  EXPECT_TRUE(all) << store->CountByState().at(kDelivered) << " delivered\n" << logs();
  for (auto& g : gateways) EXPECT_EQ(g->Terminate(), 0);

  const std::vector<std::int64_t> window = CheckEveryMessage(sims, *store, ids, killed);
  EXPECT_LE(window.size(), 3u) << "more takeovers than the killed gateway had modems";
  EXPECT_GE(window.size(), 1u) << "the killed gateway held no claim: nothing was taken over";
  // The server restart reached the gateways that ran through it, and they went on.
  for (const std::string g : {"gw2", "gw3"})
    EXPECT_NE(ReadFile(dir.path() + "/" + g + ".log").find("the store is unavailable"), std::string::npos)
        << g << " never saw the server go";
  std::set<std::string> senders;
  for (const std::int64_t id : ids) senders.insert(GatewayOf(store->Get(id)->claimed_by));
  EXPECT_EQ(senders.size(), 3u) << "every gateway should have sent some";
  // One row per modem, each kept by its own gateway.
  const auto rows = store->Modems();
  ASSERT_EQ(rows.size(), 9u);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(GatewayOf(rows[i].gateway), "gw" + std::to_string(i / 3 + 1)) << rows[i].name;
    EXPECT_EQ(rows[i].state, "stopped") << rows[i].name;
  }
}

}  // namespace
}  // namespace quandelstk::gateway::testing
