// The modem's answers the messages layer reads: listings, single reads, the reference of a
// submission, and the indications of new messages and reports that arrive unasked.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quandelstk::messages {

struct ListedPdu {
  int index = 0;   // 0 for a read by index (the command names it)
  int status = 0;  // 0 unread, 1 read, 2 unsent, 3 sent
  std::string pdu;
};

// The lines of a text, split at CR and LF, empty ones left out.
std::vector<std::string> AnswerLines(std::string_view text);

// "+CMGL: <index>,<stat>,[<alpha>],<length>" each followed by its PDU line. Lines of other kinds
// (an echo, an indication that came in between) are passed over.
std::vector<ListedPdu> ParseListing(std::string_view answer);
// "+CMGR: <stat>,[<alpha>],<length>" and the PDU line; none when the answer has no such line.
std::optional<ListedPdu> ParseRead(std::string_view answer);
// The reference of "+CMGS: <mr>".
std::optional<int> ParseSubmitReference(std::string_view answer);

struct Indication {
  enum class Kind { StoredMessage, StoredReport, Report, Message };  // +CMTI, +CDSI, +CDS, +CMT
  Kind kind = Kind::StoredMessage;
  std::string storage;  // stored kinds
  int index = -1;       // stored kinds (0 is an index; -1 when the line held none)
  std::string pdu;      // direct kinds
};

// The indications in text, in order. Text that ends inside a line (a PDU line not yet ended) is left
// for later: consumed receives how many characters were read up to the end of the last whole line
// (or indication).
std::vector<Indication> FindIndications(std::string_view text, std::size_t* consumed = nullptr);

}  // namespace quandelstk::messages
