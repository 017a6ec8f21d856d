// Sending in text mode and switching delivery reports.
#include "channel/exchange.hpp"
#include "channel/poll.hpp"
#include "channel/session.hpp"
#include "channel/text.hpp"
#include "quandelstk/sms.hpp"
#include "sms/answer_fields.hpp"

namespace quandelstk {

using channel::SendATCommand;

namespace {

constexpr std::int16_t kPromptTimeout = 7;

// Writes the "AT+CMGS=" line itself and waits for the body prompt outside the shared receive buffer.
// An error answer to the line is not a marker here: without a ">" the wait runs its full 7 seconds,
// and nothing is sent to end the pending message input.
bool AskForBodyPrompt(const std::string& number) {
  std::string seen;
  channel::Instant start;
  channel::AnswerWait wait("AT+CMGS=\"" + number + "\"\r", kPromptTimeout, seen, start);
  return wait.Until([](std::string_view t) { return text::Contains(t, ">"); });
}

// Both switches send each line with a CR of its own, so the modem also gets an empty line.
bool SwitchReports(const std::string& cnmi, const std::string& csmp) {
  if (!channel::IsPortOpen()) return false;
  std::string response;
  if (!SendATCommand(cnmi + "\r", response, 0)) return false;
  return SendATCommand(csmp + "\r", response, 0);
}

}  // namespace

bool SMS::SendSMS(const std::string& strHP, const std::string& strMsg) {
  if (!channel::IsPortOpen()) return false;
  const std::string number = NumberOrDefault(strHP);
  const std::string message = MessageOrDefault(strMsg);
  if (number.empty() || message.empty()) return false;

  if (!AskForBodyPrompt(number)) return false;
  std::string response;
  if (!SendATCommand(message + sms::kCtrlZ, response, 0)) return false;
  if (text::Contains(response, "+CMGS")) mr_ = sms::MessageReference(response);
  return true;
}

bool SMS::DeliveryReportOn() {
  return SwitchReports("AT+CNMI=2,0,0,2,0", "AT+CSMP=33,255,0,0");
}

bool SMS::DeliveryReportOff() {
  return SwitchReports("AT+CNMI=2,0,0,0,0", "AT+CSMP=1,255,0,0");
}

}  // namespace quandelstk
