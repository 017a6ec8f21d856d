// quandelstk-gateway's throughput: the store alone (queue -> claim -> sent, the bookkeeping of
// every message, no modem) on SQLite and PostgreSQL, then the whole gateway end to end with 8
// simulated modems on pseudo-terminals.
//
//   gateway_bench [--messages N] [--pg URL]
//
// Without --pg it makes a PostgreSQL cluster of its own in a temporary folder when the server is
// installed. Figures are messages per second of wall time; they depend on the disk (SQLite commits
// with synchronous=FULL) and on the machine's load.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "gateway/pg_cluster.hpp"
#include "gateway/pool_harness.hpp"
#include "quandelstk/messages.hpp"
#include "store/store.hpp"

using namespace quandelstk::gateway;
using Steady = std::chrono::steady_clock;

namespace {

double Seconds(Steady::time_point since) {
  return std::chrono::duration<double>(Steady::now() - since).count();
}

std::int64_t WallMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// n messages queued, then claimed and recorded as sent by `workers` threads, each its own connection
// (as the gateway's modem threads are).
void StoreAlone(const std::string& label, const std::string& url, int n, int workers) {
  {
    auto store = OpenStore(url);
    NewMessage m;
    m.to = "+15550100999";
    m.text = "bench";
    const auto t0 = Steady::now();
    for (int i = 0; i < n; ++i) store->Enqueue(m, WallMs());
    const double s = Seconds(t0);
    std::printf("%-11s enqueue                     %6d messages  %7.0f messages/s\n", label.c_str(), n, n / s);
  }
  const auto t0 = Steady::now();
  std::vector<std::thread> threads;
  std::vector<int> done(static_cast<std::size_t>(workers));
  for (int w = 0; w < workers; ++w)
    threads.emplace_back([&, w] {
      auto store = OpenStore(url);
      // A busy database (SQLite's lock past its wait, a lost connection) is waited out and the
      // call tried again, as the gateway's modem threads do: the claim or the record is not lost.
      const auto retrying = [](auto&& call) {
        for (int wait_ms = 1;; wait_ms = std::min(wait_ms * 2, 1000)) {
          try {
            return call();
          } catch (const StoreUnavailable&) {
            std::this_thread::sleep_for(std::chrono::milliseconds(wait_ms));
          }
        }
      };
      for (;;) {
        const auto claims = retrying([&] { return store->Claim("bench", "m" + std::to_string(w), WallMs(), 60000, 1); });
        if (claims.empty()) break;
        retrying([&] { return store->MarkSent(claims[0].id, claims[0].claim_token, {w}, WallMs()); });
        ++done[static_cast<std::size_t>(w)];
      }
    });
  for (auto& t : threads) t.join();
  const double s = Seconds(t0);
  int total = 0;
  for (const int d : done) total += d;
  std::printf("%-11s claim + sent, %d connection%s  %6d messages  %7.0f messages/s\n", label.c_str(), workers,
              workers == 1 ? " " : "s", total, total / s);
}

void EndToEnd(int n) {
  testing::TempDir dir;
  const std::string url = "sqlite:" + dir.path() + "/gateway.db";
  auto store = OpenStore(url);
  NewMessage m;
  m.to = "+15550100999";
  m.report = true;
  for (int i = 0; i < n; ++i) {
    m.text = "end to end " + std::to_string(i);
    store->Enqueue(m, WallMs());
  }
  testing::Simulators sims = testing::StartSimulators(8, dir.path());
  std::vector<std::pair<std::string, std::string>> modems;
  for (std::size_t i = 0; i < sims.sims.size(); ++i)
    modems.emplace_back("sim" + std::to_string(i + 1), sims.sims[i]->DevicePath());
  const std::string config = testing::WriteConfig(dir.path(), "bench", url, modems, 60);
  testing::GatewayProcess gateway(config, dir.path() + "/gateway.log");
  // Time from the first message sent: the modems' initialisation (a few seconds) is left out.
  testing::WaitFor([&] { return store->CountByState().at(kQueued) < n; }, 60000);
  const auto t0 = Steady::now();
  const int first = static_cast<int>(n - store->CountByState().at(kQueued));
  testing::WaitFor([&] { return store->CountByState().at(kQueued) + store->CountByState().at(kSending) == 0; },
                   600000);
  const double sent_s = Seconds(t0);
  testing::WaitFor([&] { return store->CountByState().at(kDelivered) == n; }, 600000);
  const double delivered_s = Seconds(t0);
  gateway.Terminate();
  std::printf("end to end  8 simulated modems, SQLite      %6d messages  %7.1f sent/s, %.1f delivered/s "
              "(report matched)\n",
              n, (n - first) / sent_s, (n - first) / delivered_s);
}

}  // namespace

int main(int argc, char** argv) {
  int n = 2000;
  std::string pg;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--messages")) n = std::atoi(argv[i + 1]);
    if (!std::strcmp(argv[i], "--pg")) pg = argv[i + 1];
  }
  testing::TempDir dir;
  StoreAlone("SQLite", "sqlite:" + dir.path() + "/one.db", n, 1);
  StoreAlone("SQLite", "sqlite:" + dir.path() + "/four.db", n, 4);
  std::unique_ptr<testing::PgCluster> cluster;
  if (pg.empty()) {
    cluster = std::make_unique<testing::PgCluster>();
    if (cluster->Available()) pg = cluster->Url();
  }
  if (!pg.empty()) {
    StoreAlone("PostgreSQL", pg, n, 1);
    StoreAlone("PostgreSQL", pg, n, 4);
  } else {
    std::printf("PostgreSQL  not installed: no figures\n");
  }
  EndToEnd(n / 5);
  return 0;
}
