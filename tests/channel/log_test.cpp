// Log masking, the daily file and its records, and batches of records written together.
#include "channel/log.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "channel/log_batch.hpp"
#include "support/error_number.hpp"
#include "support/reference_log.hpp"
#include "support/virtual_session.hpp"

namespace quandelstk::channel {
namespace {

using testing::VirtualSession;

TEST(Log, MaskReplacesTokensInIndexOrder) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {"AT+CMGS=", "Q24>0+Q24>21="},
      {"AT+CGATT=1", "Q24>0+CGQ24>0T=1"},  // "AT" goes first: CGATT never matches
      {"DATA", "DQ24>0A"},
      {"OKAY", "Q24>1AY"},
      {"+CME ERROR: 10", "+Q24>3 Q24>2: 10"},
      {"+CMS ERROR: 515", "+CMS Q24>2: 515"},
      {"AT+CLCC", "Q24>0+Q24>19"},  // the repeated token 49 finds nothing left
      {"AT+CPMS=\"SR\",\"SM\"", "Q24>0+Q24>11=Q24>33,Q24>31"},
      {"AT+CMGL=\"ALL\"", "Q24>0+Q24>23=Q24>25"},
      {"AT+COPS?;+CIMI", "Q24>0+Q24>52?;+Q24>54"},
      {"ATATAT", "Q24>0Q24>0Q24>0"},
      {"Error 5 (Invalid procedure call) in procedure Init of Class Module Modem",
       "Error 5 (Invalid procedure call) in procedure Init of Class Module Modem"},
  };
  for (const auto& [text, masked] : cases) {
    EXPECT_EQ(MaskLogText(text), masked) << text;
    EXPECT_EQ(MaskLogText(masked), masked) << "masking twice changed " << text;
  }
}

// Texts built from tokens, pieces of tokens, codes and ordinary characters, and random bytes.
std::vector<std::string> RandomTexts(int count) {
  const std::vector<std::string> pieces = {
      "AT", "OK", "\"SM\"", "CMGS", "+CME ERROR: ", "CGATT", "\"REC UNREAD\"", "MMSCOMMMODE", "CLCC", "CS",
      "A",  "T",  "\"",     "a",    "Q24>",         "Z[",    "\xC1T",          "\r\n",        " ",    "MMS"};
  std::mt19937 rng(55);
  auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); };
  std::vector<std::string> texts;
  for (int i = 0; i < count; ++i) {
    std::string text;
    for (int k = pick(0, 14); k > 0; --k)
      text += i % 4 == 0 ? std::string(1, static_cast<char>(pick(0, 255)))
                         : pieces[static_cast<std::size_t>(pick(0, static_cast<int>(pieces.size()) - 1))];
    texts.push_back(text);
  }
  return texts;
}

TEST(Log, MaskingAgreesWithTokenByTokenMaskingOnRandomTexts) {
  ASSERT_EQ(MaskTokens().size(), 55u);  // the codes in logs already written keep their meaning
  for (const std::string& text : RandomTexts(4000)) {
    const std::string masked = testing::ReferenceMask(text);
    ASSERT_EQ(MaskLogText(text), masked) << text;
    ASSERT_EQ(HoldsMaskToken(text), masked != text) << text;
    std::size_t first_end = text.size() + 1;  // where the first token to end ends
    for (const std::string& token : MaskTokens())
      if (const auto at = text.find(token); at != std::string::npos)
        first_end = std::min(first_end, at + token.size());
    ASSERT_EQ(MaskTokenFreePrefix(text), first_end - 1) << text;
  }
}

// Texts with and without tokens, added whole or written straight into the batch.
void AddToBatch(LogBatch& batch, const std::vector<std::string>& texts) {
  for (const std::string& text : texts) {
    if (HoldsMaskToken(text)) {
      batch.Add(text);
      continue;
    }
    char* p = batch.StartUnmaskedRecord(text.size());
    std::memcpy(p, text.data(), text.size());
    batch.EndUnmaskedRecord(p + text.size());
  }
}

TEST(Log, ABatchWritesWhatRecordByRecordWrites) {
  VirtualSession vs;
  const auto texts = RandomTexts(200);
  LogBatch batch;
  batch.Begin();
  AddToBatch(batch, texts);
  batch.Write();
  const DateTime at = vs.Platform().Now();
  EXPECT_EQ(testing::LogFilesIn(vs.Folder()), testing::ReferenceLogFiles(texts, [&] { return at; }));
}

// When the clock has moved on between the batch's first reading and its write, every record is
// stamped with a reading of its own, the first with the one that found the change.
TEST(Log, ABatchFollowsTheClockAcrossMidnight) {
  VirtualSession vs;
  const DateTime before_midnight{2026, 12, 31, 23, 59, 57};
  const std::vector<std::string> texts = {"AT+CMGS=", "first", "", "OKAY", "last"};
  {
    ScopedPlatform ticking(std::make_shared<testing::TickingPlatform>(vs.Folder().string(), before_midnight));
    LogBatch batch;
    batch.Begin();
    AddToBatch(batch, texts);
    batch.Write();
  }
  testing::TickingPlatform clock("", before_midnight);
  clock.Now();
  const auto expected = testing::ReferenceLogFiles(texts, [&] { return clock.Now(); });
  ASSERT_EQ(expected.size(), 2u);
  EXPECT_EQ(testing::LogFilesIn(vs.Folder()), expected);
}

TEST(Log, RecordsGoToTheFileOfTheDayTheyAreWritten) {
  VirtualSession vs(DateTime{2026, 12, 31, 23, 59, 59});
  WriteLog("AT+CMGS=");
  vs.Platform().Advance(999);
  WriteLog("");
  vs.Platform().Advance(1);
  WriteLog("just after midnight");
  const std::map<std::string, std::string> files = {
      {"QUANDEL STK API Log_2026-12-31.txt",
       "*** QUANDEL STK API version 6.6.1 log dated on 2026-12-31 23:59:59 ***\r\nQ24>0+Q24>21=\r\n"
       "*** QUANDEL STK API version 6.6.1 log dated on 2026-12-31 23:59:59 ***\r\n\r\n"},
      {"QUANDEL STK API Log_2027-1-1.txt",
       "*** QUANDEL STK API version 6.6.1 log dated on 2027-01-01 00:00:00 ***\r\njust after midnight\r\n"}};
  EXPECT_EQ(testing::LogFilesIn(vs.Folder()), files);
}

TEST(Log, AFileThatCannotBeWrittenIsARunTimeError) {
  VirtualSession vs;
  vs.Platform().SetFolders(vs.Folder().string(), (vs.Folder() / "missing").string());
  std::string why;
  EXPECT_EQ(testing::ErrorNumberOf([] { WriteLog("x"); }, &why), 76);
  EXPECT_NE(why.find("missing"), std::string::npos) << why;
}

}  // namespace
}  // namespace quandelstk::channel
