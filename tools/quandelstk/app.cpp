#include <fmt/core.h>
#include <unistd.h>

#include <algorithm>
#include <string_view>
#include <vector>

#include "cli.hpp"
#include "completion.hpp"
#include "interrupt.hpp"
#include "quandelstk/version.hpp"

namespace quandelstk::cli {

namespace {

constexpr const char* kDescription =
    "quandelstk drives a GSM modem on a serial port: see what is attached (list, identify), manage the\n"
    "SIM PIN (pin), look at the network (network, signal), send and read SMS, USSD, the SIM phonebook and\n"
    "the SIM toolkit. Run quandelstk COMMAND --help for a command, --help-all for all of them.\n"
    "Without --port (or QUANDELSTK_PORT) it talks to the built-in simulated modem, so every command works\n"
    "without hardware. The PIN comes from --pin, --pin-file or QUANDELSTK_PIN.\n"
    "--json prints one object per command (docs/cli-json.md), --keyvalue the same as \"key : value\" lines.\n"
    "Exit codes: 0 success, 1 the operation returned its failure value, 2 usage error, 3 run-time error.";

// The options of the program itself, which every command takes too (before or after its name).
bool IsGlobal(const CLI::Option* option) {
  const std::string name = option->get_name();
  return option->nonpositional() && name != "--help" && name != "--help-all" && name != "--version";
}

// --help-all adds every command, down to the last level, with its arguments and options (CLI11
// stops one level down): the man page is made of it.
class EveryCommandFormatter : public CLI::Formatter {
 public:
  std::string make_help(const CLI::App* app, std::string name, CLI::AppFormatMode mode) const override {
    if (mode != CLI::AppFormatMode::All) {
      std::string text = CLI::Formatter::make_help(app, std::move(name), mode);
      if (mode == CLI::AppFormatMode::Normal && app->get_parent()) text += GlobalOptions(app);
      return text;
    }
    std::string text = CLI::Formatter::make_help(app, name, CLI::AppFormatMode::Normal) + "\nCommands:\n";
    AppendCommands(app, text);
    return text;
  }

 private:
  std::string GlobalOptions(const CLI::App* app) const {
    const CLI::App* root = app;
    while (root->get_parent()) root = root->get_parent();
    std::string text = "\nGLOBAL OPTIONS (before or after the command):\n";
    for (const CLI::Option* option : root->get_options([](const CLI::Option* o) { return IsGlobal(o); }))
      text += make_option(option, false);
    return text;
  }

