// shell: one Init, then commands line by line with the same grammar as the command line.
// On a terminal the lines can be edited and recalled; from a pipe they are read plainly.
#include <signal.h>
#include <unistd.h>

#include <editline/readline.h>
#include <fmt/core.h>

#include <cstdlib>
#include <iostream>

#include "cli.hpp"
#include "interrupt.hpp"
#include "progress.hpp"

namespace quandelstk::cli {

namespace {

bool ReadLine(bool terminal, std::string& line) {
  if (!terminal) return static_cast<bool>(std::getline(std::cin, line));
  char* raw = ::readline("quandelstk> ");
  if (!raw) return false;
  line = raw;
  std::free(raw);
  if (!line.empty()) ::add_history(WithoutPins(line).c_str());
  return true;
}

std::string Trimmed(const std::string& s) {
  const auto b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return {};
  return s.substr(b, s.find_last_not_of(" \t\r") - b + 1);
}

void RunShell(Cli& cli) {
  if (cli.in_shell) throw UsageError("already in the shell");
  if (!cli.Initialise()) return;
  cli.in_shell = true;
  const bool terminal = ::isatty(0) != 0;
  cli.out.Note("Modem initialised. Type a command (for example: signal), help, or exit.");
  std::string line;
  int last = kSuccess;
  cli.CatchUpSimulatedTime();
  for (;;) {
    ClearInterrupt();
    if (!ReadLine(terminal, line)) {
      // Ctrl-C at the prompt drops the line typed so far; only the end of input ends the shell.
      if (PendingInterrupt() == SIGINT && terminal) {
        fmt::print("\n");
        continue;
      }
      break;
    }
    line = Trimmed(line);
    if (line.empty() || line[0] == '#') continue;
    if (line == "exit" || line == "quit") break;
    if (line == "help") line = "--help";
    cli.exit_code = kSuccess;
    cli.CatchUpSimulatedTime();
    try {
      last = RunLine(cli, line);
    } catch (const Interrupted& i) {
      if (i.signal != SIGINT) throw;  // SIGTERM ends the shell too
      // Ctrl-C ends the command, not the shell: no call left up, the port stays open for the next.
      const bool hang_up = CallIsUp();
      HangUpAndClose(false);
      fmt::print(stderr, "interrupted{}\n", hang_up ? "; the call hung up (ATH)" : "");
      last = 130;
    }
  }
  cli.exit_code = last;
}

}  // namespace

void AddShellCommand(CLI::App& app, Cli& cli) {
  auto* cmd = app.add_subcommand("shell", "Initialise once, then read commands line by line (from a terminal or a pipe)");
  cmd->callback([&cli] { cli.Run("shell", false, [&cli] { RunShell(cli); }); });
}

}  // namespace quandelstk::cli
