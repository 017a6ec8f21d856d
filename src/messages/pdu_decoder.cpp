// Stored and received PDUs in full: SMS-DELIVER, SMS-SUBMIT and SMS-STATUS-REPORT.
#include "messages/fields.hpp"
#include "messages/user_data.hpp"
#include "pdu/field_writers.hpp"

namespace quandelstk::messages {

namespace {

constexpr int kMoreMessagesNone = 0x04;  // set: no more messages wait at the centre
constexpr int kReportFlag = 0x20;        // report requested / will be returned / qualifier
constexpr int kHeaderPresent = 0x40;
constexpr int kReplyPath = 0x80;

// A time stamp with a digit that is not decimal: its values are kept, and the reason noted after
// any graver one.
void ReadTime(OctetReader& in, Timestamp& t, const char* what, std::string& note) {
  if (!ReadTimestamp(in, t) && note.empty())
    note = std::string("the ") + what + " holds a digit that is not decimal";
}

void ReadDeliver(OctetReader& in, int first, Message& m, std::string& note) {
  const AddressField a = ReadAddress(in);
  m.address = a.text;
  m.address_type = a.type;
  m.protocol_identifier = in.Octet();
  m.coding = ReadDataCoding(in.Octet());
  m.time.emplace();
  ReadTime(in, *m.time, "service-centre time stamp", note);
  m.more_to_send = (first & kMoreMessagesNone) == 0;
  ReadUserData(in, (first & kHeaderPresent) != 0, m);
}

void ReadSubmit(OctetReader& in, int first, Message& m) {
  m.reference = in.Octet();
  const AddressField a = ReadAddress(in);
  m.address = a.text;
  m.address_type = a.type;
  m.protocol_identifier = in.Octet();
  m.coding = ReadDataCoding(in.Octet());
  m.validity = ReadValidity(in, (first >> 3) & 0x3);
  ReadUserData(in, (first & kHeaderPresent) != 0, m);
}

void ReadStatusReport(OctetReader& in, int first, Message& m, std::string& note) {
  m.reference = in.Octet();
  const AddressField a = ReadAddress(in);
  m.address = a.text;
  m.address_type = a.type;
  m.time.emplace();
  ReadTime(in, *m.time, "service-centre time stamp", note);
  m.discharge.emplace();
  ReadTime(in, *m.discharge, "discharge time", note);
  m.status = in.Octet();
  if (in.Left() == 0) return;
  // Optional parameters, announced by the parameter indicator (more indicator octets follow while
  // bit 7 is set).
  const int indicator = in.Octet();
  for (int more = indicator; (more & 0x80) && in.Left() > 0;) more = in.Octet();
  if (indicator & 0x01) m.protocol_identifier = in.Octet();
  if (indicator & 0x02) m.coding = ReadDataCoding(in.Octet());
  if (indicator & 0x04) ReadUserData(in, (first & kHeaderPresent) != 0, m);
}

}  // namespace

const char* MessageTypeName(MessageType type) {
  switch (type) {
    case MessageType::Deliver:
      return "SMS-DELIVER";
    case MessageType::Submit:
      return "SMS-SUBMIT";
    case MessageType::StatusReport:
      return "SMS-STATUS-REPORT";
  }
  return "?";
}

Message DecodePdu(std::string_view hex, bool with_service_centre) {
  Message m;
  m.pdu = std::string(hex);
  std::string octets;
  if (!pdu::OctetsFromHex(hex, octets)) {
    m.problem = hex.size() % 2 ? "the PDU has an odd number of hex digits"
                               : "the PDU holds a character that is not a hex digit";
    return m;
  }
  OctetReader in(octets);
  if (with_service_centre) m.service_centre = ReadServiceCentre(in).text;
  const int first = in.Octet();
  std::string note;
  m.report_requested = (first & kReportFlag) != 0;
  m.reply_path = (first & kReplyPath) != 0;
  switch (first & 0x3) {
    case 0:
    case 3:  // reserved: read as an SMS-DELIVER (3GPP TS 23.040), pdu keeps it as it came
      m.type = MessageType::Deliver;
      ReadDeliver(in, first, m, note);
      break;
    case 1:
      m.type = MessageType::Submit;
      ReadSubmit(in, first, m);
      break;
    case 2:
      m.type = MessageType::StatusReport;
      m.reply_path = false;
      ReadStatusReport(in, first, m, note);
      break;
  }
  if (in.RanShort() && m.problem.empty())
    m.problem = "the PDU ends early, after " + std::to_string(octets.size()) + " octets";
  if (m.problem.empty()) m.problem = note;
  return m;
}

}  // namespace quandelstk::messages
