#include "channel/exchange.hpp"

#include <string_view>

#include "channel/poll.hpp"
#include "channel/session.hpp"
#include "channel/text.hpp"

namespace quandelstk::channel {

namespace {

constexpr std::string_view kOk = "\r\nOK\r\n";
constexpr std::string_view kError = "ERROR\r\n";

// Writes the command line in one write and starts the exchange clock; the wait that follows
// accumulates into ReceiveBuffer.
AnswerWait StartExchange(const std::string& command, std::int16_t timeout) {
  Session& s = CurrentSession();
  return AnswerWait(command + '\r', timeout, s.ReceiveBuffer, s.CommandStartTime);
}

// Polls ReceiveBuffer until the marker holds on complete text; on a timeout empties it and reports false.
bool PollBuffer(AnswerWait& wait, const MarkerTest& marker) {
  if (wait.Until(marker)) return true;
  CurrentSession().ReceiveBuffer.clear();
  return false;
}

// Hands the accumulated text to the caller and empties the buffer.
std::string TakeBuffer() {
  Session& s = CurrentSession();
  std::string text = std::move(s.ReceiveBuffer);
  s.ReceiveBuffer.clear();
  return text;
}

bool Exchange(const std::string& command, std::string& response, std::int16_t timeout, const MarkerTest& marker,
              bool (*result)(std::string_view)) {
  AnswerWait wait = StartExchange(command, EffectiveTimeout(timeout));
  if (!PollBuffer(wait, marker)) return false;
  response = TakeBuffer();
  return result(response);
}

bool EndsCommand(std::string_view b) {
  return text::Contains(b, kOk) || text::Contains(b, kError) || text::Contains(b, "+CME ERROR:") ||
         text::Contains(b, "+CMS ERROR:");
}
bool EndsInfo(std::string_view b) { return text::Contains(b, ":") || text::Contains(b, kError); }
bool EndsPrompt(std::string_view b) { return text::Contains(b, ">") || text::Contains(b, kError); }

}  // namespace

bool SendATCommand(const std::string& command, std::string& response, std::int16_t timeout) {
  return Exchange(command, response, timeout, EndsCommand,
                  [](std::string_view r) { return text::Contains(r, kOk); });
}

bool SendATForInfo(const std::string& command, std::string& response, std::int16_t timeout) {
  return Exchange(command, response, timeout, EndsInfo,
                  [](std::string_view r) { return text::Contains(r, ":"); });
}

bool SendATForPrompt(const std::string& command, std::string& response, std::int16_t timeout) {
  return Exchange(command, response, timeout, EndsPrompt,
                  [](std::string_view r) { return text::Contains(r, ">"); });
}

bool SendATForInfoLine(const std::string& command, std::string& response, std::int16_t timeout) {
  Session& s = CurrentSession();
  AnswerWait wait = StartExchange(command, EffectiveTimeout(timeout));
  if (!PollBuffer(wait, EndsInfo)) return false;

  const std::size_t colon = s.ReceiveBuffer.find(':');
  if (colon == std::string::npos) {  // ended on "ERROR" CR LF
    response = TakeBuffer();
    return false;
  }
  // Phase two shares the deadline and always reads once more after one more pause, even when the
  // line end is already there: the final result that follows the information line a moment later
  // belongs to this answer, not to the next exchange. The pause ends as soon as that result is in.
  auto line_ended = [colon](std::string_view b) { return b.find("\r\n", colon + 1) != std::string_view::npos; };
  wait.PauseUnlessFinalResult(colon + 1);
  if (!PollBuffer(wait, [&](std::string_view b) { return line_ended(b) || text::Contains(b, kError); }))
    return false;
  response = TakeBuffer();
  return line_ended(response);
}

bool IsPortOpen() { return Gsm().PortOpen(); }

bool IsTimedOut(const Instant& start, std::int16_t timeout) {
  const bool up = TimeIsUp(start, timeout);
  CurrentPlatform().Sleep(PollWaitMs(timeout));
  return up;
}

}  // namespace quandelstk::channel
