// The queue's bookkeeping in SQL that SQLite and PostgreSQL both run. Every change of a message
// and the event that tells it are committed together.
#include "store/sql_store.hpp"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <random>

#include "quandelstk/messages.hpp"
#include "store/schema.hpp"

namespace quandelstk::gateway {

bool IsState(const std::string& s) {
  for (const char* state : {kQueued, kSending, kSent, kDelivered, kFailed, kExpired})
    if (s == state) return true;
  return false;
}

std::string NumberDigits(const std::string& number) {
  std::string out;
  for (const char c : number)
    if (std::isdigit(static_cast<unsigned char>(c))) out += c;
  return out;
}

namespace {

// One reader per table: the columns in the order the reader takes them.
constexpr const char* kOutgoingColumns =
    "id, recipient, body, report, state, attempts, parts, concat_ref, modem, claimed_by, lease_until, "
    "not_before, expires_at, created_at, claimed_at, sent_at, done_at, last_error, claim_token";

OutgoingRecord ToOutgoing(const Row& r) {
  OutgoingRecord m;
  m.id = r.Int(0);
  m.to = r.Text(1);
  m.text = r.Text(2);
  m.report = r.Int(3) != 0;
  m.state = r.Text(4);
  m.attempts = static_cast<int>(r.Int(5));
  m.parts = static_cast<int>(r.Int(6));
  m.concat_reference = static_cast<int>(r.Int(7));
  m.modem = r.Text(8);
  m.claimed_by = r.Text(9);
  m.lease_until_ms = r.Int(10);
  m.not_before_ms = r.Int(11);
  m.expires_ms = r.MaybeInt(12);
  m.created_ms = r.Int(13);
  m.claimed_ms = r.Int(14);
  m.sent_ms = r.Int(15);
  m.done_ms = r.Int(16);
  m.last_error = r.Text(17);
  m.claim_token = r.Text(18);
  return m;
}

constexpr const char* kPartColumns = "part, reference, status, status_code, report_at, modem";

PartRecord ToPart(const Row& r) {
  PartRecord p;
  p.part = static_cast<int>(r.Int(0));
  p.reference = static_cast<int>(r.Int(1));
  p.status = r.Text(2);
  p.status_code = static_cast<int>(r.Int(3));
  p.report_ms = r.Int(4);
  p.modem = r.Text(5);
  return p;
}

constexpr const char* kReportColumns =
    "id, modem, recipient, reference, status, status_text, discharge, received_at, message_id, part, dedup_key";

ReportRecord ToReport(const Row& r) {
  ReportRecord x;
  x.id = r.Int(0);
  x.modem = r.Text(1);
  x.recipient = r.Text(2);
  x.reference = static_cast<int>(r.Int(3));
  x.status = static_cast<int>(r.Int(4));
  x.status_text = r.Text(5);
  x.discharge = r.Text(6);
  x.received_ms = r.Int(7);
  x.message_id = r.MaybeInt(8);
  x.part = static_cast<int>(r.Int(9));
  x.key = r.Text(10);
  return x;
}

constexpr const char* kIncomingColumns =
    "id, modem, sender, body, parts, complete, centre_time, received_at, dedup_key";

IncomingRecord ToIncoming(const Row& r) {
  IncomingRecord m;
  m.id = r.Int(0);
  m.modem = r.Text(1);
  m.from = r.Text(2);
  m.text = r.Text(3);
  m.parts = static_cast<int>(r.Int(4));
  m.complete = r.Int(5) != 0;
  m.centre_time = r.Text(6);
  m.received_ms = r.Int(7);
  m.key = r.Text(8);
  return m;
}

constexpr const char* kModemColumns =
    "name, device, gateway, state, signal, operator, registration, last_error, errors, sent, received, updated_at";

ModemRecord ToModem(const Row& r) {
  ModemRecord m;
  m.name = r.Text(0);
  m.device = r.Text(1);
  m.gateway = r.Text(2);
  m.state = r.Text(3);
  m.signal = static_cast<int>(r.Int(4));
  m.operator_name = r.Text(5);
  m.registration = static_cast<int>(r.Int(6));
  m.last_error = r.Text(7);
  m.errors = r.Int(8);
  m.sent = r.Int(9);
  m.received = r.Int(10);
  m.updated_ms = r.Int(11);
  return m;
}

constexpr const char* kEventColumns = "id, at, kind, message_id, modem, gateway, detail";

EventRecord ToEvent(const Row& r) {
  EventRecord e;
  e.id = r.Int(0);
  e.at_ms = r.Int(1);
  e.kind = r.Text(2);
  e.message_id = r.MaybeInt(3);
  e.modem = r.Text(4);
  e.gateway = r.Text(5);
  e.detail = r.Text(6);
  return e;
}

template <typename T>
std::vector<T> All(const Rows& rows, T (*read)(const Row&)) {
  std::vector<T> out;
  out.reserve(rows.size());
  for (const Row& r : rows) out.push_back(read(r));
  return out;
}

// A report is matched to a part sent at most this long before it...
constexpr std::int64_t kReportWindowMs = 7LL * 24 * 3600 * 1000;
// ...and not after the centre's time stamp, give or take the hosts' and the centre's clocks.
constexpr std::int64_t kClockSkewMs = 15 * 60 * 1000;

// A claim token: the claimant, the modem, and a random part, so that no two claims share one.
std::string NewToken(const std::string& claimant, const std::string& modem) {
  static thread_local std::mt19937_64 random{std::random_device{}()};
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(random()));
  return claimant + "|" + modem + "|" + hex;
}

std::string ClaimantOfToken(const std::string& token) {
  return token.substr(0, token.find('|'));
}

std::string ModemOfToken(const std::string& token) {
  const auto from = token.find('|');
  if (from == std::string::npos) return "";
  return token.substr(from + 1, token.rfind('|') - from - 1);
}

// What a report's status octet means for the part: delivered, still pending, or failed for good.
std::string PartStatus(int status) {
  if (status < 0x20) return "delivered";
  if (status < 0x40) return "pending";
  return "failed";
}

class SqlStore final : public Store {
 public:
  explicit SqlStore(std::unique_ptr<Db> db) : db_(std::move(db)) { Migrate(*db_); }

