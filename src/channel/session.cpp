#include "channel/session.hpp"

#include "platform/default_platform.hpp"

namespace quandelstk::channel {

Session& CurrentSession() {
  thread_local Session session;
  if (!session.platform) session.platform = platform::DefaultPlatform();
  return session;
}

SerialControl& Gsm() {
  Session& s = CurrentSession();
  if (!s.gsm) s.gsm = s.platform->MakeSerialControl();
  return *s.gsm;
}

void UnloadSerialControl() {
  Session& s = CurrentSession();
  // Destroying the control closes its port, as unloading the form that held it does.
  s.gsm.reset();
}

void ProcessPendingEvents() {
  Session& s = CurrentSession();
  s.platform->ProcessPendingMessages();
  if (s.pending_events_hook) s.pending_events_hook();
}

}  // namespace quandelstk::channel

namespace quandelstk {

Platform& CurrentPlatform() { return *channel::CurrentSession().platform; }

ScopedPlatform::ScopedPlatform(std::shared_ptr<Platform> platform) {
  channel::Session& s = channel::CurrentSession();
  previous_ = std::move(s.platform);
  s.gsm.reset();
  s.platform = std::move(platform);
}

ScopedPlatform::~ScopedPlatform() {
  channel::Session& s = channel::CurrentSession();
  s.gsm.reset();
  s.platform = std::move(previous_);
}

void SetPendingEventsHook(std::function<void()> hook) {
  channel::CurrentSession().pending_events_hook = std::move(hook);
}

}  // namespace quandelstk
