// Finding the first stored message and reading it in text mode.
#include "channel/exchange.hpp"
#include "channel/log.hpp"
#include "channel/text.hpp"
#include "quandelstk/errors.hpp"
#include "quandelstk/sms.hpp"
#include "sms/answer_fields.hpp"

namespace quandelstk {

using channel::SendATCommand;
using text::Add16;
using text::Find;
using text::Replace;
using text::Str;

namespace {

// The time stamp as the text-mode header quotes it ("08/12/25,14:30:00+32") becomes
// "08/12/25 14:30:00": zone cut off, comma turned into a blank, quotes dropped.
std::string StampWithoutZone(const std::string& quoted_stamp) {
  return Replace(Replace(sms::CutAtTimeZone(quoted_stamp), ",", " "), sms::kDQ, "");
}

}  // namespace

std::int16_t SMS::ListSMS() {
  try {
    if (!channel::IsPortOpen()) return 0;
    std::string response;
    if (!SendATCommand("AT+CPMS=\"SM\"", response, 0)) return 0;
    // Listing the unread ones only makes the modem mark them read, so that the second listing holds
    // every received message.
    if (!SendATCommand("AT+CMGL=\"REC UNREAD\"", response, 60)) return 0;
    response.clear();
    if (!SendATCommand("AT+CMGL=\"REC READ\"", response, 60)) return 0;
    return sms::FirstListedIndex(response);
  } catch (const RuntimeError& e) {
    channel::WriteLog("Class Module.SMS.ListSMS() " + Str(e.Number()) + e.Description());
    return 0;
  }
}

bool SMS::ReadSMS() {
  try {
    const std::int16_t index = ListSMS();
    if (index == 0) return false;
    if (!channel::IsPortOpen()) return false;
    std::string r;
    if (!SendATCommand("AT+CMGR=" + Str(index), r, 60)) return false;
    const std::int16_t h = Find(r, "+CMGR:");
    if (h == 0) return false;

    // The long header: status, originator, alpha, time stamp (with a comma inside), type of
    // originator, first octet, PID, DCS, service centre, its type, length.
    const auto c = sms::CommaChain(r, Add16(h, 1), 11);
    const std::int16_t e = Find(r, "\r\n", Add16(c[11], 1));
    mn_ = text::Trim(Replace(sms::Between(r, c[1], c[2]), sms::kDQ, ""));
    scts_ = StampWithoutZone(sms::Between(r, c[3], c[5]));
    smsc_ = Replace(sms::Between(r, c[9], c[10]), sms::kDQ, "");
    // The text runs from after the header line up to the CR LF CR LF "OK" CR LF that ends the answer.
    const std::int16_t text_length = text::CheckedInt16(static_cast<std::int64_t>(r.size()) - 8 - (e + 1));
    msg_ = text::Trim(text::Mid(r, Add16(e, 2), text_length));

    return SendATCommand("AT+CMGD=" + Str(index) + "\r", r, 0);
  } catch (const RuntimeError& e) {
    channel::WriteLog("Class Module.SMS.ReadSMS() " + Str(e.Number()) + e.Description());
    return false;
  }
}

}  // namespace quandelstk
