// A modem double for tests: it records every byte written to it and answers command lines with
// scripted replies at scripted virtual times. Unmatched lines get no answer (silence).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/virtual_platform.hpp"

namespace quandelstk::testing {

using platform::TimeMs;

// One piece of an answer, sent after_ms after the command line's CR was received.
struct Piece {
  TimeMs after_ms = 0;
  std::string bytes;
};

// An answer cut before each of the 0-based positions cuts, the pieces gap_ms apart from start_ms.
std::vector<Piece> SplitAnswer(const std::string& answer, const std::vector<std::size_t>& cuts, TimeMs gap_ms,
                               TimeMs start_ms = 0);

class ScriptedModem final : public platform::VirtualDevice {
 public:
  // Answers the next writes of exactly this command line (without its CR). Rules for one line are
  // used in the order given; times 0 means the rule answers for ever.
  ScriptedModem& On(const std::string& line, std::vector<Piece> reply, int times = 0);
  ScriptedModem& On(const std::string& line, const std::string& reply, int times = 0) {
    return On(line, std::vector<Piece>{{0, reply}}, times);
  }
  // Answers every line that no rule matches.
  ScriptedModem& Otherwise(const std::string& reply) {
    otherwise_ = reply;
    return *this;
  }
  // Sends bytes at an absolute virtual time (while the port is open).
  ScriptedModem& Unsolicited(TimeMs at_ms, const std::string& bytes);
  // Echoes every byte received, as a modem does after ATE1.
  ScriptedModem& Echo(bool on) {
    echo_ = on;
    return *this;
  }
  // Delivers every scripted answer in pieces of size bytes, gap_ms apart, in their order: what a
  // real line does to an answer. Size 0 sends answers whole again.
  ScriptedModem& Chunked(std::size_t size, TimeMs gap_ms) {
    chunk_size_ = size;
    chunk_gap_ms_ = gap_ms;
    return *this;
  }
  // Stops taking bytes from the line (a stalled device): writes wait until their limit and fail.
  ScriptedModem& StallInput(bool stalled) {
    stalled_ = stalled;
    return *this;
  }
  // Goes away (a USB modem pulled out) once it has answered this command line: opening, reading
  // and writing the port fail from then on.
  ScriptedModem& VanishAfter(const std::string& line) {
    vanish_after_ = line;
    return *this;
  }
  // Hears the host only at these line settings (a modem fixed at one speed).
  ScriptedModem& OnlyAt(const std::string& settings) {
    only_at_ = settings;
    return *this;
  }

  // Everything the host wrote, and the same cut into lines at each CR (empty lines kept).
  const std::string& Written() const { return written_; }
  std::vector<std::string> Lines() const;
  // The time each complete line was received.
  const std::vector<std::pair<TimeMs, std::string>>& TimedLines() const { return timed_lines_; }
  bool IsOpen() const { return open_; }
  const std::string& CurrentSettings() const { return settings_; }
  int Opens() const { return opens_; }

  void Open(const std::string& settings, TimeMs now) override;
  void Settings(const std::string& settings, TimeMs now) override;
  void Close(TimeMs now) override;
  void Receive(std::string_view bytes, TimeMs now) override;
  std::string Transmit(TimeMs now) override;
  std::optional<TimeMs> NextOutputAt() const override;
  bool TakesInput(TimeMs) const override { return !stalled_; }
  bool Present(TimeMs) const override { return !vanished_; }

 private:
  struct Rule {
    std::string line;
    std::vector<Piece> reply;
    int left;  // 0: for ever
  };
  void Answer(const std::string& line, TimeMs now);
  void Reply(const std::vector<Piece>& pieces, TimeMs now);
  void Schedule(TimeMs at, std::string bytes);

  std::vector<Rule> rules_;
  std::optional<std::string> otherwise_;
  std::vector<std::pair<TimeMs, std::string>> outbox_;  // kept sorted by time
  std::vector<std::pair<TimeMs, std::string>> timed_lines_;
  std::string written_;
  std::string partial_;
  std::string settings_;
  std::optional<std::string> only_at_;
  bool echo_ = false;
  bool stalled_ = false;
  std::optional<std::string> vanish_after_;
  bool vanished_ = false;
  std::size_t chunk_size_ = 0;
  TimeMs chunk_gap_ms_ = 0;
  bool open_ = false;
  int opens_ = 0;
};

}  // namespace quandelstk::testing
