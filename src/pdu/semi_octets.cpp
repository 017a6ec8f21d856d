// Telephone numbers as swapped-nibble digit fields.
#include "pdu/field_writers.hpp"
#include "pdu/hex_text.hpp"
#include "pdu/pdu.hpp"

namespace quandelstk::pdu {

void AppendSwappedDigits(std::string& out, std::string_view digits) {
  const std::size_t pairs = digits.size() / 2;
  for (std::size_t i = 0; i < pairs; ++i) {
    out += digits[2 * i + 1];
    out += digits[2 * i];
  }
  if (digits.size() % 2 != 0) {
    out += 'F';
    out += digits.back();
  }
}

SemiOctets Encode_Semi_Octets(const std::string& number) {
  SemiOctets field;
  std::string_view digits = number;
  if (!digits.empty() && digits.front() == '+') {
    field.type_of_address = "91";
    digits.remove_prefix(1);
  } else {
    field.type_of_address = "81";
  }
  field.length = HexText(static_cast<std::uint32_t>(digits.size()));
  field.digits.reserve(digits.size() + 1);
  AppendSwappedDigits(field.digits, digits);
  return field;
}

std::string Decode_Semi_Octets(const std::string& digits, const std::string& type_of_address) {
  std::string number = type_of_address == "91" ? "+" : "";
  number.reserve(number.size() + digits.size());
  for (std::size_t i = 0; i < digits.size(); i += 2) {
    const char first = digits[i];
    const std::string_view second = i + 1 < digits.size() ? std::string_view(&digits[i + 1], 1) : "";
    if (first == 'F') {
      number += second;
    } else {
      number += second;
      number += first;
    }
  }
  return number;
}

}  // namespace quandelstk::pdu
