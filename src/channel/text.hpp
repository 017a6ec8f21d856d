// String semantics the classes are written in: 1-based positions with 0 for "not found",
// 16-bit positions and counts, and run-time errors where a careless cut would be a bug.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quandelstk::text {

// Position of needle in haystack searching from 1-based start; 0 when not found.
// Raises 5 when start < 1, 6 when the position does not fit 16 bits.
std::int16_t Find(std::string_view haystack, std::string_view needle, std::int32_t start = 1);
inline bool Contains(std::string_view haystack, std::string_view needle) {
  return haystack.find(needle) != std::string_view::npos;
}

// Substring from 1-based start, at most length characters (to the end when length is omitted).
// Raises 5 when start < 1 or length < 0. A start beyond the end gives "".
std::string Mid(std::string_view s, std::int32_t start);
std::string Mid(std::string_view s, std::int32_t start, std::int32_t length);
// The first / last n characters; raises 5 when n < 0.
std::string Left(std::string_view s, std::int32_t n);
std::string Right(std::string_view s, std::int32_t n);

// Cuts s at every occurrence of sep (pieces numbered from 0). An empty s gives no pieces.
std::vector<std::string> Split(std::string_view s, std::string_view sep);
// Piece i of a split; raises 9 when it does not exist.
const std::string& Piece(const std::vector<std::string>& pieces, std::int32_t i);

// Removes leading and trailing blanks (spaces only).
std::string Trim(std::string_view s);
// Every occurrence of what replaced by with, left to right without overlaps.
std::string Replace(std::string_view s, std::string_view what, std::string_view with);

// A decimal number with an optional sign, optional fraction and surrounding blanks.
bool IsNumeric(std::string_view s);
// The value of a numeric text rounded to a 16-bit integer (halves to even).
// Raises 13 when s is not numeric, 6 when the value does not fit.
std::int16_t ToInt16(std::string_view s);
// Checked 16-bit conversion and arithmetic: raise 6 on overflow.
std::int16_t CheckedInt16(std::int64_t value);
inline std::int16_t Add16(std::int64_t a, std::int64_t b) { return CheckedInt16(a + b); }
inline std::int16_t Sub16(std::int64_t a, std::int64_t b) { return CheckedInt16(a - b); }
inline std::int16_t Mul16(std::int64_t a, std::int64_t b) { return CheckedInt16(a * b); }
// Length as a 16-bit count; raises 6 for texts of more than 32767 characters.
std::int16_t Len16(std::string_view s);

// Decimal text without leading zeros or blanks.
std::string Str(std::int64_t value);

// UTF-8, the one reader and writer of the library, the CLI and the simulator.
// kStrict refuses what is not UTF-8: a byte that starts no sequence, a cut or broken sequence, an
// overlong form, a surrogate, a value past U+10FFFF (else two byte strings would stand for one text).
// kLenient is the simulator's reading of what a host sent it: each byte that starts no complete
// sequence becomes U+FFFD and reading goes on at the next byte; the other faults pass as they decode.
enum class Utf8Reading { kStrict, kLenient };
// The code points; none (strict only) at the first fault, whose byte offset goes to offset_of_error.
std::optional<std::u32string> DecodeUtf8(std::string_view utf8, Utf8Reading reading,
                                         std::size_t* offset_of_error = nullptr);
void AppendUtf8(std::string& out, char32_t code_point);

}  // namespace quandelstk::text
