// The PDU module: field codecs, SMS-SUBMIT builders and the stored-message decoder.
// Texts are 8-bit character codes (one byte per character); PDUs are upper-case hex text.
#pragma once

#include <cstdint>
#include <string>

#include "quandelstk/decoded_pdu.hpp"

namespace quandelstk::pdu {

struct SemiOctets {
  std::string type_of_address;  // "91" or "81"
  std::string length;           // digit count as hex text
  std::string digits;           // swapped nibbles, "F"-padded
};

SemiOctets Encode_Semi_Octets(const std::string& number);
std::string Decode_Semi_Octets(const std::string& digits, const std::string& type_of_address);
std::int16_t Convert_To_GSM(std::int16_t code);
std::string Encode_7_bit(const std::string& text);
// Sets the thread's SeptetCount.
std::string Encode_7_bit_LMS(const std::string& text);
// Writes its trace records to the diagnostic log.
std::string Decode_7_bit(std::int16_t septets, const std::string& hex);
std::string Decode_8_bit(std::int16_t count, const std::string& hex);
// Reads "Unicode.txt" in the library's folder; raises a RuntimeError naming the path when missing.
std::string Decode_Unicode(const std::string& hex);

// coding 7 (GSM 7-bit) or 16 (message already UCS2 hex). On refusal returns false, outs untouched.
bool Build_SMS_PDU(const std::string& message, const std::string& number, std::int16_t coding,
                   std::uint8_t& length, std::string& pdu);
// On success sets the thread's LMS_PDU and LMS_PDU_Length.
bool Build_LMS_PDU(const std::string& number, const std::string& part, std::int16_t reference,
                   std::int16_t total, std::int16_t sequence);

// Raises a RuntimeError when the PDU cannot be decoded (an unknown data coding of a received
// message, a missing code table).
DecodedPdu Decode_PDU(const std::string& pdu);
// Fills Originator and Text from the text after the first octet of a stored SMS-SUBMIT.
void Decode_Submit_PDU(const std::string& rest, std::int16_t first_octet, DecodedPdu& record);

}  // namespace quandelstk::pdu
