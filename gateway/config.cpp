#include "config.hpp"

#include <set>
#include <toml++/toml.h>

namespace quandelstk::gateway {

namespace {

std::int64_t Seconds(const toml::node_view<const toml::node>& n, std::int64_t otherwise_ms, const std::string& key,
                     const std::string& source) {
  if (!n) return otherwise_ms;
  if (auto i = n.value<std::int64_t>(); i && n.is_integer()) return *i * 1000;
  if (auto d = n.value<double>()) return static_cast<std::int64_t>(*d * 1000.0);
  throw ConfigError(source + ": " + key + " must be a number of seconds");
}

std::string Text(const toml::node_view<const toml::node>& n, const std::string& otherwise, const std::string& key,
                 const std::string& source) {
  if (!n) return otherwise;
  if (auto s = n.value<std::string>(); s && n.is_string()) return *s;
  throw ConfigError(source + ": " + key + " must be a string");
}

// A key this program does not know is most likely a typing error that would otherwise be ignored.
void OnlyKnownKeys(const toml::table& t, const std::set<std::string>& known, const std::string& where,
                   const std::string& source) {
  for (const auto& [key, value] : t)
    if (!known.count(std::string(key.str())))
      throw ConfigError(source + ": unknown key \"" + where + std::string(key.str()) + "\"");
}

ModemConfig ModemFrom(const toml::table& t, int position, const std::string& source) {
  const std::string where = "modem " + std::to_string(position);
  OnlyKnownKeys(t, {"name", "device", "port", "pin", "per_minute"}, where + ".", source);
  const toml::node_view<const toml::node> v{t};
  ModemConfig m;
  m.name = Text(v["name"], "modem" + std::to_string(position), where + ".name", source);
  if (v["port"]) {
    if (!v["port"].is_integer()) throw ConfigError(source + ": " + where + ".port must be a port number");
    m.device = std::to_string(*v["port"].value<std::int64_t>());
  }
  m.device = Text(v["device"], m.device, where + ".device", source);
  m.pin = Text(v["pin"], "", where + ".pin", source);
  if (v["per_minute"]) {
    if (!v["per_minute"].is_integer()) throw ConfigError(source + ": " + where + ".per_minute must be a whole number");
    m.per_minute = static_cast<int>(*v["per_minute"].value<std::int64_t>());
  }
  return m;
}

}  // namespace

Config ParseConfig(const std::string& text, const std::string& source) {
  toml::table root;
  try {
    root = toml::parse(text, source);
  } catch (const toml::parse_error& e) {
    throw ConfigError(source + ":" + std::to_string(e.source().begin.line) + ": " + std::string(e.description()));
  }
  const toml::node_view<const toml::node> v{root};
  OnlyKnownKeys(root, {"name", "store", "queue", "http", "modem"}, "", source);
  if (const auto* q = root["queue"].as_table())
    OnlyKnownKeys(*q,
                  {"lease_seconds", "idle_seconds", "read_every_seconds", "status_every_seconds",
                   "backoff_first_seconds", "backoff_max_seconds", "retry_seconds", "part_wait_seconds", "max_attempts"},
                  "queue.", source);
  if (const auto* h = root["http"].as_table()) OnlyKnownKeys(*h, {"listen", "token"}, "http.", source);
  Config c;
  c.name = Text(v["name"], "", "name", source);
  c.store = Text(v["store"], "", "store", source);
  Timing& t = c.timing;
  const auto q = v["queue"];
  t.lease_ms = Seconds(q["lease_seconds"], t.lease_ms, "queue.lease_seconds", source);
  t.idle_ms = Seconds(q["idle_seconds"], t.idle_ms, "queue.idle_seconds", source);
  t.list_every_ms = Seconds(q["read_every_seconds"], t.list_every_ms, "queue.read_every_seconds", source);
  t.status_every_ms = Seconds(q["status_every_seconds"], t.status_every_ms, "queue.status_every_seconds", source);
  t.backoff_first_ms = Seconds(q["backoff_first_seconds"], t.backoff_first_ms, "queue.backoff_first_seconds", source);
  t.backoff_max_ms = Seconds(q["backoff_max_seconds"], t.backoff_max_ms, "queue.backoff_max_seconds", source);
  t.retry_ms = Seconds(q["retry_seconds"], t.retry_ms, "queue.retry_seconds", source);
  t.part_wait_ms = Seconds(q["part_wait_seconds"], t.part_wait_ms, "queue.part_wait_seconds", source);
  if (q["max_attempts"]) {
    if (!q["max_attempts"].is_integer()) throw ConfigError(source + ": queue.max_attempts must be a whole number");
    t.max_attempts = static_cast<int>(*q["max_attempts"].value<std::int64_t>());
  }
  c.http.listen = Text(v["http"]["listen"], "", "http.listen", source);
  if (v["http"]["listen"].is_integer()) c.http.listen = std::to_string(*v["http"]["listen"].value<std::int64_t>());
  c.http.token = Text(v["http"]["token"], "", "http.token", source);
  if (const auto* modems = root["modem"].as_array()) {
    int position = 0;
    for (const toml::node& n : *modems) {
      ++position;
      const auto* table = n.as_table();
      if (!table) throw ConfigError(source + ": every [[modem]] must be a table");
      c.modems.push_back(ModemFrom(*table, position, source));
    }
  } else if (root["modem"]) {
    throw ConfigError(source + ": modems are given as [[modem]] tables");
  }
  return c;
}

Config LoadConfigFile(const std::string& path) {
  toml::table root;
  std::string text;
  {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) throw ConfigError("cannot read the configuration " + path);
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    std::fclose(f);
  }
  return ParseConfig(text, path);
}

