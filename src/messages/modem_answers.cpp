#include "messages/modem_answers.hpp"

#include <cstdlib>

namespace quandelstk::messages {

namespace {

bool StartsWith(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '"')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '"')) s.remove_suffix(1);
  return s;
}

// The comma-separated fields after a "+XXXX: " prefix, quotes and blanks trimmed (commas inside
// quotes do not separate: an alphanumeric name may hold one).
std::vector<std::string_view> Fields(std::string_view line) {
  const std::size_t colon = line.find(':');
  if (colon != std::string_view::npos) line.remove_prefix(colon + 1);
  std::vector<std::string_view> fields;
  bool quoted = false;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= line.size(); ++i) {
    if (i < line.size() && line[i] == '"') quoted = !quoted;
    if (i == line.size() || (line[i] == ',' && !quoted)) {
      fields.push_back(Trimmed(line.substr(start, i - start)));
      start = i + 1;
    }
  }
  return fields;
}

std::optional<int> Number(std::string_view s) {
  if (s.empty() || s.size() > 9 || s.find_first_not_of("0123456789") != std::string_view::npos)
    return std::nullopt;
  return std::atoi(std::string(s).c_str());
}

bool IsHex(std::string_view s) {
  return !s.empty() && s.find_first_not_of("0123456789ABCDEFabcdef") == std::string_view::npos;
}

// The PDU line after a header line; "" when the next line is no PDU (a modem that lost it).
std::string PduAfter(const std::vector<std::string>& lines, std::size_t& k) {
  if (k + 1 < lines.size() && IsHex(lines[k + 1])) return lines[++k];
  return "";
}

}  // namespace

std::vector<std::string> AnswerLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == '\r' || text[i] == '\n') {
      if (i > start) lines.emplace_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  return lines;
}

std::vector<ListedPdu> ParseListing(std::string_view answer) {
  std::vector<ListedPdu> out;
  const std::vector<std::string> lines = AnswerLines(answer);
  for (std::size_t k = 0; k < lines.size(); ++k) {
    if (!StartsWith(lines[k], "+CMGL:")) continue;
    const auto f = Fields(lines[k]);
    const std::optional<int> index =
        f.empty() ? std::nullopt : Number(f[0]);  // 0 too: some modems start there
    ListedPdu p;
    p.index = index.value_or(-1);
    p.status = f.size() > 1 ? Number(f[1]).value_or(0) : 0;
    p.pdu = PduAfter(lines, k);
    if (index) out.push_back(std::move(p));
  }
  return out;
}

std::optional<ListedPdu> ParseRead(std::string_view answer) {
  const std::vector<std::string> lines = AnswerLines(answer);
  for (std::size_t k = 0; k < lines.size(); ++k) {
    if (!StartsWith(lines[k], "+CMGR:")) continue;
    const auto f = Fields(lines[k]);
    ListedPdu p;
    p.status = f.size() > 0 ? Number(f[0]).value_or(0) : 0;
    p.pdu = PduAfter(lines, k);
    return p;
  }
  return std::nullopt;
}

std::optional<int> ParseSubmitReference(std::string_view answer) {
  for (const std::string& line : AnswerLines(answer)) {
    if (!StartsWith(line, "+CMGS:")) continue;
    const auto f = Fields(line);
    if (!f.empty()) return Number(f[0]);
  }
  return std::nullopt;
}

std::vector<Indication> FindIndications(std::string_view text, std::size_t* consumed) {
  std::vector<Indication> out;
  std::size_t done = 0;
  std::size_t pos = 0;
  // Whole lines only: a line counts once its end has arrived.
  // Returns the position just past the line's end (its CR, LF or CR LF).
  auto next_line = [&text](std::size_t from, std::string_view& line) -> std::size_t {
    while (from < text.size() && (text[from] == '\r' || text[from] == '\n')) ++from;
    std::size_t end = text.find_first_of("\r\n", from);
    if (end == std::string_view::npos) return std::string_view::npos;
    line = text.substr(from, end - from);
    if (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ++end;
    return end + 1;
  };
  for (;;) {
    std::string_view line;
    const std::size_t end = next_line(pos, line);
    if (end == std::string_view::npos) break;
    Indication ind;
    bool stored = false, direct = false;
    if (StartsWith(line, "+CMTI:"))
      ind.kind = Indication::Kind::StoredMessage, stored = true;
    else if (StartsWith(line, "+CDSI:"))
      ind.kind = Indication::Kind::StoredReport, stored = true;
    else if (StartsWith(line, "+CDS:"))
      ind.kind = Indication::Kind::Report, direct = true;
    else if (StartsWith(line, "+CMT:"))
      ind.kind = Indication::Kind::Message, direct = true;
    if (stored) {
      const auto f = Fields(line);
      ind.storage = f.size() > 0 ? std::string(f[0]) : "SM";
      ind.index = f.size() > 1 ? Number(f[1]).value_or(-1) : -1;
      out.push_back(ind);
      pos = done = end;
      continue;
    }
    if (direct) {
      std::string_view pdu;
      const std::size_t pdu_end = next_line(end, pdu);
      if (pdu_end == std::string_view::npos) break;  // its PDU line has not ended yet
      ind.pdu = std::string(pdu);
      out.push_back(ind);
      pos = done = pdu_end;
      continue;
    }
    pos = done = end;
  }
  if (consumed) *consumed = done;
  return out;
}

}  // namespace quandelstk::messages
