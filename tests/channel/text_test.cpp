// The text helpers the classes parse answers with, UTF-8, and date-time arithmetic.
#include "channel/text.hpp"

#include <gtest/gtest.h>

#include "quandelstk/platform.hpp"
#include "support/error_number.hpp"

namespace quandelstk::text {
namespace {

using testing::ErrorNumberOf;

TEST(Text, PositionsAndCuts) {
  const std::string a = "\r\n+CSQ: 15,99\r\n\r\nOK\r\n";
  EXPECT_EQ(Find(a, "\r\n"), 1);
  EXPECT_EQ(Find(a, "\r\n", 2), 14);
  EXPECT_EQ(Find(a, ":", 8), 0);
  EXPECT_EQ(Find(a, "ok"), 0);
  EXPECT_EQ(Mid(a, 9, 2), "15");
  EXPECT_EQ(Mid("abc", 3, 10), "c");
  EXPECT_EQ(Mid("abc", 4), "");
  EXPECT_EQ(Left("abc", 9), "abc");
  EXPECT_EQ(Right("abc", 2), "bc");
  const std::pair<int, std::function<void()>> errors[] = {
      {5, [&] { Find(a, ":", 0); }},
      {5, [] { Mid("abc", 0); }},
      {5, [] { Mid("abc", 1, -1); }},
      {5, [] { Left("abc", -1); }},
      {5, [] { Right("abc", -1); }},
      {6, [] { Len16(std::string(32768, 'x')); }},
      {6, [] { Find(std::string(40000, ' ') + ":", ":"); }}};
  for (const auto& [number, f] : errors) EXPECT_EQ(ErrorNumberOf(f), number);
}

TEST(Text, SplitPieceAndTrim) {
  const auto p = Split("\"REC READ\",\"+4477\",,\"26/01/05\"", ",");
  EXPECT_EQ(p, (std::vector<std::string>{"\"REC READ\"", "\"+4477\"", "", "\"26/01/05\""}));
  EXPECT_EQ(ErrorNumberOf([&] { Piece(p, 4); }), 9);
  EXPECT_EQ(ErrorNumberOf([&] { Piece(p, -1); }), 9);
  EXPECT_EQ(ErrorNumberOf([] { Piece(Split("", ","), 0); }), 9);
  EXPECT_EQ(Split("a\r\n\r\nb", "\r\n"), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_EQ(Trim("  15 "), "15");
  EXPECT_EQ(Trim("   "), "");
  EXPECT_EQ(Trim(" \t15\r\n "), "\t15\r\n");
}

TEST(Text, NumbersAndCheckedArithmetic) {
  for (const char* yes : {"15", " 15 ", "-3", "+7", "2.5", ".5"}) EXPECT_TRUE(IsNumeric(yes)) << yes;
  for (const char* no : {"", " ", "1a", "1 2", "+", ".", "0x1F", "\r15"}) EXPECT_FALSE(IsNumeric(no)) << no;
  EXPECT_EQ(ToInt16(" 99 "), 99);
  EXPECT_EQ(ToInt16("-32768"), -32768);
  EXPECT_EQ(ToInt16("2.5"), 2);  // halves to even
  EXPECT_EQ(ToInt16("3.5"), 4);
  EXPECT_EQ(Add16(32766, 1), 32767);
  const std::pair<int, std::function<void()>> errors[] = {
      {13, [] { ToInt16("ERROR"); }}, {13, [] { ToInt16(""); }},    {6, [] { ToInt16("32768"); }},
      {6, [] { ToInt16("-32769"); }}, {6, [] { Add16(32767, 1); }}, {6, [] { Sub16(-32768, 1); }},
      {6, [] { Mul16(200, 200); }}};
  for (const auto& [number, f] : errors) EXPECT_EQ(ErrorNumberOf(f), number);
}

// The strict reading refuses at the offset of the sequence at fault; the lenient one (the
// simulator's) turns each byte that starts no complete sequence into U+FFFD and lets the other
// faults through as they decode.
TEST(Utf8, StrictAndLenientReadings) {
  constexpr std::size_t kValid = std::string::npos;
  struct Case {
    std::string bytes;
    std::size_t strict_fault;  // kValid: the strict reading gives `lenient` too
    std::u32string lenient;
  };
  const Case cases[] = {
      {"", kValid, U""},
      {"A\x7F", kValid, U"A\x7F"},
      {"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", kValid, U"\u00E9\u20AC\U0001F600"},
      {"\xF4\x8F\xBF\xBF", kValid, U"\U0010FFFF"},
      {"\xEF\xBF\xBD", kValid, U"\uFFFD"},
      {"a\x80" "b", 1, U"a\uFFFDb"},                                  // a continuation byte alone
      {"\xF8\x88\x80\x80\x80", 0, U"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},  // no 5-byte forms
      {"ab\xE2\x82", 2, U"ab\uFFFD\uFFFD"},                            // cut at the end
      {"\xE2(\xA1", 0, U"\uFFFD(\uFFFD"},                              // broken by an ASCII byte
      {"\xC0\xAF", 0, U"/"},                                           // overlong "/"
      {"x\xE0\x82\xA9", 1, U"x\u00A9"},                               // a two-byte character in three
      {"\xED\xA0\x80", 0, U"\xD800"},                                  // a surrogate
      {"\xF4\x90\x80\x80", 0, U"\x110000"},                            // past U+10FFFF
  };
  for (const auto& [bytes, strict_fault, lenient] : cases) {
    std::size_t fault = kValid;
    const auto strict = DecodeUtf8(bytes, Utf8Reading::kStrict, &fault);
    EXPECT_EQ(fault, strict_fault) << bytes;
    EXPECT_EQ(strict.has_value(), strict_fault == kValid) << bytes;
    EXPECT_EQ(DecodeUtf8(bytes, Utf8Reading::kLenient), lenient) << bytes;
    if (strict) {  // the same code points, and writing them gives the bytes back
      EXPECT_EQ(*strict, lenient) << bytes;
      std::string written;
      for (char32_t cp : *strict) AppendUtf8(written, cp);
      EXPECT_EQ(written, bytes);
    }
  }
}

TEST(DateTimeSerial, StepsAcrossMonthAndYearEnds) {
  const std::pair<DateTime, DateTime> one_second_apart[] = {
      {{2026, 12, 31, 23, 59, 59}, {2027, 1, 1, 0, 0, 0}},
      {{2024, 2, 28, 23, 59, 59}, {2024, 2, 29, 0, 0, 0}},
      {{2023, 2, 28, 23, 59, 59}, {2023, 3, 1, 0, 0, 0}},
      {{2100, 2, 28, 23, 59, 59}, {2100, 3, 1, 0, 0, 0}},
      {{2000, 2, 29, 23, 59, 59}, {2000, 3, 1, 0, 0, 0}},
      {{2026, 4, 30, 23, 59, 59}, {2026, 5, 1, 0, 0, 0}},
  };
  for (const auto& [before, after] : one_second_apart) {
    EXPECT_EQ(after.SerialSeconds() - before.SerialSeconds(), 1) << before.ToText();
    EXPECT_EQ(DateTime::FromSerialSeconds(before.SerialSeconds() + 1), after) << before.ToText();
  }
  const DateTime unix_epoch{1970, 1, 1, 0, 0, 0}, new_year{2027, 1, 1, 0, 0, 0};
  EXPECT_EQ(new_year.SerialSeconds() - unix_epoch.SerialSeconds(), 1798761600);
  EXPECT_EQ((DateTime{2026, 3, 5, 7, 8, 9}.ToText()), "2026-03-05 07:08:09");
}

}  // namespace
}  // namespace quandelstk::text
