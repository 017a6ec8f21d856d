// The gateway's settings: a TOML file, flags on top of it.
#pragma once

#include <string>
#include <vector>

#include "modem_link.hpp"
#include "worker.hpp"

namespace quandelstk::gateway {

struct HttpConfig {
  std::string listen;  // "" off; "PORT" or "HOST:PORT" (127.0.0.1 unless a host is given)
  std::string token;
};

struct Config {
  std::string name;   // this gateway's name in the store: unique per process
  std::string store;  // "" the default SQLite file
  std::vector<ModemConfig> modems;
  Timing timing;
  HttpConfig http;
};

class ConfigError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads a TOML file; throws ConfigError naming the file and the key.
Config LoadConfigFile(const std::string& path);
// Parses TOML text (for tests and the file reader).
Config ParseConfig(const std::string& toml_text, const std::string& source);
// "[NAME=]DEVICE[,pin=PIN][,per-minute=N]": DEVICE a /dev path, a port number, sim or sim:FILE.
ModemConfig ParseModemFlag(const std::string& flag, int position);
// Checks what the loop relies on: names unique and non-empty, devices given, limits positive.
void Validate(const Config& config);

}  // namespace quandelstk::gateway
