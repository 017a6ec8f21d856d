// The field codecs on known vectors and the code table lookup (the 7-bit trace is in trace_log_test).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "channel/session.hpp"
#include "pdu/pdu.hpp"
#include "quandelstk/errors.hpp"
#include "support/virtual_session.hpp"

namespace quandelstk::pdu {
namespace {

using ::testing::HasSubstr;
using testing::VirtualSession;
using Pairs = std::vector<std::pair<std::string, std::string>>;

TEST(SemiOctets, EncodesAndDecodesNumbers) {
  // clang-format off
  for (const auto& [number, fields] : Pairs{{"+15550100123", "910B5155100021F3"}, {"0123", "81041032"},
                                            {"12345", "81052143F5"}, {"", "8100"}, {"+", "9100"}}) {
    // clang-format on
    const SemiOctets f = Encode_Semi_Octets(number);
    EXPECT_EQ(f.type_of_address + f.length + f.digits, fields) << number;
  }
  EXPECT_EQ(Encode_Semi_Octets(std::string(300, '1')).length, "12C");
  EXPECT_EQ(Decode_Semi_Octets("5155100021F3", "91"), "+15550100123");
  EXPECT_EQ(Decode_Semi_Octets("5155100021F3", "81"), "15550100123");
  EXPECT_EQ(Decode_Semi_Octets("2143f5", "81"), "12345f");  // only an upper-case F pads
  EXPECT_EQ(Decode_Semi_Octets("215", "A1"), "125");
  EXPECT_EQ(Decode_Semi_Octets("21F", "81"), "12");  // a lone F reads as the pair "F" and nothing
}

TEST(Gsm7Bit, ConvertsAndPacks) {
  for (const auto& [in, out] : std::vector<std::pair<int, int>>{
           {64, 0}, {163, 1}, {36, 2}, {95, 17}, {13, 13}, {65, 65}, {228, 228}, {300, 300}, {-5, -5}})
    EXPECT_EQ(Convert_To_GSM(static_cast<std::int16_t>(in)), out) << in;
  // clang-format off
  for (const auto& [text, hex] : Pairs{{"hello", "E8329BFD06"}, {"@", "00"}, {"", ""}, {"@$_", "004104"},
                                       {"\xE4", "64"}, {"How are you?", "C8F71D14969741F977FD07"},
                                       {"abcdefg", "61F1985C369F01"}, {"abcdefgh", "61F1985C369FD1"}})
    // clang-format on
    EXPECT_EQ(Encode_7_bit(text), hex) << text;
}

TEST(Gsm7Bit, PacksBehindAHeaderAndCountsSeptets) {
  VirtualSession vs;
  auto& septets = channel::CurrentSession().SeptetCount;
  for (const auto& [text, hex] :
       Pairs{{"hello", "D06536FB0D"}, {"A", "82"}, {"", ""}, {"abcdefgh", "C2E231B96C3EA301"}}) {
    septets = 99;
    EXPECT_EQ(Encode_7_bit_LMS(text), hex) << text;
    EXPECT_EQ(septets, static_cast<std::int16_t>(text.size()));
  }
  EXPECT_EQ(Encode_7_bit_LMS(std::string(153, 'a')).size(), 2u * 134);
  EXPECT_THROW(Encode_7_bit_LMS(std::string(32768, 'a')), RuntimeError);
  EXPECT_EQ(septets, 0);
}

TEST(Decode8Bit, GivesCountCharacters) {
  EXPECT_EQ(Decode_8_bit(3, "4142"), std::string("AB\0", 3));
  EXPECT_EQ(Decode_8_bit(2, "41G2"), std::string("A\0", 2));
  EXPECT_EQ(Decode_8_bit(-1, "4142"), "");
  EXPECT_EQ(Decode_8_bit(1, "e9"), "\xE9");
}

TEST(CodeTable, TranslatesThroughTheShippedTable) {
  VirtualSession vs;
  std::filesystem::copy_file(std::filesystem::path(QSTK_SOURCE_DIR) / "data" / "Unicode.txt",
                             vs.Folder() / "Unicode.txt");
  // clang-format off
  for (const auto& [hex, text] : Pairs{{"00480069", "Hi"}, {"20AC00E9", "\x80\xE9"}, {"00e9", "\x01"},
                                       {"304253F68449", "\x01\x01\x01"}, {"0081", "\x01"}, {"004", "\x01"},
                                       {"", ""}, {"0000", std::string(1, '\0')}})
    // clang-format on
    EXPECT_EQ(Decode_Unicode(hex), text) << hex;
}

// Error 53 names every place searched, in search order.
void ExpectMissingTable(const std::vector<std::filesystem::path>& folders) {
  try {
    Decode_Unicode("0041");
    ADD_FAILURE() << "no error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.Number(), 53);
    std::size_t previous = 0;
    for (const auto& folder : folders) {
      const std::size_t at = e.Description().find((folder / "Unicode.txt").string());
      ASSERT_NE(at, std::string::npos) << e.Description();
      EXPECT_GE(at, previous) << "in search order: " << e.Description();
      previous = at + 1;
    }
  }
}

TEST(CodeTable, ReadsTheFileAsAScanWouldAndNamesAMissingOne) {
  VirtualSession vs;
  const auto table = vs.Folder() / "Unicode.txt";
  EXPECT_EQ(Decode_Unicode(""), "");
  ExpectMissingTable({vs.Folder()});
  std::ofstream(table, std::ios::binary)
      << "0x41\t0x0041\r\n0x8140\t0x3000 ideographic space\n0x42\t0x0041\n 0x43 0x0043\n0x44\t0x0044  \n";
  EXPECT_EQ(Decode_Unicode("0041300000420044"), std::string("A\x81\x40\x01") + "D");
  EXPECT_THROW(Decode_Unicode("0043"), RuntimeError);  // a matching line without a tab
  std::ofstream(table, std::ios::binary) << "0x5A\t0x0041\n";
  EXPECT_EQ(Decode_Unicode("0041"), "Z");  // a changed file is read afresh
}

TEST(CodeTable, TakesTheFirstFolderHoldingTheTableAndNamesEveryPlaceWhenNoneDoes) {
  VirtualSession vs;
  std::vector<std::filesystem::path> folders;
  for (const char* name : {"own", "data", "program"}) folders.push_back(vs.Folder() / name);
  for (const auto& folder : folders) std::filesystem::create_directory(folder);
  vs.Platform().SetCodeTableFolders({folders[0].string(), folders[1].string() + "/", folders[2].string()});
  ExpectMissingTable(folders);
  try {
    Decode_Unicode("0041");
  } catch (const RuntimeError& e) {
    EXPECT_THAT(e.Description(), HasSubstr("data/Unicode.txt in the source tree"));
  }
  // Written from the last folder to the first, each one then found before the ones after it.
  for (int k = 2; k >= 0; --k) {
    std::ofstream(folders[static_cast<std::size_t>(k)] / "Unicode.txt", std::ios::binary)
        << "0x" << std::hex << int('A' + k) << "\t0x0041\n";
    EXPECT_EQ(Decode_Unicode("0041"), std::string(1, static_cast<char>('A' + k)));
  }
  std::filesystem::remove(folders[0] / "Unicode.txt");
  EXPECT_EQ(Decode_Unicode("0041"), "B");
}

}  // namespace
}  // namespace quandelstk::pdu
