// The SQLite store: claims and leases, the life of a message, reports matched to parts, the modem
// rows, the history, the schema. The same logic runs on PostgreSQL (postgres_test.cpp).
#include <gtest/gtest.h>

#include "fakes.hpp"
#include "store/db.hpp"
#include "store/schema.hpp"
#include "store/sql_store.hpp"
#include "store/sqlite_db.hpp"

namespace quandelstk::gateway::testing {
namespace {

constexpr std::int64_t kT0 = 1'800'000'000'000;

NewMessage Msg(const std::string& to, const std::string& text, int parts = 1) {
  NewMessage m;
  m.to = to;
  m.text = text;
  m.parts = parts;
  return m;
}

class StoreTest : public ::testing::Test {
 protected:
  TempDir dir_;
  std::string url_ = "sqlite:" + dir_.path() + "/sub/gateway.db";
  std::unique_ptr<Store> store_ = OpenStore(url_);
};

TEST_F(StoreTest, OnlyDueMessagesAreClaimedAndNeverTwiceWhileTheLeaseRuns) {
  const std::int64_t now_id = store_->Enqueue(Msg("+1555", "now"), kT0);
  NewMessage later = Msg("+1555", "later");
  later.not_before_ms = kT0 + 60000;
  const std::int64_t later_id = store_->Enqueue(later, kT0);

  auto a = store_->Claim("gw1", "m1", kT0, 10000, 10);
  ASSERT_EQ(a.size(), 1u);
  EXPECT_EQ(a[0].id, now_id);
  EXPECT_EQ(a[0].state, kSending);
  EXPECT_EQ(a[0].attempts, 1);
  EXPECT_EQ(a[0].lease_until_ms, kT0 + 10000);
  // A second gateway (its own connection) gets nothing while the lease runs.
  auto other = OpenStore(url_);
  EXPECT_TRUE(other->Claim("gw2", "m9", kT0 + 9999, 10000, 10).empty());
  // When the lease ended without a commit, the claim is taken over, and the history says so.
  auto b = other->Claim("gw2", "m9", kT0 + 10001, 10000, 10);
  ASSERT_EQ(b.size(), 1u);
  EXPECT_EQ(b[0].id, now_id);
  EXPECT_EQ(b[0].attempts, 2);
  EXPECT_EQ(b[0].claimed_by, "gw2");
  bool taken_over = false;
  for (const auto& e : store_->Events(now_id)) taken_over |= e.kind == "taken-over" && e.gateway == "gw2";
  EXPECT_TRUE(taken_over);
  // The first gateway's late commit does not overwrite the second's claim... but is recorded.
  EXPECT_FALSE(store_->MarkSent(now_id, "gw1", {7}, kT0 + 10002));
  EXPECT_EQ(store_->Get(now_id)->state, kSent);
  // The message due later comes when it is due.
  auto c = store_->Claim("gw1", "m1", kT0 + 60000, 10000, 10);
  ASSERT_EQ(c.size(), 1u);
  EXPECT_EQ(c[0].id, later_id);
}

TEST_F(StoreTest, ACommitTriedAgainAfterItsAnswerWasLostIsRecordedOnce) {
  const std::int64_t id = store_->Enqueue(Msg("+1555", "x"), kT0);
  store_->Claim("gw1", "m1", kT0, 10000, 1);
  EXPECT_TRUE(store_->MarkSent(id, "gw1", {4}, kT0 + 1));
  EXPECT_TRUE(store_->MarkSent(id, "gw1", {4}, kT0 + 2));
  int sent_events = 0;
  for (const auto& e : store_->Events(id)) sent_events += e.kind == "sent";
  EXPECT_EQ(sent_events, 1);
}

TEST_F(StoreTest, RetriesGoBackToTheQueueUntilTheLastAttempt) {
  const std::int64_t id = store_->Enqueue(Msg("+1555", "x"), kT0);
  std::int64_t t = kT0;
  for (int attempt = 1; attempt <= 3; ++attempt) {
    auto c = store_->Claim("gw", "m1", t, 1000, 1);
    ASSERT_EQ(c.size(), 1u) << attempt;
    store_->MarkRetry(id, "gw", "refused", t, t + 500, 3);
    const OutgoingRecord m = *store_->Get(id);
    EXPECT_EQ(m.state, attempt < 3 ? kQueued : kFailed);
    EXPECT_TRUE(store_->Claim("gw", "m1", t + 499, 1000, 1).empty());
    t += 500;
  }
  EXPECT_TRUE(store_->Claim("gw", "m1", t + 100000, 1000, 1).empty());
  EXPECT_NE(store_->Get(id)->done_ms, 0);
}

TEST_F(StoreTest, ReleaseGivesBackOnlyThatModemsClaims) {
  const std::int64_t a = store_->Enqueue(Msg("+1555", "a"), kT0);
  const std::int64_t b = store_->Enqueue(Msg("+1555", "b"), kT0);
  store_->Claim("gw", "m1", kT0, 60000, 1);
  store_->Claim("gw", "m2", kT0, 60000, 1);
  EXPECT_EQ(store_->Release("gw", "m1", "modem m1 stopped answering", kT0 + 1), 1);
  EXPECT_EQ(store_->Get(a)->state, kQueued);
  EXPECT_EQ(store_->Get(a)->last_error, "modem m1 stopped answering");
  EXPECT_EQ(store_->Get(b)->state, kSending);
  EXPECT_EQ(store_->Release("other-gw", "m2", "x", kT0 + 1), 0);
}

TEST_F(StoreTest, QueuedMessagesPastTheirTimeToLiveExpire) {
  NewMessage m = Msg("+1555", "x");
  m.expires_ms = kT0 + 1000;
  const std::int64_t id = store_->Enqueue(m, kT0);
  EXPECT_EQ(store_->ExpireDue(kT0 + 999), 0);
  EXPECT_TRUE(store_->Claim("gw", "m1", kT0 + 1000, 1000, 1).empty());
  EXPECT_EQ(store_->ExpireDue(kT0 + 1000), 1);
  EXPECT_EQ(store_->Get(id)->state, kExpired);
}

// One sent message of two parts (references 10 and 11 on m1 to +15550100999), then reports.
struct ReportCase {
  const char* name;
  std::vector<std::tuple<std::string, std::string, int, int>> reports;  // modem, recipient, reference, status
  const char* state;
  std::vector<std::string> part_status;
  int matched;
};

void PrintTo(const ReportCase& c, std::ostream* os) { *os << c.name; }

class ReportMatching : public ::testing::TestWithParam<ReportCase> {};

TEST_P(ReportMatching, UpdatesThePartsAndTheMessage) {
  const ReportCase& c = GetParam();
  TempDir dir;
  auto store = OpenStore("sqlite:" + dir.path() + "/g.db");
  // An older message with the same references, to another number and then to the same one:
  // the most recent send to that number wins.
  const std::int64_t old = store->Enqueue(Msg("15550100999", "old", 2), kT0);
  store->Claim("gw", "m1", kT0, 1000, 1);
  store->MarkSent(old, "gw", {10, 11}, kT0);
  const std::int64_t id = store->Enqueue(Msg("+15550100999", "new", 2), kT0 + 1);
  store->Claim("gw", "m1", kT0 + 1, 1000, 1);
  store->MarkSent(id, "gw", {10, 11}, kT0 + 2);
  int n = 0;
  for (const auto& [modem, recipient, reference, status] : c.reports) {
    ReportRecord r;
    r.modem = modem;
    r.recipient = recipient;
    r.reference = reference;
    r.status = status;
    r.status_text = "s" + std::to_string(status);
    r.received_ms = kT0 + 10 + n;
    r.key = modem + recipient + std::to_string(reference) + "/" + std::to_string(status);
    store->AddReport(r);
    ++n;
  }
  const OutgoingRecord m = *store->Get(id);
  EXPECT_EQ(m.state, c.state);
  std::vector<std::string> statuses;
  for (const auto& p : m.part_records) statuses.push_back(p.status);
  EXPECT_EQ(statuses, c.part_status);
  EXPECT_EQ(static_cast<int>(store->Reports(id).size()), c.matched);
  EXPECT_EQ(store->Get(old)->state, kSent);
}

INSTANTIATE_TEST_SUITE_P(
    Store, ReportMatching,
    ::testing::Values(
        ReportCase{"BothPartsDelivered", {{"m1", "+15550100999", 10, 0}, {"m1", "+15550100999", 11, 0}},
                   kDelivered, {"delivered", "delivered"}, 2},
        ReportCase{"OnePartDelivered", {{"m1", "+15550100999", 11, 0}}, kSent, {"", "delivered"}, 1},
        ReportCase{"StillTrying", {{"m1", "+15550100999", 10, 0x21}, {"m1", "+15550100999", 11, 0}}, kSent,
                   {"pending", "delivered"}, 2},
        ReportCase{"OnePartFailed", {{"m1", "+15550100999", 10, 0x41}}, kFailed, {"failed", ""}, 1},
        ReportCase{"NumberWrittenWithoutPlus", {{"m1", "15550100999", 10, 0}}, kSent, {"delivered", ""}, 1},
        ReportCase{"OtherModemsReference", {{"m2", "+15550100999", 10, 0}}, kSent, {"", ""}, 0},
        ReportCase{"OtherNumber", {{"m1", "+15550100111", 10, 0}}, kSent, {"", ""}, 0},
        ReportCase{"UnknownReference", {{"m1", "+15550100999", 12, 0}}, kSent, {"", ""}, 0},
        ReportCase{"SameReportTwice", {{"m1", "+15550100999", 10, 0}, {"m1", "+15550100999", 10, 0}}, kSent,
                   {"delivered", ""}, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(StoreTest, AMessageListedAgainIsStoredOnce) {
  IncomingRecord m;
  m.modem = "m1";
  m.from = "+1555";
  m.text = "hi";
  m.key = "m1|k";
  EXPECT_TRUE(store_->AddIncoming(m));
  EXPECT_TRUE(store_->AddIncoming(m));
  m.key = "m1|other";
  EXPECT_TRUE(store_->AddIncoming(m));
  EXPECT_EQ(store_->Inbox(10).size(), 2u);
}

TEST_F(StoreTest, AModemRowBelongsToTheGatewayDrivingIt) {
  ModemRecord r;
  r.name = "m1";
  r.gateway = "gw1";
  r.state = "ready";
  r.signal = 20;
  r.updated_ms = kT0;
  store_->PutModem(r);
  ModemRecord other = r;
  other.gateway = "gw2";
  other.signal = 3;
  other.updated_ms = kT0 + 599999;
  store_->PutModem(other);  // gw1's row is fresh: left alone
  EXPECT_EQ(store_->Modems().at(0).signal, 20);
  r.name = "m2";
  r.signal = 7;
  store_->PutModem(r);  // another name: its own row
  ASSERT_EQ(store_->Modems().size(), 2u);
  EXPECT_EQ(store_->Modems().at(0).signal, 20);
  other.updated_ms = kT0 + 600001;  // gw1 silent for ten minutes: the name moves
  store_->PutModem(other);
  EXPECT_EQ(store_->Modems().at(0).gateway, "gw2");
}

TEST_F(StoreTest, TheHistoryIsAppendOnly) {
  const std::int64_t id = store_->Enqueue(Msg("+1555", "x"), kT0);
  auto db = OpenSqlite(dir_.path() + "/sub/gateway.db");
  EXPECT_THROW(db->Query("UPDATE events SET kind = 'x'"), StoreError);
  EXPECT_THROW(db->Query("DELETE FROM events"), StoreError);
  EXPECT_EQ(store_->Events(id).size(), 1u);
}

TEST_F(StoreTest, ReopeningKeepsEverythingAndANewerSchemaIsRefused) {
  const std::int64_t id = store_->Enqueue(Msg("+1555", "kept"), kT0);
  store_.reset();
  EXPECT_EQ(OpenStore(url_)->Get(id)->text, "kept");
  auto db = OpenSqlite(dir_.path() + "/sub/gateway.db");
  db->Query("UPDATE schema_version SET version = ?", {std::int64_t{SchemaVersion() + 1}});
  try {
    OpenStore(url_);
    FAIL() << "a newer schema was accepted";
  } catch (const StoreError& e) {
    EXPECT_NE(std::string(e.what()).find("newer than this program"), std::string::npos);
  }
}

TEST(StoreUrl, NamesTheDatabase) {
  EXPECT_THROW(OpenStore("mysql://localhost/x"), StoreError);
  EXPECT_THROW(OpenStore("sqlite:"), StoreError);
  const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
  setenv("XDG_DATA_HOME", "/srv/data", 1);
  EXPECT_EQ(DefaultStoreUrl(), "sqlite:/srv/data/quandelstk/gateway.db");
  unsetenv("XDG_DATA_HOME");
  setenv("HOME", "/home/u", 1);
  EXPECT_EQ(DefaultStoreUrl(), "sqlite:/home/u/.local/share/quandelstk/gateway.db");
  setenv("HOME", home.c_str(), 1);
}

}  // namespace
}  // namespace quandelstk::gateway::testing