ModemConfig ParseModemFlag(const std::string& flag, int position) {
  ModemConfig m;
  std::string rest = flag;
  std::vector<std::string> pieces;
  for (std::size_t at; (at = rest.find(',')) != std::string::npos; rest.erase(0, at + 1))
    pieces.push_back(rest.substr(0, at));
  pieces.push_back(rest);
  std::string device = pieces.front();
  // NAME=DEVICE, unless the '=' is inside a simulator scenario path
  const auto eq = device.find('=');
  if (eq != std::string::npos && device.rfind("sim:", 0) != 0) {
    m.name = device.substr(0, eq);
    device = device.substr(eq + 1);
  }
  m.device = device;
  if (m.name.empty()) m.name = "modem" + std::to_string(position);
  for (std::size_t i = 1; i < pieces.size(); ++i) {
    const std::string& p = pieces[i];
    if (p.rfind("pin=", 0) == 0) {
      m.pin = p.substr(4);
    } else if (p.rfind("per-minute=", 0) == 0) {
      try {
        m.per_minute = std::stoi(p.substr(11));
      } catch (const std::exception&) {
        throw ConfigError("--modem " + flag + ": per-minute must be a whole number");
      }
    } else {
      throw ConfigError("--modem " + flag + ": unknown setting \"" + p + "\" (pin=, per-minute=)");
    }
  }
  return m;
}

void Validate(const Config& c) {
  std::set<std::string> names;
  for (const ModemConfig& m : c.modems) {
    if (m.name.empty()) throw ConfigError("a modem has no name");
    if (!names.insert(m.name).second) throw ConfigError("two modems are named \"" + m.name + "\"");
    if (m.device.empty()) throw ConfigError("modem " + m.name + " has no device (device = \"/dev/...\", port = N or \"sim\")");
    if (m.per_minute < 0) throw ConfigError("modem " + m.name + ": per_minute must not be negative");
  }
  const Timing& t = c.timing;
  if (t.lease_ms <= 0 || t.idle_ms <= 0 || t.list_every_ms < 0 || t.backoff_first_ms <= 0 ||
      t.backoff_max_ms < t.backoff_first_ms || t.max_attempts < 1)
    throw ConfigError("queue: lease, idle and back-off must be positive, backoff_max at least backoff_first, "
                      "max_attempts at least 1");
  if (!c.http.listen.empty() && c.http.token.empty())
    throw ConfigError("http.listen is set but http.token is empty: the API needs a bearer token");
}

}  // namespace quandelstk::gateway
