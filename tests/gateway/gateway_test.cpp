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

namespace quandelstk::gateway::testing {
namespace {

// A modem that is always fine, in real time (the gateway's threads run for real here).
class IdleLink final : public ModemLink {
 public:
  std::string Open() override { return ""; }
  void Close() override {}
  bool Alive() override { return true; }
  messages::SendResult Send(const std::string&, const std::string&, const messages::SendOptions&, int) override {
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

TEST(Gateway, AReloadTouchesOnlyTheModemsThatChanged) {
  TempDir dir;
  Config config;
  config.name = "gw";
  config.store = "sqlite:" + dir.path() + "/g.db";
  config.timing.idle_ms = 10;
  config.modems = {{"a", "/dev/a", "", 0}, {"b", "/dev/b", "", 0}};
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

  gateway.Reload({{"b", "/dev/b", "", 0}, {"c", "/dev/c", "", 0}});
  ASSERT_TRUE(states_are({{"a", "stopped"}, {"b", "ready"}, {"c", "ready"}}));
  {
    std::lock_guard<std::mutex> lock(mutex);
    EXPECT_EQ(made, (std::map<std::string, int>{{"a", 1}, {"b", 1}, {"c", 1}}));
  }

  gateway.Reload({{"b", "/dev/b", "", 30}});  // a new limit: b starts again with it
  ASSERT_TRUE(states_are({{"a", "stopped"}, {"b", "ready"}, {"c", "stopped"}}));
  {
    std::lock_guard<std::mutex> lock(mutex);
    EXPECT_EQ(made, (std::map<std::string, int>{{"a", 1}, {"b", 2}, {"c", 1}}));
  }
  ASSERT_EQ(gateway.Modems().size(), 1u);
  EXPECT_EQ(gateway.Modems()[0].name, "b");
  gateway.Stop();
  EXPECT_TRUE(states_are({{"a", "stopped"}, {"b", "stopped"}, {"c", "stopped"}}));
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
  NewMessage m;
  m.to = "+15550100999";  // the built-in simulated modem's own number: it comes back
  m.text = "over and back 🔁";
  m.report = true;
  const std::int64_t id = store->Enqueue(m, 0);

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
