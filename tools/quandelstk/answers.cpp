#include "answers.hpp"

#include <fmt/core.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace quandelstk::cli::answers {

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

bool IsFinal(std::string_view line) {
  return line == "OK" || line == "ERROR" || StartsWith(line, "+CME ERROR:") || StartsWith(line, "+CMS ERROR:");
}

bool AllDigits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

std::optional<int> FieldNumber(const std::vector<Field>& f, std::size_t i) {
  return i < f.size() ? Number(f[i].text) : std::nullopt;
}

}  // namespace

std::optional<int> Number(std::string_view text) {
  text = Trim(text);
  if (!AllDigits(text) || text.size() > 9) return std::nullopt;
  return std::atoi(std::string(text).c_str());
}

std::vector<std::string> InfoLines(std::string_view answer, std::string_view command) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= answer.size(); ++i) {
    if (i < answer.size() && answer[i] != '\r' && answer[i] != '\n') continue;
    const std::string_view line = Trim(answer.substr(start, i - start));
    start = i + 1;
    if (line.empty() || line == command || IsFinal(line)) continue;
    lines.emplace_back(line);
  }
  return lines;
}

std::vector<Field> Fields(std::string_view line, std::string_view prefix) {
  std::vector<Field> fields;
  if (!StartsWith(line, prefix)) return fields;
  line.remove_prefix(prefix.size());
  Field current;
  bool in_quotes = false;
  for (char c : line) {
    if (c == '"') {
      in_quotes = !in_quotes;
      current.quoted = true;
    } else if (c == ',' && !in_quotes) {
      current.text = std::string(Trim(current.text));
      fields.push_back(current);
      current = Field();
    } else {
      current.text += c;
    }
  }
  current.text = std::string(Trim(current.text));
  fields.push_back(current);
  return fields;
}

std::optional<std::vector<Field>> LastFields(const std::vector<std::string>& lines, std::string_view prefix) {
  for (auto it = lines.rbegin(); it != lines.rend(); ++it)
    if (StartsWith(*it, prefix)) return Fields(*it, prefix);
  return std::nullopt;
}

std::string IdentityValue(const std::vector<std::string>& lines) {
  if (lines.empty()) return {};
  std::string_view line = lines.front();
  // Some makers answer "+CGMI: QUECTEL" or "+GSN: 35..." rather than the bare text.
  if (!line.empty() && (line[0] == '+' || line[0] == '^')) {
    const auto colon = line.find(':');
    if (colon != std::string_view::npos && colon < 10) line = Trim(line.substr(colon + 1));
  }
  if (line.size() >= 2 && line.front() == '"' && line.back() == '"') line = line.substr(1, line.size() - 2);
  return std::string(line);
}

std::optional<Registration> ParseRegistration(const std::vector<std::string>& lines, std::string_view prefix) {
  std::optional<Registration> found;
  for (const std::string& line : lines) {
    const auto f = Fields(line, prefix);
    // The read answer starts with two numbers; a reported line has the area code second.
    if (f.size() < 2 || f[1].quoted) continue;
    const auto mode = FieldNumber(f, 0), state = FieldNumber(f, 1);
    if (!mode || !state) continue;
    Registration r;
    r.mode = *mode;
    r.state = *state;
    if (f.size() >= 4) {
      r.lac = f[2].text;
      r.ci = f[3].text;
    }
    if (const auto act = FieldNumber(f, 4)) r.act = *act;
    found = r;
  }
  return found;
}

const char* RegistrationStateName(int state) {
  switch (state) {
    case 0: return "not registered, not searching";
    case 1: return "registered, home network";
    case 2: return "not registered, searching";
    case 3: return "registration denied";
    case 4: return "unknown";
    case 5: return "registered, roaming";
    case 6: return "registered for SMS only, home network";
    case 7: return "registered for SMS only, roaming";
    case 8: return "attached for emergency bearer services only";
    case 9: return "registered for CSFB not preferred, home network";
    case 10: return "registered for CSFB not preferred, roaming";
    default: return "not a registration state";
  }
}

bool IsRegistered(int state) { return state == 1 || state == 5 || state == 6 || state == 7 || state == 9 || state == 10; }

const char* AccessTechnologyName(int act) {
  switch (act) {
    case 0: return "GSM";
    case 1: return "GSM Compact";
    case 2: return "UTRAN";
    case 3: return "GSM w/EGPRS";
    case 4: return "UTRAN w/HSDPA";
    case 5: return "UTRAN w/HSUPA";
    case 6: return "UTRAN w/HSDPA and HSUPA";
    case 7: return "E-UTRAN";
    case 8: return "EC-GSM-IoT";
    case 9: return "E-UTRAN (NB-S1 mode)";
    case 10: return "E-UTRA connected to a 5GCN";
    case 11: return "NR connected to a 5GCN";
    case 12: return "NG-RAN";
    case 13: return "E-UTRA-NR dual connectivity";
    default: return "unknown";
  }
}

