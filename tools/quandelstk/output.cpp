#include "output.hpp"

#include <fmt/core.h>

#include <cstdio>

namespace quandelstk::cli {

void Output::Result(const std::string& command, const nlohmann::json& result, const nlohmann::json& properties,
                    const std::string& human) const {
  if (json) {
    nlohmann::json line = {{"command", command}, {"result", result}, {"properties", properties}};
    fmt::print("{}\n", line.dump());
  } else {
    fmt::print("{}\n", human);
  }
  std::fflush(stdout);
}

void Output::Error(const std::string& command, std::int32_t number, const std::string& description) const {
  if (json) {
    nlohmann::json line = {{"command", command}, {"error", {{"number", number}, {"description", description}}}};
    fmt::print("{}\n", line.dump());
    std::fflush(stdout);
  } else {
    fmt::print(stderr, "quandelstk {}: run-time error {}: {}\n", command, number, description);
  }
}

void Output::Note(const std::string& text) const {
  if (json || quiet) return;
  fmt::print("{}\n", text);
  std::fflush(stdout);
}

void Output::Progress(const std::string& text) const {
  if (!ShowsProgress()) return;
  fmt::print(stderr, "  … {}\n", text);
}

}  // namespace quandelstk::cli
