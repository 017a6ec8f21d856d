#include "support/cli_run.hpp"

#include <sstream>

namespace quandelstk::testing {

std::string ShellQuoted(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

RunResult RunCli(const std::vector<std::string>& args, const std::optional<std::string>& input, int timeout_ms) {
  std::string command;
  if (input) command = "printf '%s' " + ShellQuoted(*input) + " | ";
  command += ShellQuoted(kCli);
  for (const auto& a : args) command += " " + ShellQuoted(a);
  return RunProgram({"sh", "-c", command}, timeout_ms);
}

std::vector<nlohmann::json> JsonLines(const std::string& output) {
  std::vector<nlohmann::json> lines;
  std::istringstream in(output);
  for (std::string line; std::getline(in, line);)
    if (!line.empty() && line[0] == '{') lines.push_back(nlohmann::json::parse(line));
  return lines;
}

}  // namespace quandelstk::testing
