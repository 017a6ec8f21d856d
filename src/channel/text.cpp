#include "channel/text.hpp"

#include <cmath>
#include <cstdlib>
#include <limits>

#include "quandelstk/errors.hpp"

namespace quandelstk::text {

namespace {

[[noreturn]] void InvalidCall(const char* what) {
  throw RuntimeError(err::kInvalidProcedureCall, std::string("Invalid procedure call or argument: ") + what);
}

}  // namespace

std::int16_t CheckedInt16(std::int64_t value) {
  if (value < std::numeric_limits<std::int16_t>::min() || value > std::numeric_limits<std::int16_t>::max())
    throw RuntimeError(err::kOverflow, "Overflow: " + std::to_string(value) + " does not fit a 16-bit integer");
  return static_cast<std::int16_t>(value);
}

std::int16_t Len16(std::string_view s) { return CheckedInt16(static_cast<std::int64_t>(s.size())); }

std::int16_t Find(std::string_view haystack, std::string_view needle, std::int32_t start) {
  if (start < 1) InvalidCall("search start below 1");
  if (static_cast<std::size_t>(start) > haystack.size() + 1) return 0;
  const std::size_t pos = haystack.find(needle, static_cast<std::size_t>(start) - 1);
  if (pos == std::string_view::npos) return 0;
  return CheckedInt16(static_cast<std::int64_t>(pos) + 1);
}

std::string Mid(std::string_view s, std::int32_t start) {
  if (start < 1) InvalidCall("substring start below 1");
  if (static_cast<std::size_t>(start) > s.size()) return {};
  return std::string(s.substr(static_cast<std::size_t>(start) - 1));
}

std::string Mid(std::string_view s, std::int32_t start, std::int32_t length) {
  if (start < 1) InvalidCall("substring start below 1");
  if (length < 0) InvalidCall("negative substring length");
  if (static_cast<std::size_t>(start) > s.size()) return {};
  return std::string(s.substr(static_cast<std::size_t>(start) - 1, static_cast<std::size_t>(length)));
}

std::string Left(std::string_view s, std::int32_t n) {
  if (n < 0) InvalidCall("negative length");
  return std::string(s.substr(0, static_cast<std::size_t>(n)));
}

std::string Right(std::string_view s, std::int32_t n) {
  if (n < 0) InvalidCall("negative length");
  const auto k = std::min(s.size(), static_cast<std::size_t>(n));
  return std::string(s.substr(s.size() - k));
}

std::vector<std::string> Split(std::string_view s, std::string_view sep) {
  std::vector<std::string> pieces;
  if (s.empty()) return pieces;
  if (sep.empty()) {
    pieces.emplace_back(s);
    return pieces;
  }
  std::size_t from = 0;
  for (;;) {
    const std::size_t at = s.find(sep, from);
    if (at == std::string_view::npos) {
      pieces.emplace_back(s.substr(from));
      return pieces;
    }
    pieces.emplace_back(s.substr(from, at - from));
    from = at + sep.size();
  }
}

const std::string& Piece(const std::vector<std::string>& pieces, std::int32_t i) {
  if (i < 0 || static_cast<std::size_t>(i) >= pieces.size())
    throw RuntimeError(err::kSubscriptOutOfRange, "Subscript out of range: field " + std::to_string(i) +
                                                      " of a text with " + std::to_string(pieces.size()) +
                                                      " fields");
  return pieces[static_cast<std::size_t>(i)];
}

std::string Trim(std::string_view s) {
  const std::size_t b = s.find_first_not_of(' ');
  if (b == std::string_view::npos) return {};
  const std::size_t e = s.find_last_not_of(' ');
  return std::string(s.substr(b, e - b + 1));
}

std::string Replace(std::string_view s, std::string_view what, std::string_view with) {
  if (what.empty()) return std::string(s);
  std::string out;
  out.reserve(s.size());
  std::size_t from = 0;
  for (;;) {
    const std::size_t at = s.find(what, from);
    if (at == std::string_view::npos) break;
    out.append(s.substr(from, at - from));
    out.append(with);
    from = at + what.size();
  }
  out.append(s.substr(from));
  return out;
}

bool IsNumeric(std::string_view s) {
  const std::string t = Trim(s);
  std::size_t i = 0;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
  bool digits = false;
  while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i, digits = true;
  if (i < t.size() && t[i] == '.') {
    ++i;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i, digits = true;
  }
  return digits && i == t.size();
}

std::int16_t ToInt16(std::string_view s) {
  if (!IsNumeric(s))
    throw RuntimeError(err::kTypeMismatch, "Type mismatch: \"" + std::string(s) + "\" is not a number");
  const std::string t = Trim(s);
  const double v = std::nearbyint(std::strtod(t.c_str(), nullptr));  // default rounding: halves to even
  if (v < -32768.0 || v > 32767.0)
    throw RuntimeError(err::kOverflow, "Overflow: " + t + " does not fit a 16-bit integer");
  return static_cast<std::int16_t>(v);
}

std::string Str(std::int64_t value) { return std::to_string(value); }

std::optional<std::u32string> DecodeUtf8(std::string_view utf8, Utf8Reading reading,
                                         std::size_t* offset_of_error) {
  static constexpr char32_t kLeast[4] = {0, 0x80, 0x800, 0x10000};
  std::u32string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    const int extra = b < 0x80 ? 0 : (b >> 5) == 6 ? 1 : (b >> 4) == 14 ? 2 : (b >> 3) == 30 ? 3 : -1;
    bool whole = extra >= 0 && utf8.size() - i > static_cast<std::size_t>(extra);
    char32_t cp = extra <= 0 ? b : b & (0x3F >> extra);
    for (int k = 1; whole && k <= extra; ++k) {
      const auto c = static_cast<unsigned char>(utf8[i + static_cast<std::size_t>(k)]);
      whole = (c & 0xC0) == 0x80;
      cp = (cp << 6) | (c & 0x3F);
    }
    const bool valid = whole && cp >= kLeast[extra] && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF);
    if (reading == Utf8Reading::kLenient && !whole) {
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    if (reading == Utf8Reading::kStrict && !valid) {
      if (offset_of_error) *offset_of_error = i;
      return std::nullopt;
    }
    out.push_back(cp);
    i += static_cast<std::size_t>(extra) + 1;
  }
  return out;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

}  // namespace quandelstk::text
