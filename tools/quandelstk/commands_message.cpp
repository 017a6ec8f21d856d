// message send / list / get / delete / watch: messages as people write them, in UTF-8, on the
// standards-complete layer beside the SMS class (long texts split and joined, every coding, status
// reports matched to what was sent).
#include <fmt/core.h>

#include <csignal>
#include <ctime>
#include <iostream>
#include <iterator>
#include <memory>
#include <thread>

#include "cli.hpp"
#include "message_view.hpp"
#include "quandelstk/errors.hpp"
#include "quandelstk/messages.hpp"
#include "sent_journal.hpp"

namespace quandelstk::cli {

namespace {

using messages::AssembledMessage;

volatile std::sig_atomic_t interrupted = 0;
void OnInterrupt(int) {
  interrupted = 1;
}

// One Messages object per run, so that a shell's watch keeps its state.
messages::Messages& Box() {
  static messages::Messages box;
  return box;
}

std::string LocalNow() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
  return buf;
}

// "90" (minutes), "30m", "12h", "2d", "1w".
std::chrono::minutes ParseValidity(const std::string& text) {
  const std::string bad =
      "--validity: \"" + text + "\" is not a period; give minutes, or a number with m, h, d or w (12h, 2d)";
  if (text.empty()) throw UsageError(bad);
  std::size_t used = 0;
  long value = 0;
  try {
    value = std::stol(text, &used);
  } catch (const std::exception&) {
    throw UsageError(bad);
  }
  const std::string unit = text.substr(used);
  long minutes = value;
  if (unit == "h")
    minutes = value * 60;
  else if (unit == "d")
    minutes = value * 1440;
  else if (unit == "w")
    minutes = value * 10080;
  else if (!unit.empty() && unit != "m")
    throw UsageError(bad);
  if (value <= 0 || minutes > 63L * 10080)
    throw UsageError("--validity: " + text +
                     " is outside 5 minutes to 63 weeks, what the network keeps a message");
  return std::chrono::minutes(minutes);
}

std::string ReadStandardInput() {
  std::string text((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
  if (!text.empty() && text.back() == '\n') text.pop_back();  // the line end of the last line typed
  if (!text.empty() && text.back() == '\r') text.pop_back();
  return text;
}

struct SendArgs {
  std::string number, text, validity, smsc;
  bool flash = false, report = false, wide = false;
};

void Send(Cli& cli, const SendArgs& a) {
  messages::SendOptions options;
  options.flash = a.flash;
  options.status_report = a.report;
  options.wide_reference = a.wide;
  options.service_centre = a.smsc;
  if (!a.validity.empty()) options.validity = ParseValidity(a.validity);
  const std::string text = a.text == "-" ? ReadStandardInput() : a.text;
  if (text.empty())
    throw UsageError("the text is empty; give it as TEXT, or - to read it from standard input");
  messages::TextPlan plan;
  try {
    // A bad number or text stops here, before the modem is touched.
    plan = messages::Plan(text, options);
    messages::EncodeSubmit(a.number, text, options, 0);
  } catch (const RuntimeError& e) {
    throw UsageError(e.Description());
  }
  cli.out.Note(PlanText(plan));

  const messages::SendResult r = Box().Send(a.number, text, options, [&cli](int part, int total) {
    cli.out.Progress(fmt::format("sending part {} of {}", part, total));
  });
  std::string warning;
  if (!r.references.empty()) RememberSent({a.number, text, r.references, LocalNow()}, warning);
  std::string references;
  for (std::size_t k = 0; k < r.references.size(); ++k)
    references += (k ? ", " : "") + std::to_string(r.references[k]);
  const nlohmann::json properties = {{"encoding", messages::AlphabetName(plan.alphabet)},
                                     {"parts", plan.parts},
                                     {"characters", plan.characters},
                                     {"units", plan.units},
                                     {"references", r.references},
                                     {"error", r.error}};
  if (!warning.empty()) cli.out.Note("note: " + warning);
  cli.Report(
      "message send", r.ok, r.ok,
      r.ok ? fmt::format("sent: {} part{}, message reference{} {}", plan.parts, plan.parts == 1 ? "" : "s",
                         r.references.size() == 1 ? "" : "s", references)
           : "not sent: " + r.error +
                 (r.references.empty() ? "" : " (parts sent before it: references " + references + ")") +
                 "; check the number and the network, --trace shows the line",
      properties);
}

void List(Cli& cli) {
  cli.out.Progress("listing the messages on the SIM and the stored status reports");
  const std::vector<AssembledMessage> all = Box().List();
  const auto sent = LoadSentMessages();
  nlohmann::json list = nlohmann::json::array();
  std::string human;
  for (const AssembledMessage& m : all) {
    list.push_back(AssembledJson(m, sent));
    human += AssembledText(m, sent) + "\n";
  }
  human += all.empty() ? "no messages stored"
                       : fmt::format("{} message{}", all.size(), all.size() == 1 ? "" : "s");
  cli.Report("message list", list, true, human);
}

void Get(Cli& cli, int index, const std::string& storage) {
  const auto m = Box().Read(index, storage);
  if (!m) {
    cli.Report(
        "message get", nullptr, false,
        fmt::format("no message at index {} of {}; message list shows the indexes in use", index, storage));
    return;
  }
  cli.Report("message get", MessageJson(*m), true, MessageText(*m, index, storage));
}

void Delete(Cli& cli, int index, bool all, const std::string& storage) {
  const bool ok = all ? Box().DeleteAll(storage) : Box().Delete(index, storage);
  const std::string what =
      all ? "every message of " + storage : fmt::format("message {} of {}", index, storage);
  cli.Report("message delete", ok, ok,
             ok ? "deleted " + what
                : "could not delete " + what + ": " +
                      (Box().LastAnswer().empty() ? "no answer" : Box().LastAnswer()) +
                      "; message list shows the indexes in use");
}

void Watch(Cli& cli, double seconds, int part_timeout, bool remove) {
  if (!Box().Watch(std::chrono::seconds(part_timeout))) {
    cli.Report("message watch", false, false,
               "the modem refused new-message indications (AT+CNMI); --trace shows its answer");
    return;
  }
  interrupted = 0;
  auto previous = std::signal(SIGINT, OnInterrupt);
  cli.out.Note(seconds > 0 ? fmt::format("watching for {} s (Ctrl-C stops)", seconds)
                           : "watching (Ctrl-C stops)");
  const auto sent = LoadSentMessages();
  const auto start = std::chrono::steady_clock::now();
  int seen = 0;
  try {
    while (!interrupted) {
      const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      if (seconds > 0 && elapsed >= seconds) break;
      std::vector<AssembledMessage> got;
      if (cli.OnSimulator()) {
        // The simulator's clock follows the real one while we watch.
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        cli.CatchUpSimulatedTime();
        got = Box().Wait(std::chrono::milliseconds(0));
      } else {
        got = Box().Wait(std::chrono::milliseconds(500));
      }
      for (const AssembledMessage& m : got) {
        ++seen;
        if (cli.out.Structured())
          fmt::print(
              "{}\n",
              nlohmann::json{{"command", "message watch"}, {"message", AssembledJson(m, sent)}}.dump());
        else
          fmt::print("{}\n", AssembledText(m, sent));
        std::fflush(stdout);
        if (remove)
          for (const int index : m.indexes) Box().Delete(index, m.storage.empty() ? "SM" : m.storage);
      }
    }
  } catch (...) {
    std::signal(SIGINT, previous);
    Box().StopWatching();
    throw;
  }
  std::signal(SIGINT, previous);
  Box().StopWatching();
  cli.Report("message watch", seen, true,
             fmt::format("stopped after {} message{}", seen, seen == 1 ? "" : "s"));
}

}  // namespace

void AddMessageCommands(CLI::App& app, Cli& cli) {
  auto* message = app.add_subcommand(
      "message", "Messages in UTF-8: any script and emoji, long texts split and joined, reports matched");
  message->require_subcommand(1);

  auto* send = message->add_subcommand("send", "Send a text, split into as many parts as it needs");
  auto args = std::make_shared<SendArgs>();  // lives as long as the command tree
  send->add_option("NUMBER", args->number, "destination: + and digits, or a national number")->required();
  send->add_option("TEXT", args->text, "the text in UTF-8; - (the default) reads it from standard input")
      ->default_val("-");
  send->add_flag("--flash", args->flash, "class 0: shown at once on the phone, not stored");
  send->add_flag("--report", args->report, "ask the network for a status report (message list shows it)");
  send->add_option("--validity", args->validity, "how long the network tries: minutes, or 30m, 12h, 2d, 1w");
  send->add_option("--smsc", args->smsc, "service centre number (default: the one the SIM has)");
  send->add_flag("--wide-reference", args->wide, "a 16-bit concatenation reference for a long text");
  send->callback([&cli, args] { cli.Run("message send", true, [&cli, args] { Send(cli, *args); }); });

  auto* list =
      message->add_subcommand("list", "Every message on the SIM and every stored status report, joined");
  list->callback([&cli] { cli.Run("message list", true, [&cli] { List(cli); }); });

  auto* get = message->add_subcommand("get", "Read one stored message by index, without deleting it");
  get->add_option("INDEX", "the index message list shows")->required()->check(WholeNumber(1, 9999));
  get->add_option("--storage", "SM (the SIM, default) or SR (status reports)")
      ->default_val("SM")
      ->check(CLI::IsMember({"SM", "SR", "ME"}));
  get->callback([&cli, get] {
    cli.Run("message get", true, [&cli, get] {
      Get(cli, get->get_option("INDEX")->as<int>(), get->get_option("--storage")->as<std::string>());
    });
  });

  auto* del = message->add_subcommand("delete", "Delete a stored message by index, or every one with --all");
  auto* index = del->add_option("INDEX", "the index message list shows")->check(WholeNumber(1, 9999));
  auto* all = del->add_flag("--all")->description("delete every message of the storage");
  index->excludes(all);
  del->add_option("--storage", "SM (the SIM, default) or SR (status reports)")
      ->default_val("SM")
      ->check(CLI::IsMember({"SM", "SR", "ME"}));
  del->callback([&cli, del, index, all] {
    cli.Run("message delete", true, [&cli, del, index, all] {
      if (index->count() == 0 && all->count() == 0)
        throw UsageError("give an INDEX (see message list) or --all");
      Delete(cli, index->count() ? index->as<int>() : 0, all->count() > 0,
             del->get_option("--storage")->as<std::string>());
    });
  });

  auto* watch =
      message->add_subcommand("watch", "Print messages and status reports as they arrive, until Ctrl-C");
  watch->add_option("--for", "stop after this many seconds (0: until Ctrl-C)")
      ->default_val(0)
      ->check(CLI::Range(0.0, 86400.0));
  watch
      ->add_option("--part-timeout",
                   "seconds to wait for the missing parts of a long message before showing it incomplete")
      ->default_val(300)
      ->check(WholeNumber(1, 86400));
  watch->add_flag("--delete")->description("delete each message from the SIM once it is printed");
  watch->callback([&cli, watch] {
    cli.Run("message watch", true, [&cli, watch] {
      Watch(cli, watch->get_option("--for")->as<double>(), watch->get_option("--part-timeout")->as<int>(),
            watch->get_option("--delete")->as<bool>());
    });
  });
}

}  // namespace quandelstk::cli
