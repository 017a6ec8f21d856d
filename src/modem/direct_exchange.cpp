#include "modem/direct_exchange.hpp"

#include "channel/poll.hpp"
#include "channel/session.hpp"
#include "channel/text.hpp"

namespace quandelstk::modem {

namespace {

constexpr std::int16_t kDirectTimeoutSeconds = 7;

}  // namespace

bool DirectExchange(const std::string& command, std::string& text) {
  channel::Gsm().Output(command + '\r');
  const DateTime start = CurrentPlatform().Now();
  text.clear();
  return channel::PollUntil(start, kDirectTimeoutSeconds, text,
                            [](const std::string& t) { return text::Contains(t, "OK\r\n"); });
}

}  // namespace quandelstk::modem
