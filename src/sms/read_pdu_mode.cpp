// Reading the first stored message in PDU mode and decoding it ourselves.
#include "channel/exchange.hpp"
#include "channel/log.hpp"
#include "channel/text.hpp"
#include "pdu/pdu.hpp"
#include "quandelstk/errors.hpp"
#include "quandelstk/sms.hpp"

namespace quandelstk {

using channel::SendATCommand;
using text::Str;

namespace {

// "+CMGR: <stat>,,<length>" CR LF "<pdu>" CR LF ...: the third comma-separated field holds the
// length and, after its line end, the PDU line.
std::string PduOfReadAnswer(const std::string& answer) {
  const std::vector<std::string> fields = text::Split(answer, ",");
  const std::vector<std::string> lines = text::Split(text::Piece(fields, 2), "\r\n");
  text::ToInt16(text::Trim(text::Piece(lines, 0)));  // must be a length, though its value is not needed
  return text::Piece(lines, 1);
}

}  // namespace

bool SMS::ReadSMSText() {
  std::string r;
  try {
    if (!channel::IsPortOpen()) return false;
    const std::int16_t index = ListSMS();
    if (index == 0) return false;

    SendATCommand("AT+CMGF=0", r, 0);
    // After a timeout r still holds the answer to the mode switch, and the cut below fails on it.
    SendATCommand("AT+CMGR=" + Str(index), r, 0);
    const DecodedPdu decoded = pdu::Decode_PDU(PduOfReadAnswer(r));

    mn_ = decoded.Originator;
    msg_ = decoded.Text;
    smsc_ = decoded.ServiceCentre;
    scts_ = decoded.StampDate + "," + decoded.StampTime;
    if (decoded.IsLMS) is_lms_ = *decoded.IsLMS;
    if (decoded.LMS_Reference) lms_reference_ = *decoded.LMS_Reference;
    if (decoded.LMS_Total) lms_total_ = *decoded.LMS_Total;
    if (decoded.LMS_Sequence) lms_sequence_ = *decoded.LMS_Sequence;

    SendATCommand("AT+CMGD=" + Str(index), r, 0);
    SendATCommand("AT+CMGF=1", r, 0);
    return true;
  } catch (const RuntimeError& e) {
    channel::WriteLog("Error " + Str(e.Number()) + " (" + e.Description() +
                      ") in procedure ReadSMSText of Class Module SMS");
    // Back to text mode when the line still allows it: a line that failed (a device gone) fails
    // again here, and the trap's promise is false, not that error.
    try {
      SendATCommand("AT+CMGF=1", r, 0);
    } catch (const RuntimeError&) {
    }
    return false;
  }
}

}  // namespace quandelstk
