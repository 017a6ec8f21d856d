// The public conversions between UTF-8 and the library's Windows-1252 texts.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "quandelstk/charset.hpp"
#include "quandelstk/errors.hpp"

namespace quandelstk {
namespace {

using ::testing::HasSubstr;

TEST(Windows1252, KnownCharactersBothWays) {
  struct Case {
    const char* utf8;
    std::string native;
  } cases[] = {
      // clang-format off
      {"", ""},
      {"hello", "hello"},
      {"caf\xC3\xA9 \xE2\x82\xAC" "5", "caf\xE9 \x80" "5"},            // café €5
      {"\xC3\xBF\xC2\xA0", "\xFF\xA0"},                                // ÿ, no-break space
      {"\xE2\x80\x9C\xE2\x80\x9D\xC5\xB8", "\x93\x94\x9F"},            // “ ” Ÿ
      {"\xC5\x92\xC5\xA0\xE2\x84\xA2", "\x8C\x8A\x99"},                // Œ Š ™
      // clang-format on
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Utf8ToWindows1252(c.utf8), c.native) << c.utf8;
    EXPECT_EQ(Windows1252ToUtf8(c.native), c.utf8) << c.utf8;
  }
  EXPECT_EQ(Utf8ToWindows1252(std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(Windows1252, EveryByteSurvivesARoundTrip) {
  for (int b = 0; b < 256; ++b) {
    const std::string native(1, static_cast<char>(b));
    EXPECT_EQ(Utf8ToWindows1252(Windows1252ToUtf8(native)), native) << b;
  }
  // The undefined codes stand for the C1 controls of the same number.
  EXPECT_EQ(Windows1252ToUtf8("\x81\x9D"), "\xC2\x81\xC2\x9D");
}

TEST(Windows1252, RefusesWhatTheSetCannotHoldNamingIt) {
  struct Case {
    std::string utf8;
    const char* named;
  } cases[] = {
      {"\xCE\xA9mega", "\"\xCE\xA9\" (U+03A9) has no code in Windows-1252"},
      {"ok \xF0\x9F\x98\x80", "\"\xF0\x9F\x98\x80\" (U+1F600)"},
      {"\xC2\x80", "(U+0080)"},  // the C1 control 0x80 is the euro sign's code, not its own
  };
  for (const auto& c : cases) {
    try {
      Utf8ToWindows1252(c.utf8);
      ADD_FAILURE() << "accepted " << c.utf8;
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.Number(), err::kInvalidProcedureCall);
      EXPECT_THAT(e.Description(), HasSubstr(c.named));
      EXPECT_THAT(e.Description(), HasSubstr("Utf8ToUcs2Hex"));
    }
  }
}

TEST(Windows1252, RefusesTextThatIsNotUtf8AtItsFirstBadByte) {
  struct Case {
    std::string bytes;
    const char* at;
  } cases[] = {
      // Which bytes are refused is the UTF-8 reader's (text_test): here, that the byte is named.
      {"caf\xE9", "at byte 4"},    // Windows-1252 given where UTF-8 belongs
      {"x\xC0\x80", "at byte 2"},  // an overlong NUL
  };
  for (const auto& c : cases) {
    for (auto convert : {&Utf8ToWindows1252, &Utf8ToUcs2Hex}) {
      try {
        convert(c.bytes);
        ADD_FAILURE() << "accepted " << ::testing::PrintToString(c.bytes);
      } catch (const RuntimeError& e) {
        EXPECT_EQ(e.Number(), err::kInvalidProcedureCall);
        EXPECT_THAT(e.Description(), HasSubstr("not valid UTF-8 " + std::string(c.at)));
      }
    }
  }
}

TEST(Ucs2Hex, FourDigitsPerCharacterAndNothingBeyondTheBasicPlane) {
  EXPECT_EQ(Utf8ToUcs2Hex(""), "");
  EXPECT_EQ(Utf8ToUcs2Hex("\xCE\xA9mega"), "03A9006D006500670061");
  EXPECT_EQ(Utf8ToUcs2Hex("\xE2\x82\xAC\xEF\xBF\xBF"), "20ACFFFF");
  try {
    Utf8ToUcs2Hex("a\xF0\x9F\x98\x80");
    ADD_FAILURE() << "accepted a character beyond U+FFFF";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.Number(), err::kInvalidProcedureCall);
    EXPECT_THAT(e.Description(), HasSubstr("(U+1F600) lies beyond what UCS2 can hold"));
  }
}

}  // namespace
}  // namespace quandelstk
