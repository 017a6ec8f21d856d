// The simulator's own SMS TPDU codec, written from 3GPP TS 23.040: SMS-DELIVER, SMS-SUBMIT and
// SMS-STATUS-REPORT with addresses, time stamps, the data coding scheme and the concatenation
// headers. Octet buffers are std::string; PDUs on the AT line are upper-case hex.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quandelstk::modemsim {

class PduError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A number as the modem shows it: a leading '+' for the international type (145).
struct Address {
  std::string number;
  int type = 129;

  static Address FromText(std::string_view number);  // 145 with a '+', else 129
};

// A service-centre time stamp: local time and its zone in signed quarter hours.
struct Timestamp {
  int year = 0, month = 1, day = 1, hour = 0, minute = 0, second = 0, zone = 0;

  std::string Text() const;  // "yy/MM/dd,hh:mm:ss+zz"
  static std::optional<Timestamp> Parse(std::string_view text);
  Timestamp PlusSeconds(std::int64_t seconds) const;
};

enum class Alphabet { kGsm7, kEight, kUcs2 };
Alphabet AlphabetOf(int dcs);

struct Concat {
  int reference = 0, total = 0, sequence = 0;
  bool wide = false;  // a 16-bit reference (information element 8)
};

struct UserData {
  std::string header;  // the information elements, without the length octet
  std::optional<Concat> concat;
  std::u16string text;  // 7-bit and UCS2
  std::string octets;   // the payload after the header (8-bit data, or the UCS2 octets)
};

enum class PduType { kDeliver, kSubmit, kStatusReport };

struct Tpdu {
  PduType type = PduType::kDeliver;
  int first_octet = 0;
  int reference = 0;  // TP-MR of a submission or a report
  Address address;    // originator, destination or recipient
  int pid = 0, dcs = 0;
  Timestamp scts;        // deliver and report
  std::string validity;  // submit: the raw validity-period octets
  int udl = 0;           // septets for 7-bit, octets otherwise
  std::string ud;        // raw user data octets, header included
  Timestamp discharge;   // report
  int status = 0;        // report

  bool HasHeader() const { return (first_octet & 0x40) != 0; }
  bool RequestsReport() const { return type == PduType::kSubmit && (first_octet & 0x20) != 0; }
  UserData Decoded() const;
  // Sets dcs, udl and ud: 7-bit when every character has a GSM form, else UCS2.
  void SetText(std::u16string_view text, std::optional<Concat> concat = std::nullopt);
};

struct Pdu {
  Address smsc;  // empty number: none given
  Tpdu tpdu;
};

Tpdu DecodeTpdu(std::string_view octets);
Pdu DecodePdu(std::string_view hex);  // service-centre field first
std::string EncodeTpdu(const Tpdu& tpdu);
std::string EncodePdu(const Pdu& pdu);  // hex, service-centre field first

}  // namespace quandelstk::modemsim
