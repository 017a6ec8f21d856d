// SIGINT and SIGTERM end the running command, not the process in the middle of an exchange: the
// handler only notes the signal, and the line (ObservedPlatform) raises Interrupted at its next
// pause, read or write. The command's caller then hangs up a call the command dialled, closes the
// port, and exits with 128 + the signal (the shell returns to its prompt instead).
#pragma once

#include <string>

namespace quandelstk::cli {

struct Interrupted {
  int signal;
};

// Installs the handlers (without SA_RESTART, so a blocking read at the prompt returns).
void CatchInterrupts();
// The signal that arrived and was not yet handled, 0 for none.
int PendingInterrupt();
void ClearInterrupt();
// Sets the signal pending again (after a tidy-up that had to run with none pending).
void SetPendingInterrupt(int signal);
// Raises Interrupted when a signal is pending.
void ThrowIfInterrupted();

// Notes a command written to the line: "ATD..." leaves a call up until "ATH" ends it.
void NoteWritten(const std::string& bytes);
bool CallIsUp();
// After an interruption: hangs up the call the command dialled (waiting up to a second for the
// modem's OK) and closes the port. Never raises.
void HangUpAndClose(bool close_port);

}  // namespace quandelstk::cli
