// The per-thread session: what every class of one thread shares. Created empty on first use.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "quandelstk/platform.hpp"

namespace quandelstk::channel {

struct Session {
  std::shared_ptr<Platform> platform;
  std::unique_ptr<SerialControl> gsm;  // created lazily by Gsm()
  std::function<void()> pending_events_hook;

  std::string ReceiveBuffer;
  DateTime CommandStartTime;
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
