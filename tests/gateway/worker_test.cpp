// The modem loop in virtual time: back-off, a modem that stops answering, deleting only what the
// store holds, waiting for the rest of a long message, the per-minute limit, retries.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "fakes.hpp"
#include "quandelstk/errors.hpp"
#include "store/sql_store.hpp"
#include "store/sqlite_db.hpp"
#include "submit.hpp"
#include "worker.hpp"

namespace quandelstk::gateway::testing {
namespace {

class WorkerTest : public ::testing::Test {
 protected:
  WorkerTest() : link_(clock_) {
    Fresh();
    timing_.idle_ms = 500;
    timing_.list_every_ms = 0;
    timing_.backoff_first_ms = 1000;
    timing_.backoff_max_ms = 8000;
    timing_.retry_ms = 60000;
    timing_.max_attempts = 3;
    timing_.part_wait_ms = 10000;
  }
  // An empty store and a new modem, for each case of a table.
  void Fresh() {
    auto db = std::make_unique<FlakyDb>(OpenSqlite(":memory:"));
    flaky_ = db.get();
    store_ = MakeSqlStore(std::move(db));
    link_ = FakeLink(clock_);
  }
  Worker Make(ModemConfig m = {"m1", "/dev/null", "", 0}, const std::string& id = "gw") {
    return Worker(m, id, timing_, *store_, link_, clock_, counters_);
  }
  std::int64_t Queue(const std::string& text, bool report = false) {
    return store_->Enqueue(Msg("+15550100999", text, messages::Plan(text, SendOptionsFor(report, 0)).parts, report),
                           clock_.now);
  }

