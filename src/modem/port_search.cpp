// Modem.FindCOMPort: the first port of a range whose modem names WAVECOM as its maker.
#include "channel/exchange.hpp"
#include "channel/session.hpp"
#include "channel/text.hpp"
#include "quandelstk/errors.hpp"
#include "quandelstk/modem.hpp"

namespace quandelstk {

namespace {

constexpr std::int16_t kMakerTimeoutSeconds = 3;

// Every step of the search ignores its own failure and the next step runs: a port that does not
// exist or that another program holds fails to open, its query fails, and the search moves on.
// A silent port costs its 3-second query.
template <typename Step>
void Skipping(Step step) {
  try {
    step();
  } catch (const RuntimeError&) {
  }
}

}  // namespace

std::int16_t Modem::FindCOMPort(std::int16_t& iStart, std::int16_t& iEnd) {
  if (iStart > iEnd) return 0;
  // One speed for the whole search.
  Skipping([] { channel::Gsm().Settings("115200,N,8,1"); });
  for (std::int32_t port = iStart; port <= iEnd; ++port) {
    Skipping([port] { channel::Gsm().CommPort(static_cast<std::int16_t>(port)); });
    Skipping([] {
      if (channel::Gsm().PortOpen()) channel::Gsm().PortOpen(false);
    });
    Skipping([] { channel::Gsm().PortOpen(true); });
    bool found = false;
    Skipping([&found] {
      std::string response;
      found = channel::SendATCommand("AT+CGMI", response, kMakerTimeoutSeconds) &&
              text::Contains(response, "WAVECOM");
    });
    Skipping([] { channel::Gsm().PortOpen(false); });
    // The host passes the number to Init, which opens the port again and learns the maker itself.
    if (found) return static_cast<std::int16_t>(port);
  }
  return 0;
}

}  // namespace quandelstk
