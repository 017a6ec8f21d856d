// The one shape of every polling loop: process pending events, append what is waiting, test the
// time, test the markers, and only then wait for more input. The wait returns as soon as input
// arrives, so an answer is seen the moment it is there.
//
// Waking on the first byte means the marker test also sees half-arrived answers ("+CMS ERROR:"
// without its code, an information line without the OK behind it). A marker therefore counts only
// on complete text, and the outcome is the one a loop reading every 100 ms would reach:
// - text that ends in a final result line ("OK", "ERROR", "+CME ERROR: n", ...) framed as a modem
//   frames one, or in the body prompt "> ", is complete at once: a modem sends nothing more of
//   that answer;
// - any other text is complete once the line has been quiet for one poll's length (100 ms, 500 ms
//   from 60 s): the classic loop reads at that cadence, so pieces closer together may land in one
//   of its reads, and after that much quiet any of its reads would have seen this text and nothing
//   more;
// - text that was already waiting before the command was written is decided on at once, as the
//   first read of the 100 ms loop would have done.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "channel/session.hpp"

namespace quandelstk::channel {

// 0 means 7 seconds.
constexpr std::int16_t EffectiveTimeout(std::int16_t timeout) {
  return timeout == 0 ? 7 : timeout;
}
// The longest wait of one poll: 100 ms below 60 s, 500 ms from 60 s.
constexpr std::int32_t PollWaitMs(std::int16_t timeout) {
  return timeout < 60 ? 100 : 500;
}
// The longest a write may take within an exchange of this (effective) timeout: the exchange gives
// up within timeout + 1 seconds, and so does its write.
constexpr std::int32_t WriteLimitMs(std::int16_t timeout) {
  return (timeout + 1) * 1000;
}

// The current reading of the exchange clock.
Instant ClockNow();
// More whole seconds than timeout have passed since start (no pause).
bool TimeIsUp(const Instant& start, std::int16_t timeout);

// The text ends in a final result line: "OK", "ERROR", "NO CARRIER", "BUSY", "NO ANSWER",
// "NO DIALTONE", "CONNECT...", "+CME ERROR: ..." or "+CMS ERROR: ...", followed by CR LF and
// preceded by CR LF after the start of the text, a line end or an echo's CR.
bool EndsInFinalResult(std::string_view text);
// The text holds such a line, complete, in the line that holds the 0-based position from or after it.
bool HoldsFinalResult(std::string_view text, std::size_t from);
// A modem's answer is over: it ends in a final result line or in the body prompt "> ".
bool AnswerIsOver(std::string_view text);

using MarkerTest = std::function<bool(std::string_view text)>;

// One wait for an answer on the thread's serial control, into text. The clock starts when the
// command has been written; its start lives in the caller's variable, so that an exchange nested
// in a host's event handler, sharing CommandStartTime, moves it as it would a classic loop's.
class AnswerWait {
 public:
  // Takes what is already waiting on the line as the beginning of text, then writes line (which
  // carries its own CR) within the exchange's write limit and sets start. timeout is already
  // effective.
  AnswerWait(const std::string& line, std::int16_t timeout, std::string& text, Instant& start);

  // Polls until marker holds on complete text (true) or the time is up (false, text as read so
  // far, including the read of the last poll).
  bool Until(const MarkerTest& marker);
  // Pauses one poll's length, ending early once a final result line has arrived in the line that
  // holds the 0-based position from or after it; reads what arrives meanwhile.
  void PauseUnlessFinalResult(std::size_t from);

 private:
  void Read();
  std::int32_t QuietLeftMs() const;

  std::string& text_;
  std::int16_t timeout_;
  Instant& start_;
  std::int64_t last_input_ms_;
  // Length of the text that was waiting before the write: a marker in it is decided at once.
  std::size_t waiting_;
};

}  // namespace quandelstk::channel
