// The platform's pending-message processing runs once per poll of an exchange, before the host's
// own hook; the Win32 platform dispatches the thread's window messages there.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "channel/exchange.hpp"
#include "channel/session.hpp"
#include "support/virtual_session.hpp"

namespace quandelstk::channel {
namespace {

using testing::VirtualSession;

// The virtual platform of a session, recording when it is asked to process pending messages.
class CountingPlatform final : public Platform {
 public:
  CountingPlatform(platform::VirtualPlatform& inner, std::vector<std::string>& events)
      : inner_(inner), events_(events) {}
  std::unique_ptr<SerialControl> MakeSerialControl() override { return inner_.MakeSerialControl(); }
  DateTime Now() override { return inner_.Now(); }
  std::int64_t MonotonicMs() override { return inner_.MonotonicMs(); }
  void Sleep(std::int32_t ms) override { inner_.Sleep(ms); }
  void ProcessPendingMessages() override { events_.push_back("messages at " + std::to_string(inner_.NowMs())); }
  std::string LibraryFolder() override { return inner_.LibraryFolder(); }
  std::string LogFolder() override { return inner_.LogFolder(); }

 private:
  platform::VirtualPlatform& inner_;
  std::vector<std::string>& events_;
};

TEST(PendingMessages, ProcessedOncePerPollBeforeTheHostHook) {
  VirtualSession vs;
  std::vector<std::string> events;
  ScopedPlatform counting(std::make_shared<CountingPlatform>(vs.Platform(), events));
  vs.OpenPort();
  // Silent for two seconds: the timeout of 1 gives up after the second whole second.
  SetPendingEventsHook([&] { events.push_back("hook at " + std::to_string(vs.NowMs())); });
  std::string response;
  EXPECT_FALSE(SendATCommand("AT+CSQ", response, 1));
  SetPendingEventsHook(nullptr);
  ASSERT_GE(events.size(), 2 * 20u);
  ASSERT_EQ(events.size() % 2, 0u);
  for (std::size_t i = 0; i < events.size(); i += 2) {
    const std::string at = events[i].substr(events[i].find(" at "));
    EXPECT_EQ(events[i], "messages" + at) << "poll " << i / 2;
    EXPECT_EQ(events[i + 1], "hook" + at) << "poll " << i / 2;
    if (i > 0) {
      EXPECT_NE(events[i], events[i - 2]) << "one processing per poll";
    }
  }
}

}  // namespace
}  // namespace quandelstk::channel
