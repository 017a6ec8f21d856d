// Sending in PDU mode: one 7-bit or UCS2 message, or a long 7-bit message in concatenated parts.
// Every way out after the switch to PDU mode switches back to text mode.
#include "channel/exchange.hpp"
#include "channel/session.hpp"
#include "channel/text.hpp"
#include "pdu/pdu.hpp"
#include "quandelstk/sms.hpp"
#include "sms/answer_fields.hpp"

namespace quandelstk {

using channel::SendATCommand;
using text::Str;

namespace {

constexpr std::int16_t kCoding7Bit = 7;
constexpr std::int16_t kCodingUcs2 = 16;
constexpr std::int16_t kSendSMSTextTimeout = 60;
constexpr std::int16_t kSendSMSUnicodeTimeout = 0;  // the default 7 seconds
constexpr std::int16_t kPartTimeout = 12;
constexpr std::int32_t kPartLength = 153;

void EnterPduMode() {
  std::string ignored;
  SendATCommand("AT+CMGF=0", ignored, 0);
}

void LeaveToTextMode() {
  std::string ignored;
  SendATCommand("AT+CMGF=1", ignored, 0);
}

// "AT+CMGS=<length>" with a CR of its own (so the modem gets two), then the PDU and Ctrl-Z whether or
// not the prompt came: the PDU exchange decides. Returns that exchange's answer when it ended in "OK".
bool SubmitPdu(std::uint8_t length, const std::string& pdu, std::int16_t timeout, std::string& response) {
  channel::SendATForPrompt("AT+CMGS=" + Str(length) + "\r", response, 0);
  return SendATCommand(pdu + sms::kCtrlZ, response, timeout);
}

}  // namespace

bool SMS::SendPduMessage(const std::string& strMobileNumber, const std::string& strMessage,
                         std::int16_t coding, std::int16_t send_timeout) {
  if (!channel::IsPortOpen()) return false;
  const std::string number = NumberOrDefault(strMobileNumber);
  const std::string message = MessageOrDefault(strMessage);
  if (number.empty() || message.empty()) return false;

  std::uint8_t length = 0;
  std::string pdu;
  if (!pdu::Build_SMS_PDU(message, number, coding, length, pdu)) {
    LeaveToTextMode();
    return false;
  }
  EnterPduMode();
  std::string response;
  if (!SubmitPdu(length, pdu, send_timeout, response)) {
    LeaveToTextMode();
    return false;
  }
  if (text::Contains(response, "+CMGS")) mr_ = sms::MessageReference(response);
  LeaveToTextMode();
  return true;
}

bool SMS::SendSMSText(const std::string& strMobileNumber, const std::string& strMessage) {
  return SendPduMessage(strMobileNumber, strMessage, kCoding7Bit, kSendSMSTextTimeout);
}

bool SMS::SendSMSUnicode(const std::string& strMobileNumber, const std::string& strMessage) {
  return SendPduMessage(strMobileNumber, strMessage, kCodingUcs2, kSendSMSUnicodeTimeout);
}

bool SMS::SendLMSText(const std::string& strMobileNumber, const std::string& strMessage,
                      std::int16_t intMessageReference) {
  if (!channel::IsPortOpen()) return false;
  const std::string number = NumberOrDefault(strMobileNumber);
  const std::string message = MessageOrDefault(strMessage);
  if (number.empty() || message.empty()) return false;

  EnterPduMode();
  // Part positions are 16-bit: a message of more than 215 parts ends in an overflow error.
  const std::int16_t parts =
      text::CheckedInt16((static_cast<std::int64_t>(message.size()) + kPartLength - 1) / kPartLength);
  channel::Session& session = channel::CurrentSession();
  for (std::int16_t sequence = 1; sequence <= parts; ++sequence) {
    const std::int16_t start = text::Add16(text::Mul16(sequence - 1, kPartLength), 1);
    const std::string part = text::Mid(message, start, kPartLength);
    if (!pdu::Build_LMS_PDU(number, part, intMessageReference, parts, sequence)) {
      LeaveToTextMode();
      return false;
    }
    std::string response;
    if (!SubmitPdu(session.LMS_PDU_Length, session.LMS_PDU, kPartTimeout, response)) {
      LeaveToTextMode();  // the parts sent so far stay sent
      return false;
    }
    // Each part overwrites MR: after the last one it holds that part's reference.
    if (text::Contains(response, "+CMGS")) mr_ = sms::MessageReference(response);
  }
  LeaveToTextMode();
  return true;
}

}  // namespace quandelstk
