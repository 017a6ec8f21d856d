// message send / list / get / delete / watch: messages as people write them, in UTF-8, on the
// standards-complete layer beside the SMS class (long texts split and joined, every coding, status
// reports matched to what was sent).
#include <fmt/core.h>
#include <signal.h>

#include <array>
#include <csignal>
#include <ctime>
#include <iostream>
#include <iterator>
#include <memory>
#include <optional>
#include <thread>

#include "cli.hpp"
#include "interrupt.hpp"
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
  if (value <= 0 || minutes < 5 || minutes > 63L * 10080)
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

// A message ready to send: checked before the modem is touched.
struct Outgoing {
  std::string number, text;
  messages::SendOptions options;
  messages::TextPlan plan;
};

// A bad number, text or option is a usage error here, before Init.
Outgoing Prepare(const SendArgs& a) {
  Outgoing o;
  o.number = a.number;
  o.options.flash = a.flash;
  o.options.status_report = a.report;
  o.options.wide_reference = a.wide;
  o.options.service_centre = a.smsc;
  if (!a.validity.empty()) o.options.validity = ParseValidity(a.validity);
  o.text = a.text == "-" ? ReadStandardInput() : a.text;
  if (o.text.empty())
    throw UsageError("the text is empty; give it as TEXT, or - to read it from standard input");
  try {
    o.plan = messages::Plan(o.text, o.options);
    messages::EncodeSubmit(o.number, o.text, o.options, 0);
  } catch (const RuntimeError& e) {
    throw UsageError(e.Description());
  }
  return o;
}

void Send(Cli& cli, const Outgoing& o) {
  const messages::SendOptions& options = o.options;
  const messages::TextPlan& plan = o.plan;
  const std::string& text = o.text;
  cli.out.Note(PlanText(plan));

  const messages::SendResult r = Box().Send(o.number, text, options, [&cli](int part, int total) {
    cli.out.Progress(fmt::format("sending part {} of {}", part, total));
  });
  std::string warning;
  if (!r.references.empty()) RememberSent({o.number, text, r.references, LocalNow()}, warning);
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

// The modem's answer as one line for people: without the echo of the command and the line ends.
std::string AnswerText(const std::string& answer) {
  std::string out, line;
  auto take = [&out, &line] {
    if (!line.empty() && line.rfind("AT", 0) != 0) out += (out.empty() ? "" : " ") + line;
    line.clear();
  };
  for (const char c : answer) {
    if (c == '\r' || c == '\n')
      take();
    else
      line += c;
  }
  take();
  return out.empty() ? "no answer" : out;
}

void Delete(Cli& cli, int index, bool all, const std::string& storage) {
  const bool ok = all ? Box().DeleteAll(storage) : Box().Delete(index, storage);
  const std::string what =
      all ? "every message of " + storage : fmt::format("message {} of {}", index, storage);
  cli.Report("message delete", ok, ok,
             ok ? "deleted " + what
                : "could not delete " + what + ": " + AnswerText(Box().LastAnswer()) +
                      "; message list shows the indexes in use");
}

// SIGINT, SIGTERM and SIGHUP end a watch the same way: the modem's settings restored, the count
// reported. The handlers in force before come back afterwards, flags included (the CLI's own are
// installed without SA_RESTART so that the shell's prompt returns on Ctrl-C), whichever way the
// watch ends.
class StopSignals {
 public:
  StopSignals() {
    interrupted = 0;
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    for (std::size_t k = 0; k < kSignals.size(); ++k) ::sigaction(kSignals[k], &action, &previous_[k]);
  }
  ~StopSignals() {
    for (std::size_t k = 0; k < kSignals.size(); ++k) ::sigaction(kSignals[k], &previous_[k], nullptr);
  }
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

 private:
  static constexpr std::array<int, 3> kSignals = {SIGINT, SIGTERM, SIGHUP};
  std::array<struct sigaction, 3> previous_{};
};

void Watch(Cli& cli, double seconds, int part_timeout, bool remove) {
  if (!Box().Watch(std::chrono::seconds(part_timeout))) {
    cli.Report("message watch", false, false,
               "the modem refused PDU mode (AT+CMGF=0) or new-message indications (AT+CNMI): " +
                   AnswerText(Box().LastAnswer()) + "; --trace shows the line");
    return;
  }
  const StopSignals signals;
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
        cli.out.Result("message watch", AssembledJson(m, sent), nlohmann::json::object(),
                       AssembledText(m, sent));
        // One the modem would not read is left where it is: nobody has seen it yet.
        const bool unread = m.first.pdu.empty() && !m.first.Decoded();
        if (remove && !unread) Box().Delete(m);
      }
      // Stored copies of parts of messages already shown: deleted with them, else only let go.
      for (const auto& copy : Box().TakeDuplicates())
        if (remove) Box().Delete(copy.index, copy.storage.empty() ? "SM" : copy.storage);
    }
  } catch (...) {
    // An interruption that ended the watch must not stop the restore at its first write; the
    // exception that carries it goes on to the caller.
    ClearInterrupt();
    Box().StopWatching();
    throw;
  }
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
  send->callback([&cli, args] {
    // The number, the text and the options are checked before Init: a usage error touches no modem.
    std::optional<Outgoing> outgoing;
    cli.Run("message send", false, [&outgoing, args] { outgoing = Prepare(*args); });
    if (!outgoing) return;
    cli.Run("message send", true, [&cli, &outgoing] { Send(cli, *outgoing); });
  });

  auto* list =
      message->add_subcommand("list", "Every message on the SIM and every stored status report, joined");
  list->callback([&cli] { cli.Run("message list", true, [&cli] { List(cli); }); });

  auto* get = message->add_subcommand("get", "Read one stored message by index, without deleting it");
  get->add_option("INDEX", "the index message list shows")->required()->check(WholeNumber(0, 9999));
  get->add_option("--storage", "SM (the SIM, default) or SR (status reports)")
      ->default_val("SM")
      ->check(CLI::IsMember({"SM", "SR", "ME"}));
  get->callback([&cli, get] {
    cli.Run("message get", true, [&cli, get] {
      Get(cli, get->get_option("INDEX")->as<int>(), get->get_option("--storage")->as<std::string>());
    });
  });

  auto* del = message->add_subcommand("delete", "Delete a stored message by index, or every one with --all");
  auto* index = del->add_option("INDEX", "the index message list shows")->check(WholeNumber(0, 9999));
  auto* all = del->add_flag("--all")->description("delete every message of the storage");
  index->excludes(all);
  del->add_option("--storage", "SM (the SIM, default) or SR (status reports)")
      ->default_val("SM")
      ->check(CLI::IsMember({"SM", "SR", "ME"}));
  del->callback([&cli, del, index, all] {
    if (index->count() == 0 && all->count() == 0) {  // before Init: a usage error touches no modem
      cli.Run("message delete", false, [] { throw UsageError("give an INDEX (see message list) or --all"); });
      return;
    }
    cli.Run("message delete", true, [&cli, del, index, all] {
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
