#include "interrupt.hpp"

#include <signal.h>

#include <atomic>
#include <chrono>

#include "channel/session.hpp"
#include "quandelstk/errors.hpp"

namespace quandelstk::cli {

namespace {

volatile sig_atomic_t pending = 0;
std::atomic<bool> call_up{false};

void Note(int signal) { pending = signal; }

}  // namespace

void CatchInterrupts() {
  struct sigaction action {};
  action.sa_handler = Note;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
}

int PendingInterrupt() { return pending; }
void ClearInterrupt() { pending = 0; }
void SetPendingInterrupt(int signal) { pending = signal; }

void ThrowIfInterrupted() {
  if (const int s = pending) throw Interrupted{s};
}

void NoteWritten(const std::string& bytes) {
  for (std::size_t at = 0; at < bytes.size(); ++at) {
    if (at > 0 && bytes[at - 1] != '\r' && bytes[at - 1] != '\n') continue;
    const std::string head = bytes.substr(at, 3);
    if (head == "ATD" || head == "atd") call_up = true;
    if (head == "ATH" || head == "ath") call_up = false;
  }
}

bool CallIsUp() { return call_up; }

void HangUpAndClose(bool close_port) {
  const int signal = pending;
  pending = 0;  // the line must not raise Interrupted again while we tidy up
  try {
    SerialControl& gsm = channel::Gsm();
    if (call_up && gsm.PortOpen()) {
      gsm.Output("ATH\r", 1000);
      std::string answer;
      const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
      while (answer.find("OK\r\n") == std::string::npos && std::chrono::steady_clock::now() < until) {
        gsm.WaitForInput(50);
        answer += gsm.Input();
      }
    }
    // The interrupted exchange's text is nobody's answer now: the next command starts afresh.
    channel::CurrentSession().ReceiveBuffer.clear();
    if (gsm.PortOpen()) gsm.Input();
    if (close_port && gsm.PortOpen()) gsm.PortOpen(false);
  } catch (const RuntimeError&) {
  } catch (const Interrupted&) {
  }
  call_up = false;
  pending = signal;
}

}  // namespace quandelstk::cli
