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

class StoreTest : public ::testing::Test {
 protected:
  TempDir dir_;
  std::string url_ = "sqlite:" + dir_.path() + "/sub/gateway.db";
  std::unique_ptr<Store> store_ = OpenStore(url_);
};

TEST_F(StoreTest, OnlyDueMessagesAreClaimedAndOnlyTheCurrentClaimCommits) {
  const std::int64_t now_id = store_->Enqueue(Msg("+1555", "now"), kT0);
  NewMessage later = Msg("+1555", "later");
  later.not_before_ms = kT0 + 60000;
  const std::int64_t later_id = store_->Enqueue(later, kT0);

  auto a = store_->Claim("gw1", "m1", kT0, 10000, 10);
  ASSERT_EQ(a.size(), 1u);
  EXPECT_EQ(a[0].attempts, 1);
  EXPECT_EQ(a[0].lease_until_ms, kT0 + 10000);
  // A second gateway (its own connection) gets nothing while the lease runs.
  auto other = OpenStore(url_);
  EXPECT_TRUE(other->Claim("gw2", "m9", kT0 + 9999, 10000, 10).empty());
  // When the lease ended without a commit, the claim is taken over, and the history says so.
  auto b = other->Claim("gw2", "m9", kT0 + 10001, 10000, 10);
  ASSERT_EQ(b.size(), 1u);
  EXPECT_EQ(b[0].attempts, 2);
  EXPECT_NE(b[0].claim_token, a[0].claim_token);
  EXPECT_EQ(Count(*store_, now_id, "taken-over"), 1);
  // The first claimant's late commit neither wins nor disappears; the taker's commit is the one.
  EXPECT_FALSE(store_->MarkSent(now_id, a[0].claim_token, {7}, kT0 + 10002));
  EXPECT_EQ(store_->Get(now_id)->state, kSending);
  EXPECT_FALSE(store_->RecordPart(now_id, a[0].claim_token, 1, 7, kT0 + 10002, 10000));
  EXPECT_TRUE(other->MarkSent(now_id, b[0].claim_token, {9}, kT0 + 10003));
  EXPECT_TRUE(other->MarkSent(now_id, b[0].claim_token, {9}, kT0 + 10004));  // its answer lost: asked again
  const OutgoingRecord m = *store_->Get(now_id);
  EXPECT_EQ(m.state, kSent);
  ASSERT_EQ(m.part_records.size(), 1u);
  EXPECT_EQ(m.part_records[0].reference, 9);
  EXPECT_EQ(m.part_records[0].modem, "m9");
  EXPECT_EQ(Count(*store_, now_id, "sent"), 1);
  EXPECT_EQ(Count(*store_, now_id, "sent-late"), 1);
  // The message due later comes when it is due.
  auto c = store_->Claim("gw1", "m1", kT0 + 60000, 10000, 10);
  ASSERT_EQ(c.size(), 1u);
  EXPECT_EQ(c[0].id, later_id);
}

