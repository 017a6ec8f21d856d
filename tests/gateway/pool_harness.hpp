// Gateways as separate processes on simulated modems on pseudo-terminals, and the checks of what
// went out (the simulators' journals) against what the store says.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "store/store.hpp"
#include "support/sim_process.hpp"

namespace quandelstk::gateway::testing {

// Fast settings: no echo (the library's send then ends on the final OK at once), big storages,
// loopback and reports within a fraction of a second.
inline constexpr const char* kFastScenario =
    R"({"echo": false, "sms": {"capacity": {"SM": 255, "SR": 255}, "loopback_delay_ms": 150,
        "report_delay_ms": 250}})";

struct Simulators {
  std::vector<std::unique_ptr<quandelstk::testing::SimProcess>> sims;
  std::vector<std::string> journals;  // written by each simulator when it stops
};
// The fast settings, but the prompt for each part takes a second and a half: a gateway on such
// modems is nearly always in the middle of a send.
inline constexpr const char* kSlowScenario =
    R"({"echo": false, "sms": {"capacity": {"SM": 255, "SR": 255}, "loopback_delay_ms": 150,
        "report_delay_ms": 250}, "delays": {"AT+CMGS=*": 1500}})";

// n simulators, their journals in folder; the first slow ones with kSlowScenario.
Simulators StartSimulators(int n, const std::string& folder, int slow = 0);

// count messages to the simulators' own number: short, long, emoji and long emoji in turn, each
// text unique, every one asking for a status report.
std::vector<std::int64_t> QueueMix(Store& store, int count, std::int64_t now_ms);

class GatewayProcess {
 public:
  GatewayProcess(const std::string& config_path, const std::string& log_path);
  ~GatewayProcess();
  void Signal(int signal);
  void Kill();        // SIGKILL
  int Terminate();    // SIGTERM, then its exit code
 private:
  std::unique_ptr<quandelstk::testing::BackgroundProgram> program_;
};

// Writes a gateway config with fast timings for these modems.
std::string WriteConfig(const std::string& folder, const std::string& name, const std::string& store_url,
                        const std::vector<std::pair<std::string, std::string>>& modems,  // name, device
                        double lease_seconds);

// True when the gateway.pool test runs this one: these tests load both cores for half a minute, so
// they run alone, not among the others (their copies found by discovery skip).
bool RunningAlone();

// Wall-clock time, ms since the epoch.
std::int64_t Now();
// A file's text, only its last tail bytes when tail is not 0.
std::string ReadFile(const std::string& path, std::size_t tail = 0);

// Polls until done() or timeout (a wait for processes, not a timing check).
bool WaitFor(const std::function<bool()>& done, int timeout_ms);

struct Outcome {
  std::map<std::int64_t, int> sends;  // message id -> how many times its most sent part went out
  std::map<std::int64_t, int> least;  // message id -> how many times its least sent part went out
  int unknown_parts = 0;              // journal entries that are none of the queued messages
};
// Stops the simulators and reads their journals.
Outcome ReadJournals(Simulators& sims, Store& store,
                     const std::vector<std::int64_t>& ids);

// Messages whose history shows they were in the at-least-once window: their claim held by one of
// the killed processes (claimant ids) when it died, then released or taken over.
std::vector<std::int64_t> SentAgainAfterACrash(Store& store, const std::vector<std::int64_t>& ids,
                                               const std::set<std::string>& killed);
// What went out (every part of every message, each once but for those in the window of a killed
// process) and what came back (each text whole in the inbox, every part's report matched).
// Stops the simulators; returns the messages in the window.
std::vector<std::int64_t> CheckEveryMessage(Simulators& sims, Store& store, const std::vector<std::int64_t>& ids,
                                            const std::set<std::string>& killed);
// The claimant ids of that gateway name's processes, as its modem rows show them.
std::set<std::string> Claimants(Store& store, const std::string& gateway_name);

}  // namespace quandelstk::gateway::testing
