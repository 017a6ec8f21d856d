#include "phonebook_files.hpp"

#include <fmt/core.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli.hpp"

namespace quandelstk::cli {

namespace {

constexpr std::string_view kLocationProperty = "X-QUANDELSTK-LOCATION";
constexpr std::size_t kFoldAt = 75;  // octets per vCard line, line break excluded

std::string Upper(std::string_view s) {
  std::string out(s);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return out;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

std::string Trim(std::string_view s) {
  const auto b = s.find_first_not_of(" \t");
  if (b == std::string_view::npos) return {};
  return std::string(s.substr(b, s.find_last_not_of(" \t") - b + 1));
}

std::string_view WithoutBom(std::string_view text) {
  return text.substr(0, 3) == "\xEF\xBB\xBF" ? text.substr(3) : text;
}

[[noreturn]] void Unreadable(const std::string& file, int line, const std::string& what) {
  throw UsageError(fmt::format("{} line {}: {}", file, line, what));
}

// A SIM location as a file writes it: a whole number from 1 to 32767.
int Location(const std::string& text, const std::string& file, int line) {
  const std::string t = Trim(text);
  if (t.empty() || t.size() > 5 || t.find_first_not_of("0123456789") != std::string::npos ||
      std::stoi(t) < 1 || std::stoi(t) > 32767)
    Unreadable(
        file, line,
        fmt::format("location \"{}\" is not a whole number from 1 to 32767; correct or empty it", text));
  return std::stoi(t);
}

// --- vCard ---------------------------------------------------------------------------------------

std::string EscapeText(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '\\' || c == ',' || c == ';')
      out += '\\', out += c;
    else if (c == '\r' && i + 1 < s.size() && s[i + 1] == '\n')
      continue;
    else if (c == '\n' || c == '\r')
      out += "\\n";
    else
      out += c;
  }
  return out;
}

std::string UnescapeText(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\' || i + 1 == s.size()) {
      out += s[i];
      continue;
    }
    const char next = s[++i];
    out += next == 'n' || next == 'N' ? '\n' : next;
  }
  return out;
}

// Splits at the separators that are not escaped.
std::vector<std::string> SplitUnescaped(std::string_view s, char separator) {
  std::vector<std::string> parts(1);
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size()) {
      parts.back() += s[i];
      parts.back() += s[++i];
    } else if (s[i] == separator) {
      parts.emplace_back();
    } else {
      parts.back() += s[i];
    }
  }
  return parts;
}

