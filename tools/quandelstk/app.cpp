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
    "quandelstk drives a GSM modem on a serial port: initialise it, query it, send and read SMS.\n"
    "Without --port it talks to the built-in simulated modem, so every command works without hardware.\n"
    "Exit codes: 0 success, 1 the operation returned its failure value, 2 usage error, 3 run-time error.";

// --help-all adds every command, down to the last level, with its arguments and options (CLI11
// stops one level down): the man page is made of it.
class EveryCommandFormatter : public CLI::Formatter {
 public:
  std::string make_help(const CLI::App* app, std::string name, CLI::AppFormatMode mode) const override {
    if (mode != CLI::AppFormatMode::All) return CLI::Formatter::make_help(app, std::move(name), mode);
    std::string text = CLI::Formatter::make_help(app, name, CLI::AppFormatMode::Normal) + "\nCommands:\n";
    AppendCommands(app, text);
    return text;
  }

 private:
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
  app->add_option("--pin", o.pin, "the SIM PIN, used by Init when the SIM asks for it");
  app->add_flag("--json", o.json, "print exactly one JSON object per command");
  app->add_flag("--quiet", o.quiet, "no progress and no notes");
  app->add_flag("--trace", o.trace, "every byte on the line to stderr, control characters escaped");
  app->add_option("--assign", o.assign, "enter a device in the port table: N=/dev/PATH (repeatable)");
  AddModemCommands(*app, cli);
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

int ReportParseError(CLI::App& app, const CLI::ParseError& e) {
  // A word that is no command reads better as such than as "a subcommand is required".
  if (dynamic_cast<const CLI::RequiredError*>(&e) || dynamic_cast<const CLI::ExtrasError*>(&e)) {
    for (const std::string& word : app.remaining()) {
      if (word.empty() || word[0] == '-') continue;
      // After a command the word is one more argument that the command does not take.
      const auto commands = app.get_subcommands();
      if (!commands.empty()) {
        const std::string command = commands.front()->get_name();
        fmt::print(stderr, "quandelstk {}: unexpected \"{}\"; run quandelstk {} --help\n", command, word, command);
      } else {
        fmt::print(stderr, "quandelstk: unknown command \"{}\"; run quandelstk --help for the list\n", word);
      }
      return kUsage;
    }
  }
  return app.exit(e) == 0 ? kSuccess : kUsage;
}

int RunLine(Cli& cli, const std::string& line) {
  auto app = BuildApp(cli);
  try {
    // Split as CLI11 would, but keep quoted empty words: `stk submit ""` sends an empty answer.
    std::vector<std::string> words = CLI::detail::split_up(line);
    std::reverse(words.begin(), words.end());
    app->parse(std::move(words));
  } catch (const CLI::ParseError& e) {
    cli.exit_code = ReportParseError(*app, e);
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
    return ReportParseError(*app, e);
  } catch (const Interrupted& i) {
    // No call left up and no port left open, whatever the command was doing.
    const bool hang_up = CallIsUp();
    HangUpAndClose(true);
    fmt::print(stderr, "quandelstk: interrupted{}; the port is closed\n", hang_up ? ", the call hung up (ATH)" : "");
    return 128 + i.signal;
  }
  return cli.exit_code;
}