  std::string Describe() const override { return db_->Describe(); }

  std::int64_t Enqueue(const NewMessage& m, std::int64_t now) override {
    Transaction tx(*db_);
    const Rows rows = db_->Query(
        "INSERT INTO outgoing (recipient, recipient_digits, body, report, parts, concat_ref, not_before, expires_at, "
        "created_at) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?) RETURNING id",
        {m.to, NumberDigits(m.to), m.text, std::int64_t{m.report}, std::int64_t{m.parts}, std::int64_t{0},
         m.not_before_ms, m.expires_ms ? Value(*m.expires_ms) : Value(nullptr), now});
    const std::int64_t id = rows.at(0).Int(0);
    // One concatenation reference per message for its whole life: parts of a retry still join
    // with parts that reached the phone before.
    db_->Query("UPDATE outgoing SET concat_ref = ? WHERE id = ?", {id % 65536, id});
    Event(now, "queued", id, "", "", m.parts == 1 ? "1 part" : std::to_string(m.parts) + " parts");
    tx.Commit();
    return id;
  }

  std::vector<OutgoingRecord> Claim(const std::string& claimant, const std::string& modem, std::int64_t now,
                                    std::int64_t lease_ms, int limit, int max_attempts) override {
    Transaction tx(*db_);
    const bool pg = db_->dialect() == Dialect::Postgres;
    const Rows due = db_->Query(
        Sql(std::string("SELECT id, state, claimed_by, modem, attempts, parts, last_error FROM outgoing "
                        "WHERE ((state = 'queued' AND not_before <= ?) "
                        "OR (state = 'sending' AND lease_until < @NOW)) AND (expires_at IS NULL OR expires_at > ?) "
                        "ORDER BY not_before, id LIMIT ?") +
            (pg ? " FOR UPDATE SKIP LOCKED" : "")),
        {now, now, now, std::int64_t{limit}});
    std::vector<OutgoingRecord> out;
    for (const Row& row : due) {
      const std::int64_t id = row.Int(0);
      if (row.Text(1) == kSending) {
        const std::int64_t attempts = row.Int(4);
        const bool all_recorded =
            db_->Query("SELECT COUNT(*) FROM outgoing_parts WHERE message_id = ? AND reference >= 0", {id})
                .at(0)
                .Int(0) >= row.Int(5);
        if (max_attempts > 0 && attempts >= max_attempts && !all_recorded) {
          std::string error = "attempt " + std::to_string(attempts) + " ended with the lease of " + row.Text(2) +
                              " (modem " + row.Text(3) + "), the last allowed";
          if (!row.Text(6).empty()) error += "; before it: " + row.Text(6);
          db_->Query(
              "UPDATE outgoing SET state = 'failed', claimed_by = NULL, claim_token = NULL, lease_until = 0, "
              "last_error = ?, done_at = ? WHERE id = ?",
              {error, now, id});
          Event(now, "failed", id, modem, claimant, error);
          continue;
        }
        Event(now, "taken-over", id, modem, claimant,
              "the lease of " + row.Text(2) + " (modem " + row.Text(3) + ") ended; " +
                  (all_recorded ? "every part was recorded, so it is sent"
                                : "it is sent again and may reach the phone twice"));
      }
      const Rows claimed = db_->Query(
          Sql(std::string("UPDATE outgoing SET state = 'sending', claimed_by = ?, modem = ?, claim_token = ?, "
                          "lease_until = @NOW + ?, claimed_at = ?, attempts = attempts + 1 WHERE id = ? RETURNING ") +
              kOutgoingColumns),
          {claimant, modem, NewToken(claimant, modem), now, lease_ms, now, id});
      OutgoingRecord m = ToOutgoing(claimed.at(0));
      m.part_records = Parts(id);
      out.push_back(std::move(m));
      Event(now, "claimed", id, modem, claimant, "attempt " + std::to_string(out.back().attempts));
    }
    tx.Commit();
    return out;
  }

