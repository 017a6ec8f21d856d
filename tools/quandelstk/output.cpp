#include "output.hpp"

#include <fmt/core.h>

#include <cstdio>

namespace quandelstk::cli {

namespace {

// One line per value: a line break inside a value would end the line early for `grep` and `cut`.
std::string Escaped(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else if (c == '\\') out += "\\\\";
    else out += c;
  }
  return out;
}

void Flatten(const std::string& key, const nlohmann::json& value, std::string& out) {
  if (value.is_object()) {
    for (const auto& [k, v] : value.items()) Flatten(key.empty() ? k : key + "." + k, v, out);
    return;
  }
  if (value.is_array()) {
    out += fmt::format("{} : {}\n", key + ".length", value.size());
    for (std::size_t i = 0; i < value.size(); ++i) Flatten(fmt::format("{}.value[{}]", key, i + 1), value[i], out);
    return;
  }
  std::string text;
  if (value.is_null()) text = "--";
  else if (value.is_string()) text = Escaped(value.get<std::string>());
  else text = value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  out += fmt::format("{} : {}\n", key, text);
}

}  // namespace

std::string KeyValueLines(const nlohmann::json& object) {
  std::string out;
  Flatten("", object, out);
  return out;
}

void Output::Print(const nlohmann::json& object) const {
  if (keyvalue) fmt::print("{}", KeyValueLines(object));
  // A modem's bytes that slipped through unconverted must not end the program: shown as U+FFFD.
  else fmt::print("{}\n", object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
  std::fflush(stdout);
}

void Output::Result(const std::string& command, const nlohmann::json& result, const nlohmann::json& properties,
                    const std::string& human, const nlohmann::json& details, const nlohmann::json& error) const {
  if (Structured()) {
    nlohmann::json line = {
        {"schema", kJsonSchemaVersion}, {"command", command}, {"result", result}, {"properties", properties}};
    if (details.is_object() && !details.empty()) line["details"] = details;
    if (!error.is_null()) line["error"] = error;
    Print(line);
    return;
  }
  fmt::print("{}\n", human);
  std::fflush(stdout);
}

void Output::Error(const std::string& command, std::int32_t number, const std::string& description) const {
  if (Structured()) {
    Print({{"schema", kJsonSchemaVersion},
           {"command", command},
           {"error", {{"kind", "runtime"}, {"number", number}, {"description", description}}}});
  } else {
    fmt::print(stderr, "quandelstk {}: run-time error {}: {}\n", command, number, description);
  }
}

void Output::UsageError(const std::string& command, const std::string& description) const {
  if (Structured()) {
    Print({{"schema", kJsonSchemaVersion},
           {"command", command},
           {"error", {{"kind", "usage"}, {"description", description}}}});
  } else {
    fmt::print(stderr, "quandelstk{}{}: {}\n", command.empty() ? "" : " ", command, description);
  }
}

void Output::Note(const std::string& text) const {
  if (Structured() || quiet) return;
  fmt::print("{}\n", text);
  std::fflush(stdout);
}

void Output::Progress(const std::string& text) const {
  if (!ShowsProgress()) return;
  fmt::print(stderr, "  … {}\n", text);
}

}  // namespace quandelstk::cli
