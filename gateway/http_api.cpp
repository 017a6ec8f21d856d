#include "http_api.hpp"

#include <algorithm>
#include <cctype>

#include <httplib.h>

#include <mutex>
#include <nlohmann/json.hpp>
#include <sstream>

#include "gateway.hpp"
#include "log.hpp"
#include "store/store.hpp"
#include "submit.hpp"

namespace quandelstk::gateway {

using nlohmann::json;

namespace {

json ToJson(const OutgoingRecord& m) {
  json parts = json::array();
  for (const PartRecord& p : m.part_records)
    parts.push_back({{"part", p.part}, {"reference", p.reference}, {"status", p.status},
                     {"report_time", FormatTime(p.report_ms)}});
  return {{"id", m.id},          {"to", m.to},
          {"text", m.text},      {"report", m.report},
          {"state", m.state},    {"attempts", m.attempts},
          {"parts", m.parts},    {"modem", m.modem},
          {"created", FormatTime(m.created_ms)}, {"not_before", FormatTime(m.not_before_ms)},
          {"expires", m.expires_ms ? FormatTime(*m.expires_ms) : ""},
          {"sent", FormatTime(m.sent_ms)},       {"done", FormatTime(m.done_ms)},
          {"last_error", m.last_error},          {"part_records", parts}};
}

// Compares without stopping at the first difference, so the time taken tells nothing of the token.
bool SameSecret(const std::string& a, const std::string& b) {
  unsigned char diff = a.size() == b.size() ? 0 : 1;
  for (std::size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i % (b.empty() ? 1 : b.size())]);
  return diff == 0 && !b.empty();
}

void Error(httplib::Response& res, int status, const std::string& message) {
  res.status = status;
  res.set_content(json{{"error", {{"status", status}, {"message", message}}}}.dump() + "\n", "application/json");
}

void Reply(httplib::Response& res, int status, const json& body) {
  res.status = status;
  res.set_content(body.dump() + "\n", "application/json");
}

std::string Escape(const std::string& label) {
  std::string out;
  for (const char c : label) {
    if (c == '\\' || c == '"') out += '\\';
    if (c == '\n') {
      out += "\\n";
      continue;
    }
    out += c;
  }
  return out;
}

}  // namespace

std::string MetricsText(Store& store, Gateway* gateway) {
  std::ostringstream o;
  o << "# HELP quandelstk_messages Outgoing messages in the store, by state.\n"
       "# TYPE quandelstk_messages gauge\n";
  for (const auto& [state, n] : store.CountByState()) o << "quandelstk_messages{state=\"" << state << "\"} " << n << "\n";
  const std::vector<ModemRecord> rows = store.Modems();
  o << "# HELP quandelstk_modem_signal Signal of each modem as AT+CSQ gives it (0-31, 99 unknown).\n"
       "# TYPE quandelstk_modem_signal gauge\n";
  for (const ModemRecord& m : rows)
    o << "quandelstk_modem_signal{modem=\"" << Escape(m.name) << "\"} " << m.signal << "\n";
  o << "# HELP quandelstk_modem_errors_total Errors of each modem (refused messages, lost modem).\n"
       "# TYPE quandelstk_modem_errors_total counter\n";
  for (const ModemRecord& m : rows)
    o << "quandelstk_modem_errors_total{modem=\"" << Escape(m.name) << "\"} " << m.errors << "\n";
  o << "# HELP quandelstk_modem_up Whether each modem of this gateway is initialised and answering.\n"
       "# TYPE quandelstk_modem_up gauge\n";
  if (gateway)
    for (const auto& v : gateway->Modems())
      o << "quandelstk_modem_up{modem=\"" << Escape(v.name) << "\"} " << (v.counters->ready ? 1 : 0) << "\n";
  o << "# HELP quandelstk_send_seconds Time from claiming a message to the modem's last +CMGS.\n"
       "# TYPE quandelstk_send_seconds histogram\n";
  const LatencyHistogram::Snapshot h = gateway ? gateway->latency().Take() : LatencyHistogram::Snapshot{};
  for (std::size_t i = 0; i < LatencyHistogram::kBounds.size(); ++i)
    o << "quandelstk_send_seconds_bucket{le=\"" << LatencyHistogram::kBounds[i] << "\"} " << h.cumulative[i] << "\n";
  o << "quandelstk_send_seconds_bucket{le=\"+Inf\"} " << h.count << "\n";
  o << "quandelstk_send_seconds_sum " << h.sum << "\n";
  o << "quandelstk_send_seconds_count " << h.count << "\n";
  return o.str();
}

struct HttpApi::State {
  Config config;
  Gateway* gateway = nullptr;
  std::mutex mutex;  // one store connection, one request at a time on it
  std::unique_ptr<Store> store;

  Store& Open() {
    if (!store) store = OpenStore(config.store);
    return *store;
  }
};

