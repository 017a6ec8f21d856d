// Running the built quandelstk from a test: shell quoting, a run under sh with its standard input
// given, and the JSON objects the run printed.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "support/sim_process.hpp"

namespace quandelstk::testing {

inline const std::string kCli = std::string(QSTK_BIN_DIR) + "/quandelstk";

// The text in single quotes for sh, any single quote in it escaped.
std::string ShellQuoted(const std::string& s);

// Runs the CLI with these arguments under sh; the input, when given, comes through a pipe.
RunResult RunCli(const std::vector<std::string>& args, const std::optional<std::string>& input = std::nullopt,
                 int timeout_ms = 120000);

// Every JSON object the output holds, one a line.
std::vector<nlohmann::json> JsonLines(const std::string& output);
inline std::vector<nlohmann::json> JsonLines(const RunResult& r) { return JsonLines(r.output); }

}  // namespace quandelstk::testing
