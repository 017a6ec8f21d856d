// The modem loop in virtual time: back-off, a modem that stops answering, deleting only what the
// store holds, waiting for the rest of a long message, the per-minute limit, retries.
#include <gtest/gtest.h>

#include "fakes.hpp"
#include "quandelstk/errors.hpp"
#include "submit.hpp"
#include "worker.hpp"

namespace quandelstk::gateway::testing {
namespace {

class WorkerTest : public ::testing::Test {
 protected:
  WorkerTest() : store_(OpenStore("sqlite::memory:")), flaky_(*store_), link_(clock_) {
    timing_.idle_ms = 500;
    timing_.list_every_ms = 0;
    timing_.backoff_first_ms = 1000;
    timing_.backoff_max_ms = 8000;
    timing_.retry_ms = 60000;
    timing_.max_attempts = 3;
    timing_.part_wait_ms = 10000;
  }
  Worker Make(ModemConfig m = {"m1", "/dev/null", "", 0}) {
    return Worker(m, "gw", timing_, flaky_, link_, clock_, counters_);
  }
  std::int64_t Queue(const std::string& text, bool report = false) {
    NewMessage m;
    m.to = "+15550100999";
    m.text = text;
    m.report = report;
    m.parts = messages::Plan(text, SendOptionsFor(report, 0)).parts;
    return store_->Enqueue(m, clock_.now);
  }