std::optional<Operator> ParseOperator(const std::vector<std::string>& lines) {
  const auto f = LastFields(lines, "+COPS:");
  if (!f || f->empty()) return std::nullopt;
  const auto mode = FieldNumber(*f, 0);
  if (!mode) return std::nullopt;
  Operator o;
  o.mode = *mode;
  if (const auto format = FieldNumber(*f, 1)) o.format = *format;
  if (f->size() > 2) o.name = (*f)[2].text;
  if (const auto act = FieldNumber(*f, 3)) o.act = *act;
  return o;
}

std::optional<std::pair<std::string, std::string>> SplitPlmn(std::string_view code) {
  if (!AllDigits(code) || (code.size() != 5 && code.size() != 6)) return std::nullopt;
  return std::make_pair(std::string(code.substr(0, 3)), std::string(code.substr(3)));
}

std::optional<Signal> ParseSignal(const std::vector<std::string>& lines) {
  const auto f = LastFields(lines, "+CSQ:");
  if (!f) return std::nullopt;
  const auto rssi = FieldNumber(*f, 0), ber = FieldNumber(*f, 1);
  if (!rssi || !ber) return std::nullopt;
  return Signal{*rssi, *ber};
}

std::optional<int> RssiDbm(int rssi) {
  if (rssi < 0 || rssi > 31) return std::nullopt;
  return -113 + 2 * rssi;
}

std::optional<std::string> BerText(int ber) {
  static const char* const kRanges[] = {"less than 0.2 %", "0.2 to 0.4 %", "0.4 to 0.8 %",  "0.8 to 1.6 %",
                                        "1.6 to 3.2 %",    "3.2 to 6.4 %", "6.4 to 12.8 %", "more than 12.8 %"};
  if (ber < 0 || ber > 7) return std::nullopt;
  return kRanges[ber];
}

std::optional<std::string> ParsePinState(const std::vector<std::string>& lines) {
  const auto f = LastFields(lines, "+CPIN:");
  if (!f || f->empty() || (*f)[0].text.empty()) return std::nullopt;
  return (*f)[0].text;
}

namespace {

void Assign(PinRetries& r, std::string_view code, std::optional<int> value) {
  if (!value) return;
  if (code == "SIM PIN") r.pin = value;
  else if (code == "SIM PUK") r.puk = value;
  else if (code == "SIM PIN2") r.pin2 = value;
  else if (code == "SIM PUK2") r.puk2 = value;
}

// Four numbers in the order pin, pin2, puk, puk2.
PinRetries FourNumbers(const std::vector<std::string>& lines, std::string_view prefix) {
  PinRetries r;
  const auto f = LastFields(lines, prefix);
  if (!f || f->size() < 4) return r;
  r.pin = FieldNumber(*f, 0);
  r.pin2 = FieldNumber(*f, 1);
  r.puk = FieldNumber(*f, 2);
  r.puk2 = FieldNumber(*f, 3);
  return r;
}

}  // namespace

PinRetries ParseCpinr(const std::vector<std::string>& lines) {
  PinRetries r;
  for (const std::string& line : lines) {
    const auto f = Fields(line, "+CPINR:");
    if (f.size() >= 2) Assign(r, f[0].text, FieldNumber(f, 1));
  }
  return r;
}

PinRetries ParseCpinc(const std::vector<std::string>& lines) { return FourNumbers(lines, "+CPINC:"); }
PinRetries ParseSpic(const std::vector<std::string>& lines) { return FourNumbers(lines, "+SPIC:"); }

PinRetries ParseQpinc(const std::vector<std::string>& lines) {
  PinRetries r;
  for (const std::string& line : lines) {
    const auto f = Fields(line, "+QPINC:");
    if (f.size() < 3) continue;
    if (f[0].text == "SC") r.pin = FieldNumber(f, 1), r.puk = FieldNumber(f, 2);
    if (f[0].text == "P2") r.pin2 = FieldNumber(f, 1), r.puk2 = FieldNumber(f, 2);
  }
  return r;
}

PinRetries ParseHuaweiCpin(const std::vector<std::string>& lines) {
  PinRetries r;
  const auto f = LastFields(lines, "^CPIN:");
  if (!f || f->size() < 6) return r;
  r.puk = FieldNumber(*f, 2);
  r.pin = FieldNumber(*f, 3);
  r.puk2 = FieldNumber(*f, 4);
  r.pin2 = FieldNumber(*f, 5);
  return r;
}