// Lines longer than 75 octets continue on lines that begin with a blank, never inside a UTF-8
// sequence.
std::string Folded(const std::string& line) {
  std::string out;
  std::size_t at = 0;
  std::size_t room = kFoldAt;
  while (line.size() - at > room) {
    std::size_t cut = at + room;
    while (cut > at && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
    // A run of continuation bytes as long as a whole line is no UTF-8 sequence to keep together.
    if (cut == at) cut = at + room;
    out += line.substr(at, cut - at) + "\r\n ";
    at = cut;
    room = kFoldAt - 1;
  }
  return out + line.substr(at) + "\r\n";
}

std::string DecodeQuotedPrintable(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '=' && i + 2 < s.size() && std::isxdigit(static_cast<unsigned char>(s[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(s[i + 2]))) {
      out += static_cast<char>(std::stoi(std::string(s.substr(i + 1, 2)), nullptr, 16));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

struct ContentLine {
  int line = 0;
  std::string name;                 // upper case, without a group prefix
  std::vector<std::string> params;  // upper case
  std::string value;                // quoted-printable already decoded
};

bool HasParam(const ContentLine& l, std::string_view param) {
  return std::any_of(l.params.begin(), l.params.end(), [&](const std::string& p) {
    return p == param || p == "ENCODING=" + std::string(param) || p == "TYPE=" + std::string(param);
  });
}

// Physical lines joined where a line is folded (a leading blank) or where a quoted-printable value
// ends in a soft line break ("=").
std::vector<std::pair<int, std::string>> LogicalLines(std::string_view text) {
  std::vector<std::pair<int, std::string>> lines;
  int number = 0;
  bool soft_break = false;
  std::istringstream in{std::string(text)};
  for (std::string line; std::getline(in, line);) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (soft_break && !lines.empty()) {
      lines.back().second.pop_back();  // the "="
      lines.back().second += line;
    } else if (!line.empty() && (line[0] == ' ' || line[0] == '\t') && !lines.empty()) {
      lines.back().second += line.substr(1);
    } else {
      lines.emplace_back(number, line);
    }
    const std::string& current = lines.empty() ? line : lines.back().second;
    const std::string head = Upper(current.substr(0, current.find(':')));
    soft_break =
        head.find("QUOTED-PRINTABLE") != std::string::npos && !current.empty() && current.back() == '=';
  }
  return lines;
}

ContentLine Parse(int number, const std::string& text, const std::string& file) {
  const auto colon = text.find(':');
  if (colon == std::string::npos)
    Unreadable(file, number,
               fmt::format("\"{}\" is not a vCard line (NAME:VALUE); correct or remove it", text));
  ContentLine l;
  l.line = number;
  auto parts = SplitUnescaped(text.substr(0, colon), ';');
  std::string name = Upper(Trim(parts[0]));
  if (const auto dot = name.rfind('.'); dot != std::string::npos) name = name.substr(dot + 1);  // item1.TEL
  l.name = name;
  for (std::size_t i = 1; i < parts.size(); ++i) l.params.push_back(Upper(Trim(parts[i])));
  l.value = text.substr(colon + 1);
  for (const std::string& p : l.params) {
    if (p.rfind("CHARSET=", 0) == 0 && p != "CHARSET=UTF-8")
      Unreadable(file, number, fmt::format("{} is not supported; save the file in UTF-8", Lower(p)));
  }
  if (HasParam(l, "QUOTED-PRINTABLE")) l.value = DecodeQuotedPrintable(l.value);
  return l;
}

// A telephone value as phones write it: "tel:" URIs (vCard 4.0) lose their scheme.
std::string TelephoneNumber(const std::string& value) {
  std::string number = Trim(value);
  if (Lower(number.substr(0, 4)) == "tel:") number = number.substr(4);
  return number;
}

// FN, else the parts of N in reading order.
std::string CardName(const std::optional<std::string>& fn, const std::optional<std::string>& n) {
  if (fn) return Trim(UnescapeText(*fn));
  if (!n) return "";
  const auto parts = SplitUnescaped(*n, ';');
  std::string name;
  for (const std::size_t i : {3u, 1u, 2u, 0u, 4u}) {  // prefix, given, additional, family, suffix
    if (i >= parts.size()) continue;
    const std::string part = Trim(UnescapeText(parts[i]));
    if (part.empty()) continue;
    if (!name.empty()) name += ' ';
    name += part;
  }
  return name;
}

// --- CSV -----------------------------------------------------------------------------------------

std::string CsvField(const std::string& s) {
  if (s.find_first_of(",\"\r\n") == std::string::npos && Trim(s) == s) return s;
  std::string out = "\"";
  for (char c : s) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

struct CsvRecord {
  int line = 0;
  std::vector<std::string> fields;
};

std::vector<CsvRecord> CsvRecords(std::string_view text, const std::string& file) {
  std::vector<CsvRecord> records;
  int line = 1;
  std::size_t i = 0;
  while (i < text.size()) {
    CsvRecord r{line, {""}};
    bool ended = false;
    while (i < text.size() && !ended) {
      const char c = text[i];
      if (c == '"' && Trim(r.fields.back()).empty()) {  // a quoted field
        const int opened_on = line;
        r.fields.back().clear();
        for (++i;; ++i) {
          if (i >= text.size())
            Unreadable(file, opened_on, "a quoted field is not closed; add the closing double quote");
          if (text[i] == '"' && i + 1 < text.size() && text[i + 1] == '"') {
            r.fields.back() += '"';
            ++i;
          } else if (text[i] == '"') {
            ++i;
            break;
          } else {
            if (text[i] == '\n') ++line;
            r.fields.back() += text[i];
          }
        }
      } else if (c == ',') {
        r.fields.emplace_back();
        ++i;
      } else if (c == '\r' || c == '\n') {
        i += c == '\r' && i + 1 < text.size() && text[i + 1] == '\n' ? 2 : 1;
        ++line;
        ended = true;
      } else {
        r.fields.back() += c;
        ++i;
      }
    }
    if (r.fields.size() > 1 || !Trim(r.fields[0]).empty()) records.push_back(std::move(r));
  }
  return records;
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in)
    throw UsageError(fmt::format("cannot read {}: {}; check the name and that it is readable", path,
                                 std::strerror(errno)));
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string PartPath(const std::string& path) {
  return path + ".part";
}

// The line of the first byte that does not belong to a UTF-8 sequence, 0 when the text is UTF-8.
int FirstLineNotUtf8(std::string_view text) {
  int line = 1;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (b == '\n') ++line;
    if (b < 0x80) continue;
    const int extra = (b >> 5) == 6 ? 1 : (b >> 4) == 14 ? 2 : (b >> 3) == 30 ? 3 : -1;
    if (extra < 0 || i + static_cast<std::size_t>(extra) >= text.size()) return line;
    for (int k = 1; k <= extra; ++k)
      if ((static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]) & 0xC0) != 0x80) return line;
    i += static_cast<std::size_t>(extra);
  }
  return 0;
}

}  // namespace