  bool RecordPart(std::int64_t id, const std::string& token, int part, int reference, std::int64_t now,
                  std::int64_t lease_ms) override {
    Transaction tx(*db_);
    const Rows rows = db_->Query(
        Sql("UPDATE outgoing SET lease_until = @NOW + ? WHERE id = ? AND state = 'sending' AND claim_token = ? "
            "RETURNING modem"),
        {now, lease_ms, id, token});
    if (rows.empty()) return false;
    AddParts(id, rows[0].Text(0), {reference}, part, now);
    tx.Commit();
    return true;
  }

  bool MarkSent(std::int64_t id, const std::string& token, const std::vector<int>& references, std::int64_t now,
                int first_part) override {
    Transaction tx(*db_);
    const Rows current = db_->Query("SELECT state, claim_token, modem, claimed_by FROM outgoing WHERE id = ?", {id});
    if (current.empty()) return false;
    const std::string state = current[0].Text(0);
    const std::string modem = current[0].Text(2);
    if (current[0].Text(1) != token) {
      // It reached the network all the same: say so, and leave the record to the claim's holder.
      Event(now, "sent-late", id, ModemOfToken(token), ClaimantOfToken(token),
            "sent after its claim passed to " + current[0].Text(3) + " (state " + state + "); " +
                PartsText(references, first_part));
      tx.Commit();
      return false;
    }
    // A commit whose answer was lost, tried again: it is recorded already.
    if (state != kSending) return true;
    db_->Query("UPDATE outgoing SET state = 'sent', sent_at = ?, lease_until = 0, last_error = '' WHERE id = ?",
               {now, id});
    AddParts(id, modem, references, first_part, now);
    Event(now, "sent", id, modem, current[0].Text(3),
          references.empty() ? "every part recorded by an earlier attempt" : PartsText(references, first_part));
    Settle(id, now, modem, "its reports came before the send was recorded");
    tx.Commit();
    return true;
  }