std::optional<ServiceCentre> ParseServiceCentre(const std::vector<std::string>& lines) {
  const auto f = LastFields(lines, "+CSCA:");
  if (!f || f->empty()) return std::nullopt;
  ServiceCentre c;
  c.number = (*f)[0].text;
  if (const auto type = FieldNumber(*f, 1)) c.type = *type;
  return c;
}

std::optional<std::string> ParseIccid(const std::vector<std::string>& lines) {
  const auto usable = [](std::string s) -> std::optional<std::string> {
    // Some SIMs fill the last digit with F.
    while (!s.empty() && (s.back() == 'F' || s.back() == 'f')) s.pop_back();
    if (s.size() < 18 || s.size() > 22 || !AllDigits(s)) return std::nullopt;
    return s;
  };
  if (const auto f = LastFields(lines, "+CRSM:"); f && f->size() >= 3) {
    if (FieldNumber(*f, 0) != 144) return std::nullopt;
    std::string swapped;
    const std::string& raw = (*f)[2].text;
    for (std::size_t i = 0; i + 1 < raw.size(); i += 2) swapped += std::string{raw[i + 1], raw[i]};
    return usable(swapped);
  }
  for (const std::string& line : lines) {
    for (std::string_view prefix : {"+CCID:", "+QCCID:", "+ICCID:", "^ICCID:", "+CICCID:"})
      if (const auto f = Fields(line, prefix); !f.empty()) return usable(f[0].text);
    if (const auto id = usable(std::string(Trim(line)))) return id;
  }
  return std::nullopt;
}

std::vector<std::string> ParseOwnNumbers(const std::vector<std::string>& lines) {
  std::vector<std::string> numbers;
  for (const std::string& line : lines) {
    const auto f = Fields(line, "+CNUM:");
    if (f.size() >= 2 && !f[1].text.empty()) numbers.push_back(f[1].text);
  }
  return numbers;
}

std::string ZoneText(int quarters) {
  const int minutes = std::abs(quarters) * 15;
  return fmt::format("{}{:02}:{:02}", quarters < 0 ? '-' : '+', minutes / 60, minutes % 60);
}

std::string ModemTime::Iso() const {
  std::string text = fmt::format("{:04}-{:02}-{:02}T{:02}:{:02}:{:02}", year, month, day, hour, minute, second);
  if (quarters) text += ZoneText(*quarters);
  return text;
}

std::optional<ModemTime> ParseClock(const std::vector<std::string>& lines) {
  const auto f = LastFields(lines, "+CCLK:");
  if (!f || f->empty()) return std::nullopt;
  // The date and the time are one quoted text with a comma inside it (some modems leave the quotes out).
  std::string whole = (*f)[0].text;
  if (f->size() == 2 && !(*f)[0].quoted) whole += "," + (*f)[1].text;
  else if (f->size() != 1) return std::nullopt;
  const auto comma = whole.find(',');
  if (comma == std::string::npos) return std::nullopt;
  const std::string_view date = std::string_view(whole).substr(0, comma), time = std::string_view(whole).substr(comma + 1);
  const auto two = [](std::string_view s, std::size_t at) -> std::optional<int> {
    if (at + 2 > s.size()) return std::nullopt;
    return Number(s.substr(at, 2));
  };
  ModemTime t;
  if (date.size() != 8 || date[2] != '/' || date[5] != '/' || time.size() < 8 || time[2] != ':' || time[5] != ':')
    return std::nullopt;
  const auto yy = two(date, 0), mm = two(date, 3), dd = two(date, 6), h = two(time, 0), mi = two(time, 3),
             s = two(time, 6);
  if (!yy || !mm || !dd || !h || !mi || !s || *mm < 1 || *mm > 12 || *dd < 1 || *dd > 31 || *h > 23 || *mi > 59 ||
      *s > 60)
    return std::nullopt;
  t.year = 2000 + *yy, t.month = *mm, t.day = *dd, t.hour = *h, t.minute = *mi, t.second = *s;
  if (time.size() > 8) {
    const char sign = time[8];
    const auto zone = Number(time.substr(9));
    if ((sign != '+' && sign != '-') || !zone || *zone > 96) return std::nullopt;
    t.quarters = sign == '-' ? -*zone : *zone;
  }
  return t;
}

std::string ClockText(const ModemTime& t) {
  const int q = t.quarters.value_or(0);
  return fmt::format("{:02}/{:02}/{:02},{:02}:{:02}:{:02}{}{:02}", t.year % 100, t.month, t.day, t.hour, t.minute,
                     t.second, q < 0 ? '-' : '+', std::abs(q));
}

}  // namespace quandelstk::cli::answers
