// The state of one run of the CLI: its global options, the connection they name, and Init.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "modem_errors.hpp"
#include "output.hpp"
#include "quandelstk/enums.hpp"
#include "platform/virtual_platform.hpp"
#include "quandelstk/platform.hpp"

namespace quandelstk {
class SMS;
class SIMToolKit;
}

namespace quandelstk::cli {

// A mistake in how the CLI was called: exit 2 with this message.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum Exit : int { kSuccess = 0, kFailureValue = 1, kUsage = 2, kRuntimeError = 3 };

struct GlobalOptions {
  std::string port;  // N | /dev/PATH | sim[:SCENARIO.json]; empty: QUANDELSTK_PORT, else sim
  std::string pin;   // empty: the --pin-file's first line, else QUANDELSTK_PIN
  std::string pin_file;
  int timeout = 0;   // seconds, 0: each command's own default
  bool json = false;
  bool keyvalue = false;
  bool quiet = false;
  bool trace = false;
  std::vector<std::string> assign;  // N=/dev/PATH
};

class ErrorWatch;

class Cli {
 public:
  explicit Cli(Output& out);
  ~Cli();

  GlobalOptions opts;
  Output& out;
  int exit_code = kSuccess;
  bool in_shell = false;

  // Installs, once, the platform the --port option names, and applies --assign.
  // search: a port search without --port looks at the real port table, not the simulator.
  void Connect(bool search = false);
  // The port number Init is called with.
  std::int16_t PortNumber() const { return port_number_; }
  bool OnSimulator() const { return sim_ != nullptr; }
  // --port (or QUANDELSTK_PORT) names the simulated modem itself, not left out.
  bool OnSimulatorPort();
  // On the simulated modem, lets its virtual clock catch up with the real time that passed since
  // the last call, so that a message sent in the shell has arrived when the next command reads.
  void CatchUpSimulatedTime();
  // Opens the port for commands that must work while the SIM still waits for its PIN (identify,
  // pin): the same speeds Init tries, each with one "AT" through the exchange primitives. Keeps the
  // port Init opened. False (with the report made) when no modem answers.
  bool OpenLine();
  // The PIN from --pin, --pin-file or QUANDELSTK_PIN, in that order ("" for none).
  std::string Pin();
  // The global --timeout, or fallback when it was not given.
  std::int16_t Timeout(std::int16_t fallback) const {
    return static_cast<std::int16_t>(opts.timeout > 0 ? opts.timeout : fallback);
  }
  // The last +CME ERROR / +CMS ERROR the modem answered in the current command, none when it
  // answered none.
  std::optional<nlohmann::json> LastModemError() const;
  // Runs Modem.Init once (with --pin); on anything but OK reports the status and returns false.
  // again: run it once more when the port has been closed since (a shutdown in the shell).
  bool Initialise(bool again = false);
  // Runs one command: a RuntimeError becomes exit 3 with its report, a UsageError exit 2.
  void Run(const std::string& command, bool needs_modem, const std::function<void()>& body);
  // Reports a result and sets the exit code from whether it is the operation's failure value.
  // A failure also names the modem's error: the one given, else the last +CME/+CMS error of the
  // command, with its hint.
  void Report(const std::string& command, const nlohmann::json& result, bool success, const std::string& human,
              const nlohmann::json& properties = nlohmann::json::object(),
              const nlohmann::json& details = nlohmann::json::object(),
              const std::optional<ModemError>& error = std::nullopt);
  // The one SMS object of this run, made on first use: destroying one closes the port.
  SMS& Sms();
  // The one SIMToolKit object of this run, so that the shell keeps its menu properties.
  SIMToolKit& Toolkit();

 private:
  void PortFromEnvironment();
  std::unique_ptr<ScopedPlatform> scope_;
  std::shared_ptr<ErrorWatch> watch_;
  std::unique_ptr<SMS> sms_;
  std::unique_ptr<SIMToolKit> toolkit_;
  std::int16_t port_number_ = 1;
  std::shared_ptr<platform::VirtualPlatform> sim_;
  std::chrono::steady_clock::time_point last_real_time_ = std::chrono::steady_clock::now();
  bool initialised_ = false;
};

const char* InitStatusName(InitStatus status);

// A whole number from lo to hi; a word that is no number is told so, not that it is out of range.
CLI::Validator WholeNumber(int lo, int hi);

// Command groups, each in its own file.
void AddModemCommands(CLI::App& app, Cli& cli);
void AddPduCommands(CLI::App& app, Cli& cli);
void AddSmsCommands(CLI::App& app, Cli& cli);
void AddMessageCommands(CLI::App& app, Cli& cli);
void AddStkCommands(CLI::App& app, Cli& cli);
void AddUssdCommands(CLI::App& app, Cli& cli);
void AddPhonebookCommands(CLI::App& app, Cli& cli);
void AddOperatorCommands(CLI::App& app, Cli& cli);
void AddListCommand(CLI::App& app, Cli& cli);
void AddQueueCommands(CLI::App& app, Cli& cli);  // the gateway's store
void AddShellCommand(CLI::App& app, Cli& cli);
void AddDemoCommand(CLI::App& app, Cli& cli);
// The demo's part for USSD and the phonebook (simulated modem only).
void UssdAndPhonebookTour(Cli& cli);

// The whole command tree, bound to cli.
std::unique_ptr<CLI::App> BuildApp(Cli& cli);
// Prints a parse error (or the help it asked for); returns the exit code.
int ReportParseError(Cli& cli, CLI::App& app, const CLI::ParseError& e);
// A validator for phone numbers, by the rule of NumberProblem.
CLI::Validator PhoneNumber(NumberUse use = NumberUse::kMessage);
// Parses and runs one command line (a shell line); returns its exit code.
int RunLine(Cli& cli, const std::string& line);

}  // namespace quandelstk::cli
