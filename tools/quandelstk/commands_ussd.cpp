// ussd send / listen / cancel. One USSD object lives as long as the CLI (or the shell), as a host's
// would, so USSDNotification stays what the last listen set.
#include <fmt/core.h>

#include <memory>

#include "charset.hpp"
#include "cli.hpp"
#include "quandelstk/ussd.hpp"

namespace quandelstk::cli {

namespace {

USSD& TheUssd() {
  static USSD ussd;
  return ussd;
}

nlohmann::json Properties() {
  return {{"USSDNotification", Cp1252ToUtf8(TheUssd().USSDNotification())}};
}

// A menu dialogue is one code after the other: the answer to each is the next menu, so the codes
// are sent in turn until one gets no text.
void Send(Cli& cli, const std::vector<std::string>& codes) {
  std::vector<std::string> answers;
  std::string human;
  bool answered = true;
  for (const std::string& code : codes) {
    const std::string command = Utf8ToCp1252(code, "write the code as it is dialled (digits, * and #)");
    cli.out.Progress(fmt::format("sending {} and waiting for the network's answer (up to 15 s)", code));
    const std::string text = Cp1252ToUtf8(TheUssd().Send(command));
    if (codes.size() > 1) human += fmt::format("{}> {}\n", human.empty() ? "" : "\n", code);
    if (text.empty()) {
      human += fmt::format(
          "(no answer to {}: the network refused the code, ended the dialogue without a text, or did not "
          "answer "
          "within 15 s; --trace shows the line)",
          code);
      answered = false;
      break;
    }
    answers.push_back(text);
    human += text;
  }
  nlohmann::json result =
      codes.size() == 1 ? nlohmann::json(answers.empty() ? "" : answers[0]) : nlohmann::json(answers);
  cli.Report("ussd send", result, answered, human, Properties());
}

void Listen(Cli& cli, int timeout) {
  const int waited = timeout == 0 ? 7 : timeout;
  if (timeout >= 0)
    cli.out.Progress(fmt::format("listening for a notification from the network (up to {} s)", waited));
  const bool r = TheUssd().USSDListen(static_cast<std::int16_t>(timeout));
  const std::string note = Cp1252ToUtf8(TheUssd().USSDNotification());
  cli.Report("ussd listen", r, r,
             r             ? note
             : timeout < 0 ? "false: nothing was waiting"
                           : fmt::format("false: no notification within {} s", waited),
             Properties());
}

void Cancel(Cli& cli) {
  const bool r = TheUssd().Cancel();
  cli.Report("ussd cancel", r, r,
             r ? "true: the dialogue is ended"
               : "false: the modem did not accept the cancel (--trace shows its answer)",
             Properties());
}

}  // namespace

void AddUssdCommands(CLI::App& app, Cli& cli) {
  auto* ussd = app.add_subcommand("ussd", "USSD: send codes to the network, listen for its notifications");
  ussd->require_subcommand(1);

  auto* send = ussd->add_subcommand(
      "send",
      "Send a code (for example *100#) and print the network's text. A menu is answered by sending the "
      "choice "
      "the same way; several codes are sent in turn (ussd send \"*101#\" 2 1) until one gets no text");
  auto codes = std::make_shared<std::vector<std::string>>();
  send->add_option("CODE", *codes, "the code as dialled, then the menu choices")->required();
  send->callback([&cli, codes] { cli.Run("ussd send", true, [&cli, codes] { Send(cli, *codes); }); });

  auto* listen = ussd->add_subcommand("listen", "Wait for a notification the network sends on its own");
  listen->add_option("--timeout",
                     "seconds to wait; 0 means 7, a negative number reads once (default: the global --timeout, "
                     "else 3)")
      ->check(WholeNumber(-32768, 32767));
  listen->callback([&cli, listen] {
    cli.Run("ussd listen", true, [&cli, listen] {
      const CLI::Option* own = listen->get_option("--timeout");
      Listen(cli, own->count() > 0 ? own->as<int>() : cli.Timeout(3));
    });
  });

  auto* cancel = ussd->add_subcommand("cancel", "End the running USSD dialogue");
  cancel->callback([&cli] { cli.Run("ussd cancel", true, [&cli] { Cancel(cli); }); });
}

}  // namespace quandelstk::cli
