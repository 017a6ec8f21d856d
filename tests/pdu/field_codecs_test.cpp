// The field codecs on known vectors, the 7-bit trace record by record, and the code table lookup.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "channel/log.hpp"
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

TEST(Gsm7Bit, Unpacks) {
  VirtualSession vs;
  struct Case {
    std::int16_t septets;
    std::string hex, text;
  };
  // clang-format off
  for (const Case& c : std::vector<Case>{
           {5, "E8329BFD06", "hello"}, {8, "61F1985C369FD1", "abcdefgh"},
           {7, "61F1985C369F01", "abcdefg"},  // no @ from the fill bits
           {3, "E8329BFD06", "hel"}, {9, "E8329BFD06", "hello"}, {0, "E8329BFD06", ""}, {3, "004104", "@$_"},
           {1, "01", "\x01"},  // septet 1 stays code 1
           {2, "ZZ32", "@d"},  // malformed hex reads as 0
           {5, "E8329BFD069", "hello"}})
    // clang-format on
    EXPECT_EQ(Decode_7_bit(c.septets, c.hex), c.text) << c.hex;
}

std::string Records(const std::vector<std::string>& texts, const DateTime& at) {
  std::string all;
  for (const auto& t : texts) all += channel::FormatLogRecord(channel::MaskLogText(t), at);
  return all;
}

TEST(Gsm7Bit, TracesEveryOctet) {
  VirtualSession vs;
  const DateTime at = vs.Platform().Now();
  ASSERT_EQ(Decode_7_bit(5, "E8329BFD06"), "hello");
  const std::string octets[] = {
      "0\r\niBitCount = 0\r\niTemp = 232\r\nbit_data = 104\r\nfront = 128\r\niPushBack = 1",
      "1\r\niBitCount = 1\r\niTemp = 50\r\nbit_data = 101\r\nfront = 192\r\niPushBack = 0",
      "2\r\niBitCount = 2\r\niTemp = 155\r\nbit_data = 108\r\nfront = 224\r\niPushBack = 4",
      "3\r\niBitCount = 3\r\niTemp = 253\r\nbit_data = 108\r\nfront = 240\r\niPushBack = 15",
      "4\r\niBitCount = 4\r\niTemp = 6\r\nbit_data = 111\r\nfront = 248\r\niPushBack = 0"};
  std::vector<std::string> expected = {"iCounter = 4"};
  for (int n = 0; n < 5; ++n)
    expected.push_back("N = " + octets[n] + "\r\nDecode_7_bit = " + std::string("hello").substr(0, n + 1));
  EXPECT_EQ(vs.LogText(), Records(expected, at));

  // The eighth septet of a group has a record of its own; the decoded text is masked like any other.
  ASSERT_EQ(Decode_7_bit(8, Encode_7_bit("@ATabcde")), "@ATabcde");
  EXPECT_THAT(vs.LogText(), HasSubstr("\r\nDecode_7_bit = @Q24>0\r\n"));
  EXPECT_THAT(vs.LogText(),
              ::testing::EndsWith(Records({"iBitCount = 6; so Decode_7_Bit = @Q24>0abcde\r\n"}, at)));
  EXPECT_EQ(Decode_7_bit(0, ""), "");
  EXPECT_THAT(vs.LogText(), ::testing::EndsWith(Records({"iCounter = -1"}, at)));
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

TEST(CodeTable, ReadsTheFileAsAScanWouldAndNamesAMissingOne) {
  VirtualSession vs;
  const auto table = vs.Folder() / "Unicode.txt";
  EXPECT_EQ(Decode_Unicode(""), "");
  try {
    Decode_Unicode("0041");
    ADD_FAILURE() << "no error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.Number(), 53);
    EXPECT_THAT(e.Description(), HasSubstr(table.string()));
  }
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

  try {
    Decode_Unicode("0041");
    ADD_FAILURE() << "no error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.Number(), 53);
    std::size_t previous = 0;
    for (const auto& folder : folders) {
      const std::size_t at = e.Description().find((folder / "Unicode.txt").string());
      ASSERT_NE(at, std::string::npos) << e.Description();
      EXPECT_GT(at, previous) << "in search order: " << e.Description();
      previous = at;
    }
    EXPECT_THAT(e.Description(), HasSubstr("data/Unicode.txt in the source tree"));
  }

  const auto write = [](const std::filesystem::path& folder, char native) {
    std::ofstream(folder / "Unicode.txt", std::ios::binary) << "0x" << std::hex << int(native) << "\t0x0041\n";
  };
  write(folders[2], 'C');
  EXPECT_EQ(Decode_Unicode("0041"), "C");
  write(folders[1], 'B');
  EXPECT_EQ(Decode_Unicode("0041"), "B");
  write(folders[0], 'A');
  EXPECT_EQ(Decode_Unicode("0041"), "A");
  std::filesystem::remove(folders[0] / "Unicode.txt");
  EXPECT_EQ(Decode_Unicode("0041"), "B");
}

}  // namespace
}  // namespace quandelstk::pdu
