#include "message_view.hpp"

#include <fmt/core.h>

#include "charset.hpp"

namespace quandelstk::cli {

namespace {

using messages::AssembledMessage;
using messages::Message;
using messages::MessageType;

const char* StatusName(int status) {
  static const char* kNames[] = {"unread", "read", "unsent", "sent"};
  return status >= 0 && status <= 3 ? kNames[status] : "?";
}

nlohmann::json OptionalTime(const std::optional<messages::Timestamp>& t) {
  return t ? nlohmann::json(t->Text()) : nlohmann::json(nullptr);
}

std::string CodingText(const messages::DataCoding& c) {
  std::string s = messages::AlphabetName(c.alphabet);
  if (c.reserved) s += fmt::format(" (reserved coding 0x{:02X})", c.octet);
  if (c.compressed) s += ", compressed";
  if (c.message_class) s += *c.message_class == 0 ? ", flash" : fmt::format(", class {}", *c.message_class);
  if (c.waiting) {
    static const char* kKinds[] = {"voicemail", "fax", "e-mail", "other"};
    s += fmt::format(", {} waiting {}", kKinds[static_cast<int>(c.waiting->kind)],
                     c.waiting->active ? "on" : "off");
  }
  return s;
}

std::string StorageOf(const AssembledMessage& m, std::size_t k) {
  return k < m.storages.size() ? m.storages[k] : m.storage;
}

// "#1,3 SM", or "#5 SM, 1 ME" for parts in different storages.
std::string Indexes(const AssembledMessage& m) {
  if (m.indexes.empty()) return m.storage.empty() ? "new" : m.storage;
  bool one_storage = true;
  for (std::size_t k = 0; k < m.indexes.size(); ++k)
    one_storage = one_storage && StorageOf(m, k) == StorageOf(m, 0);
  std::string s = "#";
  for (std::size_t k = 0; k < m.indexes.size(); ++k) {
    s += (k ? (one_storage ? "," : ", ") : "") + std::to_string(m.indexes[k]);
    if (!one_storage && !StorageOf(m, k).empty()) s += " " + StorageOf(m, k);
  }
  return s + (one_storage && !StorageOf(m, 0).empty() ? " " + StorageOf(m, 0) : "");
}

// Control characters shown as EscapeControls shows them, but a backslash as itself: EscapeControls
// doubles it, which a reader of the message did not write.
std::string ShownControls(std::string_view text) {
  const std::string escaped = EscapeControls(text);
  std::string plain;
  for (std::size_t i = 0; i < escaped.size(); ++i) {
    plain += escaped[i];
    if (escaped[i] == '\\' && i + 1 < escaped.size() && escaped[i + 1] == '\\') ++i;
  }
  return plain;
}

std::string Shortened(const std::string& text) {
  std::string s = ShownControls(text);
  if (s.size() > 40) {
    std::size_t cut = 40;
    while (cut > 0 && (static_cast<unsigned char>(s[cut]) & 0xC0) == 0x80) --cut;  // not inside a character
    s = s.substr(0, cut) + "…";
  }
  return s;
}

// The text as people read it: lines indented under the heading, other control characters shown.
std::string Displayed(const std::string& text) {
  std::string out;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == '\n') {
      out += (start ? "\n    " : "") + ShownControls(std::string_view(text).substr(start, i - start));
      start = i + 1;
    }
  }
  return out;
}

}  // namespace

std::string HexOf(const std::string& octets) {
  std::string hex;
  for (const char c : octets) hex += fmt::format("{:02X}", static_cast<unsigned char>(c));
  return hex;
}

nlohmann::json MessageJson(const Message& m) {
  nlohmann::json j = {
      {"type", messages::MessageTypeName(m.type)},
      {"service_centre", m.service_centre},
      {"address", m.address},
      {"address_type", m.address_type},
      {"coding", messages::AlphabetName(m.coding.alphabet)},
      {"data_coding", m.coding.octet},
      {"class", m.coding.message_class ? nlohmann::json(*m.coding.message_class) : nlohmann::json(nullptr)},
      {"time", OptionalTime(m.time)},
      {"text", m.text},
      {"data", HexOf(m.data)},
      {"decoded", m.Decoded()},
      {"problem", m.problem},
      {"pdu", m.pdu}};
  if (m.type == MessageType::Submit) {
    j["reference"] = m.reference;
    j["validity"] = m.validity.Text();
    j["report_requested"] = m.report_requested;
  }
  if (m.IsReport()) {
    j["reference"] = m.reference;
    j["status"] = m.status;
    j["status_text"] = messages::StatusText(m.status);
    j["discharge"] = OptionalTime(m.discharge);
  }
  if (m.concatenation)
    j["concatenation"] = {{"reference", m.concatenation->reference},
                          {"total", m.concatenation->total},
                          {"sequence", m.concatenation->sequence},
                          {"wide_reference", m.concatenation->wide_reference}};
  if (m.coding.waiting)
    j["waiting"] = {{"kind", static_cast<int>(m.coding.waiting->kind)}, {"active", m.coding.waiting->active}};
  nlohmann::json elements = nlohmann::json::array();
  for (const auto& e : m.elements) elements.push_back({{"id", e.id}, {"data", HexOf(e.data)}});
  j["elements"] = elements;
  return j;
}

