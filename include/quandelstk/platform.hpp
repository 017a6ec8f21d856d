// The services the library needs from its host system, as interfaces injected per thread.
// The default is the operating system's own (a POSIX terminal device or a Windows COM port, the
// system clock and sleep); tests and the simulated modem install their own platform for a thread
// with ScopedPlatform.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "quandelstk/export.hpp"

namespace quandelstk {

// A local calendar date and time with one-second resolution.
struct QUANDELSTK_API DateTime {
  int year = 1899;
  int month = 12;
  int day = 30;
  int hour = 0;
  int minute = 0;
  int second = 0;

  // Seconds since 0001-01-01 00:00:00 in the proleptic Gregorian calendar; differences of two
  // readings give whole elapsed seconds of local time.
  std::int64_t SerialSeconds() const;
  static DateTime FromSerialSeconds(std::int64_t serial);
  // "YYYY-MM-DD hh:mm:ss"
  std::string ToText() const;

  friend bool operator==(const DateTime&, const DateTime&) = default;
};

// The serial line as the library uses it: a port number, a settings text such as "115200,N,8,1",
// open and close, a write of text unchanged, a read of everything waiting, and a bounded wait.
//
// Errors are RuntimeError: 8002 invalid port number, 8005 port already open (also when the device is
// held by another program), 8012 port not open, 8021 a write the line did not take in time, 380 for
// a settings text it cannot parse.
class QUANDELSTK_API SerialControl {
 public:
  // How long a write without a limit of its own may take: the default exchange's 7 seconds and the
  // one second its whole-second clock may add.
  static constexpr std::int32_t kDefaultWriteLimitMs = 8000;

  virtual ~SerialControl() = default;

  virtual std::int16_t CommPort() const = 0;
  // Raises 8005 while the port is open; 8002 for a number below 1.
  virtual void CommPort(std::int16_t port) = 0;

  virtual std::string Settings() const = 0;
  // Applied at once when the port is open, else at the next open.
  virtual void Settings(const std::string& settings) = 0;

  virtual bool PortOpen() const = 0;
  // true opens (8005 when already open), false closes (8012 when not open).
  virtual void PortOpen(bool open) = 0;

  // Writes text unchanged. Raises 8012 when the port is not open, and 8021 when the line has not
  // taken all of it within max_ms (a stalled device, a peer that stopped reading): a write never
  // outlives the exchange it belongs to.
  virtual void Output(const std::string& text, std::int32_t max_ms) = 0;
  void Output(const std::string& text) { Output(text, kDefaultWriteLimitMs); }
  // Everything received since the previous read, consumed; "" when nothing arrived.
  // Raises 8012 when the port is not open.
  virtual std::string Input() = 0;
  // Returns when input is waiting or after max_ms milliseconds, whichever comes first.
  // On a closed port it simply waits.
  virtual void WaitForInput(std::int32_t max_ms) = 0;
};

// Everything time- and system-dependent that the library touches.
class QUANDELSTK_API Platform {
 public:
  virtual ~Platform() = default;

  // A fresh serial control in its default state: closed, port 1, "9600,N,8,1".
  virtual std::unique_ptr<SerialControl> MakeSerialControl() = 0;
  // The current local date and time, one-second resolution: for dates (the log), never for
  // measuring how long something took.
  virtual DateTime Now() = 0;
  // A monotonic clock in milliseconds from an arbitrary origin: elapsed time is measured on it, so
  // that a daylight-saving change or a step of the wall clock neither stretches nor cuts a wait.
  virtual std::int64_t MonotonicMs() = 0;
  // A plain pause that processes nothing.
  virtual void Sleep(std::int32_t ms) = 0;
  // Lets the calling thread handle the window messages waiting for it, once per poll, so that a
  // host's event handler runs while an exchange waits (Windows). Nothing to do elsewhere.
  virtual void ProcessPendingMessages() {}
  // The folder that holds the library's own file.
  virtual std::string LibraryFolder() = 0;
  // The folders searched in this order for the character code table "Unicode.txt": by default the
  // library's folder alone. The POSIX platform adds the data folder of the install the library
  // belongs to (PREFIX/share/quandelstk) and the program's folder, so that an installed library
  // finds the table its package put there.
  virtual std::vector<std::string> CodeTableFolders() { return {LibraryFolder()}; }
  // The folder of the daily diagnostic log.
  virtual std::string LogFolder() = 0;
};

// The platform of the current thread (the operating system's own until something else is installed).
QUANDELSTK_API Platform& CurrentPlatform();

// Installs a platform for the current thread and restores the previous one on destruction. The
// thread's serial control is replaced by a fresh one from the new platform on the way in and out,
// so that no control outlives the platform that made it.
class QUANDELSTK_API ScopedPlatform {
 public:
  explicit ScopedPlatform(std::shared_ptr<Platform> platform);
  ~ScopedPlatform();
  ScopedPlatform(const ScopedPlatform&) = delete;
  ScopedPlatform& operator=(const ScopedPlatform&) = delete;

 private:
  std::shared_ptr<Platform> previous_;
};

// Called once per poll while an exchange waits, so that a host with an event loop (a GUI toolkit)
// can process its pending events. Per thread; empty by default.
QUANDELSTK_API void SetPendingEventsHook(std::function<void()> hook);

// The POSIX port table: which device a port number opens. Defaults: 1-32 /dev/ttyS0-31,
// 33-64 /dev/ttyUSB0-31, 65-96 /dev/ttyACM0-31. Process-wide.
QUANDELSTK_API void AssignPort(std::int16_t port, const std::string& device_path);
// The device of a port number, "" when the number has none.
QUANDELSTK_API std::string PortDevice(std::int16_t port);
// Restores the default table.
QUANDELSTK_API void ResetPortTable();

}  // namespace quandelstk
