#include "worker.hpp"

#include <algorithm>
#include <chrono>

#include "log.hpp"
#include "submit.hpp"
#include "quandelstk/errors.hpp"

namespace quandelstk::gateway {

namespace {

// Long enough to ride out a database restart while stopping; a message sent by then stays
// recorded as sending and is sent again when its lease ends (the at-least-once window).
constexpr std::int64_t kStopGraceMs = 30000;

std::string Fnv(const std::string& text) {
  std::uint64_t h = 1469598103934665603ULL;
  for (const unsigned char c : text) h = (h ^ c) * 1099511628211ULL;
  return std::to_string(h);
}

std::string TimeText(const std::optional<messages::Timestamp>& t) {
  return t ? t->Text() : "";
}

// A centre time stamp as ms since the epoch, UTC.
std::optional<std::int64_t> EpochMs(const std::optional<messages::Timestamp>& t) {
  if (!t) return std::nullopt;
  using namespace std::chrono;
  const sys_days day{year{t->year} / month{static_cast<unsigned>(t->month)} / ::std::chrono::day{static_cast<unsigned>(t->day)}};
  const auto local = day + hours{t->hour} + minutes{t->minute} + seconds{t->second};
  return duration_cast<milliseconds>((local - minutes{t->zone_minutes}).time_since_epoch()).count();
}

}  // namespace

Worker::Worker(ModemConfig modem, std::string gateway, Timing timing, Store& store, ModemLink& link, Clock& clock,
               ModemCounters& counters)
    : modem_(std::move(modem)),
      gateway_(std::move(gateway)),
      timing_(timing),
      store_(store),
      link_(link),
      clock_(clock),
      counters_(counters) {}

template <typename F>
bool Worker::Persist(F&& f, bool after_send) {
  std::int64_t wait = timing_.store_retry_ms;
  std::int64_t stopping_since = -1;
  for (;;) {
    try {
      f();
      return true;
    } catch (const StoreError& e) {
      // A refusal that is not a lost connection (a lock or statement timeout, a full disk, a
      // read-only file): before anything went out it is given up; once the modem took a part,
      // what it sent is recorded whatever it takes, or the message would go out again.
      if (!after_send) throw;
      Log("modem " + modem_.name + ": the store refused the record of what the modem sent, trying again: " +
          e.what());
      ++counters_.errors;
      if (!WaitToPersist(wait, stopping_since)) return false;
    } catch (const StoreUnavailable& e) {
      Log("modem " + modem_.name + ": the store is unavailable, trying again: " + e.what());
      if (!WaitToPersist(wait, stopping_since)) return false;
    }
  }
}

bool Worker::WaitToPersist(std::int64_t& wait, std::int64_t& stopping_since) {
  const std::int64_t now = clock_.NowMs();
  if (stop_ && *stop_) {
    if (stopping_since < 0) stopping_since = now;
    if (now - stopping_since > kStopGraceMs) return false;
  }
  clock_.Sleep(wait, never_);
  wait = std::min<std::int64_t>(wait * 2, 30000);
  return true;
}

void Worker::Run(const std::atomic<bool>& stop) {
  stop_ = &stop;
  while (!stop) {
    const bool did = Round();
    if (did || stop) continue;
    if (ready_) {
      link_.Idle(timing_.idle_ms);
    } else {
      clock_.Sleep(std::clamp<std::int64_t>(next_init_ms_ - clock_.NowMs(), 1, timing_.idle_ms), stop);
    }
  }
  RefreshStatus("stopped");
  link_.Close();
}

bool Worker::Round() {
  const std::int64_t now = clock_.NowMs();
  if (!ready_) {
    if (now < next_init_ms_) return false;
    Initialise();
    return ready_;
  }
  if (row_lost_) {
    row_lost_ = false;
    Down("the modem's row was taken by another gateway process; this one lets the modem go");
    return false;
  }
  if (backoff_ms_ > 0 && now - ready_since_ms_ >= timing_.backoff_max_ms) backoff_ms_ = 0;
  try {
    bool did = false;
    if (now >= next_list_ms_) {
      Collect();
      next_list_ms_ = clock_.NowMs() + timing_.list_every_ms;
    }
    if (ready_) did = SendDue();
    if (ready_ && clock_.NowMs() >= next_status_ms_) {
      const int expired = store_.ExpireDue(clock_.NowMs());
      if (expired > 0) Log(std::to_string(expired) + " message(s) expired before they could be sent");
      RefreshStatus("ready");
      next_status_ms_ = clock_.NowMs() + timing_.status_every_ms;
    }
    return did;
  } catch (const RuntimeError& e) {
    Down(e.what());
  } catch (const StoreUnavailable& e) {
    Log("modem " + modem_.name + ": the store is unavailable: " + e.what());
    clock_.Sleep(timing_.store_retry_ms, stop_ ? *stop_ : never_);
  } catch (const StoreError& e) {
    // A statement the database refused before anything was sent (what the modem sent is recorded
    // by Persist whatever it takes): that transaction was rolled back; say so and go on.
    Log("modem " + modem_.name + ": the store refused: " + e.what());
    ++counters_.errors;
    clock_.Sleep(timing_.store_retry_ms, stop_ ? *stop_ : never_);
  }
  return false;
}

// One live process per modem name. A row still held by a process of this host that is gone (a
// kill, a crash) is taken over, and the claims it left on the modem go back to the queue at once
// rather than when their lease ends.
bool Worker::TakeModemRow() {
  bool taken = false;
  Persist([&] {
    std::string holder;
    for (const ModemRecord& r : store_.Modems())
      if (r.name == modem_.name) holder = r.gateway;
    const bool dead = !holder.empty() && holder != gateway_ && ClaimantIsDeadHere(holder);
    ModemRecord row;
    row.name = modem_.name;
    row.device = modem_.device;
    row.gateway = gateway_;
    row.state = "starting";
    row.last_error = last_error_;
    row.errors = counters_.errors;
    row.sent = counters_.sent;
    row.received = counters_.received;
    row.updated_ms = clock_.NowMs();
    taken = store_.PutModem(row, dead);
    if (!taken) {
      last_error_ = "modem " + modem_.name + " is driven by the live gateway process " + holder +
                    "; give each process its own modem names (or --name)";
      return;
    }
    // Not sending now, so any claim the holder has on this modem is left from a loop that ended.
    // It keeps its place (this modem, about to be ready, goes on from the part not recorded, and
    // the phone joins the parts); the attempt counts, so a message that ends the process each
    // time ends too.
    if (holder.empty()) return;
    const int n = store_.Release(holder, modem_.name,
                                 "the gateway process " + holder + " ended while sending it; it may have reached the network",
                                 clock_.NowMs(), 0, timing_.max_attempts);
    if (n > 0) Log("modem " + modem_.name + ": " + std::to_string(n) + " message(s) in flight at the last stop queued again");
  });
  return taken;
}

void Worker::Initialise() {
  ++counters_.inits;
  if (!TakeModemRow()) {
    Down(last_error_);
    return;
  }
  std::string why;
  try {
    why = link_.Open();
  } catch (const std::exception& e) {
    why = e.what();
  }
  if (!why.empty()) {
    Down("initialisation failed: " + why);
    return;
  }
  ready_ = true;
  counters_.ready = true;
  // The back-off is not reset yet: a modem that goes down again soon after (a message that
  // wedges it) waits longer each time, until it sends or stays up for the longest wait.
  ready_since_ms_ = clock_.NowMs();
  RefreshStatus("ready");
  next_list_ms_ = clock_.NowMs();
  next_status_ms_ = clock_.NowMs() + timing_.status_every_ms;
  Log("modem " + modem_.name + " (" + modem_.device + "): ready");
}

void Worker::Down(const std::string& why) {
  ready_ = false;
  counters_.ready = false;
  ++counters_.errors;
  last_error_ = why;
  backoff_ms_ = backoff_ms_ == 0 ? timing_.backoff_first_ms : std::min(backoff_ms_ * 2, timing_.backoff_max_ms);
  next_init_ms_ = clock_.NowMs() + backoff_ms_;
  Log("modem " + modem_.name + ": " + why + "; initialising again in " + std::to_string(backoff_ms_) + " ms");
  try {
    link_.Close();
  } catch (const std::exception&) {
    // closing a port that is gone
  }
  Persist([&] {
    const int n = store_.Release(gateway_, modem_.name, "modem " + modem_.name + " stopped answering: " + why,
                                 clock_.NowMs(), clock_.NowMs() + timing_.retry_ms, timing_.max_attempts);
    if (n > 0) Log("modem " + modem_.name + ": " + std::to_string(n) + " claim(s) released to the other modems");
  });
  RefreshStatus("down");
}

bool Worker::SendDue() {
  const std::int64_t now = clock_.NowMs();
  if (now < next_send_ms_) return false;
  const std::vector<OutgoingRecord> claims =
      store_.Claim(gateway_, modem_.name, now, timing_.lease_ms, 1, timing_.max_attempts);
  if (claims.empty()) return false;
  const OutgoingRecord& m = claims.front();
  // Parts an earlier attempt got through on this modem are not sent again: the rest follows with
  // the same concatenation reference, and the phone joins them. Parts another modem sent came
  // from another number, which the phone does not join: the message goes out whole.
  int first = 1;
  for (const PartRecord& p : m.part_records)
    if (p.part == first && p.modem == modem_.name && p.reference >= 0) ++first;
  int recorded = 0;
  for (const PartRecord& p : m.part_records) recorded += p.reference >= 0 && p.part >= 1 && p.part <= m.parts;
  if (recorded >= m.parts) {
    // Every part went out and was recorded before the process that held it ended: it is sent.
    bool marked = false;
    Persist([&] { marked = store_.MarkSent(m.id, m.claim_token, {}, clock_.NowMs()); }, true);
    if (marked) ++counters_.sent;
    return true;
  }
  const messages::SendOptions options = SendOptionsFor(m.report, m.concat_reference);
  messages::SendResult r;
  std::string failure;
  bool lost = false;        // the claim passed to another sender
  bool unrecorded = false;  // stopping, and a part could not be recorded within the grace period
  // Each part is recorded as it goes, and the lease renewed: a long send keeps its claim, and one
  // that lost it (this process stalled past the lease), or cannot confirm it, stops before sending more.
  const ModemLink::PartSent on_part = [&](int part, int reference) {
    bool ours = false;
    const bool stored = Persist(
        [&] { ours = store_.RecordPart(m.id, m.claim_token, part, reference, clock_.NowMs(), timing_.lease_ms); },
        true);
    unrecorded = !stored;
    lost = stored && !ours;
    return stored && ours;
  };
  try {
    r = link_.Send(m.to, m.text, options, first, on_part);
  } catch (const RuntimeError& e) {
    failure = e.what();
  }
  if (modem_.per_minute > 0) next_send_ms_ = now + 60000 / modem_.per_minute;
  if (unrecorded) {
    Log("modem " + modem_.name + ": message " + std::to_string(m.id) +
        ": stopping with the store away; a part the modem took is not recorded, and the message is sent "
        "again when its lease ends");
    return true;
  }
  if (r.ok || lost) {
    bool recorded_sent = false;
    Persist([&] { recorded_sent = store_.MarkSent(m.id, m.claim_token, r.references, clock_.NowMs(), first); },
            true);
    if (!recorded_sent) {
      Log("modem " + modem_.name + ": message " + std::to_string(m.id) +
          ": its claim passed to another sender while this one sent it; the history records both");
      return true;
    }
    ++counters_.sent;
    backoff_ms_ = 0;  // the modem works: its next failure starts the back-off again
    if (on_latency) on_latency(static_cast<double>(clock_.NowMs() - now) / 1000.0);
    return true;
  }
  if (failure.empty()) failure = r.error;
  ++counters_.errors;
  last_error_ = failure;
  bool alive = false;
  try {
    alive = link_.Alive();
  } catch (const std::exception&) {
  }
  if (!alive) {
    // The parts it took before it went quiet are recorded; the rest goes to whichever modem is
    // next, after the message's own wait, the attempt counted.
    Down("the modem stopped answering while sending message " + std::to_string(m.id) + ": " + failure);
    return true;
  }
  Log("modem " + modem_.name + ": message " + std::to_string(m.id) + ": " + failure);
  Persist(
      [&] {
        store_.MarkRetry(m.id, m.claim_token, failure, clock_.NowMs(), clock_.NowMs() + timing_.retry_ms,
                         timing_.max_attempts);
      },
      true);
  return true;
}

void Worker::Collect() {
  std::vector<messages::AssembledMessage> listed;
  try {
    listed = link_.List();
  } catch (const RuntimeError& e) {
    if (!link_.Alive()) throw;
    last_error_ = e.what();
    ++counters_.errors;
    return;
  }
  const std::int64_t now = clock_.NowMs();
  std::map<std::string, std::int64_t> still_waiting;
  for (const messages::AssembledMessage& m : listed) {
    const bool report = m.first.IsReport();
    std::string storage = m.storage.empty() ? (report ? "SR" : "SM") : m.storage;
    if (report) {
      ReportRecord r;
      r.modem = modem_.name;
      r.recipient = m.first.address;
      r.reference = m.first.reference;
      r.status = m.first.status;
      r.status_text = messages::StatusText(m.first.status);
      r.discharge = TimeText(m.first.discharge);
      r.received_ms = now;
      r.centre_ms = EpochMs(m.first.time);
      r.key = modem_.name + "|R|" + r.recipient + "|" + std::to_string(r.reference) + "|" +
              TimeText(m.first.time) + "|" + r.discharge + "|" + std::to_string(r.status);
      if (!Persist([&] { store_.AddReport(r); })) return;
      ++counters_.reports;
    } else {
      const auto& c = m.first.concatenation;
      const std::string key = modem_.name + "|M|" + m.from() + "|" + TimeText(m.first.time) + "|" +
                              (c ? std::to_string(c->reference) + "/" + std::to_string(c->total) : "-") + "|" +
                              Fnv(m.text);
      if (!m.complete) {
        // The rest may still come: wait for it, up to a limit.
        const auto seen = first_seen_.find(key);
        const std::int64_t since = seen == first_seen_.end() ? now : seen->second;
        if (now - since < timing_.part_wait_ms) {
          still_waiting[key] = since;
          continue;
        }
      }
      IncomingRecord in;
      in.modem = modem_.name;
      in.from = m.from();
      in.text = m.text;
      in.parts = m.total;
      in.complete = m.complete;
      in.centre_time = TimeText(m.first.time);
      in.received_ms = now;
      // Where it lies on the SIM tells apart identical texts from one sender in one second; a
      // message listed again (stored, not yet deleted) lies where it was.
      in.key = key + "|" + storage;
      for (const int index : m.indexes) in.key += ":" + std::to_string(index);
      if (!Persist([&] { store_.AddIncoming(in); })) return;
      ++counters_.received;
    }
    // Only now, with the store committed, may the SIM forget it.
    for (const int index : m.indexes) link_.Delete(index, storage);
  }
  first_seen_ = std::move(still_waiting);
}

void Worker::RefreshStatus(const std::string& state) {
  ModemRecord row;
  row.name = modem_.name;
  row.device = modem_.device;
  row.gateway = gateway_;
  row.state = state;
  if (state == "ready") {
    try {
      const ModemStatus s = link_.Status();
      row.signal = s.signal;
      row.registration = s.registration;
      row.operator_name = s.operator_name;
      counters_.signal = s.signal;
    } catch (const RuntimeError& e) {
      last_error_ = e.what();
    }
  }
  row.last_error = last_error_;
  row.errors = counters_.errors;
  row.sent = counters_.sent;
  row.received = counters_.received;
  row.updated_ms = clock_.NowMs();
  bool written = true;
  Persist([&] { written = store_.PutModem(row); });
  if (!written && ready_) row_lost_ = true;
}

}  // namespace quandelstk::gateway
