#include "modem/direct_exchange.hpp"

#include "channel/poll.hpp"
#include "channel/text.hpp"

namespace quandelstk::modem {

namespace {

constexpr std::int16_t kDirectTimeoutSeconds = 7;

}  // namespace

bool DirectExchange(const std::string& command, std::string& text) {
  text.clear();
  channel::Instant start;
  channel::AnswerWait wait(command + '\r', kDirectTimeoutSeconds, text, start);
  return wait.Until([](std::string_view t) { return text::Contains(t, "OK\r\n"); });
}

}  // namespace quandelstk::modem
