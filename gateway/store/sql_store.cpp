// The queue's bookkeeping in SQL that SQLite and PostgreSQL both run. Every change of a message
// and the event that tells it are committed together.
#include "store/sql_store.hpp"

#include <algorithm>
#include <cctype>

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

constexpr const char* kOutgoingColumns =
    "id, recipient, body, report, state, attempts, parts, concat_ref, modem, claimed_by, lease_until, "
    "not_before, expires_at, created_at, claimed_at, sent_at, done_at, last_error";

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
  return m;
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

  std::vector<OutgoingRecord> Claim(const std::string& gateway, const std::string& modem, std::int64_t now,
                                    std::int64_t lease_ms, int limit) override {
    Transaction tx(*db_);
    const bool pg = db_->dialect() == Dialect::Postgres;
    const Rows due = db_->Query(
        std::string("SELECT id, state, claimed_by, modem FROM outgoing WHERE ((state = 'queued' AND not_before <= ?) "
                    "OR (state = 'sending' AND lease_until < ?)) AND (expires_at IS NULL OR expires_at > ?) "
                    "ORDER BY not_before, id LIMIT ?") +
            (pg ? " FOR UPDATE SKIP LOCKED" : ""),
        {now, now, now, std::int64_t{limit}});
    std::vector<OutgoingRecord> out;
    for (const Row& row : due) {
      const std::int64_t id = row.Int(0);
      if (row.Text(1) == kSending)
        Event(now, "taken-over", id, modem, gateway,
              "the lease of " + row.Text(2) + " (modem " + row.Text(3) +
                  ") ended; it is sent again and may reach the phone twice");
      const Rows claimed = db_->Query(
          std::string("UPDATE outgoing SET state = 'sending', claimed_by = ?, modem = ?, lease_until = ?, "
                      "claimed_at = ?, attempts = attempts + 1 WHERE id = ? RETURNING ") +
              kOutgoingColumns,
          {gateway, modem, now + lease_ms, now, id});
      OutgoingRecord m = ToOutgoing(claimed.at(0));
      m.part_records = Parts(id);
      out.push_back(std::move(m));
      Event(now, "claimed", id, modem, gateway, "attempt " + std::to_string(out.back().attempts));
    }
    tx.Commit();
    return out;
  }

  bool MarkSent(std::int64_t id, const std::string& gateway, const std::vector<int>& references,
                std::int64_t now, int first_part) override {
    Transaction tx(*db_);
    const Rows current = db_->Query("SELECT state, claimed_by, modem FROM outgoing WHERE id = ?", {id});
    if (current.empty()) return false;
    const bool ours = current[0].Text(0) == kSending && current[0].Text(1) == gateway;
    const std::string modem = current[0].Text(2);
    const std::string state = current[0].Text(0);
    // A commit whose answer was lost, tried again: it is recorded already.
    if (!ours && current[0].Text(1) == gateway && (state == kSent || state == kDelivered || state == kFailed))
      return true;
    if (!ours) {
      // It reached the network all the same: say so, and keep the first record of it.
      Event(now, "sent-late", id, modem, gateway,
            "sent after its claim passed to " + current[0].Text(1) + " (state " + state + ")");
      if (state != kQueued && state != kSending) {
        tx.Commit();
        return false;
      }
    }
    db_->Query(
        "UPDATE outgoing SET state = 'sent', sent_at = ?, lease_until = 0, last_error = '' WHERE id = ?",
        {now, id});
    // A message sent whole again (after a crash in the window) has new references: they replace
    // the old. The parts of an earlier attempt that this one did not send again stay.
    AddParts(id, modem, references, first_part, now);
    Event(now, "sent", id, modem, gateway, PartsText(references, first_part));
    tx.Commit();
    return ours;
  }

  void MarkRetry(std::int64_t id, const std::string& gateway, const std::string& error, std::int64_t now,
                 std::int64_t retry_ms, int max_attempts, const std::vector<int>& references,
                 int first_part) override {
    Transaction tx(*db_);
    if (!references.empty()) {
      const Rows owner = db_->Query("SELECT modem FROM outgoing WHERE id = ? AND state = 'sending' AND claimed_by = ?",
                                    {id, gateway});
      if (!owner.empty()) {
        AddParts(id, owner[0].Text(0), references, first_part, now);
        Event(now, "sent-in-part", id, owner[0].Text(0), gateway, PartsText(references, first_part));
      }
    }
    const Rows rows = db_->Query(
        "UPDATE outgoing SET state = CASE WHEN attempts >= ? THEN 'failed' ELSE 'queued' END, not_before = ?, "
        "last_error = ?, claimed_by = NULL, lease_until = 0, done_at = CASE WHEN attempts >= ? THEN ? ELSE 0 END "
        "WHERE id = ? AND state = 'sending' AND claimed_by = ? RETURNING state, modem, attempts",
        {std::int64_t{max_attempts}, retry_ms, error, std::int64_t{max_attempts}, now, id, gateway});
    if (!rows.empty())
      Event(now, rows[0].Text(0) == kFailed ? "failed" : "retry", id, rows[0].Text(1), gateway,
            "attempt " + rows[0].Text(2) + ": " + error);
    tx.Commit();
  }

  int Release(const std::string& gateway, const std::string& modem, const std::string& why,
              std::int64_t now) override {
    Transaction tx(*db_);
    const Rows rows = db_->Query(
        "UPDATE outgoing SET state = 'queued', claimed_by = NULL, lease_until = 0, last_error = ? "
        "WHERE state = 'sending' AND claimed_by = ? AND modem = ? RETURNING id",
        {why, gateway, modem});
    for (const Row& r : rows) Event(now, "released", r.Int(0), modem, gateway, why);
    tx.Commit();
    return static_cast<int>(rows.size());
  }

  int ExpireDue(std::int64_t now) override {
    Transaction tx(*db_);
    const Rows rows = db_->Query(
        "UPDATE outgoing SET state = 'expired', done_at = ? WHERE state = 'queued' AND expires_at IS NOT NULL "
        "AND expires_at <= ? RETURNING id",
        {now, now});
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
    const Rows match = db_->Query(
        "SELECT p.message_id, p.part FROM outgoing_parts p JOIN outgoing o ON o.id = p.message_id "
        "WHERE p.modem = ? AND p.reference = ? AND o.recipient_digits = ? "
        "ORDER BY p.sent_at DESC, p.message_id DESC LIMIT 1",
        {r.modem, std::int64_t{r.reference}, NumberDigits(r.recipient)});
    if (!match.empty()) {
      const std::int64_t id = match[0].Int(0);
      const std::int64_t part = match[0].Int(1);
      stored.message_id = id;
      stored.part = static_cast<int>(part);
      db_->Query("UPDATE status_reports SET message_id = ?, part = ? WHERE id = ?", {id, part, stored.id});
      db_->Query(
          "UPDATE outgoing_parts SET status = ?, status_code = ?, report_at = ? WHERE message_id = ? AND part = ?",
          {PartStatus(r.status), std::int64_t{r.status}, r.received_ms, id, part});
      const Rows tally = db_->Query(
          "SELECT o.parts, SUM(CASE WHEN p.status = 'delivered' THEN 1 ELSE 0 END), "
          "SUM(CASE WHEN p.status = 'failed' THEN 1 ELSE 0 END), o.state FROM outgoing o "
          "JOIN outgoing_parts p ON p.message_id = o.id WHERE o.id = ? GROUP BY o.id, o.parts, o.state",
          {id});
      Event(r.received_ms, "report", id, r.modem, "",
            "part " + std::to_string(part) + ": " + r.status_text);
      if (!tally.empty() && (tally[0].Text(3) == kSent || tally[0].Text(3) == kDelivered)) {
        const std::int64_t parts = tally[0].Int(0), delivered = tally[0].Int(1), failed = tally[0].Int(2);
        const char* next = failed > 0 ? kFailed : delivered >= parts ? kDelivered : nullptr;
        if (next && tally[0].Text(3) != next) {
          db_->Query("UPDATE outgoing SET state = ?, done_at = ?, last_error = ? WHERE id = ?",
                     {std::string(next), r.received_ms,
                      std::string(failed > 0 ? "the network could not deliver it: " + r.status_text : ""), id});
          Event(r.received_ms, next, id, r.modem, "", r.status_text);
        }
      }
    }
    tx.Commit();
    return stored;
  }

  void PutModem(const ModemRecord& m) override {
    Transaction tx(*db_);
    // A row belongs to the gateway that drives the modem; another gateway takes the name over
    // only when the row has not been refreshed for ten minutes.
    db_->Query(
        "INSERT INTO modems (name, device, gateway, state, signal, operator, registration, last_error, errors, "
        "sent, received, updated_at) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) ON CONFLICT (name) DO UPDATE SET "
        "device = excluded.device, gateway = excluded.gateway, state = excluded.state, signal = excluded.signal, "
        "operator = excluded.operator, registration = excluded.registration, last_error = excluded.last_error, "
        "errors = excluded.errors, sent = excluded.sent, received = excluded.received, "
        "updated_at = excluded.updated_at "
        "WHERE modems.gateway = excluded.gateway OR modems.updated_at < excluded.updated_at - 600000",
        {m.name, m.device, m.gateway, m.state, std::int64_t{m.signal}, m.operator_name, std::int64_t{m.registration},
         m.last_error, m.errors, m.sent, m.received, m.updated_ms});
    tx.Commit();
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

  std::vector<OutgoingRecord> List(const std::string& state, int limit) override {
    const Rows rows =
        state.empty()
            ? db_->Query(std::string("SELECT ") + kOutgoingColumns + " FROM outgoing ORDER BY id LIMIT ?",
                         {std::int64_t{limit}})
            : db_->Query(std::string("SELECT ") + kOutgoingColumns +
                             " FROM outgoing WHERE state = ? ORDER BY id LIMIT ?",
                         {state, std::int64_t{limit}});
    std::vector<OutgoingRecord> out;
    for (const Row& r : rows) out.push_back(ToOutgoing(r));
    return out;
  }

  std::vector<IncomingRecord> Inbox(int limit) override {
    std::vector<IncomingRecord> out;
    for (const Row& r : db_->Query("SELECT id, modem, sender, body, parts, complete, centre_time, received_at, "
                                   "dedup_key FROM incoming ORDER BY id LIMIT ?",
                                   {std::int64_t{limit}})) {
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
      out.push_back(std::move(m));
    }
    return out;
  }

  std::vector<ReportRecord> Reports(std::int64_t message_id) override {
    std::vector<ReportRecord> out;
    for (const Row& r : db_->Query(std::string("SELECT ") + kReportColumns +
                                       " FROM status_reports WHERE message_id = ? ORDER BY id",
                                   {message_id}))
      out.push_back(ToReport(r));
    return out;
  }

  std::vector<EventRecord> Events(std::int64_t message_id) override {
    std::vector<EventRecord> out;
    for (const Row& r : db_->Query(
             "SELECT id, at, kind, message_id, modem, gateway, detail FROM events WHERE message_id = ? ORDER BY id",
             {message_id})) {
      EventRecord e;
      e.id = r.Int(0);
      e.at_ms = r.Int(1);
      e.kind = r.Text(2);
      e.message_id = r.MaybeInt(3);
      e.modem = r.Text(4);
      e.gateway = r.Text(5);
      e.detail = r.Text(6);
      out.push_back(std::move(e));
    }
    return out;
  }

  std::vector<ModemRecord> Modems() override {
    std::vector<ModemRecord> out;
    for (const Row& r : db_->Query("SELECT name, device, gateway, state, signal, operator, registration, "
                                   "last_error, errors, sent, received, updated_at FROM modems ORDER BY name")) {
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
      out.push_back(std::move(m));
    }
    return out;
  }

  std::map<std::string, std::int64_t> CountByState() override {
    std::map<std::string, std::int64_t> out;
    for (const char* s : {kQueued, kSending, kSent, kDelivered, kFailed, kExpired}) out[s] = 0;
    for (const Row& r : db_->Query("SELECT state, COUNT(*) FROM outgoing GROUP BY state")) out[r.Text(0)] = r.Int(1);
    return out;
  }

 private:
  std::vector<PartRecord> Parts(std::int64_t id) {
    std::vector<PartRecord> out;
    for (const Row& r : db_->Query("SELECT part, reference, status, status_code, report_at FROM outgoing_parts "
                                   "WHERE message_id = ? ORDER BY part",
                                   {id})) {
      PartRecord p;
      p.part = static_cast<int>(r.Int(0));
      p.reference = static_cast<int>(r.Int(1));
      p.status = r.Text(2);
      p.status_code = static_cast<int>(r.Int(3));
      p.report_ms = r.Int(4);
      out.push_back(p);
    }
    return out;
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
