// quandelstk-gateway: an SMS gateway for a pool of modems, its queue in SQLite or PostgreSQL.
#include <CLI/CLI.hpp>
#include <pthread.h>
#include <unistd.h>

#include <csignal>
#include <iostream>

#include "config.hpp"
#include "gateway.hpp"
#include "http_api.hpp"
#include "log.hpp"
#include "quandelstk/version.hpp"
#include "store/pg_db.hpp"
#include "store/store.hpp"

using namespace quandelstk::gateway;

namespace {

std::string HostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0 || !*name) return "gateway";
  return name;
}

struct Flags {
  std::string config_path, store, name, http, token;
  std::vector<std::string> modems;
};

Config Build(const Flags& f) {
  Config c = f.config_path.empty() ? Config{} : LoadConfigFile(f.config_path);
  if (!f.store.empty()) c.store = f.store;
  if (!f.name.empty()) c.name = f.name;
  if (c.name.empty()) c.name = HostName();
  if (!f.modems.empty()) {
    c.modems.clear();
    for (std::size_t i = 0; i < f.modems.size(); ++i)
      c.modems.push_back(ParseModemFlag(f.modems[i], static_cast<int>(i + 1)));
  }
  if (!f.http.empty()) c.http.listen = f.http;
  if (!f.token.empty()) c.http.token = f.token;
  if (const char* t = std::getenv("QUANDELSTK_GATEWAY_TOKEN"); t && *t && c.http.token.empty()) c.http.token = t;
  Validate(c);
  return c;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "quandelstk-gateway: sends the queued messages through a pool of modems, one thread per modem, and "
      "stores what comes in and the status reports. SIGTERM finishes the messages in flight and exits; "
      "SIGHUP reads the modem list again."};
  app.set_version_flag("--version", std::string("quandelstk-gateway ") + quandelstk::kVersionText);
  Flags f;
  app.add_option("--config", f.config_path, "TOML file (see the example config)");
  app.add_option("--store", f.store,
                 "sqlite:PATH or postgresql://...; default sqlite:$XDG_DATA_HOME/quandelstk/gateway.db "
                 "(~/.local/share when unset)");
  app.add_option("--modem", f.modems,
                 "[NAME=]DEVICE[,pin=PIN][,per-minute=N]: DEVICE is /dev/PATH, a port number, sim or "
                 "sim:SCENARIO.json (repeatable; replaces the config's modems)");
  app.add_option("--name", f.name, "this gateway's name in the store (default: the host name); each process also gets an id of its own");
  app.add_option("--http", f.http, "serve the HTTP API on [HOST:]PORT (127.0.0.1 unless a host is given)");
  app.add_option("--token", f.token, "the API's bearer token (or QUANDELSTK_GATEWAY_TOKEN)");
  CLI11_PARSE(app, argc, argv);

  Config config;
  try {
    config = Build(f);
    if (config.modems.empty()) throw ConfigError("no modem: give --modem DEVICE or [[modem]] in the config");
    // Create and migrate the schema once, before the threads, so that a bad URL stops us here.
    // A database that is not up yet is waited for by each modem's thread.
    try {
      OpenStore(config.store);
    } catch (const StoreUnavailable& e) {
      Log(std::string(e.what()) + "; the modems wait for it");
    }
  } catch (const std::exception& e) {
    std::cerr << "quandelstk-gateway: " << e.what() << "\n";
    return 2;
  }

  // The signals are taken by this thread alone, with sigwait; every other thread has them blocked.
  sigset_t signals;
  sigemptyset(&signals);
  for (int s : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&signals, s);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  SystemClock clock;
  Gateway gateway(config, clock);
  gateway.Start();
  std::unique_ptr<HttpApi> http;
  if (!config.http.listen.empty()) {
    try {
      http = std::make_unique<HttpApi>(config, gateway);
      Log("HTTP API on " + http->Address());
    } catch (const std::exception& e) {
      Log(std::string("cannot serve the HTTP API: ") + e.what());
      gateway.Stop();
      return 1;
    }
  }
  Log("running " + std::to_string(config.modems.size()) + " modem(s) as \"" + gateway.claimant() + "\" on " +
      HidePassword(config.store.empty() ? DefaultStoreUrl() : config.store));
  for (;;) {
    int s = 0;
    sigwait(&signals, &s);
    if (s == SIGHUP) {
      if (f.config_path.empty() || !f.modems.empty()) {
        Log("SIGHUP: the modems come from the command line; nothing to reload");
        continue;
      }
      try {
        Config again = Build(f);
        Log("SIGHUP: " + std::to_string(again.modems.size()) + " modem(s) in " + f.config_path);
        gateway.Reload(again.modems);
      } catch (const std::exception& e) {
        Log(std::string("SIGHUP: the configuration is not used: ") + e.what());
      }
      continue;
    }
    Log(std::string(s == SIGTERM ? "SIGTERM" : "SIGINT") + ": finishing the messages in flight");
    break;
  }
  if (http) http->Stop();
  gateway.Stop();
  Log("stopped");
  return 0;
}
