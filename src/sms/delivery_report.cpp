// Fetching one status report from the modem's status-report storage.
#include "channel/exchange.hpp"
#include "channel/text.hpp"
#include "quandelstk/sms.hpp"
#include "sms/answer_fields.hpp"

namespace quandelstk {

using channel::SendATCommand;
using text::Str;

namespace {

DeliveryStatus StatusFromText(const std::string& status) {
  if (status == "0") return DeliveryStatus::Delivered;
  if (status == "48") return DeliveryStatus::Undelivered;
  return DeliveryStatus::Unknown;
}

}  // namespace

bool SMS::GetDeliveryReport() {
  if (!channel::IsPortOpen()) return false;
  std::string response;
  if (!SendATCommand("AT+CPMS=\"SR\"", response, 0)) return false;
  if (!SendATCommand("AT+CMGL=\"ALL\"", response, 0)) return false;
  // Only an empty listing ends here: a report stored at index 0 is read like any other.
  if (!text::Contains(response, "+CMGL:")) return false;
  const std::int16_t index = sms::FirstListedIndex(response);

  std::string r;
  if (!SendATCommand("AT+CMGR=" + Str(index), r, 0)) return false;
  const std::int16_t h = text::Find(r, "+CMGR:");
  if (h == 0) return false;
  // Quoted and bare fields cut alike once the quotes are gone.
  r = text::Replace(r, sms::kDQ, "");

  // Status, first octet, reference, recipient, its type, service-centre stamp and discharge time
  // (each with a comma inside), status.
  const auto d = sms::CommaChain(r, h, 9);
  const std::int16_t e = text::Find(r, "\r\n", text::Add16(d[9], 1));
  dr_msg_ref_ = sms::Between(r, d[2], d[3]);
  dr_mn_recipient_ = sms::Between(r, d[3], d[4]);
  dr_r_date_ = sms::Between(r, d[5], d[6]);
  dr_r_time_ = sms::CutAtTimeZone(sms::Between(r, d[6], d[7]));
  dr_f_date_ = sms::Between(r, d[7], d[8]);
  dr_f_time_ = sms::CutAtTimeZone(sms::Between(r, d[8], d[9]));
  DRStatus(StatusFromText(text::Trim(sms::Between(r, d[9], e))));

  // A failed delete is not an error: the same report comes again on the next call.
  SendATCommand("AT+CMGD=" + Str(index) + "\r", response, 0);
  return SendATCommand("AT+CPMS=\"SM\"", response, 0);
}

}  // namespace quandelstk
