// SMS-SUBMIT PDUs of a UTF-8 text: every part of it, with the options people ask for.
#include <vector>

#include "messages/fields.hpp"
#include "messages/text_parts.hpp"
#include "messages/utf8.hpp"
#include "pdu/field_writers.hpp"
#include "pdu/hex_text.hpp"
#include "quandelstk/errors.hpp"

namespace quandelstk::messages {

namespace {

constexpr int kSubmit = 0x01;
constexpr int kRelativeValidity = 0x10;
constexpr int kReportRequest = 0x20;
constexpr int kHeaderPresent = 0x40;

// A code point's UTF-16 code units as hex, straight into the PDU.
void AppendUtf16Hex(std::string& hex, char32_t cp) {
  auto unit = [&hex](unsigned u) {
    pdu::AppendHexOctet(hex, u >> 8);
    pdu::AppendHexOctet(hex, u & 0xFF);
  };
  if (cp > 0xFFFF) {
    unit(0xD800 + ((cp - 0x10000) >> 10));
    unit(0xDC00 + ((cp - 0x10000) & 0x3FF));
  } else {
    unit(cp);
  }
}

}  // namespace

TextPlan Plan(std::string_view utf8, const SendOptions& options) {
  return SplitText(utf8, options.wide_reference).plan;
}

std::vector<SubmitPart> EncodeSubmit(std::string_view number, std::string_view utf8,
                                     const SendOptions& options, int reference) {
  if (utf8.empty()) throw RuntimeError(err::kInvalidProcedureCall, "the text is empty");
  const int most_reference = options.wide_reference ? 0xFFFF : 0xFF;
  if (reference < 0 || reference > most_reference)
    throw RuntimeError(err::kInvalidProcedureCall, "the concatenation reference " +
                                                       std::to_string(reference) + " is outside 0 to " +
                                                       std::to_string(most_reference));
  const TextParts t = SplitText(utf8, options.wide_reference);
  const bool gsm = t.plan.alphabet == Alphabet::Gsm7;
  const bool concatenated = t.plan.parts > 1;

  std::string head;  // everything up to the data coding scheme is the same in every part
  AppendServiceCentre(head, options.service_centre);
  const std::size_t centre_digits = head.size();
  int first = kSubmit;
  if (options.validity) first |= kRelativeValidity;
  if (options.status_report) first |= kReportRequest;
  if (concatenated) first |= kHeaderPresent;
  pdu::AppendHexOctet(head, static_cast<unsigned>(first));
  head += "00";  // message reference: the modem sets it
  AppendDestination(head, number);
  head += "00";  // protocol identifier: plain short message
  pdu::AppendHexOctet(head, (gsm ? 0x00u : 0x08u) | (options.flash ? 0x10u : 0x00u));
  if (options.validity)
    pdu::AppendHexOctet(head, static_cast<unsigned>(RelativeValidityOctet(*options.validity)));

  std::vector<SubmitPart> parts;
  parts.reserve(static_cast<std::size_t>(t.plan.parts));
  for (std::size_t p = 0; p < t.starts.size(); ++p) {
    SubmitPart part;
    part.sequence = static_cast<int>(p + 1);
    const std::size_t begin = t.starts[p];
    const std::size_t end = p + 1 < t.starts.size() ? t.starts[p + 1] : t.code_points.size();
    const std::size_t byte_end = p + 1 < t.byte_starts.size() ? t.byte_starts[p + 1] : utf8.size();
    part.text = std::string(utf8.substr(t.byte_starts[p], byte_end - t.byte_starts[p]));

    std::string header;
    if (concatenated) {
      if (options.wide_reference) {
        header = {0x06, 0x08, 0x04, static_cast<char>(reference >> 8), static_cast<char>(reference & 0xFF)};
      } else {
        header = {0x05, 0x00, 0x03, static_cast<char>(reference)};
      }
      header += static_cast<char>(t.plan.parts);
      header += static_cast<char>(part.sequence);
    }
    std::string& hex = part.pdu;
    hex.reserve(head.size() + 2 + 2 * 140);
    hex = head;
    if (gsm) {
      const std::size_t s_begin = t.septet_starts[p];
      const std::size_t s_end = p + 1 < t.septet_starts.size() ? t.septet_starts[p + 1] : t.septets.size();
      // The septets start on a septet boundary after the header: fill bits up to it.
      const int header_bits = static_cast<int>(header.size()) * 8;
      const int fill = (7 - header_bits % 7) % 7;
      const int header_septets = (header_bits + fill) / 7;
      pdu::AppendHexOctet(hex, static_cast<unsigned>(header_septets + static_cast<int>(s_end - s_begin)));
      pdu::AppendHexOctets(hex, header);
      pdu::AppendPackedSeptetsWith(hex, s_end - s_begin, fill,
                                   [&t, s_begin](std::size_t k) { return t.septets[s_begin + k]; });
    } else {
      std::size_t octets = header.size();
      for (std::size_t k = begin; k < end; ++k)
        octets += 2 * static_cast<std::size_t>(Utf16Units(t.code_points[k]));
      pdu::AppendHexOctet(hex, static_cast<unsigned>(octets));
      pdu::AppendHexOctets(hex, header);
      for (std::size_t k = begin; k < end; ++k) AppendUtf16Hex(hex, t.code_points[k]);
    }
    part.tpdu_length = static_cast<int>((hex.size() - centre_digits) / 2);
    parts.push_back(std::move(part));
  }
  return parts;
}

}  // namespace quandelstk::messages
