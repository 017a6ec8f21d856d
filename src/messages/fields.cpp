#include "messages/fields.hpp"

#include <cstdio>
#include <vector>

#include "messages/gsm_alphabet.hpp"
#include "pdu/field_writers.hpp"
#include "pdu/hex_text.hpp"
#include "pdu/pdu.hpp"
#include "quandelstk/errors.hpp"

namespace quandelstk::messages {

namespace {

constexpr int kTypeOfNumber = 0x70;
constexpr int kInternational = 0x10;
constexpr int kAlphanumeric = 0x50;

// Semi-octet digits as people write them: A to E stand for *, #, a, b and c.
std::string DigitsOf(std::string_view octets, std::size_t digits) {
  std::string hex;
  pdu::AppendHexOctets(hex, octets);
  std::string number = pdu::Decode_Semi_Octets(hex, "");
  if (number.size() > digits) number.resize(digits);
  for (char& c : number) {
    if (c >= 'A' && c <= 'E') c = "*#abc"[c - 'A'];
  }
  return number;
}

int SwappedDigits(int octet, bool& decimal) {
  const int low = octet & 0xF, high = octet >> 4;
  if (low > 9 || high > 9) decimal = false;
  return low * 10 + high;
}

}  // namespace

AddressField ReadAddress(OctetReader& in) {
  AddressField a;
  const int length = in.Octet();
  a.type = in.Octet();
  const std::string_view value = in.Take(static_cast<std::size_t>(length + 1) / 2);
  if ((a.type & kTypeOfNumber) == kAlphanumeric) {
    std::vector<std::uint8_t> septets;
    pdu::UnpackSeptets(value, 0, static_cast<std::size_t>(length) * 4 / 7, septets);
    AppendGsmText(a.text, septets);
    return a;
  }
  a.text = ((a.type & kTypeOfNumber) == kInternational ? "+" : "") +
           DigitsOf(value, static_cast<std::size_t>(length));
  return a;
}

AddressField ReadServiceCentre(OctetReader& in) {
  AddressField a;
  const int length = in.Octet();
  if (length == 0) return a;
  a.type = in.Octet();
  const std::string_view value = in.Take(static_cast<std::size_t>(length - 1));
  a.text = ((a.type & kTypeOfNumber) == kInternational ? "+" : "") + DigitsOf(value, value.size() * 2);
  return a;
}

namespace {

// The digits of a number in semi-octet form ("*" and "#" as A and B); the type from its "+".
std::string SemiOctetDigits(std::string_view number, int& type, const char* what) {
  type = 0x81;
  if (!number.empty() && number.front() == '+') {
    type = 0x91;
    number.remove_prefix(1);
  }
  if (number.empty() || number.size() > 20)
    throw RuntimeError(err::kInvalidProcedureCall,
                       std::string(what) + " must have 1 to 20 digits, optionally after a \"+\"");
  std::string digits;
  for (const char c : number) {
    if (c >= '0' && c <= '9')
      digits += c;
    else if (c == '*')
      digits += 'A';
    else if (c == '#')
      digits += 'B';
    else
      throw RuntimeError(err::kInvalidProcedureCall, std::string(what) + " \"" + std::string(number) +
                                                         "\" holds \"" + c +
                                                         "\"; give digits, * or #, optionally after a \"+\"");
  }
  return digits;
}

}  // namespace

void AppendDestination(std::string& hex, std::string_view number) {
  int type = 0;
  const std::string digits = SemiOctetDigits(number, type, "the number");
  pdu::AppendHexOctet(hex, static_cast<unsigned>(digits.size()));
  pdu::AppendHexOctet(hex, static_cast<unsigned>(type));
  pdu::AppendSwappedDigits(hex, digits);
}

void AppendServiceCentre(std::string& hex, std::string_view number) {
  if (number.empty()) {
    hex += "00";
    return;
  }
  int type = 0;
  const std::string digits = SemiOctetDigits(number, type, "the service centre");
  pdu::AppendHexOctet(hex, static_cast<unsigned>(1 + (digits.size() + 1) / 2));
  pdu::AppendHexOctet(hex, static_cast<unsigned>(type));
  pdu::AppendSwappedDigits(hex, digits);
}

bool ReadTimestamp(OctetReader& in, Timestamp& t) {
  bool decimal = true;
  t.year = 2000 + SwappedDigits(in.Octet(), decimal);
  t.month = SwappedDigits(in.Octet(), decimal);
  t.day = SwappedDigits(in.Octet(), decimal);
  t.hour = SwappedDigits(in.Octet(), decimal);
  t.minute = SwappedDigits(in.Octet(), decimal);
  t.second = SwappedDigits(in.Octet(), decimal);
  // The zone in quarter hours; bit 3 of the octet (the first digit's top bit) is its sign.
  const int zone = in.Octet();
  const int quarters = SwappedDigits(zone & ~0x08, decimal);
  t.zone_minutes = (zone & 0x08 ? -15 : 15) * quarters;
  return decimal;
}

std::string Timestamp::Text() const {
  char buf[48];
  const int z = zone_minutes < 0 ? -zone_minutes : zone_minutes;
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d %c%02d:%02d", year, month, day, hour, minute,
                second, zone_minutes < 0 ? '-' : '+', z / 60, z % 60);
  return buf;
}