FileFormat FormatOf(const std::string& path) {
  const std::string extension = Lower(std::filesystem::path(path).extension().string());
  if (extension == ".vcf") return FileFormat::kVCard;
  if (extension == ".csv") return FileFormat::kCsv;
  throw UsageError(fmt::format("\"{}\": the file name must end in .vcf (vCard 3.0) or .csv (CSV)", path));
}

const char* FormatName(FileFormat format) {
  return format == FileFormat::kVCard ? "vCard 3.0" : "CSV";
}

std::string ToVCards(const std::vector<FileEntry>& entries) {
  std::string out;
  for (const FileEntry& e : entries) {
    out += "BEGIN:VCARD\r\nVERSION:3.0\r\n";
    out += Folded("FN:" + EscapeText(e.name));
    out += Folded("N:;" + EscapeText(e.name) + ";;;");  // a SIM name is not split into its parts
    out += Folded("TEL:" + e.number);
    if (e.location) out += fmt::format("{}:{}\r\n", kLocationProperty, *e.location);
    out += "END:VCARD\r\n";
  }
  return out;
}

std::string ToCsv(const std::vector<FileEntry>& entries) {
  std::string out = "location,number,name\r\n";
  for (const FileEntry& e : entries)
    out += (e.location ? std::to_string(*e.location) : "") + "," + CsvField(e.number) + "," +
           CsvField(e.name) + "\r\n";
  return out;
}

