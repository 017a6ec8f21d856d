// A virtual clock, a scripted modem and a store that can be made unreachable: the gateway's loop
// in virtual time, in microseconds.
#pragma once

#include <deque>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "clock.hpp"
#include "modem_link.hpp"
#include "quandelstk/errors.hpp"
#include "store/db.hpp"
#include "store/store.hpp"

// The tests build records with designated initializers: the members left out take their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace quandelstk::gateway::testing {

class VirtualClock final : public Clock {
 public:
  std::int64_t now = 1'800'000'000'000;  // 2027
  std::int64_t NowMs() override { return now; }
  void Sleep(std::int64_t ms, const std::atomic<bool>&) override { now += ms; }
};

class FakeLink final : public ModemLink {
 public:
  explicit FakeLink(VirtualClock& clock) : clock_(&clock) {}
  std::deque<std::string> open_results;  // "" ok; empty deque: ok
  bool alive = true;
  std::vector<messages::AssembledMessage> stored;  // what List returns (minus deleted indexes)
  bool list_throws = false;
  std::vector<std::pair<std::string, std::string>> sent;  // to, text
  std::vector<std::pair<std::string, int>> deleted;      // storage, index
  std::vector<std::int64_t> open_times;
  int next_reference = 0;
  std::int64_t send_ms = 100;  // virtual time each part takes
  std::function<void(int part)> after_part;  // after each part, before the gateway hears of it (may throw)

  std::string Open() override {
    open_times.push_back(clock_->now);
    if (open_results.empty()) return "";
    std::string r = open_results.front();
    open_results.pop_front();
    return r;
  }
  void Close() override {}
  bool Alive() override { return alive; }
  messages::SendResult Send(const std::string& to, const std::string& text, const messages::SendOptions& options,
                            int first_part, const PartSent& on_part) override {
    messages::SendResult r;
    r.plan = messages::Plan(text, options);
    for (int i = first_part; i <= r.plan.parts; ++i) {
      clock_->now += send_ms;
      r.references.push_back(next_reference++ % 256);
      parts_sent.emplace_back(i, options.reference.value_or(-1));
      if (after_part) after_part(i);
      if (on_part && !on_part(i, r.references.back())) return r;
    }
    r.ok = true;
    sent.emplace_back(to, text);
    return r;
  }
  std::vector<std::pair<int, int>> parts_sent;  // part, concatenation reference
  std::vector<messages::AssembledMessage> List() override {
    if (list_throws) throw RuntimeError(5, "the modem refused to list the messages");
    std::vector<messages::AssembledMessage> out;
    for (const auto& m : stored) {
      bool gone = false;
      for (const auto& [storage, index] : deleted)
        if (storage == m.storage && index == m.indexes.front()) gone = true;
      if (!gone) out.push_back(m);
    }
    return out;
  }
  bool Delete(int index, const std::string& storage) override {
    deleted.emplace_back(storage, index);
    return true;
  }
  ModemStatus Status() override { return {21, 1, "Quandel Mobile"}; }
  void Idle(std::int64_t ms) override { clock_->now += ms; }

 private:
  VirtualClock* clock_;
};

inline NewMessage Msg(const std::string& to, const std::string& text, int parts = 1, bool report = false) {
  return {.to = to, .text = text, .report = report, .parts = parts};
}

// How many events of that kind a message's history holds.
inline int Count(Store& store, std::int64_t id, const std::string& kind) {
  int n = 0;
  for (const auto& e : store.Events(id)) n += e.kind == kind;
  return n;
}

// A received message as the messages layer lists it.
inline messages::AssembledMessage Received(int index, const std::string& from, const std::string& text,
                                           bool complete = true) {
  messages::AssembledMessage m;
  m.first.type = messages::MessageType::Deliver;
  m.first.address = from;
  m.first.time = messages::Timestamp{2026, 12, 4, 10, 0, index, 0};
  m.text = text;
  m.complete = complete;
  m.storage = "SM";
  m.indexes = {index};
  return m;
}

inline messages::AssembledMessage Report(int index, const std::string& recipient, int reference, int status) {
  messages::AssembledMessage m;
  m.first.type = messages::MessageType::StatusReport;
  m.first.address = recipient;
  m.first.reference = reference;
  m.first.status = status;
  m.first.time = messages::Timestamp{2026, 12, 4, 10, 0, index, 0};
  m.first.discharge = m.first.time;
  m.storage = "SR";
  m.indexes = {index};
  return m;
}

// A database under the real store that fails the next fail_next statements as unreachable (a
// store call fails at its first one), as a lost connection does; and refuses the first statement
// containing refuse_once with an error that is not a lost connection (a lock timeout, a full disk).
class FlakyDb final : public Db {
 public:
  explicit FlakyDb(std::unique_ptr<Db> inner) : db_(std::move(inner)) {}
  int fail_next = 0;
  std::string refuse_once;
  std::function<void()> on_refusal;  // what the test looks at while the store is away
  void Gate() {
    if (fail_next == 0) return;
    --fail_next;
    if (on_refusal) on_refusal();
    throw StoreUnavailable("the test took the store away");
  }
  Dialect dialect() const override { return db_->dialect(); }
  Rows Query(std::string_view sql, const Params& params) override {
    Gate();
    if (!refuse_once.empty() && sql.find(refuse_once) != std::string_view::npos) {
      refuse_once.clear();
      throw StoreError("canceling statement due to lock timeout");
    }
    return db_->Query(sql, params);
  }
  void Script(std::string_view sql) override {
    Gate();
    db_->Script(sql);
  }
  void Begin() override {
    Gate();
    db_->Begin();
  }
  void Commit() override { db_->Commit(); }
  void Rollback() noexcept override { db_->Rollback(); }
  std::string Describe() const override { return db_->Describe(); }

 private:
  std::unique_ptr<Db> db_;
};

// A fresh folder under the system's temporary folder, removed at the end.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "qstk-gw-XXXXXX").string();
    path_ = mkdtemp(pattern.data());
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace quandelstk::gateway::testing
