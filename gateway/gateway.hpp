// The process: one thread per modem, each with its own session, store connection and loop.
#pragma once

#include <array>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "clock.hpp"
#include "config.hpp"
#include "worker.hpp"

namespace quandelstk::gateway {

// Send latency in seconds, as a Prometheus histogram.
class LatencyHistogram {
 public:
  static constexpr std::array<double, 8> kBounds{0.25, 0.5, 1, 2, 5, 10, 30, 60};
  void Observe(double seconds);
  struct Snapshot {
    std::array<std::int64_t, kBounds.size()> cumulative{};
    std::int64_t count = 0;
    double sum = 0;
  };
  Snapshot Take() const;

 private:
  mutable std::mutex mutex_;
  Snapshot s_;
};

using LinkFactory = std::function<std::unique_ptr<ModemLink>(const ModemConfig&, std::int16_t port)>;

class Gateway {
 public:
  Gateway(Config config, Clock& clock, LinkFactory factory = MakeLibraryLink);
  ~Gateway();

  void Start();
  // Starts modems that are new or changed, stops those removed or changed (each finishes its
  // message in flight); the others go on untouched.
  void Reload(const std::vector<ModemConfig>& modems);
  // Stops every modem after its message in flight.
  void Stop();

  const Config& config() const { return config_; }
  // This process's own name in the store: its claims and modem rows.
  const std::string& claimant() const { return claimant_; }
  LatencyHistogram& latency() { return latency_; }
  struct ModemView {
    std::string name;
    const ModemCounters* counters;
  };
  // For /metrics: the running modems and their counters (valid while the gateway runs).
  std::vector<ModemView> Modems();

 private:
  struct Running {
    ModemConfig config;
    std::atomic<bool> stop{false};
    ModemCounters counters;
    std::thread thread;
  };
  void Launch(const ModemConfig& m);
  void Body(Running& r);

  Config config_;
  std::string claimant_;
  Clock& clock_;
  LinkFactory factory_;
  LatencyHistogram latency_;
  std::mutex mutex_;
  std::map<std::string, std::unique_ptr<Running>> running_;
  std::vector<std::unique_ptr<Running>> retired_;  // counters still read by /metrics after a reload
  std::int16_t next_port_ = 200;                   // device paths enter the port table from here
};

}  // namespace quandelstk::gateway
