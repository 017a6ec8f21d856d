// SMS-SUBMIT PDUs: a whole single message, or one part of a concatenated 7-bit message.
#include "channel/session.hpp"
#include "pdu/field_writers.hpp"
#include "pdu/hex_text.hpp"
#include "pdu/pdu.hpp"
#include "quandelstk/errors.hpp"

namespace quandelstk::pdu {

namespace {

constexpr std::size_t kMost7BitCharacters = 160;
constexpr std::size_t kMostUcs2Digits = 280;

// The destination fields: digit count, type of address, swapped digits (see Encode_Semi_Octets).
void AppendDestination(std::string& out, std::string_view number) {
  const char* type = "81";
  if (!number.empty() && number.front() == '+') {
    type = "91";
    number.remove_prefix(1);
  }
  out += HexText(static_cast<std::uint32_t>(number.size()));
  out += type;
  AppendSwappedDigits(out, number);
}

// The TPDU octet count travels as an unsigned 8-bit value: a PDU longer than it can count is an
// overflow, as storing the count would be.
std::uint8_t TpduLength(std::size_t tpdu_digits) {
  const std::size_t octets = tpdu_digits / 2;
  if (octets > 255)
    throw RuntimeError(err::kOverflow, "Overflow: a PDU of " + std::to_string(octets) +
                                           " octets does not fit its 8-bit length");
  return static_cast<std::uint8_t>(octets);
}

}  // namespace

bool Build_SMS_PDU(const std::string& message, const std::string& number, std::int16_t coding,
                   std::uint8_t& length, std::string& pdu) {
  if (coding == 7) {
    if (message.size() > kMost7BitCharacters) return false;
  } else if (coding == 16) {
    if (message.size() > kMostUcs2Digits) return false;
  } else {
    return false;
  }

  std::string built;
  built.reserve(24 + number.size() + message.size() * 2);
  built += "0021";  // no service centre; SMS-SUBMIT with a status report
  built += "00";    // message reference
  AppendDestination(built, number);
  if (coding == 7) {
    built += "0000";  // protocol identifier, GSM 7-bit
    built += HexText(static_cast<std::uint32_t>(message.size()));
    AppendPacked7Bit(built, message, 0);
  } else {
    built += "0008";  // protocol identifier, UCS2
    built += HexText(static_cast<std::uint32_t>(message.size() / 2));
    built += message;
  }

  length = TpduLength(built.size() - 2);
  pdu = std::move(built);
  return true;
}

bool Build_LMS_PDU(const std::string& number, const std::string& part, std::int16_t reference,
                   std::int16_t total, std::int16_t sequence) {
  if (part.empty() || part.size() > kMost7BitCharacters) return false;

  channel::Session& session = channel::CurrentSession();
  std::string built;
  built.reserve(40 + number.size() + part.size() * 2);
  built += "0061";  // no service centre; SMS-SUBMIT with a status report and a user data header
  built += "00";    // message reference
  AppendDestination(built, number);
  built += "0000";  // protocol identifier, GSM 7-bit
  const std::string user_data = Encode_7_bit_LMS(part);
  built += HexText(static_cast<std::uint32_t>(session.SeptetCount + 7));
  built += "050003";  // header length, concatenation with an 8-bit reference, element length
  built += HexText16(reference);
  built += HexText16(total);
  built += HexText16(sequence);
  built += user_data;

  const std::uint8_t length = TpduLength(built.size() - 2);
  session.LMS_PDU = std::move(built);
  session.LMS_PDU_Length = length;
  return true;
}

}  // namespace quandelstk::pdu
