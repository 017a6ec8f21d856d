#include "channel/poll.hpp"

#include "channel/session.hpp"

namespace quandelstk::channel {

bool TimeIsUp(const DateTime& start, std::int16_t timeout) {
  const std::int64_t elapsed = CurrentPlatform().Now().SerialSeconds() - start.SerialSeconds();
  return elapsed > timeout;
}

bool PollUntil(const DateTime& start, std::int16_t timeout, std::string& text,
               const std::function<bool(const std::string&)>& done) {
  for (;;) {
    ProcessPendingEvents();
    // Asked for anew on every poll: a host handler run above may have unloaded the control.
    text += Gsm().Input();
    if (TimeIsUp(start, timeout)) return false;
    if (done(text)) return true;
    Gsm().WaitForInput(PollWaitMs(timeout));
  }
}

}  // namespace quandelstk::channel
