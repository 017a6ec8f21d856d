// The gateway's queue and records: one interface, kept in SQLite on one host or in PostgreSQL when
// several gateways share the work. Each thread opens its own Store; none is shared between threads.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace quandelstk::gateway {

// The database cannot be reached now (a lost connection, a locked file past its wait): the caller
// keeps what it holds and tries again later; nothing was committed.
class StoreUnavailable : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Anything else the store refuses (a malformed URL, a schema newer than this program).
class StoreError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Message states, in the order a message goes through them.
inline constexpr const char* kQueued = "queued";
inline constexpr const char* kSending = "sending";
inline constexpr const char* kSent = "sent";
inline constexpr const char* kDelivered = "delivered";
inline constexpr const char* kFailed = "failed";
inline constexpr const char* kExpired = "expired";
bool IsState(const std::string& s);

struct NewMessage {
  std::string to;
  std::string text;  // UTF-8
  bool report = false;
  std::int64_t not_before_ms = 0;  // wall clock, ms since the epoch; 0: at once
  std::optional<std::int64_t> expires_ms;
  int parts = 1;  // as planned when queued
};

struct PartRecord {
  int part = 1;
  int reference = -1;   // the modem's message reference (+CMGS)
  std::string modem;    // the modem that sent it
  std::string status;   // "" no report yet, else "delivered", "pending" or "failed"
  int status_code = -1; // the report's status octet
  std::int64_t report_ms = 0;
};

struct OutgoingRecord {
  std::int64_t id = 0;
  std::string to;
  std::string text;
  bool report = false;
  std::string state;
  int attempts = 0;
  int parts = 1;
  int concat_reference = 0;  // the same on every attempt, so that parts of two attempts still join
  std::string modem;         // the modem that claimed or sent it
  std::string claimed_by;    // the gateway process holding the claim (see ClaimantId)
  std::string claim_token;   // this claim's own token: whoever holds it may record the send
  std::int64_t lease_until_ms = 0;
  std::int64_t not_before_ms = 0;
  std::optional<std::int64_t> expires_ms;
  std::int64_t created_ms = 0;
  std::int64_t claimed_ms = 0;
  std::int64_t sent_ms = 0;
  std::int64_t done_ms = 0;
  std::string last_error;
  std::vector<PartRecord> part_records;
};

struct IncomingRecord {
  std::int64_t id = 0;
  std::string modem;
  std::string from;
  std::string text;
  int parts = 1;
  bool complete = true;
  std::string centre_time;  // the service centre's time stamp as text
  std::int64_t received_ms = 0;
  std::string key;  // identifies a message listed again after a crash before its deletion
};

struct ReportRecord {
  std::int64_t id = 0;
  std::string modem;
  std::string recipient;
  int reference = 0;
  int status = 0;
  std::string status_text;
  std::string discharge;  // when the network delivered it (or gave up), as text
  std::int64_t received_ms = 0;
  std::optional<std::int64_t> centre_ms;   // the centre's time stamp (when it took the message), UTC
  std::optional<std::int64_t> message_id;  // the outgoing message it is about, when matched
  int part = 0;
  std::string key;
};

struct ModemRecord {
  std::string name;
  std::string device;
  std::string gateway;  // the process driving it (see ClaimantId)
  std::string state;  // "starting", "ready", "down", "stopped"
  int signal = 99;    // AT+CSQ's rssi, 99 unknown
  std::string operator_name;
  int registration = -1;  // AT+CREG's stat, -1 unknown
  std::string last_error;
  std::int64_t errors = 0;
  std::int64_t sent = 0;
  std::int64_t received = 0;
  std::int64_t updated_ms = 0;
};

struct EventRecord {
  std::int64_t id = 0;
  std::int64_t at_ms = 0;
  std::string kind;
  std::optional<std::int64_t> message_id;
  std::string modem;
  std::string gateway;
  std::string detail;
};

class Store {
 public:
  virtual ~Store() = default;

  // Queues a message; returns its id. Nothing is checked here: callers validate first.
  virtual std::int64_t Enqueue(const NewMessage& m, std::int64_t now_ms) = 0;

