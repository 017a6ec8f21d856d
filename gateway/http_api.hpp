// The HTTP API: queue a message, look one up, the inbox, the modems, and /metrics for Prometheus.
// Off unless configured; bound to 127.0.0.1 unless a host is given; every request needs the token.
#pragma once

#include <memory>
#include <string>
#include <thread>

#include "config.hpp"

namespace httplib {
class Server;
}

namespace quandelstk::gateway {

class Gateway;
class Store;

class HttpApi {
 public:
  // Binds at once (throws std::runtime_error when it cannot) and serves on its own threads.
  // gateway may be null: /metrics then shows only the store's figures.
  HttpApi(const Config& config, Gateway* gateway);
  HttpApi(const Config& config, Gateway& gateway) : HttpApi(config, &gateway) {}
  ~HttpApi();
  // "127.0.0.1:8080": where it listens (the port chosen when 0 was given).
  std::string Address() const { return address_; }
  void Stop();

 private:
  struct State;
  std::unique_ptr<State> state_;
  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
  std::string address_;
};

// The Prometheus text for these figures (exposed for tests).
std::string MetricsText(Store& store, Gateway* gateway);

}  // namespace quandelstk::gateway
