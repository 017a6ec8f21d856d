// How long each command line's exchange may run, as the classes set their timeouts, and a check of
// a recorded dialogue against it: the fuzzers and the soak both hold every call to it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quandelstk::testing {

struct HeardLine {
  std::int64_t at_ms = 0;
  std::int64_t slept_ms = 0;  // the platform's plain pauses up to then
  std::string text;
};

// Whole seconds. listen_seconds: USSDListen's own wait on its "AT".
inline int ExchangeLimitSeconds(std::string_view line, int listen_seconds) {
  auto starts = [&](std::string_view p) { return line.substr(0, p.size()) == p; };
  if (line == "AT") return std::max(7, listen_seconds);  // the speed probe, or USSDListen's wait
  if (starts("AT+CMGL") || starts("AT+CMGR") || starts("AT+CFUN")) return 60;
  if (!line.empty() && line.back() == '\x1a') return 60;  // a message body
  if (starts("AT+CUSD")) return 15;
  if (starts("AT+ST")) return 12;
  return 7;
}

// From each line to the next (or to the end of the call) the time not spent in plain pauses is one
// exchange: at most its limit, the second its whole-second clock may add, and one poll. Returns ""
// or what overran.
inline std::string OverrunExchange(const std::vector<HeardLine>& lines, std::size_t first, std::int64_t end_ms,
                                   std::int64_t slept_end_ms, int listen_seconds) {
  for (std::size_t i = first; i < lines.size(); ++i) {
    const std::int64_t next_at = i + 1 < lines.size() ? lines[i + 1].at_ms : end_ms;
    const std::int64_t next_slept = i + 1 < lines.size() ? lines[i + 1].slept_ms : slept_end_ms;
    const std::int64_t busy = (next_at - lines[i].at_ms) - (next_slept - lines[i].slept_ms);
    const std::int64_t limit = (ExchangeLimitSeconds(lines[i].text, listen_seconds) + 1) * 1000 + 600;
    if (busy > limit)
      return "the exchange of \"" + lines[i].text + "\" took " + std::to_string(busy) + " ms, limit " +
             std::to_string(limit) + " ms";
  }
  return "";
}

}  // namespace quandelstk::testing
