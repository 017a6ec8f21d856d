#include "messages/user_data.hpp"

#include <vector>

#include "messages/gsm_alphabet.hpp"
#include "messages/utf8.hpp"
#include "pdu/field_writers.hpp"

namespace quandelstk::messages {

namespace {

constexpr int kConcatenated8 = 0x00;
constexpr int kConcatenated16 = 0x08;
constexpr int kSingleShift = 0x24;   // national language single shift
constexpr int kLockingShift = 0x25;  // national language locking shift

void NoteProblem(Message& m, const std::string& why) {
  if (m.problem.empty()) m.problem = why;
}

// The elements of a header (without its length octet). A concatenation element with a total or a
// sequence of 0, or a sequence above the total, is ignored, as receivers must.
void ReadElements(std::string_view header, Message& m) {
  for (std::size_t i = 0; i < header.size();) {
    if (i + 2 > header.size()) {
      NoteProblem(m, "the user data header ends inside an element");
      return;
    }
    const int id = static_cast<unsigned char>(header[i]);
    const std::size_t length = static_cast<unsigned char>(header[i + 1]);
    if (i + 2 + length > header.size()) {
      NoteProblem(m, "element " + std::to_string(id) + " of the user data header runs past its end");
      return;
    }
    const std::string_view v = header.substr(i + 2, length);
    m.elements.push_back(InformationElement{id, std::string(v)});
    auto at = [&v](std::size_t k) { return static_cast<int>(static_cast<unsigned char>(v[k])); };
    Concatenation c;
    bool concatenation = false;
    if (id == kConcatenated8 && length == 3) {
      c = Concatenation{at(0), at(1), at(2), false};
      concatenation = true;
    } else if (id == kConcatenated16 && length == 4) {
      c = Concatenation{at(0) << 8 | at(1), at(2), at(3), true};
      concatenation = true;
    }
    if (concatenation && c.total > 0 && c.sequence > 0 && c.sequence <= c.total) m.concatenation = c;
    if ((id == kLockingShift || id == kSingleShift) && m.coding.alphabet == Alphabet::Gsm7)
      NoteProblem(m, "national language tables are not supported (element " + std::to_string(id) +
                         "): the text is read with the default alphabet");
    i += 2 + length;
  }
}

}  // namespace

void ReadUserData(OctetReader& in, bool has_header, Message& m) {
  const int length = in.Octet();
  const bool gsm = m.coding.alphabet == Alphabet::Gsm7 && !m.coding.compressed;
  const std::size_t octets =
      gsm ? (static_cast<std::size_t>(length) * 7 + 7) / 8 : static_cast<std::size_t>(length);
  const std::string_view ud = in.Take(octets);
  if (ud.size() < octets)
    NoteProblem(m, "the user data ends after " + std::to_string(ud.size()) + " of its " +
                       std::to_string(octets) + " octets");

  std::size_t header_octets = 0;
  if (has_header) {
    header_octets = ud.empty() ? 1 : static_cast<std::size_t>(static_cast<unsigned char>(ud[0])) + 1;
    if (header_octets > ud.size()) {
      NoteProblem(m, "the user data header (" + std::to_string(header_octets) +
                         " octets) is longer than the user data");
      m.data = std::string(ud);
      return;
    }
    ReadElements(ud.substr(1, header_octets - 1), m);
  }
  const std::string_view body = ud.substr(header_octets);
  // A part of a longer message keeps its units: a character may continue in the next part.
  const bool part = m.concatenation && m.concatenation->total > 1;
  const bool more = part && m.concatenation->sequence < m.concatenation->total;

  if (m.coding.compressed) {
    NoteProblem(m, "the text is compressed, which this decoder does not expand");
    m.data = std::string(body);
    return;
  }
  switch (m.coding.alphabet) {
    case Alphabet::Gsm7: {
      // The text starts on the first septet boundary after the header.
      const std::size_t header_bits = header_octets * 8;
      const int fill = static_cast<int>((7 - header_bits % 7) % 7);
      const std::size_t header_septets = (header_bits + static_cast<std::size_t>(fill)) / 7;
      const std::size_t count = static_cast<std::size_t>(length) > header_septets
                                    ? static_cast<std::size_t>(length) - header_septets
                                    : 0;
      std::vector<std::uint8_t> septets;
      pdu::UnpackSeptets(body, fill, count, septets);
      m.escape_at_end = AppendGsmText(m.text, septets);
      if (part) m.units.assign(septets.begin(), septets.end());
      break;
    }
    case Alphabet::Ucs2: {
      if (body.size() % 2 != 0) NoteProblem(m, "the UCS2 text has an odd number of octets");
      // A high surrogate at the end of a part that has a next one: its low half begins that part.
      std::string_view own = body;
      if (more && own.size() >= 2 && own.size() % 2 == 0) {
        const auto high = static_cast<unsigned char>(own[own.size() - 2]);
        if (high >= 0xD8 && high <= 0xDB) own.remove_suffix(2);
      }
      Utf16OctetsToUtf8(own, m.text);
      if (part) m.units = std::string(body);
      break;
    }
    case Alphabet::EightBit:
      m.data = std::string(body);
      break;
  }
}

}  // namespace quandelstk::messages
