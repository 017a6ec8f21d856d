#include "submit.hpp"

#include <cctype>
#include <ctime>

#include "quandelstk/errors.hpp"
#include "quandelstk/messages.hpp"

namespace quandelstk::gateway {

namespace {

bool AllDigits(const std::string& s) {
  if (s.empty()) return false;
  for (const char c : s)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  return true;
}

bool ValidUtf8(const std::string& s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    const std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return false;
    for (std::size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += n;
  }
  return true;
}

}  // namespace

std::optional<std::int64_t> ParseTime(const std::string& text) {
  if (AllDigits(text) && text.size() <= 12) return std::stoll(text) * 1000;
  int y, mo, d, h, mi, s = 0, n = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2d%*1[T ]%2d:%2d%n", &y, &mo, &d, &h, &mi, &n) < 5 || n == 0)
    return std::nullopt;
  std::string rest = text.substr(static_cast<std::size_t>(n));
  if (rest.size() >= 3 && rest[0] == ':') {
    if (!std::isdigit(static_cast<unsigned char>(rest[1])) || !std::isdigit(static_cast<unsigned char>(rest[2])))
      return std::nullopt;
    s = std::stoi(rest.substr(1, 2));
    rest = rest.substr(3);
  }
  int offset_min = 0;
  if (rest == "Z" || rest.empty()) {
  } else if ((rest[0] == '+' || rest[0] == '-') && rest.size() == 6 && rest[3] == ':') {
    if (!AllDigits(rest.substr(1, 2)) || !AllDigits(rest.substr(4, 2))) return std::nullopt;
    offset_min = std::stoi(rest.substr(1, 2)) * 60 + std::stoi(rest.substr(4, 2));
    if (rest[0] == '-') offset_min = -offset_min;
  } else {
    return std::nullopt;
  }
  if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 59) return std::nullopt;
  std::tm tm{};
  tm.tm_year = y - 1900;
  tm.tm_mon = mo - 1;
  tm.tm_mday = d;
  tm.tm_hour = h;
  tm.tm_min = mi;
  tm.tm_sec = s;
  const std::time_t t = timegm(&tm);
  if (tm.tm_mday != d) return std::nullopt;  // 31 February and the like
  return (static_cast<std::int64_t>(t) - offset_min * 60) * 1000;
}

std::string FormatTime(std::int64_t ms) {
  if (ms == 0) return "";
  const std::time_t t = static_cast<std::time_t>(ms / 1000);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char buffer[32];
  std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%SZ", &tm);
  return buffer;
}

messages::SendOptions SendOptionsFor(bool report, int concat_reference) {
  messages::SendOptions o;
  o.status_report = report;
  o.wide_reference = true;
  o.reference = concat_reference;
  return o;
}

Checked Check(const Submission& s) {
  Checked c;
  const std::string digits = s.to.size() > 1 && s.to[0] == '+' ? s.to.substr(1) : s.to;
  if (!AllDigits(digits) || digits.size() < 3 || digits.size() > 20) {
    c.error = "\"" + s.to + "\" is not a phone number: give \"+\" and 3 to 20 digits (international) or the digits alone";
    return c;
  }
  if (s.text.empty()) {
    c.error = "the text is empty";
    return c;
  }
  NewMessage m;
  try {
    m.parts = messages::Plan(s.text, SendOptionsFor(s.report, 0)).parts;
  } catch (const RuntimeError&) {
    // Plan refuses text that is not UTF-8 and text of more than 255 parts; say which.
    c.error = ValidUtf8(s.text)
                  ? "the text is too long: more than 255 parts (at most 38,760 GSM characters, or 16,830 when "
                    "one is outside the GSM alphabet)"
                  : "the text is not valid UTF-8";
    return c;
  }
  if (!s.at.empty()) {
    const auto at = ParseTime(s.at);
    if (!at) {
      c.error = "\"" + s.at + "\" is not a time: give 2026-12-24T18:00, with Z or +HH:MM for a zone (UTC if none)";
      return c;
    }
    m.not_before_ms = *at;
  }
  if (!s.expires.empty()) {
    const auto until = ParseTime(s.expires);
    if (!until) {
      c.error = "\"" + s.expires + "\" is not a time: give 2026-12-24T18:00, with Z or +HH:MM for a zone (UTC if none)";
      return c;
    }
    if (*until <= m.not_before_ms) {
      c.error = "it would expire before it may be sent: the expiry must come after the time to send";
      return c;
    }
    m.expires_ms = *until;
  }
  m.to = s.to;
  m.text = s.text;
  m.report = s.report;
  c.message = std::move(m);
  return c;
}

}  // namespace quandelstk::gateway