TEST_F(StoreTest, ReleaseGivesBackOnlyThatProcessesClaimsOnThatModem) {
  // Two processes with one gateway name: each has its own claimant id.
  const std::int64_t a = store_->Enqueue(Msg("+1555", "a"), kT0);
  const std::int64_t b = store_->Enqueue(Msg("+1555", "b"), kT0);
  const std::int64_t c = store_->Enqueue(Msg("+1555", "c"), kT0);
  store_->Claim("gw@h:1:1", "m1", kT0, 600000, 1);
  store_->Claim("gw@h:1:1", "m2", kT0, 600000, 1);
  store_->Claim("gw@h:2:2", "m1", kT0, 600000, 1);
  EXPECT_EQ(store_->Release("gw@h:1:1", "m1", "modem m1 stopped answering", kT0 + 1, kT0 + 60000, 3), 1);
  EXPECT_EQ(store_->Get(a)->state, kQueued);
  EXPECT_EQ(store_->Get(a)->attempts, 1);  // the send may have begun: it counts
  EXPECT_EQ(store_->Get(a)->last_error, "modem m1 stopped answering");
  EXPECT_EQ(store_->Get(b)->state, kSending);
  EXPECT_EQ(store_->Get(c)->state, kSending);
  EXPECT_EQ(store_->Release("gw", "m1", "x", kT0 + 1, kT0 + 60000, 3), 0);
  // Released, it waits its own time: a message queued after it goes first; and at the last
  // attempt it ends failed with the reason.
  const std::int64_t d = store_->Enqueue(Msg("+1555", "d"), kT0 + 2);
  EXPECT_EQ(store_->Claim("gw@h:1:1", "m1", kT0 + 3, 600000, 1, 3).at(0).id, d);
  EXPECT_TRUE(store_->Claim("gw@h:1:1", "m3", kT0 + 59999, 60000, 1, 3).empty());
  for (int attempt = 2; attempt <= 3; ++attempt) {
    const std::int64_t at = kT0 + attempt * 60000;
    ASSERT_EQ(store_->Claim("gw@h:1:1", "m3", at, 60000, 1, 3).at(0).id, a) << attempt;
    EXPECT_EQ(store_->Release("gw@h:1:1", "m3", "modem m3 stopped answering", at, at + 60000, 3), 1);
  }
  EXPECT_EQ(store_->Get(a)->state, kFailed);
  EXPECT_EQ(store_->Get(a)->attempts, 3);
  EXPECT_EQ(store_->Get(a)->last_error, "modem m3 stopped answering");
}

// Each part is recorded as the modem takes it, so its report may come before the send is recorded
// (or, after a crash, before the claim is taken over): recording the send then settles it.
TEST_F(StoreTest, AMessageWhoseReportsCameBeforeItsSendWasRecordedIsDelivered) {
  const std::int64_t id = store_->Enqueue(Msg("+15550100999", std::string(200, 'x'), 2), kT0);
  const std::string token = store_->Claim("gw", "m1", kT0, 60000, 1).at(0).claim_token;
  for (int part = 1; part <= 2; ++part) {
    ASSERT_TRUE(store_->RecordPart(id, token, part, 60 + part, kT0 + part, 60000));
    const ReportRecord r{.modem = "m1", .recipient = "+15550100999", .reference = 60 + part, .received_ms = kT0 + 10,
                         .key = std::to_string(part)};
    EXPECT_EQ(store_->AddReport(r).message_id, std::optional<std::int64_t>(id));
  }
  EXPECT_EQ(store_->Get(id)->state, kSending);
  EXPECT_TRUE(store_->MarkSent(id, token, {}, kT0 + 20));
  EXPECT_EQ(store_->Get(id)->state, kDelivered);
}

TEST_F(StoreTest, MessagesPastTheirTimeToLiveExpireQueuedOrWithAnEndedLease) {
  NewMessage m = Msg("+1555", "x");
  m.expires_ms = kT0 + 1000;
  const std::int64_t claimed = store_->Enqueue(m, kT0);
  const std::int64_t queued = store_->Enqueue(m, kT0);
  store_->Claim("gw", "m1", kT0, 5000, 1);  // the first; its claimant dies with it
  EXPECT_EQ(store_->ExpireDue(kT0 + 999), 0);
  EXPECT_TRUE(store_->Claim("gw", "m1", kT0 + 1000, 1000, 1).empty());
  EXPECT_EQ(store_->ExpireDue(kT0 + 1000), 1);  // the claimed one's lease still runs
  EXPECT_EQ(store_->Get(queued)->state, kExpired);
  EXPECT_EQ(store_->Get(claimed)->state, kSending);
  EXPECT_EQ(store_->ExpireDue(kT0 + 5001), 1);
  EXPECT_EQ(store_->Get(claimed)->state, kExpired);
}

constexpr std::int64_t kHour = 3600 * 1000, kMin = 60000, kDay = 24 * kHour;

