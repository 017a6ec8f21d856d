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
    // The host's event handler may unload the serial control (an SMS object released), so the
    // control is looked up afresh after it: the next read then fails on the new, closed one.
    ProcessPendingEvents();
    text += Gsm().Input();
    if (TimeIsUp(start, timeout)) return false;
    if (done(text)) return true;
    Gsm().WaitForInput(PollWaitMs(timeout));
  }
}

}  // namespace quandelstk::channel
