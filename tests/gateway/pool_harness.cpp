#include "pool_harness.hpp"

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <algorithm>
#include <set>
#include <thread>

#include "quandelstk/messages.hpp"
#include "submit.hpp"

namespace quandelstk::gateway::testing {

using quandelstk::testing::BackgroundProgram;
using quandelstk::testing::SimProcess;

Simulators StartSimulators(int n, const std::string& folder, int slow) {
  Simulators s;
  for (int i = 0; i < n; ++i) {
    s.journals.push_back(folder + "/journal-" + std::to_string(i) + ".jsonl");
    s.sims.push_back(std::make_unique<SimProcess>(i < slow ? kSlowScenario : kFastScenario, false,
                                                  std::vector<std::string>{"--journal", s.journals.back()}));
  }
  return s;
}

namespace {

std::string Text(int i) {
  const std::string n = std::to_string(i);
  if (i % 4 == 0) return "order " + n + " is ready [ok] {5€}";
  if (i % 4 == 2) return "emoji " + n + " 😀👍 ✓";
  const bool plain = i % 4 == 1;
  std::string t = (plain ? "long " : "long emoji ") + n + ":";
  while (t.size() < (plain ? 230u : 160u)) t += plain ? " the quick brown fox jumps over the lazy dog " + n : " 🎉 party " + n;
  return t;
}

}  // namespace

std::vector<std::int64_t> QueueMix(Store& store, int count, std::int64_t now_ms) {
  std::vector<std::int64_t> ids;
  for (int i = 0; i < count; ++i) {
    NewMessage m;
    m.to = "+15550100999";
    m.text = Text(i);
    m.report = true;
    m.parts = messages::Plan(m.text, SendOptionsFor(true, 0)).parts;
    ids.push_back(store.Enqueue(m, now_ms));
  }
  return ids;
}

GatewayProcess::GatewayProcess(const std::string& config_path, const std::string& log_path) {
  const std::string command = std::string("exec '") + QSTK_BIN_DIR + "/quandelstk-gateway' --config '" +
                              config_path + "' 2>>'" + log_path + "'";
  program_ = std::make_unique<BackgroundProgram>(std::vector<std::string>{"sh", "-c", command});
}

GatewayProcess::~GatewayProcess() {
  if (program_) Terminate();
}

void GatewayProcess::Signal(int signal) {
  program_->Signal(signal);
}

void GatewayProcess::Kill() {
  program_->Signal(SIGKILL);
  program_->Finish(10000);
  program_.reset();
}

int GatewayProcess::Terminate() {
  program_->Signal(SIGTERM);
  const int code = program_->Finish(60000).exit_code;
  program_.reset();
  return code;
}

std::string WriteConfig(const std::string& folder, const std::string& name, const std::string& store_url,
                        const std::vector<std::pair<std::string, std::string>>& modems, double lease_seconds) {
  const std::string path = folder + "/" + name + ".toml";
  std::ofstream f(path);
  f << "name = \"" << name << "\"\nstore = \"" << store_url << "\"\n"
    << "[queue]\nlease_seconds = " << lease_seconds
    << "\nidle_seconds = 0.05\nread_every_seconds = 0.3\nstatus_every_seconds = 1\n"
       "backoff_first_seconds = 0.2\nbackoff_max_seconds = 1\nretry_seconds = 0.5\npart_wait_seconds = 30\n";
  for (const auto& [modem, device] : modems)
    f << "[[modem]]\nname = \"" << modem << "\"\ndevice = \"" << device << "\"\n";
  return path;
}

bool RunningAlone() {
  return std::getenv("QSTK_GATEWAY_POOL") != nullptr;
}

std::int64_t Now() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::string ReadFile(const std::string& path, std::size_t tail) {
  std::ifstream f(path);
  std::string all((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  return tail && all.size() > tail ? all.substr(all.size() - tail) : all;
}

bool WaitFor(const std::function<bool()>& done, int timeout_ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (std::chrono::steady_clock::now() < end) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return done();
}

Outcome ReadJournals(Simulators& sims, Store& store, const std::vector<std::int64_t>& ids) {
  // Every part of every queued message, by what the simulator records of it.
  std::map<std::tuple<int, int, std::string>, std::pair<std::int64_t, int>> parts;  // (ref, seq, text)
  std::map<std::int64_t, int> totals;
  for (const std::int64_t id : ids) {
    const OutgoingRecord m = *store.Get(id);
    const auto encoded =
        messages::EncodeSubmit(m.to, m.text, SendOptionsFor(m.report, m.concat_reference), m.concat_reference);
    totals[id] = static_cast<int>(encoded.size());
    for (const auto& p : encoded)
      parts[{encoded.size() > 1 ? m.concat_reference : -1, encoded.size() > 1 ? p.sequence : 0, p.text}] = {id, p.sequence};
  }
  std::map<std::pair<std::int64_t, int>, int> seen;
  Outcome out;
  for (std::size_t i = 0; i < sims.sims.size(); ++i) {
    sims.sims[i]->Stop();
    std::ifstream f(sims.journals[i]);
    EXPECT_TRUE(f.good()) << "no journal " << sims.journals[i];
    for (std::string line; std::getline(f, line);) {
      const auto j = nlohmann::json::parse(line);
      const bool concat = j.contains("concat");
      const auto key = std::make_tuple(concat ? j["concat"]["reference"].get<int>() : -1,
                                       concat ? j["concat"]["sequence"].get<int>() : 0, j["text"].get<std::string>());
      const auto it = parts.find(key);
      if (it == parts.end()) {
        ++out.unknown_parts;
        continue;
      }
      ++seen[it->second];
    }
  }
  for (const std::int64_t id : ids) {
    out.sends[id] = out.least[id] = seen[{id, 1}];
    for (int p = 2; p <= totals[id]; ++p) {
      out.sends[id] = std::max(out.sends[id], seen[{id, p}]);
      out.least[id] = std::min(out.least[id], seen[{id, p}]);
    }
  }
  return out;
}

std::vector<std::int64_t> SentAgainAfterACrash(Store& store, const std::vector<std::int64_t>& ids,
                                               const std::set<std::string>& killed) {
  std::vector<std::int64_t> out;
  for (const std::int64_t id : ids)
    for (const EventRecord& e : store.Events(id)) {
      bool from_the_dead = false;
      for (const std::string& k : killed)
        from_the_dead |= (e.kind == "released" && e.gateway == k) ||
                         (e.kind == "taken-over" && e.detail.find("the lease of " + k + " ") != std::string::npos);
      if (from_the_dead) {
        out.push_back(id);
        break;
      }
    }
  return out;
}

std::vector<std::int64_t> CheckEveryMessage(Simulators& sims, Store& store, const std::vector<std::int64_t>& ids,
                                            const std::set<std::string>& killed) {
  const Outcome out = ReadJournals(sims, store, ids);
  EXPECT_EQ(out.unknown_parts, 0);
  const std::vector<std::int64_t> window = SentAgainAfterACrash(store, ids, killed);
  std::map<std::string, int> inbox;
  std::size_t copies = 0;
  for (const IncomingRecord& m : store.Inbox(static_cast<int>(ids.size()) * 4)) {
    EXPECT_TRUE(m.complete) << m.text;
    EXPECT_EQ(m.from, "+15550100999");
    ++inbox[m.text];
    ++copies;
  }
  int sends = 0;
  for (const std::int64_t id : ids) {
    const bool in_window = std::find(window.begin(), window.end(), id) != window.end();
    EXPECT_GE(out.least.at(id), 1) << "message " << id << " did not go out whole";
    EXPECT_LE(out.sends.at(id), in_window ? 2 : 1) << "message " << id << " went out more than once";
    sends += out.sends.at(id);
    const OutgoingRecord m = *store.Get(id);
    EXPECT_EQ(m.state, kDelivered) << "message " << id;
    EXPECT_EQ(static_cast<int>(m.part_records.size()), m.parts) << "message " << id;
    for (const PartRecord& p : m.part_records) EXPECT_EQ(p.status, "delivered") << "message " << id;
    EXPECT_EQ(static_cast<int>(store.Reports(id).size()), m.parts) << "message " << id;
    // Each copy that came back is whole: a copy sent again carries the same concatenation
    // reference, so the parts of a send cut short join the next one's.
    EXPECT_GE(inbox[m.text], 1) << "message " << id;
    EXPECT_LE(inbox[m.text], out.sends.at(id)) << "message " << id;
  }
  EXPECT_LE(copies, static_cast<std::size_t>(sends));
  return window;
}

std::set<std::string> Claimants(Store& store, const std::string& gateway_name) {
  std::set<std::string> out;
  for (const ModemRecord& r : store.Modems())
    if (GatewayOf(r.gateway) == gateway_name) out.insert(r.gateway);
  return out;
}

}  // namespace quandelstk::gateway::testing
