// The log writer as the 7-bit trace uses it: masking skips texts without tokens, and one write of
// many records gives the files exactly what writing them one by one gives, across seconds and days.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "channel/log.hpp"
#include "quandelstk/platform.hpp"
#include "support/virtual_session.hpp"

namespace quandelstk::channel {
namespace {

// The masking as first written: every token in turn, replaced wherever it is.
std::string MaskTokenByToken(std::string text) {
  for (std::size_t i = 0; i < MaskTokens().size(); ++i) {
    const std::string& token = MaskTokens()[i];
    const std::string code = "Q24>" + std::to_string(i);
    for (std::size_t at = text.find(token); at != std::string::npos; at = text.find(token, at + code.size()))
      text.replace(at, token.size(), code);
  }
  return text;
}

TEST(TraceLog, MaskingFindsEveryTokenWherever) {
  const std::vector<std::string> pieces = {
      "AT", "OK", "\"SM\"",          "CMGS",  "+CME ERROR: ", "CGATT", "\"REC UNREAD\"", "A", "T",
      "\"", "a",  "Decode_7_bit = ", "\xC1T", "Z[",           "\r\n"};
  std::mt19937 rng(7);
  for (int i = 0; i < 3000; ++i) {
    std::string text;
    for (int k = std::uniform_int_distribution<int>(0, 12)(rng); k > 0; --k)
      text += pieces[std::uniform_int_distribution<std::size_t>(0, pieces.size() - 1)(rng)];
    ASSERT_EQ(MaskLogText(text), MaskTokenByToken(text)) << text;
  }
}

// A clock that moves one second every second reading, from just before midnight.
class TickingPlatform final : public Platform {
 public:
  explicit TickingPlatform(std::string folder) : folder_(std::move(folder)) {}
  std::unique_ptr<SerialControl> MakeSerialControl() override { return nullptr; }
  DateTime Now() override { return DateTime::FromSerialSeconds(start_.SerialSeconds() + readings_++ / 2); }
  std::int64_t MonotonicMs() override { return 0; }
  void Sleep(std::int32_t) override {}
  std::string LibraryFolder() override { return folder_; }
  std::string LogFolder() override { return folder_; }

 private:
  DateTime start_{2026, 12, 4, 23, 59, 58};
  int readings_ = 0;
  std::string folder_;
};

// Both days' files of a folder.
std::string FilesIn(const std::filesystem::path& folder) {
  std::ostringstream content;
  for (const char* day : {"4", "5"})
    content << std::ifstream(folder / ("QUANDEL STK API Log_2026-12-" + std::string(day) + ".txt")).rdbuf()
            << "|";
  return content.str();
}

TEST(TraceLog, OneWriteGivesWhatRecordByRecordGives) {
  testing::VirtualSession vs;
  const std::vector<std::string> texts = {"iCounter = 4", "",  "AT+CMGS=12", "N = 0\r\nDecode_7_bit = h",
                                          "OKAY",         "x", "\"SM\"",     "last"};
  const auto batch = vs.Folder() / "batch", single = vs.Folder() / "single";
  std::filesystem::create_directories(batch);
  std::filesystem::create_directories(single);
  {
    ScopedPlatform scope(std::make_shared<TickingPlatform>(batch.string()));
    WriteLogs(texts);
  }
  {
    ScopedPlatform scope(std::make_shared<TickingPlatform>(single.string()));
    for (const auto& text : texts) WriteLog(text);
  }
  const std::string written = FilesIn(batch);
  EXPECT_EQ(written, FilesIn(single));
  EXPECT_THAT(written, ::testing::HasSubstr("2026-12-05 00:00:01 ***\r\nlast\r\n|"));
}

}  // namespace
}  // namespace quandelstk::channel