  VirtualClock clock_;
  std::unique_ptr<Store> store_;
  FlakyDb* flaky_;  // under store_
  FakeLink link_;
  Timing timing_;
  ModemCounters counters_;
};

TEST_F(WorkerTest, InitialisationFailuresBackOffDoublingToTheLimitThenResetOnceUp) {
  link_.open_results = {"no answer", "no answer", "no answer", "no answer", "no answer", ""};
  Worker w = Make();
  const std::int64_t start = clock_.now;
  for (int i = 0; i < 400 && !w.Ready(); ++i) {
    if (!w.Round()) clock_.now += 100;
  }
  ASSERT_TRUE(w.Ready());
  ASSERT_EQ(link_.open_times.size(), 6u);
  // Waits of 1, 2, 4, 8 and 8 s (the limit) between the tries, give or take one 100 ms step.
  const std::vector<std::int64_t> waits{1000, 2000, 4000, 8000, 8000};
  for (std::size_t i = 0; i < waits.size(); ++i) {
    const std::int64_t gap = link_.open_times[i + 1] - link_.open_times[i];
    EXPECT_GE(gap, waits[i]) << "try " << i + 2;
    EXPECT_LT(gap, waits[i] + 100) << "try " << i + 2;
  }
  EXPECT_EQ(link_.open_times.front(), start);
  // Not reset by the initialisation itself (a modem that goes down again at once waits the
  // longest), but once the modem stayed up that long.
  EXPECT_EQ(w.Backoff(), 8000);
  const std::int64_t up = clock_.now;
  while (clock_.now <= up + 8000)
    if (!w.Round()) clock_.now += 100;
  EXPECT_EQ(w.Backoff(), 0);
  EXPECT_EQ(store_->Modems().at(0).state, "ready");
  EXPECT_EQ(store_->Modems().at(0).signal, 21);
}

// A ten-part message on a modem that takes a second and a half a part, with a lease of four
// seconds; the process's other modem looks for work after every part.
TEST(WorkerLease, ALongSendKeepsItsClaimAndOneThatLostItStops) {
  struct Case {
    const char* name;
    std::int64_t stall_ms;  // added to part 3 (the process stalled)
    bool taken_over;
  };
  for (const Case& c : {Case{"EveryPartWithinTheLease", 0, false}, Case{"OnePartStalledPastTheLease", 5000, true}}) {
    SCOPED_TRACE(c.name);
    VirtualClock clock;
    auto store = OpenStore("sqlite::memory:");
    Timing t;
    t.lease_ms = 4000;
    t.list_every_ms = t.status_every_ms = 3600000;
    FakeLink a_link(clock), b_link(clock);
    a_link.send_ms = 1500;
    ModemCounters a_counters, b_counters;
    Worker a({"m1", "/dev/a", "", 0}, "gw@h:1:1", t, *store, a_link, clock, a_counters);
    Worker b({"m2", "/dev/b", "", 0}, "gw@h:1:1", t, *store, b_link, clock, b_counters);
    a.Round();
    b.Round();
    const std::int64_t id = store->Enqueue(Msg("+15550100999", std::string(1500, 'L'), 10), clock.now);
    a_link.after_part = [&](int part) {
      if (part == 3) clock.now += c.stall_ms;
      b.Round();
    };
    a.Round();
    EXPECT_EQ(a_link.parts_sent.size(), c.taken_over ? 3u : 10u);
    EXPECT_EQ(b_link.parts_sent.size(), c.taken_over ? 10u : 0u);
    const OutgoingRecord r = *store->Get(id);
    EXPECT_EQ(r.state, kSent);
    ASSERT_EQ(r.part_records.size(), 10u);
    for (const PartRecord& p : r.part_records) EXPECT_EQ(p.modem, c.taken_over ? "m2" : "m1");
    EXPECT_EQ(Count(*store, id, "sent"), 1);
    EXPECT_EQ(Count(*store, id, "sent-late"), c.taken_over ? 1 : 0);
    EXPECT_EQ(a_counters.sent + b_counters.sent, 1);
  }
}

// Part 3 of a three-part message fails: refused by a modem that still answers (tried again after
// retry_ms), or lost with a modem that went quiet (its claim released to the others at once). The
// parts that went were recorded as they went: the same modem goes on from part 3 with the same
// concatenation reference; another modem (another number, which the phone does not join with the
// first one's parts) sends it whole.
TEST_F(WorkerTest, APartialSendIsKeptAndGoesOnFromThePartThatDidNotGo) {
  struct Case {
    const char* name;
    bool quiet, other_modem;
    std::vector<int> parts;
  };
  for (const Case& c : {Case{"RefusedSameModem", false, false, {1, 2, 3, 3}},
                        Case{"QuietSameModem", true, false, {1, 2, 3, 3}},
                        Case{"QuietOtherModem", true, true, {1, 2, 3, 1, 2, 3}}}) {
    SCOPED_TRACE(c.name);
    Fresh();
    const std::int64_t id = Queue(std::string(400, 'p'));
    bool failed = false;
    link_.after_part = [&](int part) {
      if (part < 3 || failed) return;
      failed = true;
      link_.alive = !c.quiet;
      throw RuntimeError(5, "part 3 of 3: the modem refused it (+CMS ERROR: 38)");
    };
    Worker w = Make();
    w.Round();  // init
    w.Round();  // parts 1 and 2, then the failure
    EXPECT_EQ(w.Ready(), !c.quiet);
    OutgoingRecord m = *store_->Get(id);
    EXPECT_EQ(m.state, kQueued);
    EXPECT_EQ(m.claimed_by, "");
    EXPECT_EQ(m.part_records.size(), 2u);
    EXPECT_NE(m.last_error.find(c.quiet ? "stopped answering" : "+CMS ERROR: 38"), std::string::npos) << m.last_error;
    EXPECT_EQ(store_->Modems().at(0).state, c.quiet ? "down" : "ready");
    link_.alive = true;
    FakeLink other(clock_);
    ModemCounters counters;
    Worker o({"m2", "/dev/m2", "", 0}, "gw", timing_, *store_, other, clock_, counters);
    for (int i = 0; i < 200 && store_->Get(id)->state != kSent; ++i) {
      clock_.now += 500;
      if (c.other_modem) o.Round();
      w.Round();
    }
    m = *store_->Get(id);
    ASSERT_EQ(m.state, kSent);
    std::vector<int> parts;
    for (const auto* sent : {&link_.parts_sent, &other.parts_sent})
      for (const auto& [part, concat] : *sent) {
        parts.push_back(part);
        EXPECT_EQ(concat, static_cast<int>(id % 65536));
      }
    EXPECT_EQ(parts, c.parts);
    EXPECT_EQ(m.part_records.size(), 3u);
  }
}

// A modem name whose row another process holds: refused while that process lives (another host,
// or one with the same gateway name), taken with its claims when it is a dead process of this host
// or an earlier life of this one (a restarted container: same host name, same pid).
TEST_F(WorkerTest, AModemRowHeldByAnotherProcessIsRefusedUnlessThatProcessIsDead) {
  char host[256] = {};
  gethostname(host, sizeof host - 1);
  const pid_t child = fork();
  if (child == 0) _exit(0);
  waitpid(child, nullptr, 0);
  for (const auto& [holder, taken] : std::vector<std::pair<std::string, bool>>{
           {"gw@elsewhere:1:1", false},
           {"gw@" + std::string(host) + ":" + std::to_string(child) + ":1", true},
           {"gw@" + std::string(host) + ":" + std::to_string(getpid()) + ":1", true}}) {  // an earlier life
    SCOPED_TRACE(holder);
    Fresh();
    store_->PutModem({.name = "m1", .gateway = holder, .state = "ready", .updated_ms = clock_.now});
    const std::int64_t id = Queue("held");
    store_->Claim(holder, "m1", clock_.now, 60000, 1);
    Worker w = Make({"m1", "/dev/m1", "", 0}, "gw@" + std::string(host) + ":" + std::to_string(getpid()) + ":2");
    w.Round();
    EXPECT_EQ(w.Ready(), taken);
    EXPECT_EQ(link_.open_times.size(), taken ? 1u : 0u);  // a refused modem is not even opened
    EXPECT_EQ(store_->Modems().at(0).gateway == holder, !taken);
    EXPECT_EQ(store_->Get(id)->state, taken ? kQueued : kSending);
  }
}

// A modem that refuses every send: the message waits retry_ms between attempts and fails for good
// after the last one, or expires when its time to live ends before the retry.
TEST_F(WorkerTest, ARefusedMessageIsRetriedUntilItsLastAttemptOrItsExpiry) {
  struct Step {
    std::int64_t advance;
    int attempts;
    const char* state;
  };
  struct Case {
    const char* name;
    std::int64_t not_before, expires;
    std::vector<Step> steps;
  };
  for (const Case& c : {Case{"FailsAfterTheLastAttempt", 0, 0,
                             {{0, 1, kQueued}, {59000, 1, kQueued}, {1000, 2, kQueued}, {59000, 2, kQueued},
                              {1000, 3, kFailed}, {60000, 3, kFailed}}},
                        Case{"ExpiresFirst", 60000, 120000, {{0, 0, kQueued}, {60000, 1, kQueued}, {60000, 1, kExpired}}}}) {
    SCOPED_TRACE(c.name);
    Fresh();
    NewMessage n = Msg("+15550100999", "refused");
    n.not_before_ms = clock_.now + c.not_before;
    if (c.expires) n.expires_ms = clock_.now + c.expires;
    const std::int64_t id = store_->Enqueue(n, clock_.now);
    link_.after_part = [](int) { throw RuntimeError(5, "part 1 of 1: the modem refused it (+CMS ERROR: 500)"); };
    Worker w = Make();
    w.Round();  // init
    for (const Step& step : c.steps) {
      clock_.now += step.advance;
      w.Round();
      const OutgoingRecord m = *store_->Get(id);
      EXPECT_EQ(m.attempts, step.attempts) << "after +" << step.advance;
      EXPECT_EQ(m.state, step.state) << "after +" << step.advance;
    }
    EXPECT_NE(store_->Get(id)->last_error.find("+CMS ERROR: 500"), std::string::npos);
    EXPECT_TRUE(w.Ready());
  }
}

TEST_F(WorkerTest, TheSimForgetsAMessageOnlyAfterTheStoreHasIt) {
  link_.stored = {Received(3, "+15550100456", "first"), Received(4, "+15550100456", "second")};
  Worker w = Make();
  w.Round();  // init
  // The store is away for three tries: the worker waits (in virtual time) and tries again, and
  // nothing leaves the SIM meanwhile.
  flaky_->fail_next = 3;
  std::vector<std::size_t> deleted_while_away;
  flaky_->on_refusal = [&] { deleted_while_away.push_back(link_.deleted.size()); };
  const std::int64_t before = clock_.now;
  w.Round();
  EXPECT_EQ(deleted_while_away, (std::vector<std::size_t>{0, 0, 0}));
  EXPECT_GE(clock_.now - before, timing_.store_retry_ms * (1 + 2 + 4));  // waits doubling
  ASSERT_EQ(store_->Inbox(10).size(), 2u);
  EXPECT_EQ(store_->Inbox(10).back().text, "first");  // the newest first
  EXPECT_EQ(link_.deleted, (std::vector<std::pair<std::string, int>>{{"SM", 3}, {"SM", 4}}));
  // Listed again (the deletion lost in a crash): stored once all the same, deleted again.
  link_.deleted.clear();
  w.Round();
  EXPECT_EQ(store_->Inbox(10).size(), 2u);
  EXPECT_EQ(link_.deleted.size(), 2u);
  // Two identical texts from one sender stamped in the same second are two messages.
  link_.stored = {Received(5, "+15550100456", "yes"), Received(6, "+15550100456", "yes")};
  link_.stored[1].first.time = link_.stored[0].first.time;
  w.Round();
  EXPECT_EQ(store_->Inbox(10).size(), 4u);
}

TEST_F(WorkerTest, AnIncompleteLongMessageWaitsForItsOtherPartsThenIsStoredAsIncomplete) {
  link_.stored = {Received(5, "+15550100456", "half of it", false)};
  Worker w = Make();
  w.Round();
  w.Round();
  EXPECT_TRUE(store_->Inbox(10).empty());
  EXPECT_TRUE(link_.deleted.empty());
  clock_.now += timing_.part_wait_ms - 1;
  w.Round();
  EXPECT_TRUE(store_->Inbox(10).empty());
  clock_.now += 1;
  w.Round();
  ASSERT_EQ(store_->Inbox(10).size(), 1u);
  EXPECT_FALSE(store_->Inbox(10)[0].complete);
  EXPECT_EQ(link_.deleted.size(), 1u);
}

TEST_F(WorkerTest, StatusReportsAreMatchedToThePartTheyAreAbout) {
  const std::int64_t id = Queue(std::string(200, 'y'), true);
  Worker w = Make();
  w.Round();
  w.Round();
  ASSERT_EQ(store_->Get(id)->state, kSent);
  link_.stored = {Report(1, "+15550100999", 0, 0)};
  w.Round();
  EXPECT_EQ(store_->Get(id)->state, kSent);  // one part of two
  link_.stored.push_back(Report(2, "+15550100999", 1, 0));
  w.Round();
  const OutgoingRecord m = *store_->Get(id);
  EXPECT_EQ(m.state, kDelivered);
  EXPECT_EQ(m.part_records.at(0).status, "delivered");
  EXPECT_EQ(m.part_records.at(1).status, "delivered");
  EXPECT_EQ(store_->Reports(id).size(), 2u);
  EXPECT_EQ(link_.deleted, (std::vector<std::pair<std::string, int>>{{"SR", 1}, {"SR", 2}}));
}

TEST_F(WorkerTest, ThePerMinuteLimitSpacesTheSends) {
  for (int i = 0; i < 3; ++i) Queue("m" + std::to_string(i));
  Worker w = Make({"m1", "/dev/null", "", 6});  // one every 10 s
  std::vector<std::int64_t> times;
  const std::int64_t start = clock_.now;
  while (link_.sent.size() < 3 && clock_.now - start < 60000) {
    const std::size_t before = link_.sent.size();
    if (!w.Round()) clock_.now += 250;
    if (link_.sent.size() > before) times.push_back(clock_.now);
  }
  ASSERT_EQ(times.size(), 3u);
  EXPECT_GE(times[1] - times[0], 10000);
  EXPECT_LT(times[1] - times[0], 10000 + 250 + link_.send_ms);
  EXPECT_GE(times[2] - times[1], 10000);
}

TEST_F(WorkerTest, AListingThatFailsOnALiveModemIsAnErrorNotAReinitialisation) {
  link_.list_throws = true;
  Worker w = Make();
  w.Round();
  w.Round();
  EXPECT_TRUE(w.Ready());
  EXPECT_EQ(counters_.errors, 1);
  link_.alive = false;
  w.Round();
  EXPECT_FALSE(w.Ready());
}

// A message whose send makes the modem stop answering (a firmware that hangs on that PDU): each
// time it is given back uncounted, and with one modem it is claimed first again after every
// re-initialisation, ahead of the message queued behind it. It must end (failed after
// max_attempts) and the other message must go.
TEST_F(WorkerTest, AMessageThatWedgesTheModemEveryTimeIsNotRetriedForever) {
  struct Case {
    const char* name;
    int parts;
  };
  for (const Case& c : {Case{"OnePart", 1}, Case{"ThreePartsWedgingOnTheSecond", 3}}) {
    SCOPED_TRACE(c.name);
    Fresh();
    const std::int64_t poison = Queue(c.parts == 1 ? "wedge" : std::string(400, 'w'));
    const std::int64_t healthy = Queue("fine");
    int poison_sends = 0;
    link_.after_part = [&](int part) {
      if (link_.parts_sent.back().second != static_cast<int>(poison % 65536) || part < std::min(2, c.parts)) return;
      ++poison_sends;
      link_.alive = false;
      throw RuntimeError(5, "the modem did not answer +CMGS");
    };
    Worker w = Make();
    const std::int64_t until = clock_.now + 20 * 60 * 1000;  // twenty minutes
    while (clock_.now < until) {
      if (!w.Ready()) link_.alive = true;  // the modem answers again once initialised
      if (!w.Round()) clock_.now += 500;
    }
    const OutgoingRecord p = *store_->Get(poison);
    EXPECT_EQ(p.state, kFailed) << "attempts " << p.attempts << ", tried " << poison_sends << " times";
    EXPECT_LE(poison_sends, timing_.max_attempts);
    EXPECT_EQ(store_->Get(healthy)->state, kSent);
  }
}

// The process dies after the modem took the last part and its reference was committed, before
// the message was recorded as sent. Every part is recorded on this modem: taken over on the same
// modem, nothing (or at most the one part of the window) may go again.
TEST_F(WorkerTest, AClaimTakenOverWithEveryPartRecordedIsNotSentAgainWhole) {
  struct Case {
    const char* name;
    int parts, recorded;
    std::size_t at_most_resent;
  };
  for (const Case& c : {Case{"OneOfTwoRecorded", 2, 1, 1}, Case{"TwoOfTwoRecorded", 2, 2, 0},
                        Case{"OneOfOneRecorded", 1, 1, 0}, Case{"ThreeOfThreeRecorded", 3, 3, 0}}) {
    SCOPED_TRACE(c.name);
    Fresh();
    const std::int64_t id = Queue(c.parts == 1 ? "short" : std::string(c.parts == 2 ? 200 : 400, 'k'));
    const auto claim = store_->Claim("gw@elsewhere:1:1", "m1", clock_.now, timing_.lease_ms, 1);
    ASSERT_EQ(claim.size(), 1u);
    for (int part = 1; part <= c.recorded; ++part)
      ASSERT_TRUE(store_->RecordPart(id, claim[0].claim_token, part, 40 + part, clock_.now, timing_.lease_ms));
    clock_.now += timing_.lease_ms + 1000;  // SIGKILL here; the lease ends
    Worker w = Make({"m1", "/dev/m1", "", 0}, "gw@elsewhere:2:2");
    for (int i = 0; i < 10 && store_->Get(id)->state != kSent; ++i) w.Round();
    EXPECT_EQ(store_->Get(id)->state, kSent);
    EXPECT_LE(link_.parts_sent.size(), c.at_most_resent);
  }
}

// The modem took the message; recording it is refused once. The process lives on and knows what
// it sent: the message must not go out again when its lease ends.
TEST_F(WorkerTest, ARefusedRecordOfASendDoesNotSendTheMessageAgain) {
  struct Case {
    const char* name;
    const char* statement;
  };
  for (const Case& c : {Case{"CommitOfTheSend", "SET state = 'sent'"}, Case{"RecordOfAPart", "SET lease_until ="}}) {
    SCOPED_TRACE(c.name);
    Fresh();
    flaky_->refuse_once = c.statement;
    const std::int64_t id = Queue(std::string(200, 'r'));
    Worker w = Make();
    const std::int64_t until = clock_.now + 3 * timing_.lease_ms;
    while (clock_.now < until)
      if (!w.Round()) clock_.now += 1000;
    EXPECT_EQ(store_->Get(id)->state, kSent);
    EXPECT_EQ(link_.parts_sent.size(), 2u) << "parts sent in all";
  }
}

// SIGTERM comes while a three-part message goes out, and the store is away from part 1 on. A part
// that cannot be recorded within the grace period leaves the message to be sent again after the
// restart; the parts after it must not go out unrecorded as well (the window is one part).
TEST_F(WorkerTest, AtStopWithTheStoreAwayNoFurtherPartGoesUnrecorded) {
  struct Case {
    const char* name;
    int store_away_for;  // statements refused from the end of part 1
    std::size_t parts_sent;
  };
  for (const Case& c : {Case{"StoreBackWithinTheGrace", 3, 3u}, Case{"StoreAwayPastTheGrace", 1000000, 1u}}) {
    SCOPED_TRACE(c.name);
    Fresh();
    const std::int64_t id = Queue(std::string(400, 's'));
    std::atomic<bool> stop{false};
    link_.after_part = [&](int part) {
      if (part != 1) return;
      stop = true;  // SIGTERM
      flaky_->fail_next = c.store_away_for;
    };
    Worker w = Make();
    w.Run(stop);
    flaky_->fail_next = 0;
    EXPECT_EQ(link_.parts_sent.size(), c.parts_sent);
    EXPECT_EQ(store_->Get(id)->state, c.parts_sent == 3u ? kSent : kSending);
  }
}

}  // namespace
}  // namespace quandelstk::gateway::testing
