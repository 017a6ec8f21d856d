// What the CLI prints: a human line by default, exactly one JSON object per command with --json
// (docs/cli-json.md), or the same object as "key : value" lines with --keyvalue.
// Progress goes to stderr, only when it is a terminal and neither --quiet nor --json was given.
#pragma once

#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

namespace quandelstk::cli {

// The version of the JSON objects' layout; it changes only when a key changes meaning or goes.
constexpr int kJsonSchemaVersion = 1;

// The object as lines "a.b.c : value" (arrays as "x.length" and "x.value[1]", null as "--").
std::string KeyValueLines(const nlohmann::json& object);

class Output {
 public:
  bool json = false;
  bool keyvalue = false;
  bool quiet = false;
  bool progress_to_terminal = false;  // stderr is a terminal

  bool Structured() const { return json || keyvalue; }

  // A command's result. human is what a person reads (already UTF-8). details and error are left
  // out of the object when empty or null.
  void Result(const std::string& command, const nlohmann::json& result, const nlohmann::json& properties,
              const std::string& human, const nlohmann::json& details = nlohmann::json::object(),
              const nlohmann::json& error = nullptr) const;
  // A run-time error of the library.
  void Error(const std::string& command, std::int32_t number, const std::string& description) const;
  // A mistake in how the command was called (exit 2): an object with --json, else stderr.
  void UsageError(const std::string& command, const std::string& description) const;
  // An explanatory line for people (stdout; nothing with --json or --quiet).
  void Note(const std::string& text) const;
  // A progress line for long work (stderr).
  void Progress(const std::string& text) const;
  bool ShowsProgress() const { return progress_to_terminal && !quiet && !Structured(); }

 private:
  void Print(const nlohmann::json& object) const;
};

}  // namespace quandelstk::cli