  void MarkRetry(std::int64_t id, const std::string& token, const std::string& error, std::int64_t now,
                 std::int64_t retry_ms, int max_attempts, const std::vector<int>& references,
                 int first_part) override {
    Transaction tx(*db_);
    const Rows owner = db_->Query(
        "SELECT modem, claimed_by FROM outgoing WHERE id = ? AND state = 'sending' AND claim_token = ?", {id, token});
    if (owner.empty()) return;  // no longer this claim's: its holder decides
    const std::string modem = owner[0].Text(0), claimant = owner[0].Text(1);
    if (!references.empty()) {
      AddParts(id, modem, references, first_part, now);
      Event(now, "sent-in-part", id, modem, claimant, PartsText(references, first_part));
    }
    const Rows rows = db_->Query(
        "UPDATE outgoing SET state = CASE WHEN attempts >= ? THEN 'failed' ELSE 'queued' END, not_before = ?, "
        "last_error = ?, claimed_by = NULL, claim_token = NULL, lease_until = 0, "
        "done_at = CASE WHEN attempts >= ? THEN CAST(? AS BIGINT) ELSE 0 END WHERE id = ? RETURNING state, attempts",
        {std::int64_t{max_attempts}, retry_ms, error, std::int64_t{max_attempts}, now, id});
    Event(now, rows.at(0).Text(0) == kFailed ? "failed" : "retry", id, modem, claimant,
          "attempt " + rows[0].Text(1) + ": " + error);
    tx.Commit();
  }

  int Release(const std::string& claimant, const std::string& modem, const std::string& why, std::int64_t now,
              std::int64_t retry_at, int max_attempts) override {
    Transaction tx(*db_);
    // The attempt counts: the send may have begun, and a message that stops the modem each time
    // must end. It waits its turn, so that the messages behind it go first.
    const Rows rows = db_->Query(
        "UPDATE outgoing SET state = CASE WHEN ? > 0 AND attempts >= ? THEN 'failed' ELSE 'queued' END, "
        "done_at = CASE WHEN ? > 0 AND attempts >= ? THEN CAST(? AS BIGINT) ELSE 0 END, "
        "not_before = CASE WHEN not_before < ? THEN CAST(? AS BIGINT) ELSE not_before END, "
        "claimed_by = NULL, claim_token = NULL, lease_until = 0, last_error = ? "
        "WHERE state = 'sending' AND claimed_by = ? AND modem = ? RETURNING id, state, attempts",
        {std::int64_t{max_attempts}, std::int64_t{max_attempts}, std::int64_t{max_attempts},
         std::int64_t{max_attempts}, now, retry_at, retry_at, why, claimant, modem});
    for (const Row& r : rows)
      Event(now, r.Text(1) == kFailed ? "failed" : "released", r.Int(0), modem, claimant,
            "attempt " + std::to_string(r.Int(2)) + ": " + why);
    tx.Commit();
    return static_cast<int>(rows.size());
  }

  int ExpireDue(std::int64_t now) override {
    Transaction tx(*db_);
    // A claim whose lease ended is nobody's: past its expiry it ends like a queued one.
    const Rows rows = db_->Query(
        Sql("UPDATE outgoing SET state = 'expired', done_at = ?, claim_token = NULL, lease_until = 0 "
            "WHERE expires_at IS NOT NULL AND expires_at <= ? "
            "AND (state = 'queued' OR (state = 'sending' AND lease_until < @NOW)) RETURNING id"),
        {now, now, now});
    for (const Row& r : rows) Event(now, "expired", r.Int(0), "", "", "its time to live ended before it was sent");
    tx.Commit();
    return static_cast<int>(rows.size());
  }

