// queue: the gateway's store from the shell, no modem involved. Texts are UTF-8 as given: the
// gateway sends them with the messages layer, which takes UTF-8.
#include <fmt/core.h>

#include <chrono>
#include <limits>
#include <cstdlib>

#include "cli.hpp"
#include "store/store.hpp"
#include "submit.hpp"

namespace quandelstk::cli {

namespace {

using gateway::Store;

std::string StoreUrl(const std::string& given) {
  if (!given.empty()) return given;
  const char* env = std::getenv("QUANDELSTK_STORE");
  return env ? env : "";
}

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// Store failures are no library run-time errors: report them the same way, exit 3.
void WithStore(Cli& cli, const std::string& command, const std::string& url,
               const std::function<void(Store&)>& body) {
  cli.Run(command, false, [&] {
    std::unique_ptr<Store> store;
    try {
      store = gateway::OpenStore(StoreUrl(url));
      body(*store);
    } catch (const gateway::StoreUnavailable& e) {
      fmt::print(stderr, "quandelstk {}: {}\n", command, e.what());
      cli.exit_code = kRuntimeError;
    } catch (const gateway::StoreError& e) {
      fmt::print(stderr, "quandelstk {}: {}\n", command, e.what());
      cli.exit_code = kRuntimeError;
    }
  });
}

nlohmann::json ToJson(const gateway::OutgoingRecord& m) {
  nlohmann::json parts = nlohmann::json::array();
  for (const auto& p : m.part_records)
    parts.push_back({{"part", p.part}, {"reference", p.reference}, {"status", p.status}});
  return {{"id", m.id},       {"to", m.to},       {"text", m.text},         {"state", m.state},
          {"attempts", m.attempts}, {"parts", m.parts}, {"modem", m.modem}, {"report", m.report},
          {"created", gateway::FormatTime(m.created_ms)}, {"sent", gateway::FormatTime(m.sent_ms)},
          {"last_error", m.last_error}, {"part_records", parts}};
}

std::string Line(const gateway::OutgoingRecord& m) {
  // Cut on characters, never inside one (UTF-8 continuation bytes are 10xxxxxx).
  std::size_t chars = 0, cut = m.text.size();
  for (std::size_t i = 0; i < m.text.size(); ++i)
    if ((static_cast<unsigned char>(m.text[i]) & 0xC0) != 0x80 && ++chars == 38) cut = i;
  std::string text = chars > 40 ? m.text.substr(0, cut) + "..." : m.text;
  for (char& c : text)
    if (c == '\n' || c == '\r') c = ' ';
  return fmt::format("{:>6}  {:<9}  {:<16}  {:>2}  {}", m.id, m.state, m.to, m.parts, text);
}

}  // namespace

void AddQueueCommands(CLI::App& app, Cli& cli) {
  auto* queue = app.add_subcommand(
      "queue", "The gateway's queue and records in its store (--store URL, QUANDELSTK_STORE, or the default file)");
  queue->require_subcommand(1);
  auto url = std::make_shared<std::string>();
  queue->add_option("--store", *url,
                    "sqlite:PATH or postgresql://... (default: sqlite:$XDG_DATA_HOME/quandelstk/gateway.db, "
                    "~/.local/share when unset)");

  auto* send = queue->add_subcommand("send", "Queue a message for the gateway to send");
  auto sub = std::make_shared<gateway::Submission>();
  send->add_option("NUMBER", sub->to, "destination number, for example +15550100123")->required();
  send->add_option("TEXT", sub->text, "the message text (UTF-8; long texts go as several parts)")->required();
  send->add_option("--at", sub->at, "not before this time: 2026-12-24T18:00 (UTC), with Z or +HH:MM");
  send->add_option("--expires", sub->expires, "not sent after this time (then it is expired): as for --at");
  send->add_flag("--report", sub->report, "ask the network for a status report");
  send->callback([&cli, url, sub] {
    const gateway::Checked c = gateway::Check(*sub);
    if (!c.message) {
      fmt::print(stderr, "quandelstk queue send: {}\n", c.error);
      cli.exit_code = kUsage;
      return;
    }
    WithStore(cli, "queue send", *url, [&](Store& store) {
      const std::int64_t id = store.Enqueue(*c.message, NowMs());
      cli.Report("queue send", id, true,
                 fmt::format("queued as message {} ({} part{})", id, c.message->parts, c.message->parts == 1 ? "" : "s"),
                 {{"parts", c.message->parts}});
    });
  });

  auto* list = queue->add_subcommand("list", "Outgoing messages, newest first");
  auto state = std::make_shared<std::string>();
  auto limit = std::make_shared<int>(100);
  auto before = std::make_shared<std::int64_t>(0);
  list->add_option("--state", *state, "only this state: queued, sending, sent, delivered, failed or expired");
  list->add_option("--limit", *limit, "at most this many")->check(WholeNumber(1, 1000000));
  list->add_option("--before", *before, "only messages with an id below this one (the next page back)")
      ->check(CLI::Range(std::int64_t{1}, std::numeric_limits<std::int64_t>::max()));
  list->callback([&cli, url, state, limit, before] {
    if (!state->empty() && !gateway::IsState(*state)) {
      fmt::print(stderr, "quandelstk queue list: \"{}\" is no state (queued, sending, sent, delivered, failed, expired)\n",
                 *state);
      cli.exit_code = kUsage;
      return;
    }
    WithStore(cli, "queue list", *url, [&](Store& store) {
      nlohmann::json all = nlohmann::json::array();
      std::string human = fmt::format("{:>6}  {:<9}  {:<16}  {:>2}  {}", "ID", "STATE", "TO", "P", "TEXT");
      for (const auto& m : store.List(*state, *limit, *before)) {
        all.push_back(ToJson(m));
        human += "\n" + Line(m);
      }
      cli.Report("queue list", all, true, human);
    });
  });

  auto* show = queue->add_subcommand("show", "One message: its parts, status reports and history");
  auto id = std::make_shared<std::int64_t>(0);
  show->add_option("ID", *id, "the message id")->required();
  show->callback([&cli, url, id] {
    WithStore(cli, "queue show", *url, [&](Store& store) {
      const auto m = store.Get(*id);
      if (!m) {
        cli.Report("queue show", nullptr, false, fmt::format("no message {}", *id));
        return;
      }
      nlohmann::json j = ToJson(*m);
      std::string human = fmt::format("message {} to {}: {} after {} attempt(s)\n{}", m->id, m->to, m->state,
                                      m->attempts, m->text);
      if (!m->last_error.empty()) human += "\nlast error: " + m->last_error;
      for (const auto& p : m->part_records)
        human += fmt::format("\npart {}: reference {}{}", p.part, p.reference, p.status.empty() ? "" : ", " + p.status);
      nlohmann::json events = nlohmann::json::array();
      for (const auto& e : store.Events(*id)) {
        events.push_back({{"at", gateway::FormatTime(e.at_ms)}, {"kind", e.kind}, {"modem", e.modem},
                          {"gateway", e.gateway}, {"detail", e.detail}});
        human += fmt::format("\n{}  {:<10} {} {}", gateway::FormatTime(e.at_ms), e.kind, e.modem, e.detail);
      }
      j["events"] = events;
      cli.Report("queue show", j, true, human);
    });
  });

  auto* inbox = queue->add_subcommand("inbox", "Messages received, reassembled, newest first");
  auto inbox_limit = std::make_shared<int>(100);
  auto inbox_before = std::make_shared<std::int64_t>(0);
  inbox->add_option("--limit", *inbox_limit, "at most this many")->check(WholeNumber(1, 1000000));
  inbox->add_option("--before", *inbox_before, "only messages with an id below this one (the next page back)")
      ->check(CLI::Range(std::int64_t{1}, std::numeric_limits<std::int64_t>::max()));
  inbox->callback([&cli, url, inbox_limit, inbox_before] {
    WithStore(cli, "queue inbox", *url, [&](Store& store) {
      nlohmann::json all = nlohmann::json::array();
      std::string human;
      for (const auto& m : store.Inbox(*inbox_limit, *inbox_before)) {
        all.push_back({{"id", m.id}, {"modem", m.modem}, {"from", m.from}, {"text", m.text}, {"parts", m.parts},
                       {"complete", m.complete}, {"centre_time", m.centre_time}});
        human += fmt::format("{}{:>6}  {}  {}  {}{}", human.empty() ? "" : "\n", m.id, m.modem, m.from,
                             m.complete ? "" : "(incomplete) ", m.text);
      }
      cli.Report("queue inbox", all, true, human.empty() ? "the inbox is empty" : human);
    });
  });

  auto* modems = queue->add_subcommand("modems", "The modems the gateways drive, one row each");
  modems->callback([&cli, url] {
    WithStore(cli, "queue modems", *url, [&](Store& store) {
      nlohmann::json all = nlohmann::json::array();
      std::string human;
      for (const auto& m : store.Modems()) {
        all.push_back({{"name", m.name}, {"device", m.device}, {"gateway", m.gateway}, {"state", m.state},
                       {"signal", m.signal}, {"operator", m.operator_name}, {"registration", m.registration},
                       {"errors", m.errors}, {"sent", m.sent}, {"received", m.received},
                       {"last_error", m.last_error}});
        human += fmt::format("{}{:<10} {:<8} signal {:>2}  {:<16} sent {}  received {}  errors {}{}",
                             human.empty() ? "" : "\n", m.name, m.state, m.signal, m.operator_name, m.sent,
                             m.received, m.errors, m.last_error.empty() ? "" : "  (" + m.last_error + ")");
      }
      cli.Report("queue modems", all, true, human.empty() ? "no modem has reported yet" : human);
    });
  });
}

}  // namespace quandelstk::cli
