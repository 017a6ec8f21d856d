// The PDU module: field codecs, SMS-SUBMIT builders and the stored-message decoder.
// Texts are 8-bit character codes (one byte per character); PDUs are upper-case hex text.
//
// Reading hex: wherever a pair of digits is read as a number, digits of either case count, and a pair
// holding anything else reads as 0, never as an error; so does a pair cut past the end of the text.
// Writing hex: upper-case, a single digit gets a leading "0", nothing else is padded or cut.
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

// Type "91" and the "+" dropped when the number begins with "+", else "81"; no other character is
// removed or checked.
SemiOctets Encode_Semi_Octets(const std::string& number);
// "+" first for type "91"; each pair is appended second character first, only the second when the
// first is "F" (upper case only). A lone last character is appended as it stands.
std::string Decode_Semi_Octets(const std::string& digits, const std::string& type_of_address);
// Codes outside the table, including codes outside 0 to 255, come back unchanged.
std::int16_t Convert_To_GSM(std::int16_t code);

// Each character packs to the low seven bits of its GSM code. Characters are 8-bit codes here, so
// no character lies outside 0 to 255: the conversion of host text to 8-bit codes (the automation
// layer, the CLI) is where a character the native set lacks is refused.
std::string Encode_7_bit(const std::string& text);
// Packs behind a six-octet user data header (one zero fill bit first) and sets the thread's
// SeptetCount to the number of characters. SeptetCount is a 16-bit count: a text of more than 32767
// characters raises RuntimeError 6 (overflow) and leaves it 0.
std::string Encode_7_bit_LMS(const std::string& text);
// Unpacks septets characters from the packed hex and writes the trace records of the unpacking to
// the diagnostic log, in one write that gives the file exactly what writing them one by one would.
// Only whole octets are read: a lone digit at the end of the text is not an octet. More than 32768
// octets overflow the 16-bit octet counter of the trace (RuntimeError 6).
std::string Decode_7_bit(std::int16_t septets, const std::string& hex);
// count characters, one per octet; octets past the end of the text are 0. A count of 0 or less
// gives "".
std::string Decode_8_bit(std::int16_t count, const std::string& hex);
// Looks each group of four digits up in "Unicode.txt" in the library's folder; a group the table
// lacks gives the character with code 1. Raises RuntimeError 53 naming the path when the file is
// missing (75 when it cannot be read); an empty text gives "" without reading the table.
// - A text whose length is not a multiple of four: the last, shorter group is looked up as it stands
//   ("0x" and its one to three digits), which the shipped table never matches, so it gives code 1.
// - A matching table line with no tab after its first "0x" has no native code to give: the lookup
//   raises RuntimeError 5 naming the file and the line, since such a table is damaged.
// - Table lines end at LF, with or without a CR before it.
std::string Decode_Unicode(const std::string& hex);

// coding 7 (GSM 7-bit) or 16 (message already UCS2 hex). On refusal returns false, outs untouched.
// Refuses a 7-bit message of more than 160 characters, a UCS2 text of more than 280 digits, and any
// other coding. The counts are whole octets, halves dropped: a UCS2 text with an odd number of
// digits gets the user data length (digits - 1) / 2 and is passed on as it stands, and the TPDU
// length is its digit count divided by 2, rounded down in the same way (the modem then refuses the
// PDU). A TPDU of more than 255 octets (only a destination of hundreds of digits makes one) does not
// fit the 8-bit length: RuntimeError 6, outs untouched.
bool Build_SMS_PDU(const std::string& message, const std::string& number, std::int16_t coding,
                   std::uint8_t& length, std::string& pdu);
// On success sets the thread's LMS_PDU and LMS_PDU_Length. Refuses an empty part or one of more than
// 160 characters. Reference, total and sequence are not checked: a value outside 0 to 255 writes
// more than two digits (a negative one its 16-bit pattern, -1 giving FFFF). A TPDU of more than 255
// octets raises RuntimeError 6 and sets neither.
bool Build_LMS_PDU(const std::string& number, const std::string& part, std::int16_t reference,
                   std::int16_t total, std::int16_t sequence);

// Raises a RuntimeError when the PDU cannot be decoded: 5 for a received message whose data coding
// octet is not 00, 04, F5 or 08; the errors of Decode_Unicode for UCS2 text.
// - The concatenation fields are set only for 7-bit text, as a header-less 7-bit message sets them
//   (not concatenated) or as the header gives them; for 8-bit and UCS2 text they stay unset.
// - An 8-bit or UCS2 message with a user data header: the header (its length octet H and H octets
//   more) is left out of the text; the 8-bit count is the user data length minus H + 1.
// - A 7-bit message with a user data header drops exactly seven characters whatever H is, and reads
//   the concatenation fields at fixed places of the header.
// - An address length of 0 consumes no type-of-address octet.
// - A message type that is neither SMS-SUBMIT nor SMS-DELIVER (bit 0 clear) is decoded as an
//   SMS-DELIVER.
DecodedPdu Decode_PDU(const std::string& pdu);
// Fills Originator and Text from the text after the first octet of a stored SMS-SUBMIT. An unknown
// data coding leaves the text empty. With a user data header (bit 6 of the first octet) the header
// is left out of the text in every coding: 8-bit and UCS2 as in Decode_PDU, 7-bit by dropping the
// characters that the header octets and their fill bits take (seven for the usual six octets).
void Decode_Submit_PDU(const std::string& rest, std::int16_t first_octet, DecodedPdu& record);

}  // namespace quandelstk::pdu
