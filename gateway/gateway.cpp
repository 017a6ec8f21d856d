#include "gateway.hpp"

#include <algorithm>

#include "log.hpp"

namespace quandelstk::gateway {

void LatencyHistogram::Observe(double seconds) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (std::size_t i = 0; i < kBounds.size(); ++i)
    if (seconds <= kBounds[i]) ++s_.cumulative[i];
  ++s_.count;
  s_.sum += seconds;
}

LatencyHistogram::Snapshot LatencyHistogram::Take() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return s_;
}

Gateway::Gateway(Config config, Clock& clock, LinkFactory factory)
    : config_(std::move(config)), claimant_(ClaimantId(config_.name)), clock_(clock), factory_(std::move(factory)) {}

Gateway::~Gateway() {
  Stop();
}

void Gateway::Start() {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const ModemConfig& m : config_.modems) Launch(m);
}

void Gateway::Launch(const ModemConfig& m) {
  auto r = std::make_unique<Running>();
  r->config = m;
  Running& ref = *r;
  running_[m.name] = std::move(r);
  ref.thread = std::thread([this, &ref] { Body(ref); });
}

// The modem's thread lives as long as the modem is configured: whatever stops its loop (a store
// that cannot be opened or refuses a statement, a device that is not there yet) is logged, waited
// out with back-off, and the loop starts again on a fresh connection.
void Gateway::Body(Running& r) {
  std::int16_t port = 1;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    port = next_port_++;
  }
  std::unique_ptr<ModemLink> link;
  std::int64_t wait = config_.timing.backoff_first_ms;
  while (!r.stop) {
    std::string why;
    try {
      std::unique_ptr<Store> store = OpenStore(config_.store);
      if (!link) link = factory_(r.config, port);
      Worker worker(r.config, claimant_, config_.timing, *store, *link, clock_, r.counters);
      worker.on_latency = [this](double s) { latency_.Observe(s); };
      worker.Run(r.stop);
      Log("modem " + r.config.name + ": stopped");
      return;
    } catch (const std::exception& e) {
      why = e.what();
    }
    ++r.counters.errors;
    Log("modem " + r.config.name + ": " + why + "; starting again in " + std::to_string(wait) + " ms");
    clock_.Sleep(wait, r.stop);
    wait = std::min<std::int64_t>(wait * 2, std::max<std::int64_t>(config_.timing.backoff_max_ms, wait));
  }
}

void Gateway::Reload(const std::vector<ModemConfig>& modems) {
  std::vector<std::unique_ptr<Running>> stopping;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    std::map<std::string, const ModemConfig*> wanted;
    for (const ModemConfig& m : modems) wanted[m.name] = &m;
    for (auto it = running_.begin(); it != running_.end();) {
      const auto w = wanted.find(it->first);
      if (w == wanted.end() || !(*w->second == it->second->config)) {
        it->second->stop = true;
        stopping.push_back(std::move(it->second));
        it = running_.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (auto& r : stopping) {
    r->thread.join();
    Log("modem " + r->config.name + ": removed by the reload");
  }
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto& r : stopping) retired_.push_back(std::move(r));
  for (const ModemConfig& m : modems)
    if (!running_.count(m.name)) {
      Log("modem " + m.name + ": added by the reload");
      Launch(m);
    }
  config_.modems = modems;
}

void Gateway::Stop() {
  std::vector<Running*> all;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& [name, r] : running_) {
      r->stop = true;
      all.push_back(r.get());
    }
  }
  for (Running* r : all)
    if (r->thread.joinable()) r->thread.join();
}

std::vector<Gateway::ModemView> Gateway::Modems() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<ModemView> out;
  for (auto& [name, r] : running_) out.push_back({name, &r->counters});
  return out;
}

}  // namespace quandelstk::gateway