  VirtualClock clock_;
  std::unique_ptr<Store> store_;
  FlakyStore flaky_;
  FakeLink link_;
  Timing timing_;
  ModemCounters counters_;
};

TEST_F(WorkerTest, InitialisationFailuresBackOffDoublingToTheLimitThenReset) {
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
  EXPECT_EQ(w.Backoff(), 0);
  EXPECT_EQ(store_->Modems().at(0).state, "ready");
  EXPECT_EQ(store_->Modems().at(0).signal, 21);
}

TEST_F(WorkerTest, SendsDueMessagesOnceAndRecordsEveryPartReference) {
  const std::int64_t a = Queue("hello");
  const std::int64_t b = Queue(std::string(200, 'x'));  // two parts
  Worker w = Make();
  for (int i = 0; i < 10; ++i) w.Round();
  ASSERT_EQ(link_.sent.size(), 2u);
  EXPECT_EQ(store_->Get(a)->state, kSent);
  const OutgoingRecord long_one = *store_->Get(b);
  EXPECT_EQ(long_one.state, kSent);
  ASSERT_EQ(long_one.part_records.size(), 2u);
  EXPECT_EQ(long_one.part_records[0].reference, 1);
  EXPECT_EQ(long_one.part_records[1].reference, 2);
  EXPECT_EQ(counters_.sent, 2);
}

TEST_F(WorkerTest, AModemThatStopsAnsweringReleasesItsClaimToTheOtherModems) {
  const std::int64_t id = Queue("hello");
  link_.send = [](const std::string&, const std::string&, const messages::SendOptions&, int) {
    messages::SendResult r;
    r.error = "part 1 of 1: the modem gave no prompt for the message (no answer)";
    return r;
  };
  link_.alive = false;
  Worker w = Make();
  w.Round();  // init
  w.Round();  // the send that finds the modem gone
  EXPECT_FALSE(w.Ready());
  const OutgoingRecord m = *store_->Get(id);
  EXPECT_EQ(m.state, kQueued);
  EXPECT_EQ(m.claimed_by, "");
  EXPECT_NE(m.last_error.find("stopped answering"), std::string::npos);
  EXPECT_EQ(store_->Modems().at(0).state, "down");
  // Another modem of the pool takes it at once, without waiting for a lease.
  const auto other = store_->Claim("gw", "m2", clock_.now, 1000, 1);
  ASSERT_EQ(other.size(), 1u);
  EXPECT_EQ(other[0].id, id);
}

TEST_F(WorkerTest, ARefusedMessageWaitsAndFailsForGoodAfterTheLastAttempt) {
  const std::int64_t id = Queue("hello");
  link_.send = [](const std::string&, const std::string&, const messages::SendOptions&, int) {
    messages::SendResult r;
    r.error = "part 1 of 1: the modem refused it (+CMS ERROR: 500)";
    return r;
  };
  Worker w = Make();
  w.Round();
  for (int attempt = 1; attempt <= 3; ++attempt) {
    w.Round();
    const OutgoingRecord m = *store_->Get(id);
    EXPECT_EQ(m.attempts, attempt);
    EXPECT_EQ(m.state, attempt < 3 ? kQueued : kFailed) << "after attempt " << attempt;
    EXPECT_NE(m.last_error.find("+CMS ERROR: 500"), std::string::npos);
    // Not again before the retry time.
    clock_.now += timing_.retry_ms - 1000;
    w.Round();
    EXPECT_EQ(store_->Get(id)->attempts, attempt);
    clock_.now += 1000;
  }
  EXPECT_TRUE(w.Ready());
}

TEST_F(WorkerTest, AMessageCutShortGoesOnFromThePartTheModemRefused) {
  const std::int64_t id = Queue(std::string(400, 'z'));  // three parts
  std::vector<std::pair<int, int>> calls;                 // first part asked, concatenation reference
  link_.send = [&](const std::string&, const std::string&, const messages::SendOptions& o, int first) {
    EXPECT_TRUE(o.wide_reference);
    calls.emplace_back(first, o.reference.value_or(-1));
    messages::SendResult r;
    if (calls.size() == 1) {  // parts 1 and 2 go, part 3 is refused
      r.references = {40, 41};
      r.error = "part 3 of 3: the modem refused it (+CMS ERROR: 38)";
      return r;
    }
    r.ok = true;
    r.references = {77};
    return r;
  };
  Worker w = Make();
  w.Round();
  w.Round();
  OutgoingRecord m = *store_->Get(id);
  EXPECT_EQ(m.state, kQueued);
  ASSERT_EQ(m.part_records.size(), 2u);
  clock_.now += timing_.retry_ms;
  w.Round();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[1].first, 3);
  EXPECT_EQ(calls[1].second, calls[0].second);  // the same reference: the phone joins all three
  EXPECT_EQ(calls[0].second, static_cast<int>(id % 65536));
  m = *store_->Get(id);
  EXPECT_EQ(m.state, kSent);
  std::vector<int> refs;
  for (const auto& p : m.part_records) refs.push_back(p.reference);
  EXPECT_EQ(refs, (std::vector<int>{40, 41, 77}));
}

TEST_F(WorkerTest, TheSimForgetsAMessageOnlyAfterTheStoreHasIt) {
  link_.stored = {Received(3, "+15550100456", "first"), Received(4, "+15550100456", "second")};
  Worker w = Make();
  w.Round();  // init
  // The store is away for three tries: the worker waits (in virtual time) and tries again, and
  // nothing leaves the SIM meanwhile.
  flaky_.fail_next = 3;
  std::vector<std::size_t> deleted_while_away;
  flaky_.on_refusal = [&] { deleted_while_away.push_back(link_.deleted.size()); };
  const std::int64_t before = clock_.now;
  w.Round();
  EXPECT_EQ(deleted_while_away, (std::vector<std::size_t>{0, 0, 0}));
  EXPECT_GE(clock_.now - before, timing_.store_retry_ms * (1 + 2 + 4));  // waits doubling
  ASSERT_EQ(store_->Inbox(10).size(), 2u);
  EXPECT_EQ(store_->Inbox(10)[0].text, "first");
  EXPECT_EQ(link_.deleted, (std::vector<std::pair<std::string, int>>{{"SM", 3}, {"SM", 4}}));
  // Listed again (the deletion lost in a crash): stored once all the same, deleted again.
  link_.deleted.clear();
  w.Round();
  EXPECT_EQ(store_->Inbox(10).size(), 2u);
  EXPECT_EQ(link_.deleted.size(), 2u);
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

TEST_F(WorkerTest, AMessageNotSentBeforeItsExpiryIsExpired) {
  NewMessage n;
  n.to = "+15550100999";
  n.text = "only today";
  n.not_before_ms = clock_.now + 60000;
  n.expires_ms = clock_.now + 120000;
  const std::int64_t id = store_->Enqueue(n, clock_.now);
  link_.send = [](const std::string&, const std::string&, const messages::SendOptions&, int) {
    messages::SendResult r;
    r.error = "part 1 of 1: the modem refused it (+CMS ERROR: 500)";
    return r;
  };
  timing_.status_every_ms = 10000;
  Worker w = Make();
  w.Round();
  EXPECT_EQ(store_->Get(id)->state, kQueued);  // not due yet
  clock_.now += 60000;                          // due: refused, back to the queue for retry_ms
  w.Round();
  EXPECT_EQ(store_->Get(id)->attempts, 1);
  EXPECT_EQ(store_->Get(id)->state, kQueued);
  clock_.now += 60000;  // the retry would be now, but so is the expiry
  w.Round();
  EXPECT_EQ(store_->Get(id)->state, kExpired);
  EXPECT_EQ(store_->Get(id)->attempts, 1);
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

}  // namespace
}  // namespace quandelstk::gateway::testing
