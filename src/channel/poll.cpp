#include "channel/poll.hpp"

#include <algorithm>
#include <array>

#include "quandelstk/errors.hpp"

namespace quandelstk::channel {

namespace {

constexpr std::string_view kLineEnd = "\r\n";

bool StartsWith(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

bool IsFinalResultLine(std::string_view line) {
  static constexpr std::array<std::string_view, 6> kWords = {"OK",   "ERROR",     "NO CARRIER",
                                                             "BUSY", "NO ANSWER", "NO DIALTONE"};
  if (std::find(kWords.begin(), kWords.end(), line) != kWords.end()) return true;
  return StartsWith(line, "CONNECT") || StartsWith(line, "+CME ERROR:") || StartsWith(line, "+CMS ERROR:");
}

// The line that the CR LF at position end closes is a final result framed as a modem frames one:
// CR LF before it, and before that the start of the text, another line end, or the CR of an echo.
// A message's text line that reads "OK" follows its header's single CR LF and does not count.
bool FinalResultLineEndsAt(std::string_view text, std::size_t end) {
  const std::size_t cut = text.substr(0, end).find_last_of("\r\n");
  const std::size_t begin = cut == std::string_view::npos ? 0 : cut + 1;
  if (!IsFinalResultLine(text.substr(begin, end - begin))) return false;
  if (begin < kLineEnd.size() || text.substr(begin - kLineEnd.size(), kLineEnd.size()) != kLineEnd)
    return false;
  return begin == kLineEnd.size() || text[begin - 3] == '\r' || text[begin - 3] == '\n';
}

}  // namespace

Instant ClockNow() {
  return Instant{CurrentPlatform().MonotonicMs()};
}

bool TimeIsUp(const Instant& start, std::int16_t timeout) {
  return ClockNow().WholeSeconds() - start.WholeSeconds() > timeout;
}

bool EndsInFinalResult(std::string_view text) {
  return text.size() >= kLineEnd.size() && text.substr(text.size() - kLineEnd.size()) == kLineEnd &&
         FinalResultLineEndsAt(text, text.size() - kLineEnd.size());
}

bool HoldsFinalResult(std::string_view text, std::size_t from) {
  // From the start of the line that holds position from: a "+CME ERROR: n" line is its own answer.
  const std::size_t cut = from == 0 ? std::string_view::npos : text.substr(0, from).find_last_of("\r\n");
  for (std::size_t end = text.find(kLineEnd, cut == std::string_view::npos ? 0 : cut + 1);
       end != std::string_view::npos; end = text.find(kLineEnd, end + kLineEnd.size()))
    if (FinalResultLineEndsAt(text, end)) return true;
  return false;
}

bool AnswerIsOver(std::string_view text) {
  return EndsInFinalResult(text) || (text.size() >= 2 && text.substr(text.size() - 2) == "> ");
}

AnswerWait::AnswerWait(const std::string& line, std::int16_t timeout, std::string& text, Instant& start)
    : text_(text), timeout_(timeout), start_(start) {
  SerialControl& gsm = Gsm();
  // Read before writing: whatever the modem sent before this command is the beginning of its text,
  // as the first read after the write would make it, and it is known to be complete. A line that
  // fails here is left for the write to report, as it would be without this read.
  std::string waiting;
  try {
    if (gsm.PortOpen()) waiting = gsm.Input();
  } catch (const RuntimeError&) {
  }
  try {
    gsm.Output(line, WriteLimitMs(timeout));
  } catch (const RuntimeError&) {
    text_ += waiting;  // a failed write consumes nothing: the next exchange still sees this text
    throw;
  }
  start_ = ClockNow();
  text_ += waiting;
  waiting_ = text_.size();
  last_input_ms_ = start_.ms;
}

void AnswerWait::Read() {
  // The host's event handler may unload the serial control (an SMS object released), so the
  // control is looked up afresh after it: the next read then fails on the new, closed one.
  std::string piece = Gsm().Input();
  if (piece.empty()) return;
  text_ += piece;
  last_input_ms_ = CurrentPlatform().MonotonicMs();
}

std::int32_t AnswerWait::QuietLeftMs() const {
  const std::int64_t quiet = CurrentPlatform().MonotonicMs() - last_input_ms_;
  return static_cast<std::int32_t>(std::max<std::int64_t>(0, PollWaitMs(timeout_) - quiet));
}

bool AnswerWait::Until(const MarkerTest& marker) {
  for (;;) {
    ProcessPendingEvents();
    Read();
    if (TimeIsUp(start_, timeout_)) return false;
    std::int32_t wait = PollWaitMs(timeout_);
    if (marker(text_)) {
      if (AnswerIsOver(text_) || marker(std::string_view(text_).substr(0, waiting_))) return true;
      const std::int32_t quiet_left = QuietLeftMs();
      if (quiet_left == 0) return true;
      wait = std::min(wait, quiet_left);
    }
    Gsm().WaitForInput(wait);
  }
}

void AnswerWait::PauseUnlessFinalResult(std::size_t from) {
  const std::int64_t until = CurrentPlatform().MonotonicMs() + PollWaitMs(timeout_);
  for (;;) {
    if (HoldsFinalResult(text_, from)) return;
    const std::int64_t left = until - CurrentPlatform().MonotonicMs();
    if (left <= 0) return;
    Gsm().WaitForInput(static_cast<std::int32_t>(left));
    Read();
  }
}

}  // namespace quandelstk::channel
