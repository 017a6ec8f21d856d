// Turns what happens on the line into progress for people: Init's probe attempts, the SIM, the
// message-service retries and their pauses, Reboot's waits, the parts of a long message, the
// attempts to fetch the toolkit's main menu.
#pragma once

#include <memory>
#include <string>

#include "observed_platform.hpp"
#include "output.hpp"

namespace quandelstk::cli {

class ProgressObserver final : public LineObserver {
 public:
  explicit ProgressObserver(const Output& out) : out_(out) {}
  // Init's probe reopens the port before every "AT": only such an "AT" is a probe attempt.
  void Opened(std::int16_t, const std::string&) override { probing_ = true; }
  void Wrote(const std::string& bytes, const std::string& settings) override;
  void Slept(std::int32_t ms) override;

 private:
  const Output& out_;
  std::string last_command_;
  int probe_attempts_ = 0;
  int csms_attempts_ = 0;
  bool paused_after_csms_ = false;
  int menu_attempts_ = 0;
  int registration_checks_ = 0;
  bool rebooting_ = false;
  bool probing_ = false;
  int parts_sent_ = 0;
};

// Stars in place of the PIN after "+CPIN=" up to the end of its line, in text that may come in
// pieces (the modem's echo of the command, read as it arrives).
class PinMask {
 public:
  std::string Apply(const std::string& bytes);

 private:
  std::string tail_;  // the last bytes seen, to find "+CPIN=" split between pieces
  bool in_pin_ = false;
};

// A command line as the shell's history keeps it: the values of --pin and --pin-file, the PINs and
// PUKs given to pin enter / change / unblock / lock, and a PIN inside an AT command become stars.
std::string WithoutPins(const std::string& line);

// Every byte on the line to stderr, control characters escaped: "-> " written, "<- " read. The
// PIN is never shown.
class TraceObserver final : public LineObserver {
 public:
  void Opened(std::int16_t port, const std::string& settings) override;
  void Closed(std::int16_t port) override;
  void Wrote(const std::string& bytes, const std::string& settings) override;
  void Read(const std::string& bytes) override;
  void Slept(std::int32_t ms) override;

 private:
  PinMask written_, read_;
};

// Passes every event to both.
class BothObservers final : public LineObserver {
 public:
  BothObservers(std::shared_ptr<LineObserver> a, std::shared_ptr<LineObserver> b) : a_(std::move(a)), b_(std::move(b)) {}
  void Opened(std::int16_t p, const std::string& s) override { a_->Opened(p, s), b_->Opened(p, s); }
  void Closed(std::int16_t p) override { a_->Closed(p), b_->Closed(p); }
  void Wrote(const std::string& x, const std::string& s) override { a_->Wrote(x, s), b_->Wrote(x, s); }
  void Read(const std::string& x) override { a_->Read(x), b_->Read(x); }
  void Slept(std::int32_t ms) override { a_->Slept(ms), b_->Slept(ms); }

 private:
  std::shared_ptr<LineObserver> a_, b_;
};

}  // namespace quandelstk::cli
