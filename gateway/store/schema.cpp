// The store's schema, created and migrated by the gateway itself: schema_version holds the last
// step applied, and each step runs once, in one transaction, whoever gets there first.
#include "store/schema.hpp"

#include <string>
#include <vector>

#include "store/store.hpp"

namespace quandelstk::gateway {

namespace {

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

// Step 1: the queue, its parts, what came in, the reports, the modems and the history.
const char* const kStep1 = R"(
CREATE TABLE outgoing (
  id @ID,
  recipient TEXT NOT NULL,
  recipient_digits TEXT NOT NULL,
  body TEXT NOT NULL,
  report INTEGER NOT NULL DEFAULT 0,
  state TEXT NOT NULL DEFAULT 'queued'
    CHECK (state IN ('queued', 'sending', 'sent', 'delivered', 'failed', 'expired')),
  attempts INTEGER NOT NULL DEFAULT 0,
  parts INTEGER NOT NULL DEFAULT 1,
  concat_ref INTEGER NOT NULL DEFAULT 0,
  modem TEXT,
  claimed_by TEXT,
  lease_until BIGINT NOT NULL DEFAULT 0,
  not_before BIGINT NOT NULL DEFAULT 0,
  expires_at BIGINT,
  created_at BIGINT NOT NULL,
  claimed_at BIGINT NOT NULL DEFAULT 0,
  sent_at BIGINT NOT NULL DEFAULT 0,
  done_at BIGINT NOT NULL DEFAULT 0,
  last_error TEXT NOT NULL DEFAULT ''
);
CREATE INDEX outgoing_due ON outgoing (state, not_before);
CREATE TABLE outgoing_parts (
  message_id BIGINT NOT NULL REFERENCES outgoing (id),
  part INTEGER NOT NULL,
  reference INTEGER NOT NULL,
  modem TEXT NOT NULL,
  sent_at BIGINT NOT NULL,
  status TEXT NOT NULL DEFAULT '',
  status_code INTEGER NOT NULL DEFAULT -1,
  report_at BIGINT NOT NULL DEFAULT 0,
  PRIMARY KEY (message_id, part)
);
CREATE INDEX outgoing_parts_reference ON outgoing_parts (modem, reference);
CREATE TABLE incoming (
  id @ID,
  modem TEXT NOT NULL,
  sender TEXT NOT NULL,
  body TEXT NOT NULL,
  parts INTEGER NOT NULL,
  complete INTEGER NOT NULL,
  centre_time TEXT NOT NULL,
  received_at BIGINT NOT NULL,
  dedup_key TEXT NOT NULL UNIQUE
);
CREATE TABLE status_reports (
  id @ID,
  modem TEXT NOT NULL,
  recipient TEXT NOT NULL,
  reference INTEGER NOT NULL,
  status INTEGER NOT NULL,
  status_text TEXT NOT NULL,
  discharge TEXT NOT NULL,
  received_at BIGINT NOT NULL,
  message_id BIGINT REFERENCES outgoing (id),
  part INTEGER NOT NULL DEFAULT 0,
  dedup_key TEXT NOT NULL UNIQUE
);
CREATE INDEX status_reports_message ON status_reports (message_id);
CREATE TABLE modems (
  name TEXT PRIMARY KEY,
  device TEXT NOT NULL DEFAULT '',
  gateway TEXT NOT NULL DEFAULT '',
  state TEXT NOT NULL,
  signal INTEGER NOT NULL DEFAULT 99,
  operator TEXT NOT NULL DEFAULT '',
  registration INTEGER NOT NULL DEFAULT -1,
  last_error TEXT NOT NULL DEFAULT '',
  errors BIGINT NOT NULL DEFAULT 0,
  sent BIGINT NOT NULL DEFAULT 0,
  received BIGINT NOT NULL DEFAULT 0,
  updated_at BIGINT NOT NULL
);
CREATE TABLE events (
  id @ID,
  at BIGINT NOT NULL,
  kind TEXT NOT NULL,
  message_id BIGINT,
  modem TEXT NOT NULL DEFAULT '',
  gateway TEXT NOT NULL DEFAULT '',
  detail TEXT NOT NULL DEFAULT ''
);
CREATE INDEX events_message ON events (message_id);
)";

// The history is append-only: the database itself refuses to change or remove a row.
const char* const kAppendOnlySqlite = R"(
CREATE TRIGGER events_no_update BEFORE UPDATE ON events BEGIN SELECT RAISE(ABORT, 'events are append-only'); END;
CREATE TRIGGER events_no_delete BEFORE DELETE ON events BEGIN SELECT RAISE(ABORT, 'events are append-only'); END;
)";
const char* const kAppendOnlyPostgres = R"(
CREATE FUNCTION events_append_only() RETURNS trigger LANGUAGE plpgsql AS
  $$ BEGIN RAISE EXCEPTION 'events are append-only'; END $$;
CREATE TRIGGER events_no_change BEFORE UPDATE OR DELETE ON events
  FOR EACH STATEMENT EXECUTE FUNCTION events_append_only();
)";

// Step 2: each claim has a token of its own, so a claim's holder is known even when two processes
// share a gateway name; PostgreSQL also refuses TRUNCATE on the history.
const char* const kStep2 = "ALTER TABLE outgoing ADD COLUMN claim_token TEXT;\n";
const char* const kNoTruncatePostgres = R"(
CREATE TRIGGER events_no_truncate BEFORE TRUNCATE ON events
  FOR EACH STATEMENT EXECUTE FUNCTION events_append_only();
)";

std::vector<std::string> Steps(Dialect dialect) {
  const bool pg = dialect == Dialect::Postgres;
  std::string step1 = Replace(kStep1, "@ID", pg ? "BIGSERIAL PRIMARY KEY" : "INTEGER PRIMARY KEY");
  step1 += pg ? kAppendOnlyPostgres : kAppendOnlySqlite;
  return {step1, std::string(kStep2) + (pg ? kNoTruncatePostgres : "")};
}

}  // namespace

int SchemaVersion() {
  return static_cast<int>(Steps(Dialect::Sqlite).size());
}

void Migrate(Db& db) {
  const std::vector<std::string> steps = Steps(db.dialect());
  Transaction tx(db);
  // Several gateways may start at once on one PostgreSQL database: one migrates, the others wait.
  // The lock comes first: two CREATE TABLE IF NOT EXISTS at once on an empty database can both
  // try to create the table, and one fails.
  if (db.dialect() == Dialect::Postgres) db.Query("SELECT pg_advisory_xact_lock(727361)");
  db.Script("CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)");
  const Rows rows = db.Query("SELECT MAX(version) FROM schema_version");
  const int version = rows.empty() ? 0 : static_cast<int>(rows[0].Int(0, 0));
  if (version > static_cast<int>(steps.size()))
    throw StoreError("the store has schema version " + std::to_string(version) + ", newer than this program's " +
                     std::to_string(steps.size()) + "; upgrade quandelstk-gateway");
  for (int v = version; v < static_cast<int>(steps.size()); ++v) {
    db.Script(steps[static_cast<std::size_t>(v)]);
    if (v == version && version == 0) {
      db.Query("INSERT INTO schema_version (version) VALUES (?)", {std::int64_t{v + 1}});
    } else {
      db.Query("UPDATE schema_version SET version = ?", {std::int64_t{v + 1}});
    }
  }
  tx.Commit();
}

}  // namespace quandelstk::gateway