HttpApi::HttpApi(const Config& config, Gateway* gateway)
    : state_(std::make_unique<State>()), server_(std::make_unique<httplib::Server>()) {
  state_->config = config;
  state_->gateway = gateway;
  State& st = *state_;
  httplib::Server& s = *server_;
  s.set_payload_max_length(1 << 20);

  // Every request passes here first: without the right token nothing else runs.
  s.set_pre_routing_handler([&st](const httplib::Request& req, httplib::Response& res) {
    const std::string auth = req.get_header_value("Authorization");
    const std::string prefix = "Bearer ";
    if (auth.empty()) {
      res.set_header("WWW-Authenticate", "Bearer");
      Error(res, 401, "no token: send the header \"Authorization: Bearer <token>\"");
      return httplib::Server::HandlerResponse::Handled;
    }
    // The scheme's name is case-insensitive (RFC 7235); the token is not.
    const bool bearer = auth.size() >= prefix.size() &&
                        std::equal(prefix.begin(), prefix.end(), auth.begin(), [](char a, char b) {
                          return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
                        });
    if (!bearer || !SameSecret(auth.substr(prefix.size()), st.config.http.token)) {
      res.set_header("WWW-Authenticate", "Bearer error=\"invalid_token\"");
      Error(res, 401, "the token is wrong");
      return httplib::Server::HandlerResponse::Handled;
    }
    return httplib::Server::HandlerResponse::Unhandled;
  });

  // The store may be away for a while (PostgreSQL restarting): say so, and that it is worth retrying.
  auto guarded = [&st](auto body) {
    return [&st, body](const httplib::Request& req, httplib::Response& res) {
      std::lock_guard<std::mutex> lock(st.mutex);
      try {
        body(st.Open(), req, res);
      } catch (const StoreUnavailable& e) {
        res.set_header("Retry-After", "5");
        Error(res, 503, std::string("the store is unavailable, try again: ") + e.what());
      } catch (const std::exception& e) {
        Error(res, 500, e.what());
      }
    };
  };

  s.Post("/v1/messages", guarded([](Store& store, const httplib::Request& req, httplib::Response& res) {
    json body;
    try {
      body = json::parse(req.body);
    } catch (const json::exception&) {
      return Error(res, 400, "the body is not JSON: send {\"to\": \"+15550100123\", \"text\": \"...\"}");
    }
    if (!body.is_object()) return Error(res, 400, "the body must be a JSON object with \"to\" and \"text\"");
    for (const auto& [key, value] : body.items())
      if (key != "to" && key != "text" && key != "report" && key != "at" && key != "expires")
        return Error(res, 400, "unknown field \"" + key + "\" (to, text, report, at, expires)");
    Submission sub;
    if (!body.contains("to") || !body["to"].is_string()) return Error(res, 400, "\"to\" must be a string: the number");
    if (!body.contains("text") || !body["text"].is_string())
      return Error(res, 400, "\"text\" must be a string: the message in UTF-8");
    if (body.contains("report") && !body["report"].is_boolean())
      return Error(res, 400, "\"report\" must be true or false");
    if (body.contains("at") && !body["at"].is_string()) return Error(res, 400, "\"at\" must be a string: a time");
    if (body.contains("expires") && !body["expires"].is_string())
      return Error(res, 400, "\"expires\" must be a string: a time");
    sub.to = body["to"].get<std::string>();
    sub.text = body["text"].get<std::string>();
    sub.report = body.value("report", false);
    sub.at = body.value("at", std::string());
    sub.expires = body.value("expires", std::string());
    const Checked c = Check(sub);
    if (!c.message) return Error(res, 422, c.error);
    const std::int64_t now = SystemClock().NowMs();
    const std::int64_t id = store.Enqueue(*c.message, now);
    // Stored: the answer is made from what was stored, not read back (a read that fails now must
    // not tell the client to send again what is queued already).
    OutgoingRecord queued;
    queued.id = id;
    queued.to = c.message->to;
    queued.text = c.message->text;
    queued.report = c.message->report;
    queued.state = kQueued;
    queued.parts = c.message->parts;
    queued.concat_reference = static_cast<int>(id % 65536);
    queued.not_before_ms = c.message->not_before_ms;
    queued.expires_ms = c.message->expires_ms;
    queued.created_ms = now;
    res.set_header("Location", "/v1/messages/" + std::to_string(id));
    Reply(res, 201, ToJson(queued));
  }));

  s.Get(R"(/v1/messages/([^/]+))", guarded([](Store& store, const httplib::Request& req, httplib::Response& res) {
    const std::string word = req.matches[1];
    std::int64_t id = 0;
    try {
      std::size_t used = 0;
      id = std::stoll(word, &used);
      if (used != word.size() || id <= 0) throw std::invalid_argument("id");
    } catch (const std::exception&) {
      return Error(res, 400, "\"" + word + "\" is not a message id (a whole number)");
    }
    const auto m = store.Get(id);
    if (!m) return Error(res, 404, "no message " + std::to_string(id));
    json out = ToJson(*m);
    json reports = json::array();
    for (const ReportRecord& r : store.Reports(id))
      reports.push_back({{"part", r.part}, {"status", r.status}, {"status_text", r.status_text},
                         {"discharge", r.discharge}, {"modem", r.modem}});
    out["reports"] = reports;
    json events = json::array();
    for (const EventRecord& e : store.Events(id))
      events.push_back({{"at", FormatTime(e.at_ms)}, {"kind", e.kind}, {"modem", e.modem}, {"gateway", e.gateway},
                        {"detail", e.detail}});
    out["events"] = events;
    Reply(res, 200, out);
  }));

  auto limit_of = [](const httplib::Request& req, httplib::Response& res, int& limit) {
    limit = 100;
    if (!req.has_param("limit")) return true;
    try {
      std::size_t used = 0;
      const std::string v = req.get_param_value("limit");
      limit = std::stoi(v, &used);
      if (used != v.size() || limit < 1 || limit > 10000) throw std::out_of_range("limit");
    } catch (const std::exception&) {
      Error(res, 400, "limit must be a whole number from 1 to 10000");
      return false;
    }
    return true;
  };

  s.Get("/v1/inbox", guarded([limit_of](Store& store, const httplib::Request& req, httplib::Response& res) {
    int limit = 0;
    if (!limit_of(req, res, limit)) return;
    // The newest first; ?before=ID pages back from there.
    std::int64_t before = 0;
    if (req.has_param("before")) {
      try {
        std::size_t used = 0;
        const std::string v = req.get_param_value("before");
        before = std::stoll(v, &used);
        if (used != v.size() || before < 1) throw std::out_of_range("before");
      } catch (const std::exception&) {
        Error(res, 400, "before must be a message id (a whole number from 1)");
        return;
      }
    }
    json out = json::array();
    for (const IncomingRecord& m : store.Inbox(limit, before))
      out.push_back({{"id", m.id}, {"modem", m.modem}, {"from", m.from}, {"text", m.text}, {"parts", m.parts},
                     {"complete", m.complete}, {"centre_time", m.centre_time},
                     {"received", FormatTime(m.received_ms)}});
    Reply(res, 200, {{"messages", out}});
  }));

  s.Get("/v1/modems", guarded([](Store& store, const httplib::Request&, httplib::Response& res) {
    json out = json::array();
    for (const ModemRecord& m : store.Modems())
      out.push_back({{"name", m.name}, {"device", m.device}, {"gateway", m.gateway}, {"state", m.state},
                     {"signal", m.signal}, {"operator", m.operator_name}, {"registration", m.registration},
                     {"last_error", m.last_error}, {"errors", m.errors}, {"sent", m.sent},
                     {"received", m.received}, {"updated", FormatTime(m.updated_ms)}});
    Reply(res, 200, {{"modems", out}});
  }));

  s.Get("/metrics", guarded([&st](Store& store, const httplib::Request&, httplib::Response& res) {
    res.set_content(MetricsText(store, st.gateway), "text/plain; version=0.0.4");
  }));

  s.set_error_handler([](const httplib::Request& req, httplib::Response& res) {
    if (!res.body.empty()) return;  // a handler's own error
    if (res.status == 404) return Error(res, 404, "no such endpoint: " + req.method + " " + req.path);
    if (res.status == 413) return Error(res, 413, "the request is too large (1 MiB at most)");
    Error(res, res.status, "the request was refused");
  });

  std::string host = "127.0.0.1";
  std::string port_text = config.http.listen;
  if (const auto colon = port_text.rfind(':'); colon != std::string::npos) {
    if (colon > 0) host = port_text.substr(0, colon);  // ":PORT" stays on the loopback
    port_text = port_text.substr(colon + 1);
  }
  int port = 0;
  try {
    port = std::stoi(port_text);
  } catch (const std::exception&) {
    throw std::runtime_error("http.listen \"" + config.http.listen + "\": give PORT or HOST:PORT");
  }
  if (port == 0) {
    port = s.bind_to_any_port(host);
  } else if (!s.bind_to_port(host, port)) {
    port = -1;
  }
  if (port < 0) throw std::runtime_error("cannot listen on " + host + ":" + port_text);
  address_ = host + ":" + std::to_string(port);
  thread_ = std::thread([this] { server_->listen_after_bind(); });
  // A stop before the loop runs would be lost: return only once it runs.
  while (!server_->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

HttpApi::~HttpApi() {
  Stop();
}

void HttpApi::Stop() {
  if (server_) server_->stop();
  if (thread_.joinable()) thread_.join();
}

}  // namespace quandelstk::gateway