  bool AddIncoming(const IncomingRecord& m) override {
    Transaction tx(*db_);
    db_->Query(
        "INSERT INTO incoming (modem, sender, body, parts, complete, centre_time, received_at, dedup_key) "
        "VALUES (?, ?, ?, ?, ?, ?, ?, ?) ON CONFLICT (dedup_key) DO NOTHING",
        {m.modem, m.from, m.text, std::int64_t{m.parts}, std::int64_t{m.complete}, m.centre_time, m.received_ms,
         m.key});
    tx.Commit();
    return true;
  }

  ReportRecord AddReport(const ReportRecord& r) override {
    Transaction tx(*db_);
    const Rows inserted = db_->Query(
        std::string("INSERT INTO status_reports (modem, recipient, reference, status, status_text, discharge, "
                    "received_at, dedup_key) VALUES (?, ?, ?, ?, ?, ?, ?, ?) ON CONFLICT (dedup_key) DO NOTHING "
                    "RETURNING ") +
            kReportColumns,
        {r.modem, r.recipient, std::int64_t{r.reference}, std::int64_t{r.status}, r.status_text, r.discharge,
         r.received_ms, r.key});
    if (inserted.empty()) {  // listed again after a crash: it is stored already
      const Rows again = db_->Query(std::string("SELECT ") + kReportColumns +
                                        " FROM status_reports WHERE dedup_key = ?",
                                    {r.key});
      tx.Commit();
      return ToReport(again.at(0));
    }
    ReportRecord stored = ToReport(inserted[0]);
    // References wrap at 256: of the parts with this one that still wait for a report, the report
    // is about the one sent closest to the centre's time stamp (the centre stamps a part as it takes
    // it), before or up to fifteen minutes after it (the hosts' and the centre's clocks differ). When
    // none went out by then, the centre's clock is not to be trusted (a simulator's, a wrong one):
    // the newest waiting part it is. The recipient is compared as the messages layer does: the
    // network may give it national where it was queued international, or the other way round.
    const std::int64_t stamped = r.centre_ms.value_or(r.received_ms);
    const Rows candidates = db_->Query(
        "SELECT p.message_id, p.part, o.recipient FROM outgoing_parts p JOIN outgoing o ON o.id = p.message_id "
        "WHERE p.modem = ? AND p.reference = ? AND p.status IN ('', 'pending') "
        "AND p.sent_at <= ? AND p.sent_at >= ? "
        "ORDER BY CASE WHEN p.sent_at <= ? THEN 0 ELSE 1 END, "
        "CASE WHEN p.sent_at <= ? THEN ABS(p.sent_at - ?) ELSE -p.sent_at END, p.message_id DESC LIMIT 256",
        {r.modem, std::int64_t{r.reference}, r.received_ms + kClockSkewMs, r.received_ms - kReportWindowMs,
         stamped + kClockSkewMs, stamped + kClockSkewMs, stamped});
    std::vector<const Row*> match;
    for (const Row& c : candidates)
      if (messages::SameNumber(c.Text(2), r.recipient)) {
        match.push_back(&c);
        break;
      }
    if (!match.empty()) {
      const std::int64_t id = match[0]->Int(0);
      const std::int64_t part = match[0]->Int(1);
      stored.message_id = id;
      stored.part = static_cast<int>(part);
      db_->Query("UPDATE status_reports SET message_id = ?, part = ? WHERE id = ?", {id, part, stored.id});
      db_->Query(
          "UPDATE outgoing_parts SET status = ?, status_code = ?, report_at = ? WHERE message_id = ? AND part = ?",
          {PartStatus(r.status), std::int64_t{r.status}, r.received_ms, id, part});
      Event(r.received_ms, "report", id, r.modem, "",
            "part " + std::to_string(part) + ": " + r.status_text);
      Settle(id, r.received_ms, r.modem, r.status_text);
    }
    tx.Commit();
    return stored;
  }

