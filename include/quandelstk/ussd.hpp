// The USSD class: sends a USSD string (a balance enquiry, a menu choice) and returns the network's
// text, listens for a notification the network starts itself, and cancels a running dialogue.
//
// Objects hold no port of their own: they use the thread's one serial port, which Modem::Init opens.
// Every method traps its run-time failures: it writes one record to the daily log and returns its
// failure value ("" or false).
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "quandelstk/export.hpp"

namespace quandelstk {

class QUANDELSTK_API USSD {
 public:
  // The text of the notification USSDListen received last; "" until then. Only USSDListen sets it.
  const std::string& USSDNotification() const { return notification_; }
  void USSDNotification(std::string value) { notification_ = std::move(value); }

  // The type library's member USSD: a C++ member cannot bear its class's name, so it is Send here.
  // Sends Command as the user would dial it ("*100#", or a menu choice such as "2") and waits up to
  // 15 seconds for the network's answer. The answer's text without its quotes and surrounding
  // blanks, or "" when the port is closed, the network refuses the code, reports no text, or
  // nothing complete arrives within those 15 seconds.
  std::string Send(const std::string& Command);

  // Waits up to iTimeOutSeconds (0 means 7; a negative value reads the port once) for a
  // notification the network sends on its own. True when one arrived; its text, blanks trimmed,
  // is then in USSDNotification, which is left as it was otherwise.
  bool USSDListen(std::int16_t iTimeOutSeconds = 3);

  // Ends the running USSD dialogue. True when the modem accepted it.
  bool Cancel();

 private:
  // The quoted text of the "+CUSD:" line in answer, trimmed; reads on into answer until the line
  // is complete, for as long as the command that brought it may take. "" without such a line or
  // when that time runs out.
  std::string ParseUSSDResponse(std::string& answer);

  std::string notification_;
};

}  // namespace quandelstk