nlohmann::json AssembledJson(const AssembledMessage& m, const std::vector<messages::SentMessage>& sent) {
  const Message& f = m.first;
  nlohmann::json statuses = nlohmann::json::array();
  for (const int s : m.statuses) statuses.push_back(StatusName(s));
  nlohmann::json j = {
      {"type", messages::MessageTypeName(f.type)},
      {"storage", m.storage},
      {"indexes", m.indexes},
      {"storages", m.storages},
      {"statuses", statuses},
      {"address", f.address},
      {"time", OptionalTime(f.time)},
      {"coding", messages::AlphabetName(f.coding.alphabet)},
      {"class", f.coding.message_class ? nlohmann::json(*f.coding.message_class) : nlohmann::json(nullptr)},
      {"text", m.text},
      {"data", HexOf(m.data)},
      {"parts", m.total},
      {"parts_present", m.sequences},
      {"complete", m.complete},
      {"problem", m.Problem()}};
  if (!f.Decoded()) j["pdu"] = f.pdu;
  if (f.IsReport()) {
    j["reference"] = f.reference;
    j["status"] = f.status;
    j["status_text"] = messages::StatusText(f.status);
    j["delivered"] = messages::StateOfStatus(f.status) == messages::DeliveryState::Delivered;
    j["discharge"] = OptionalTime(f.discharge);
    nlohmann::json about = nullptr;
    if (const auto match = messages::MatchReport(f, sent)) {
      const auto& s = sent[match->sent];
      about = {{"to", s.to},
               {"text", s.text},
               {"part", match->part},
               {"parts", s.references.size()},
               {"sent", s.when}};
    }
    j["about"] = about;
  }
  return j;
}

std::string AssembledText(const AssembledMessage& m, const std::vector<messages::SentMessage>& sent) {
  const Message& f = m.first;
  const std::string where = Indexes(m);
  if (f.IsReport()) {
    std::string s = fmt::format("{}  report  {}: {}{}", where, f.address, messages::StatusText(f.status),
                                f.discharge ? " at " + f.discharge->Text() : "");
    if (const auto match = messages::MatchReport(f, sent)) {
      const auto& sm = sent[match->sent];
      s += fmt::format(
          "\n    for \"{}\"{} sent {}", Shortened(sm.text),
          sm.references.size() > 1 ? fmt::format(" (part {} of {})", match->part, sm.references.size()) : "",
          sm.when);
    } else {
      s += fmt::format("\n    for message reference {} (not sent from here)", f.reference);
    }
    return s;
  }
  std::string status = m.statuses.empty() ? "" : StatusName(m.statuses.front());
  std::string head =
      fmt::format("{}  {}  {} {}", where, status, f.type == MessageType::Submit ? "to" : "from", f.address);
  if (f.time) head += "  " + f.time->Text();
  head += "  " + CodingText(f.coding);
  if (m.total > 1) head += fmt::format(", {} parts", m.total);
  const std::string problem = m.Problem();
  std::string body;
  if (!f.Decoded()) {
    body = fmt::format("    cannot decode: {}\n    PDU {}", problem, f.pdu);
  } else {
    if (!problem.empty()) body = "    (" + problem + ")\n";
    if (!m.data.empty())
      body += "    data " + HexOf(m.data);
    else
      body += "    " + Displayed(m.text);
  }
  return head + "\n" + body;
}

std::string MessageText(const Message& m, int index, const std::string& storage) {
  AssembledMessage a;
  if (index >= 0) {
    a.indexes = {index};
    a.storages = {storage};
  }
  a.storage = storage;
  a.first = m;
  a.text = m.text;
  a.data = m.data;
  a.parts = {m};
  return AssembledText(a, {});
}

std::string PlanText(const messages::TextPlan& p) {
  const std::string unit = p.alphabet == messages::Alphabet::Gsm7 ? "septets" : "UCS2 units";
  if (p.parts == 1)
    return fmt::format("{}, 1 part: {} characters, {} of {} {}", messages::AlphabetName(p.alphabet),
                       p.characters, p.units, p.per_part, unit);
  return fmt::format("{}, {} parts: {} characters, {} {} ({} per part, {} left in the last)",
                     messages::AlphabetName(p.alphabet), p.parts, p.characters, p.units, unit, p.per_part,
                     p.left);
}

}  // namespace quandelstk::cli