std::vector<FileEntry> FromVCards(std::string_view text, const std::string& file) {
  std::vector<FileEntry> entries;
  struct Card {
    int line = 0;
    std::optional<std::string> fn, n;
    std::vector<std::string> tels;
    std::optional<int> location;
  };
  std::optional<Card> card;
  for (const auto& [number, raw] : LogicalLines(WithoutBom(text))) {
    if (Trim(raw).empty()) continue;
    const ContentLine l = Parse(number, raw, file);
    const std::string value = Upper(Trim(l.value));
    if (l.name == "BEGIN" && value == "VCARD") {
      if (card)
        Unreadable(file, number,
                   fmt::format("a card begins inside the card of line {}; add its END:VCARD", card->line));
      card = Card{number, {}, {}, {}, {}};
      continue;
    }
    if (!card)
      Unreadable(file, number,
                 "a vCard line outside BEGIN:VCARD ... END:VCARD; remove it or add BEGIN:VCARD before it");
    if (l.name == "END" && value == "VCARD") {
      const std::string name = CardName(card->fn, card->n);
      if (card->tels.empty())
        entries.push_back({card->location, "", name, card->line, "the card has no telephone number (TEL)"});
      for (std::size_t i = 0; i < card->tels.size(); ++i)
        entries.push_back({i == 0 ? card->location : std::nullopt, card->tels[i], name, card->line, ""});
      card.reset();
    } else if (l.name == "FN") {
      card->fn = l.value;
    } else if (l.name == "N") {
      card->n = l.value;
    } else if (l.name == "TEL") {
      card->tels.push_back(TelephoneNumber(l.value));
    } else if (l.name == kLocationProperty) {
      card->location = Location(l.value, file, number);
    }
  }
  if (card) Unreadable(file, card->line, "the card that begins here has no END:VCARD; add it");
  return entries;
}

std::vector<FileEntry> FromCsv(std::string_view text, const std::string& file) {
  const auto records = CsvRecords(WithoutBom(text), file);
  if (records.empty()) return {};
  int location = -1, number = -1, name = -1;
  const auto& header = records[0].fields;
  for (std::size_t i = 0; i < header.size(); ++i) {
    const std::string column = Lower(Trim(header[i]));
    if (column == "location") location = static_cast<int>(i);
    if (column == "number") number = static_cast<int>(i);
    if (column == "name") name = static_cast<int>(i);
  }
  if (number < 0 || name < 0)
    Unreadable(file, records[0].line,
               "the first line must name the columns: location,number,name (location may be left out)");
  std::vector<FileEntry> entries;
  for (std::size_t k = 1; k < records.size(); ++k) {
    const CsvRecord& r = records[k];
    const auto field = [&](int i) {
      return i >= 0 && static_cast<std::size_t>(i) < r.fields.size() ? r.fields[static_cast<std::size_t>(i)]
                                                                     : std::string();
    };
    FileEntry e;
    e.line = r.line;
    if (!Trim(field(location)).empty()) e.location = Location(field(location), file, r.line);
    e.number = Trim(field(number));
    e.name = field(name);
    entries.push_back(std::move(e));
  }
  return entries;
}

std::vector<FileEntry> ReadPhonebookFile(const std::string& path) {
  const FileFormat format = FormatOf(path);
  const std::string text = ReadWholeFile(path);
  if (const int line = FirstLineNotUtf8(text))
    Unreadable(path, line, "the text is not UTF-8; save the file in UTF-8");
  return format == FileFormat::kVCard ? FromVCards(text, path) : FromCsv(text, path);
}

void CheckWritable(const std::string& path) {
  FormatOf(path);
  {
    std::ofstream probe(PartPath(path), std::ios::binary | std::ios::app);
    if (!probe)
      throw UsageError(fmt::format("cannot write {}: {}; check that the folder exists and is writable", path,
                                   std::strerror(errno)));
  }
  std::error_code ignored;
  std::filesystem::remove(PartPath(path), ignored);
}

void WritePhonebookFile(const std::string& path, const std::vector<FileEntry>& entries) {
  const std::string text = FormatOf(path) == FileFormat::kVCard ? ToVCards(entries) : ToCsv(entries);
  const std::string part = PartPath(path);
  {
    std::ofstream out(part, std::ios::binary | std::ios::trunc);
    out << text;
    out.flush();
    if (!out) {
      std::error_code ignored;
      std::filesystem::remove(part, ignored);
      throw UsageError(fmt::format("cannot write {}: {}; check the free space and the folder's permissions",
                                   path, std::strerror(errno)));
    }
  }
  std::error_code ec;
  std::filesystem::rename(part, path, ec);
  if (ec) {
    std::filesystem::remove(part, ec);
    throw UsageError(fmt::format("cannot put {} in place: {}", path, ec.message()));
  }
}

}  // namespace quandelstk::cli