std::int64_t RelativeValiditySeconds(int octet) {
  if (octet <= 143) return (octet + 1) * 5 * 60;                            // 5 minutes steps up to 12 hours
  if (octet <= 167) return (12 * 60 + (octet - 143) * 30) * 60;             // half hours up to a day
  if (octet <= 196) return static_cast<std::int64_t>(octet - 166) * 86400;  // days up to 30
  return static_cast<std::int64_t>(octet - 192) * 7 * 86400;                // weeks up to 63
}

int RelativeValidityOctet(std::chrono::minutes minutes) {
  const std::int64_t seconds = std::chrono::duration_cast<std::chrono::seconds>(minutes).count();
  for (int octet = 0; octet <= 255; ++octet)
    if (RelativeValiditySeconds(octet) >= seconds) return octet;
  return 255;
}

Validity ReadValidity(OctetReader& in, int format) {
  Validity v;
  switch (format) {
    case 2:
      v.format = Validity::Format::Relative;
      v.seconds = RelativeValiditySeconds(in.Octet());
      break;
    case 3:
      v.format = Validity::Format::Absolute;
      ReadTimestamp(in, v.absolute);
      break;
    case 1: {
      v.format = Validity::Format::Enhanced;
      const std::string_view field = in.Take(7);
      OctetReader f(field);
      const int indicator = f.Octet();
      v.single_shot = (indicator & 0x40) != 0;
      if (indicator & 0x80) f.Octet();  // one more indicator octet, nothing we use
      bool decimal = true;
      switch (indicator & 0x7) {
        case 1:
          v.seconds = RelativeValiditySeconds(f.Octet());
          break;
        case 2:
          v.seconds = f.Octet();
          break;
        case 3: {
          const int h = SwappedDigits(f.Octet(), decimal), m = SwappedDigits(f.Octet(), decimal);
          v.seconds = h * 3600 + m * 60 + SwappedDigits(f.Octet(), decimal);
          break;
        }
        default:
          break;  // none given, or a reserved format
      }
      break;
    }
    default:
      break;
  }
  return v;
}

std::string Validity::Text() const {
  auto duration = [](std::int64_t s) {
    if (s % 604800 == 0) return std::to_string(s / 604800) + (s == 604800 ? " week" : " weeks");
    if (s % 86400 == 0) return std::to_string(s / 86400) + (s == 86400 ? " day" : " days");
    if (s % 3600 == 0) return std::to_string(s / 3600) + (s == 3600 ? " hour" : " hours");
    if (s % 60 == 0) return std::to_string(s / 60) + " min";
    return std::to_string(s) + " s";
  };
  switch (format) {
    case Format::None:
      return "";
    case Format::Relative:
      return duration(seconds);
    case Format::Absolute:
      return "until " + absolute.Text();
    case Format::Enhanced:
      return duration(seconds) + (single_shot ? ", single attempt" : "");
  }
  return "";
}

}  // namespace quandelstk::messages
