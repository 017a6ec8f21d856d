// The fields a TPDU is made of, each read from and written to octets: addresses, time stamps,
// validity periods.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "messages/octet_reader.hpp"
#include "quandelstk/messages.hpp"

namespace quandelstk::messages {

struct AddressField {
  std::string text;  // "+" and digits, national digits, or an alphanumeric name
  int type = 0x81;
};

// An address field (length in semi-octets, type, value). An alphanumeric one is packed septets.
AddressField ReadAddress(OctetReader& in);
// The service-centre field: length in octets, type, digits. Length 0: none.
AddressField ReadServiceCentre(OctetReader& in);

// Appends the hex of a destination (length in digits, type, swapped digits); "+" makes it
// international. Throws RuntimeError 5 for characters other than digits, "*" and "#", or for none.
void AppendDestination(std::string& hex, std::string_view number);
// Appends the hex of a service-centre field ("00" for none).
void AppendServiceCentre(std::string& hex, std::string_view number);

// Seven swapped-digit octets; false when a digit is not decimal (the values are still filled).
bool ReadTimestamp(OctetReader& in, Timestamp& out);

// The relative validity octet and its period.
std::int64_t RelativeValiditySeconds(int octet);
// The smallest octet whose period is at least minutes (the longest, 63 weeks, beyond that).
int RelativeValidityOctet(std::chrono::minutes minutes);
// The validity field of an SMS-SUBMIT in the format its first octet names.
Validity ReadValidity(OctetReader& in, int format);

}  // namespace quandelstk::messages