  bool PutModem(const ModemRecord& m, bool take_over) override {
    Transaction tx(*db_);
    // A row belongs to the process that drives the modem; another takes the name over when the
    // row says stopped, when it has not been refreshed for ten minutes, or when its owner is known
    // to be dead. On PostgreSQL the row's time is the server's, as for leases, so that hosts whose
    // clocks differ agree on ten minutes.
    const Rows written = db_->Query(
        Sql(std::string("INSERT INTO modems (") + kModemColumns +
            ") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, @NOW) ON CONFLICT (name) DO UPDATE SET "
            "device = excluded.device, gateway = excluded.gateway, state = excluded.state, signal = excluded.signal, "
            "operator = excluded.operator, registration = excluded.registration, last_error = excluded.last_error, "
            "errors = excluded.errors, sent = excluded.sent, received = excluded.received, "
            "updated_at = excluded.updated_at WHERE modems.gateway = excluded.gateway OR modems.state = 'stopped' "
            "OR modems.updated_at < excluded.updated_at - 600000 OR ? = 1 RETURNING name"),
        {m.name, m.device, m.gateway, m.state, std::int64_t{m.signal}, m.operator_name, std::int64_t{m.registration},
         m.last_error, m.errors, m.sent, m.received, m.updated_ms, std::int64_t{take_over}});
    tx.Commit();
    return !written.empty();
  }

  void AddEvent(const EventRecord& e) override {
    Transaction tx(*db_);
    Event(e.at_ms, e.kind, e.message_id, e.modem, e.gateway, e.detail);
    tx.Commit();
  }

  std::optional<OutgoingRecord> Get(std::int64_t id) override {
    const Rows rows = db_->Query(std::string("SELECT ") + kOutgoingColumns + " FROM outgoing WHERE id = ?", {id});
    if (rows.empty()) return std::nullopt;
    OutgoingRecord m = ToOutgoing(rows[0]);
    m.part_records = Parts(id);
    return m;
  }

  std::vector<OutgoingRecord> List(const std::string& state, int limit, std::int64_t before_id) override {
    const std::string select = std::string("SELECT ") + kOutgoingColumns + " FROM outgoing WHERE (CAST(? AS BIGINT) = 0 OR id < ?) ";
    return All(state.empty()
                   ? db_->Query(select + "ORDER BY id DESC LIMIT ?", {before_id, before_id, std::int64_t{limit}})
                   : db_->Query(select + "AND state = ? ORDER BY id DESC LIMIT ?",
                                {before_id, before_id, state, std::int64_t{limit}}),
               ToOutgoing);
  }

  std::vector<IncomingRecord> Inbox(int limit, std::int64_t before_id) override {
    return All(db_->Query(std::string("SELECT ") + kIncomingColumns +
                              " FROM incoming WHERE (CAST(? AS BIGINT) = 0 OR id < ?) ORDER BY id DESC LIMIT ?",
                          {before_id, before_id, std::int64_t{limit}}),
               ToIncoming);
  }

  std::vector<ReportRecord> Reports(std::int64_t message_id) override {
    return All(db_->Query(std::string("SELECT ") + kReportColumns +
                              " FROM status_reports WHERE message_id = ? ORDER BY id",
                          {message_id}),
               ToReport);
  }

  std::vector<EventRecord> Events(std::int64_t message_id) override {
    return All(db_->Query(std::string("SELECT ") + kEventColumns + " FROM events WHERE message_id = ? ORDER BY id",
                          {message_id}),
               ToEvent);
  }

  std::vector<ModemRecord> Modems() override {
    return All(db_->Query(std::string("SELECT ") + kModemColumns + " FROM modems ORDER BY name"), ToModem);
  }

  std::map<std::string, std::int64_t> CountByState() override {
    std::map<std::string, std::int64_t> out;
    for (const char* s : {kQueued, kSending, kSent, kDelivered, kFailed, kExpired}) out[s] = 0;
    for (const Row& r : db_->Query("SELECT state, COUNT(*) FROM outgoing GROUP BY state")) out[r.Text(0)] = r.Int(1);
    return out;
  }

 private:
  std::vector<PartRecord> Parts(std::int64_t id) {
    return All(db_->Query(std::string("SELECT ") + kPartColumns +
                              " FROM outgoing_parts WHERE message_id = ? ORDER BY part",
                          {id}),
               ToPart);
  }