// Two messages of two parts with the same references 10 and 11 on m1 (the references wrapped
// between them): "old" to 15550100999 at kT0, "new" to `to` gap later. Then reports come.
struct Rep {
  std::string modem = "m1", recipient = "+15550100999";
  int reference = 10, status = 0;
  std::int64_t received = 0;                // after new was sent
  std::optional<std::int64_t> centre = {};  // the centre's stamp, from kT0
};
struct ReportCase {
  const char* name;
  std::vector<Rep> reports;
  const char* state;
  std::vector<std::string> part_status, old_status;
  int matched;
  std::int64_t gap = kHour;
  std::string to = "+15550100999";
};
void PrintTo(const ReportCase& c, std::ostream* os) { *os << c.name; }

class ReportMatching : public ::testing::TestWithParam<ReportCase> {};

std::int64_t SendAt(Store& store, const std::string& to, std::vector<int> refs, std::int64_t at) {
  const std::int64_t id = store.Enqueue(Msg(to, "x", static_cast<int>(refs.size())), at);
  store.MarkSent(id, store.Claim("gw", "m1", at, 1000, 1).at(0).claim_token, refs, at);
  return id;
}

TEST_P(ReportMatching, UpdatesThePartsAndTheMessage) {
  const ReportCase& c = GetParam();
  auto store = OpenStore("sqlite::memory:");
  const std::int64_t old = SendAt(*store, "15550100999", {10, 11}, kT0);
  const std::int64_t id = SendAt(*store, c.to, {10, 11}, kT0 + c.gap);
  int n = 0;
  for (const Rep& x : c.reports) {
    ReportRecord r{.modem = x.modem, .recipient = x.recipient, .reference = x.reference, .status = x.status,
                   .status_text = "s" + std::to_string(x.status), .received_ms = kT0 + c.gap + x.received + n++};
    if (x.centre) r.centre_ms = kT0 + *x.centre;
    r.key = x.modem + x.recipient + std::to_string(x.reference) + "/" + std::to_string(x.status) + "/" +
            std::to_string(x.received);
    store->AddReport(r);
  }
  const auto statuses = [&](std::int64_t which) {
    std::vector<std::string> out;
    const auto message = store->Get(which);  // kept: a loop over a temporary's member would dangle
    for (const auto& p : message->part_records) out.push_back(p.status);
    return out;
  };
  EXPECT_EQ(store->Get(id)->state, c.state);
  EXPECT_EQ(statuses(id), c.part_status);
  EXPECT_EQ(statuses(old), c.old_status);
  EXPECT_EQ(static_cast<int>(store->Reports(id).size()), c.matched);
}

