// The demo's USSD and phonebook part: a balance enquiry, a two-step menu, and a phonebook entry
// written, read and deleted. It changes the SIM and talks to the network, so it runs on the
// simulated modem only.
#include <fmt/core.h>

#include "charset.hpp"
#include "cli.hpp"
#include "quandelstk/phonebook.hpp"
#include "quandelstk/ussd.hpp"

namespace quandelstk::cli {

namespace {

void Step(const Cli& cli, const std::string& title) {
  if (!cli.opts.json) fmt::print("\n== {}\n", title);
}

void Show(const Cli& cli, const std::string& what, const std::string& value) {
  if (!cli.opts.json) fmt::print("   {:<28} {}\n", what, value);
}

// Menu texts span lines: the later ones are indented under the first.
std::string Shown(const std::string& bytes) {
  std::string text;
  for (char c : Cp1252ToUtf8(bytes))
    text += c == '\n' ? std::string("\n") + std::string(32, ' ') : std::string(1, c);
  return text.empty() ? "\"\" (no answer)" : text;
}

}  // namespace

void UssdAndPhonebookTour(Cli& cli) {
  Step(cli, "USSD.USSD: a balance enquiry (*100#)");
  USSD ussd;
  cli.out.Progress("waiting for the network's answer");
  Show(cli, "USSD \"*100#\"", Shown(ussd.Send("*100#")));

  Step(cli, "USSD.USSD: a two-step menu (*101#, then the choice 1)");
  Show(cli, "USSD \"*101#\"", Shown(ussd.Send("*101#")));
  Show(cli, "USSD \"1\"", Shown(ussd.Send("1")));

  Step(cli, "Phonebook: write location 1, read it back, delete it");
  Phonebook pb;
  Show(cli, "TotalSpace / TotalUsed", fmt::format("{} / {}", pb.TotalSpace(), pb.TotalUsed()));
  Show(cli, "PhonebookWrite 1", pb.PhonebookWrite(1, "+15550100456", "Ann Lee") ? "true" : "false");
  Show(cli, "PhonebookRead 1", pb.PhonebookRead(1) ? "true" : "false");
  Show(cli, "PhonebookNumber", Cp1252ToUtf8(pb.PhonebookNumber()));
  Show(cli, "PhonebookName", SimNameToUtf8(pb.PhonebookName()));
  Show(cli, "TotalUsed", fmt::format("{}", pb.TotalUsed()));
  Show(cli, "PhonebookDelete 1", pb.PhonebookDelete(1) ? "true" : "false");
  Show(cli, "PhonebookRead 1", pb.PhonebookRead(1) ? "true" : "false (empty)");
}

}  // namespace quandelstk::cli
