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

}  // namespace quandelstk::text