const std::vector<std::string> kNone{"", ""}, kFirst{"delivered", ""};
INSTANTIATE_TEST_SUITE_P(
    Store, ReportMatching,
    ::testing::Values(
        ReportCase{"BothPartsDelivered", {{}, {.reference = 11}}, kDelivered, {"delivered", "delivered"}, kNone, 2},
        ReportCase{"OnePartDelivered", {{.reference = 11}}, kSent, {"", "delivered"}, kNone, 1},
        ReportCase{"StillTryingThenDelivered", {{.status = 0x21}, {.reference = 11}, {.received = 5}}, kDelivered,
                   {"delivered", "delivered"}, kNone, 3},
        ReportCase{"OnePartFailed", {{.status = 0x41}}, kFailed, {"failed", ""}, kNone, 1},
        ReportCase{"OtherModemsReference", {{.modem = "m2"}}, kSent, kNone, kNone, 0},
        ReportCase{"OtherNumber", {{.recipient = "+15550100111"}}, kSent, kNone, kNone, 0},
        ReportCase{"UnknownReference", {{.reference = 12}}, kSent, kNone, kNone, 0},
        ReportCase{"SameReportTwice", {{}, {}}, kSent, kFirst, kNone, 1},
        // The recipient in the form the network keeps it: without "+", national or international.
        ReportCase{"NumberWrittenWithoutPlus", {{.recipient = "15550100999"}}, kSent, kFirst, kNone, 1},
        ReportCase{"QueuedInternationalReportedNational", {{.recipient = "07700900123"}}, kSent, kFirst, kNone, 1,
                   kHour, "+447700900123"},
        ReportCase{"QueuedNationalReportedInternational", {{.recipient = "+447700900123"}}, kSent, kFirst, kNone, 1,
                   kHour, "07700900123"},
        // The centre stamped it before the newer part went out: it is about the older one, also
        // when the references wrapped within minutes.
        ReportCase{"CentreTimeBeforeTheNewerPart", {{.centre = 60000}}, kSent, kNone, kFirst, 0},
        ReportCase{"WrappedTwentyMinutesApart", {{.received = kMin, .centre = 2000}}, kSent, kNone, kFirst, 0, 20 * kMin},
        ReportCase{"WrappedTenMinutesApart", {{.received = kMin, .centre = 2000}}, kSent, kNone, kFirst, 0, 10 * kMin},
        ReportCase{"WrappedFourMinutesApart", {{.received = kMin, .centre = 2000}}, kSent, kNone, kFirst, 0, 4 * kMin},
        ReportCase{"CentreTimeAfterTheNewerPart", {{.centre = kHour + 60000}}, kSent, kFirst, kNone, 1},
        ReportCase{"CentreClockSkewedAFewMinutes", {{.centre = kHour - 60000}}, kSent, kFirst, kNone, 1},
        ReportCase{"CentreClockYearsOffIsIgnored", {{.centre = -400 * kDay}}, kSent, kFirst, kNone, 1},
        // A part that has its final report is not matched again: a second report goes to the older.
        ReportCase{"AFinishedPartIsNotMatchedAgain", {{}, {.received = 7}}, kSent, kFirst, kFirst, 1},
        ReportCase{"TooLateForAnyPart", {{.received = 9 * kDay}}, kSent, kNone, kNone, 0}),
    [](const auto& info) { return std::string(info.param.name); });

struct RowCase {
  const char* name;
  std::string holder_state;
  std::int64_t age;  // how long the holder has not written its row
  bool take_over;
  bool written;
};

TEST(ModemRows, ARowBelongsToTheProcessDrivingIt) {
  for (const RowCase& c : std::vector<RowCase>{
           {"HolderLive", "ready", 599999, false, false},
           {"HolderStopped", "stopped", 1000, false, true},
           {"HolderSilentTenMinutes", "ready", 600001, false, true},
           {"HolderKnownDead", "ready", 1000, true, true},
       }) {
    auto store = OpenStore("sqlite::memory:");
    // One process; the other has the same gateway name.
    ModemRecord r{.name = "m1", .gateway = "gw@h:1:1", .state = c.holder_state, .signal = 20, .updated_ms = kT0};
    ASSERT_TRUE(store->PutModem(r));
    const ModemRecord other{.name = "m1", .gateway = "gw@h:2:2", .state = "starting", .updated_ms = kT0 + c.age};
    EXPECT_EQ(store->PutModem(other, c.take_over), c.written) << c.name;
    EXPECT_EQ(store->Modems().at(0).gateway, c.written ? other.gateway : r.gateway) << c.name;
    r.name = "m2";  // another name: its own row
    EXPECT_TRUE(store->PutModem(r)) << c.name;
    EXPECT_EQ(store->Modems().size(), 2u) << c.name;
  }
}

TEST_F(StoreTest, TheHistoryIsAppendOnlyReopeningKeepsItAndANewerSchemaIsRefused) {
  const std::int64_t id = store_->Enqueue(Msg("+1555", "kept"), kT0);
  auto db = OpenSqlite(dir_.path() + "/sub/gateway.db");
  EXPECT_THROW(db->Query("UPDATE events SET kind = 'x'"), StoreError);
  EXPECT_THROW(db->Query("DELETE FROM events"), StoreError);
  store_.reset();
  EXPECT_EQ(OpenStore(url_)->Events(id).size(), 1u);
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