  // Takes up to limit messages that are due (queued, or sending with a lease that has ended) for
  // this gateway process and modem, each with a lease until now + lease_ms, a claim token of its
  // own and one more attempt counted. Two claims never hold the same message while its lease runs.
  // On PostgreSQL leases run on the server's clock, so hosts whose clocks differ agree on them.
  // Messages are taken in the order of their next attempt time, then of their id. A claim whose
  // lease ended after max_attempts (when above 0) ends failed instead, unless every part of it
  // was recorded (it is claimed, to be marked sent).
  virtual std::vector<OutgoingRecord> Claim(const std::string& claimant, const std::string& modem,
                                            std::int64_t now_ms, std::int64_t lease_ms, int limit,
                                            int max_attempts = 0) = 0;
  // The modem took one part: its reference is recorded at once (a crash or a retry after it does
  // not send it again) and the lease is renewed to now + lease_ms. False when the claim token is
  // no longer the message's (taken over, released): the sender stops.
  virtual bool RecordPart(std::int64_t id, const std::string& token, int part, int reference, std::int64_t now_ms,
                          std::int64_t lease_ms) = 0;
  // The modem accepted every part: the message is sent. references are those of the parts sent
  // now, starting at part first_part. Only the holder of the current claim token succeeds (true,
  // also when its earlier commit's answer was lost); any other is recorded as sent late and gets
  // false, the record left alone.
  virtual bool MarkSent(std::int64_t id, const std::string& token, const std::vector<int>& references,
                        std::int64_t now_ms, int first_part = 1) = 0;
  // Sending failed: back to the queue at retry_ms, or failed for good after max_attempts. The
  // parts the modem did accept before it refused one (references, from first_part on) are
  // recorded: the next attempt on that modem sends only the rest.
  virtual void MarkRetry(std::int64_t id, const std::string& token, const std::string& error,
                         std::int64_t now_ms, std::int64_t retry_ms, int max_attempts,
                         const std::vector<int>& references = {}, int first_part = 1) = 0;
  // The modem stopped answering, or the process holding these claims is gone: every message that
  // claimant holds on that modem goes back to the queue for the others, not before retry_at_ms
  // (0: its place in the queue kept), the attempt counted (a send may have begun); failed, with
  // why as its last error, once it had max_attempts (when above 0). Returns how many.
  virtual int Release(const std::string& claimant, const std::string& modem, const std::string& why,
                      std::int64_t now_ms, std::int64_t retry_at_ms, int max_attempts) = 0;
  // Queued messages whose time to live ended, and claimed ones whose lease ended after it, become
  // expired. Returns how many.
  virtual int ExpireDue(std::int64_t now_ms) = 0;

  // Stores a received message; true when it is in the store now (also when it already was).
  virtual bool AddIncoming(const IncomingRecord& m) = 0;
  // Stores a status report and matches it to the most recent part sent to that number with that
  // reference on that modem that still waits for its report, sent within seven days before the
  // report, preferring those sent before the centre's time stamp; the message becomes delivered when every part
  // is, failed when one failed. Returns the record as stored (message_id set when matched).
  virtual ReportRecord AddReport(const ReportRecord& r) = 0;

  // One row per modem name, owned by one gateway process: false (nothing written) when the row is
  // another's that is neither stopped nor silent for ten minutes, unless take_over (its owner is
  // known to be dead).
  virtual bool PutModem(const ModemRecord& m, bool take_over = false) = 0;
  virtual void AddEvent(const EventRecord& e) = 0;

  virtual std::optional<OutgoingRecord> Get(std::int64_t id) = 0;
  // The newest first, at most limit; before_id above 0: only those with a smaller id (the next
  // page back is the one before the last id of this one).
  virtual std::vector<OutgoingRecord> List(const std::string& state, int limit, std::int64_t before_id = 0) = 0;
  virtual std::vector<IncomingRecord> Inbox(int limit, std::int64_t before_id = 0) = 0;
  virtual std::vector<ReportRecord> Reports(std::int64_t message_id) = 0;
  virtual std::vector<EventRecord> Events(std::int64_t message_id) = 0;
  virtual std::vector<ModemRecord> Modems() = 0;
  virtual std::map<std::string, std::int64_t> CountByState() = 0;

  // The URL it was opened with, the password left out.
  virtual std::string Describe() const = 0;
};

// A name for this gateway process that no other process shares, even one with the same gateway
// name: "NAME@HOST:PID:START". Claims and modem rows belong to it.
std::string ClaimantId(const std::string& gateway_name);
// The gateway name in a claimant id (all of it when it is not one).
std::string GatewayOf(const std::string& claimant);
// True when the claimant is a process of this host that no longer runs. Not to be asked about
// this process's own id.
bool ClaimantIsDeadHere(const std::string& claimant);

// "sqlite:PATH", "sqlite::memory:", a plain path, or "postgresql://..." / "postgres://...".
// An empty URL is the default: DefaultStoreUrl(). Throws StoreError for a URL it cannot use.
std::unique_ptr<Store> OpenStore(const std::string& url);
// sqlite:$XDG_DATA_HOME/quandelstk/gateway.db (~/.local/share when unset).
std::string DefaultStoreUrl();

}  // namespace quandelstk::gateway
