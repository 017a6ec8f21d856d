// Cancel: end the running USSD dialogue.
#include "channel/exchange.hpp"
#include "quandelstk/ussd.hpp"
#include "ussd/trap_log.hpp"

namespace quandelstk {

bool USSD::Cancel() {
  try {
    std::string response;
    return channel::SendATCommand("AT+CUSD=2", response, 0);
  } catch (const RuntimeError& e) {
    ussd::LogTrapped(e, "Cancel");
    return false;
  }
}

}  // namespace quandelstk
