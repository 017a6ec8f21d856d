#include "channel/exchange.hpp"

#include <string_view>

#include "channel/poll.hpp"
#include "channel/session.hpp"
#include "channel/text.hpp"

namespace quandelstk::channel {

namespace {

constexpr std::string_view kOk = "\r\nOK\r\n";
constexpr std::string_view kError = "ERROR\r\n";

// Writes the command line in one write and starts the exchange clock.
void StartExchange(const std::string& command) {
  Session& s = CurrentSession();
  Gsm().Output(command + '\r');
  s.CommandStartTime = s.platform->Now();
}

// Polls ReceiveBuffer until done; on a timeout empties it and reports false.
bool PollBuffer(std::int16_t timeout, const std::function<bool(const std::string&)>& done) {
  Session& s = CurrentSession();
  if (PollUntil(s.CommandStartTime, timeout, s.ReceiveBuffer, done)) return true;
  s.ReceiveBuffer.clear();
  return false;
}

// Hands the accumulated text to the caller and empties the buffer.
std::string TakeBuffer() {
  Session& s = CurrentSession();
  std::string text = std::move(s.ReceiveBuffer);
  s.ReceiveBuffer.clear();
  return text;
}

template <typename Done, typename Result>
bool Exchange(const std::string& command, std::string& response, std::int16_t timeout, Done done,
              Result result) {
  const std::int16_t t = EffectiveTimeout(timeout);
  StartExchange(command);
  if (!PollBuffer(t, done)) return false;
  response = TakeBuffer();
  return result(response);
}

bool EndsCommand(const std::string& b) {
  return text::Contains(b, kOk) || text::Contains(b, kError) || text::Contains(b, "+CME ERROR:") ||
         text::Contains(b, "+CMS ERROR:");
}
bool EndsInfo(const std::string& b) { return text::Contains(b, ":") || text::Contains(b, kError); }
bool EndsPrompt(const std::string& b) { return text::Contains(b, ">") || text::Contains(b, kError); }

}  // namespace

bool SendATCommand(const std::string& command, std::string& response, std::int16_t timeout) {
  return Exchange(command, response, timeout, EndsCommand,
                  [](const std::string& r) { return text::Contains(r, kOk); });
}

bool SendATForInfo(const std::string& command, std::string& response, std::int16_t timeout) {
  return Exchange(command, response, timeout, EndsInfo,
                  [](const std::string& r) { return text::Contains(r, ":"); });
}

bool SendATForPrompt(const std::string& command, std::string& response, std::int16_t timeout) {
  return Exchange(command, response, timeout, EndsPrompt,
                  [](const std::string& r) { return text::Contains(r, ">"); });
}

bool SendATForInfoLine(const std::string& command, std::string& response, std::int16_t timeout) {
  Session& s = CurrentSession();
  const std::int16_t t = EffectiveTimeout(timeout);
  StartExchange(command);
  if (!PollBuffer(t, EndsInfo)) return false;

  const std::size_t colon = s.ReceiveBuffer.find(':');
  if (colon == std::string::npos) {  // ended on "ERROR" CR LF
    response = TakeBuffer();
    return false;
  }
  // Phase two shares the deadline and, like every poll, reads once more before it looks, even when
  // the line end is already there.
  auto line_ended = [colon](const std::string& b) { return b.find("\r\n", colon + 1) != std::string::npos; };
  if (!PollBuffer(t, [&](const std::string& b) { return line_ended(b) || text::Contains(b, kError); }))
    return false;
  response = TakeBuffer();
  return line_ended(response);
}

bool IsPortOpen() { return Gsm().PortOpen(); }

bool IsTimedOut(const DateTime& start, std::int16_t timeout) {
  const bool up = TimeIsUp(start, timeout);
  CurrentPlatform().Sleep(PollWaitMs(timeout));
  return up;
}

}  // namespace quandelstk::channel