  // Lease times on PostgreSQL come from the server's clock, so that hosts whose clocks differ
  // agree on when a lease ends; the host's time is still passed (and ignored there), so that both
  // dialects take the same parameters. On SQLite every writer is on this host.
  std::string Sql(const std::string& text) const {
    std::string out = text;
    const std::string now = db_->dialect() == Dialect::Postgres
                                ? "(CAST(EXTRACT(EPOCH FROM clock_timestamp()) * 1000 AS BIGINT) + 0 * CAST(? AS BIGINT))"
                                : "?";
    for (auto at = out.find("@NOW"); at != std::string::npos; at = out.find("@NOW", at + now.size()))
      out.replace(at, 4, now);
    return out;
  }

  // A sent message whose parts all have their reports is delivered, or failed when one failed.
  // Reports may come before the send is recorded (its parts are, one by one): the send's record
  // settles it too.
  void Settle(std::int64_t id, std::int64_t at, const std::string& modem, const std::string& status_text) {
    const Rows tally = db_->Query(
        "SELECT o.parts, SUM(CASE WHEN p.status = 'delivered' THEN 1 ELSE 0 END), "
        "SUM(CASE WHEN p.status = 'failed' THEN 1 ELSE 0 END), o.state FROM outgoing o "
        "JOIN outgoing_parts p ON p.message_id = o.id WHERE o.id = ? GROUP BY o.id, o.parts, o.state",
        {id});
    if (tally.empty() || (tally[0].Text(3) != kSent && tally[0].Text(3) != kDelivered)) return;
    const std::int64_t parts = tally[0].Int(0), delivered = tally[0].Int(1), failed = tally[0].Int(2);
    const char* next = failed > 0 ? kFailed : delivered >= parts ? kDelivered : nullptr;
    if (!next || tally[0].Text(3) == next) return;
    db_->Query("UPDATE outgoing SET state = ?, done_at = ?, last_error = ? WHERE id = ?",
               {std::string(next), at,
                std::string(failed > 0 ? "the network could not deliver it: " + status_text : ""), id});
    Event(at, next, id, modem, "", status_text);
  }

  void AddParts(std::int64_t id, const std::string& modem, const std::vector<int>& references, int first_part,
                std::int64_t now) {
    for (std::size_t i = 0; i < references.size(); ++i) {
      const std::int64_t part = first_part + static_cast<std::int64_t>(i);
      db_->Query("DELETE FROM outgoing_parts WHERE message_id = ? AND part = ?", {id, part});
      db_->Query("INSERT INTO outgoing_parts (message_id, part, reference, modem, sent_at) VALUES (?, ?, ?, ?, ?)",
                 {id, part, std::int64_t{references[i]}, modem, now});
    }
  }

  static std::string PartsText(const std::vector<int>& references, int first_part) {
    std::string out = references.size() == 1 ? "part " : "parts ";
    out += std::to_string(first_part);
    if (references.size() > 1) out += "-" + std::to_string(first_part + static_cast<int>(references.size()) - 1);
    out += ", reference" + std::string(references.size() == 1 ? " " : "s ");
    for (std::size_t i = 0; i < references.size(); ++i) out += (i ? "," : "") + std::to_string(references[i]);
    return out;
  }

  void Event(std::int64_t at, const std::string& kind, std::optional<std::int64_t> id, const std::string& modem,
             const std::string& gateway, const std::string& detail) {
    db_->Query("INSERT INTO events (at, kind, message_id, modem, gateway, detail) VALUES (?, ?, ?, ?, ?, ?)",
               {at, kind, id ? Value(*id) : Value(nullptr), modem, gateway, detail});
  }

  std::unique_ptr<Db> db_;
};

}  // namespace

std::unique_ptr<Store> MakeSqlStore(std::unique_ptr<Db> db) {
  return std::make_unique<SqlStore>(std::move(db));
}

}  // namespace quandelstk::gateway
