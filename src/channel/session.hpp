// The per-thread session: what every class of one thread shares. Created empty on first use.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "quandelstk/platform.hpp"

namespace quandelstk::channel {

// A reading of the platform's monotonic clock. Exchanges count whole seconds on it with one-second
// resolution, as the classic loops did on the wall clock, without following the wall clock's jumps.
struct Instant {
  std::int64_t ms = 0;

  std::int64_t WholeSeconds() const { return ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000); }
  friend bool operator==(const Instant&, const Instant&) = default;
};

struct Session {
  std::shared_ptr<Platform> platform;
  std::unique_ptr<SerialControl> gsm;  // created lazily by Gsm()
  std::function<void()> pending_events_hook;

  std::string ReceiveBuffer;
  Instant CommandStartTime;
  std::string ModemMaker;
  std::string LMS_PDU;
  std::uint8_t LMS_PDU_Length = 0;
  std::int16_t SeptetCount = 0;
};

// The current thread's session.
Session& CurrentSession();

// The thread's serial control, created in its default state on first use.
SerialControl& Gsm();

// Drops the thread's serial control (closing its port); the next use creates a fresh closed one.
// The shared variables keep their values.
void UnloadSerialControl();

// Lets the host process its pending events (once per poll).
void ProcessPendingEvents();

}  // namespace quandelstk::channel
