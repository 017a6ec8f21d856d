// The process around the modem loops: a reload starts, stops and restarts exactly the modems that
// changed; SIGHUP rereads the file and SIGTERM stops cleanly; the built-in simulated modem works
// with nothing else given.
#include <gtest/gtest.h>
#include <signal.h>

#include <fstream>
#include <mutex>

#include "fakes.hpp"
#include "gateway.hpp"
#include "pool_harness.hpp"
#include "store/schema.hpp"
#include "store/sqlite_db.hpp"

namespace quandelstk::gateway::testing {
namespace {

// A modem that is always fine, in real time (the gateway's threads run for real here).
class IdleLink final : public ModemLink {
 public:
  std::string Open() override { return ""; }
  void Close() override {}
  bool Alive() override { return true; }
  messages::SendResult Send(const std::string&, const std::string&, const messages::SendOptions&, int,
                            const PartSent&) override {
    return {};
  }
  std::vector<messages::AssembledMessage> List() override { return {}; }
  bool Delete(int, const std::string&) override { return true; }
  ModemStatus Status() override { return {}; }
  void Idle(std::int64_t ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
};

std::map<std::string, std::string> States(Store& store) {
  std::map<std::string, std::string> out;
  for (const ModemRecord& r : store.Modems()) out[r.name] = r.state;
  return out;
}

Config Quick(const TempDir& dir, std::vector<ModemConfig> modems) {
  Config config;
  config.name = "gw";
  config.store = "sqlite:" + dir.path() + "/g.db";
  config.timing.idle_ms = config.timing.backoff_first_ms = 10;
  config.timing.backoff_max_ms = 40;
  config.modems = std::move(modems);
  return config;
}

TEST(Gateway, AReloadTouchesOnlyTheModemsThatChanged) {
  TempDir dir;
  const Config config = Quick(dir, {{"a", "/dev/a", "", 0}, {"b", "/dev/b", "", 0}});
  std::mutex mutex;
  std::map<std::string, int> made;
  SystemClock clock;
  Gateway gateway(config, clock, [&](const ModemConfig& m, std::int16_t) {
    std::lock_guard<std::mutex> lock(mutex);
    ++made[m.name];
    return std::make_unique<IdleLink>();
  });
  auto store = OpenStore(config.store);
  auto states_are = [&](std::map<std::string, std::string> want) {
    return WaitFor([&] { return States(*store) == want; }, 60000);
  };
  gateway.Start();
  ASSERT_TRUE(states_are({{"a", "ready"}, {"b", "ready"}}));

  auto made_are = [&](std::map<std::string, int> want) {
    std::lock_guard<std::mutex> lock(mutex);
    EXPECT_EQ(made, want);
  };
  gateway.Reload({{"b", "/dev/b", "", 0}, {"c", "/dev/c", "", 0}});
  ASSERT_TRUE(states_are({{"a", "stopped"}, {"b", "ready"}, {"c", "ready"}}));
  made_are({{"a", 1}, {"b", 1}, {"c", 1}});
  gateway.Reload({{"b", "/dev/b", "", 30}});  // a new limit: b starts again with it
  ASSERT_TRUE(states_are({{"a", "stopped"}, {"b", "ready"}, {"c", "stopped"}}));
  made_are({{"a", 1}, {"b", 2}, {"c", 1}});
  ASSERT_EQ(gateway.Modems().size(), 1u);
  EXPECT_EQ(gateway.Modems()[0].name, "b");
  gateway.Stop();
  EXPECT_TRUE(states_are({{"a", "stopped"}, {"b", "stopped"}, {"c", "stopped"}}));
}

// A store the modem threads cannot use at first (a schema newer than this program): each thread
// says so, waits and tries again, and runs its modem once the store is right.
TEST(Gateway, AModemThreadOutlivesAStoreThatRefusesIt) {
  TempDir dir;
  const Config config = Quick(dir, {{"a", "/dev/a", "", 0}});
  OpenStore(config.store);
  auto db = OpenSqlite(dir.path() + "/g.db");
  db->Query("UPDATE schema_version SET version = ?", {std::int64_t{SchemaVersion() + 1}});
  SystemClock clock;
  Gateway gateway(config, clock, [](const ModemConfig&, std::int16_t) { return std::make_unique<IdleLink>(); });
  gateway.Start();
  ASSERT_TRUE(WaitFor([&] { return gateway.Modems().at(0).counters->errors >= 3; }, 60000));
  db->Query("UPDATE schema_version SET version = ?", {std::int64_t{SchemaVersion()}});
  auto store = OpenStore(config.store);
  EXPECT_TRUE(WaitFor([&] { return States(*store) == std::map<std::string, std::string>{{"a", "ready"}}; }, 60000));
  gateway.Stop();
}

// SIGTERM while a three-part message is on its way (a second and a half a part): the gateway sends
// the rest, records it, and exits 0.
TEST(Gateway, SigtermFinishesTheMessageInFlight) {
  TempDir dir;
  quandelstk::testing::SimProcess sim(kSlowScenario, false, {"--journal", dir.path() + "/journal.jsonl"});
  const std::string url = "sqlite:" + dir.path() + "/g.db";
  auto store = OpenStore(url);
  const std::int64_t id = store->Enqueue(Msg("+15550100999", std::string(400, 't'), 3), 0);
  GatewayProcess gateway(WriteConfig(dir.path(), "gw", url, {{"m1", sim.DevicePath()}}, 30), dir.path() + "/gw.log");
  ASSERT_TRUE(WaitFor([&] { return store->Get(id)->state == kSending; }, 60000));
  EXPECT_EQ(gateway.Terminate(), 0);
  const OutgoingRecord r = *store->Get(id);
  EXPECT_EQ(r.state, kSent);
  EXPECT_EQ(r.part_records.size(), 3u);
  sim.Stop();
  std::ifstream journal(dir.path() + "/journal.jsonl");
  int lines = 0;
  for (std::string line; std::getline(journal, line);) ++lines;
  EXPECT_EQ(lines, 3);
}

void WriteModems(const std::string& path, const std::string& store, const std::vector<std::string>& names) {
  std::ofstream f(path);
  f << "name = \"hup\"\nstore = \"" << store << "\"\n[queue]\nidle_seconds = 0.05\nread_every_seconds = 0.2\n";
  for (const std::string& n : names) f << "[[modem]]\nname = \"" << n << "\"\ndevice = \"sim\"\n";
}

TEST(Gateway, SighupRereadsTheModemsAndSigtermStopsWithEverythingRecorded) {
  TempDir dir;
  const std::string store_url = "sqlite:" + dir.path() + "/g.db";
  const std::string config = dir.path() + "/gw.toml";
  WriteModems(config, store_url, {"one"});
  auto store = OpenStore(store_url);
  // To the built-in simulated modem's own number: it comes back.
  const std::int64_t id = store->Enqueue(Msg("+15550100999", "over and back 🔁", 1, true), 0);

  GatewayProcess gateway(config, dir.path() + "/gw.log");
  ASSERT_TRUE(WaitFor([&] { return States(*store) == std::map<std::string, std::string>{{"one", "ready"}}; }, 60000));
  ASSERT_TRUE(WaitFor([&] { return store->Get(id)->state == kDelivered && store->Inbox(10).size() == 1; }, 60000))
      << store->Get(id)->state;
  EXPECT_EQ(store->Inbox(10)[0].text, "over and back 🔁");

  WriteModems(config, store_url, {"one", "two"});
  gateway.Signal(SIGHUP);
  EXPECT_TRUE(WaitFor(
      [&] { return States(*store) == std::map<std::string, std::string>{{"one", "ready"}, {"two", "ready"}}; },
      60000));
  EXPECT_EQ(gateway.Terminate(), 0);
  EXPECT_EQ(States(*store), (std::map<std::string, std::string>{{"one", "stopped"}, {"two", "stopped"}}));
}

}  // namespace
}  // namespace quandelstk::gateway::testing
