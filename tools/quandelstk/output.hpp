// What the CLI prints: a human line by default, or exactly one JSON object per command with --json.
// Progress goes to stderr, only when it is a terminal and neither --quiet nor --json was given.
#pragma once

#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

namespace quandelstk::cli {

class Output {
 public:
  bool json = false;
  bool quiet = false;
  bool progress_to_terminal = false;  // stderr is a terminal

  // A command's result. human is what a person reads (already UTF-8).
  void Result(const std::string& command, const nlohmann::json& result, const nlohmann::json& properties,
              const std::string& human) const;
  // A run-time error of the library.
  void Error(const std::string& command, std::int32_t number, const std::string& description) const;
  // An explanatory line for people (stdout; nothing with --json or --quiet).
  void Note(const std::string& text) const;
  // A progress line for long work (stderr).
  void Progress(const std::string& text) const;
  bool ShowsProgress() const { return progress_to_terminal && !quiet && !json; }
};

}  // namespace quandelstk::cli