  void AppendCommands(const CLI::App* app, std::string& text) const {
    for (const CLI::App* sub : app->get_subcommands([](const CLI::App* c) { return !c->get_group().empty(); })) {
      std::string path = sub->get_name();
      for (const CLI::App* up = sub->get_parent(); up; up = up->get_parent()) path = up->get_name() + " " + path;
      std::string body = make_description(sub) + make_positionals(sub) + make_groups(sub, CLI::AppFormatMode::Sub);
      body = CLI::detail::find_and_replace(body, "\n\n", "\n");
      while (!body.empty() && body.back() == '\n') body.pop_back();
      text += "  " + path + "\n      " + CLI::detail::find_and_replace(body, "\n", "\n      ") + "\n\n";
      AppendCommands(sub, text);
    }
  }
};

}  // namespace

std::unique_ptr<CLI::App> BuildApp(Cli& cli) {
  auto app = std::make_unique<CLI::App>(kDescription, "quandelstk");
  app->set_version_flag("--version", std::string("quandelstk ") + kVersionText);
  // Set before the commands are added, so that each of them has them too.
  app->formatter(std::make_shared<EveryCommandFormatter>());
  app->set_help_all_flag("--help-all", "Print the help of this command and of every command under it, then exit");
  app->require_subcommand(1);
  app->fallthrough();
  GlobalOptions& o = cli.opts;
  app->add_option("--port", o.port,
                  "N (a port number from the port table), /dev/PATH (a device), or sim[:SCENARIO.json] "
                  "(the built-in simulated modem, the default)");
  app->add_option("--pin", o.pin, "the SIM PIN, used by Init when the SIM asks for it (else QUANDELSTK_PIN)");
  app->add_option("--pin-file", o.pin_file, "read the PIN from the first line of this file (never shown)");
  app->add_option("--timeout", o.timeout,
                  "seconds an answer may take, for the commands that wait for one (at, ussd listen, list "
                  "--probe, and the operator commands); their own default otherwise")
      ->check(WholeNumber(1, 32767));
  app->add_flag("--json", o.json, "print exactly one JSON object per command (docs/cli-json.md)");
  app->add_flag("--keyvalue,-K", o.keyvalue, "print the JSON object as \"key : value\" lines, as mmcli -K");
  app->add_flag("--quiet", o.quiet, "no progress and no notes");
  app->add_flag("--trace", o.trace, "every byte on the line to stderr, control characters escaped");
  app->add_option("--assign", o.assign, "enter a device in the port table: N=/dev/PATH (repeatable)");
  AddModemCommands(*app, cli);
  AddOperatorCommands(*app, cli);
  AddListCommand(*app, cli);
  AddPduCommands(*app, cli);
  AddSmsCommands(*app, cli);
  AddMessageCommands(*app, cli);
  AddStkCommands(*app, cli);
  AddUssdCommands(*app, cli);
  AddPhonebookCommands(*app, cli);
  AddQueueCommands(*app, cli);
  AddShellCommand(*app, cli);
  AddDemoCommand(*app, cli);
  return app;
}

int ReportParseError(Cli& cli, CLI::App& app, const CLI::ParseError& e) {
  // The command words parsed so far name the command in the report.
  std::string command;
  for (const CLI::App* at = &app; !at->get_subcommands().empty();) {
    at = at->get_subcommands().front();
    command += (command.empty() ? "" : " ") + at->get_name();
  }
  Output& out = cli.out;
  // The options have not reached their variables when parsing stops early.
  out.json = cli.opts.json || app.get_option("--json")->count() > 0;
  out.keyvalue = cli.opts.keyvalue || app.get_option("--keyvalue")->count() > 0;
  // A word that is no command reads better as such than as "a subcommand is required".
  if (dynamic_cast<const CLI::RequiredError*>(&e) || dynamic_cast<const CLI::ExtrasError*>(&e)) {
    for (const std::string& word : app.remaining()) {
      if (word.empty() || word[0] == '-') continue;
      // After a command the word is one more argument that the command does not take.
      if (!command.empty()) {
        const std::string top = command.substr(0, command.find(' '));
        out.UsageError(command, fmt::format("unexpected \"{}\"; run quandelstk {} --help", word, top));
      } else {
        out.UsageError("", fmt::format("unknown command \"{}\"; run quandelstk --help for the list", word));
      }
      return kUsage;
    }
  }
  // Help and version are what was asked for, not errors.
  if (e.get_exit_code() == 0 || !out.Structured()) return app.exit(e) == 0 ? kSuccess : kUsage;
  out.UsageError(command, e.what());
  return kUsage;
}

int RunLine(Cli& cli, const std::string& line) {
  auto app = BuildApp(cli);
  try {
    // Split as CLI11 would, but keep quoted empty words: `stk submit ""` sends an empty answer.
    std::vector<std::string> words = CLI::detail::split_up(line);
    std::reverse(words.begin(), words.end());
    app->parse(std::move(words));
  } catch (const CLI::ParseError& e) {
    cli.exit_code = ReportParseError(cli, *app, e);
  }
  return cli.exit_code;
}

}  // namespace quandelstk::cli

int main(int argc, char** argv) {
  using namespace quandelstk::cli;
  Output out;
  out.progress_to_terminal = isatty(2) != 0;
  Cli cli(out);
  auto app = BuildApp(cli);
  // The build writes the installed completion script with this; it is no command for people.
  if (argc == 2 && std::string_view(argv[1]) == "--bash-completion") {
    fmt::print("{}", BashCompletion(*app));
    return kSuccess;
  }
  CatchInterrupts();
  try {
    app->parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return ReportParseError(cli, *app, e);
  } catch (const Interrupted& i) {
    // No call left up and no port left open, whatever the command was doing.
    const bool hang_up = CallIsUp();
    HangUpAndClose(true);
    fmt::print(stderr, "quandelstk: interrupted{}; the port is closed\n", hang_up ? ", the call hung up (ATH)" : "");
    return 128 + i.signal;
  }
  return cli.exit_code;
}
