// The CLI's UTF-8 reader on its own, where the fuzzer found it wanting.
#include <gtest/gtest.h>

#include <string>

#include "charset.hpp"

namespace quandelstk::cli {
namespace {

// An overlong form, a surrogate or a code beyond Unicode is no UTF-8: it used to be read as the
// character it spells ("h\xE0\x82\xAC" as "h¬"), so a text did not come back as it was given.
TEST(Charset, OnlyTheShortestFormOfACharacterIsUtf8) {
  for (const char* bytes : {"h\xE0\x82\xAC", "\xC0\xAF", "\xC1\xBF", "\xF0\x82\x82\xAC", "\xED\xA0\x80",
                            "\xF4\x90\x80\x80"})
    EXPECT_THROW(Utf8ToCp1252(bytes), CharsetError) << bytes;
  for (const char* text : {"h\xC2\xAC", "\xE2\x82\xAC", "caf\xC3\xA9"})
    EXPECT_EQ(Cp1252ToUtf8(Utf8ToCp1252(text)), text);
  EXPECT_EQ(Utf8ToUcs2Hex("\xE2\x82\xAC"), "20AC");
}

}  // namespace
}  // namespace quandelstk::cli
