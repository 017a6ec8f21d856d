// One modem's loop, on its own thread: initialise, then send what is due, store what came in and
// delete it from the SIM only once stored, refresh the modem's row; re-initialise with back-off
// when the modem stops answering, its claims released to the others.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "clock.hpp"
#include "modem_link.hpp"
#include "store/store.hpp"

namespace quandelstk::gateway {

struct Timing {
  std::int64_t lease_ms = 300000;          // a claim's life, renewed as each part goes: longer than one part
  std::int64_t idle_ms = 1000;             // the pause when there is nothing to do
  std::int64_t list_every_ms = 5000;       // how often the SIM is read
  std::int64_t status_every_ms = 30000;    // how often the modem's row is refreshed
  std::int64_t backoff_first_ms = 2000;    // the first wait before initialising again
  std::int64_t backoff_max_ms = 300000;
  std::int64_t retry_ms = 60000;           // a refused message waits this long before the next try
  int max_attempts = 5;
  std::int64_t part_wait_ms = 300000;      // an incomplete long message is stored as such after this
  std::int64_t store_retry_ms = 1000;      // the first wait when the store cannot be reached
  friend bool operator==(const Timing&, const Timing&) = default;
};

// Counters for /metrics, shared with the HTTP thread.
struct ModemCounters {
  std::atomic<std::int64_t> sent{0}, received{0}, reports{0}, errors{0}, inits{0};
  std::atomic<int> signal{99};
  std::atomic<bool> ready{false};
};

class Worker {
 public:
  // claimant: this process's ClaimantId, which owns its claims and modem rows.
  Worker(ModemConfig modem, std::string claimant, Timing timing, Store& store, ModemLink& link, Clock& clock,
         ModemCounters& counters);

  // Runs until stop: a message in flight is finished and recorded first.
  void Run(const std::atomic<bool>& stop);
  // One round; returns whether it did anything (the loop pauses when not). Exposed for tests.
  bool Round();
  bool Ready() const { return ready_; }
  std::int64_t NextInitMs() const { return next_init_ms_; }
  std::int64_t Backoff() const { return backoff_ms_; }
  // Observes each send's latency in seconds (for the histogram).
  std::function<void(double)> on_latency;

 private:
  bool TakeModemRow();
  void Initialise();
  void Down(const std::string& why);
  bool SendDue();
  void Collect();
  void RefreshStatus(const std::string& state);
  // Runs f until the store takes it (a lost database is waited out), or stop + a grace period.
  // after_send: what the modem sent is being recorded, and a refused statement is tried again too.
  template <typename F>
  bool Persist(F&& f, bool after_send = false);
  bool WaitToPersist(std::int64_t& wait, std::int64_t& stopping_since);

  ModemConfig modem_;
  std::string gateway_;
  Timing timing_;
  Store& store_;
  ModemLink& link_;
  Clock& clock_;
  ModemCounters& counters_;
  const std::atomic<bool>* stop_ = nullptr;
  std::atomic<bool> never_{false};

  bool ready_ = false;
  bool row_lost_ = false;  // another live process took the modem's row
  std::int64_t backoff_ms_ = 0;
  std::int64_t next_init_ms_ = 0;
  std::int64_t ready_since_ms_ = 0;
  std::int64_t next_list_ms_ = 0;
  std::int64_t next_status_ms_ = 0;
  std::int64_t next_send_ms_ = 0;
  std::string last_error_;
  std::map<std::string, std::int64_t> first_seen_;  // incomplete messages on the SIM, by key
};

}  // namespace quandelstk::gateway
