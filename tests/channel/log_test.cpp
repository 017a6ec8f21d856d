// Log masking, the daily file and its records.
#include "channel/log.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "support/error_number.hpp"
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

std::string FileText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

TEST(Log, RecordsGoToTheFileOfTheDayTheyAreWritten) {
  VirtualSession vs(DateTime{2026, 12, 31, 23, 59, 59});
  WriteLog("AT+CMGS=");
  vs.Platform().Advance(999);
  WriteLog("");
  vs.Platform().Advance(1);
  WriteLog("just after midnight");
  EXPECT_EQ(FileText(vs.Folder() / "QUANDEL STK API Log_2026-12-31.txt"),
            "*** QUANDEL STK API version 6.6.1 log dated on 2026-12-31 23:59:59 ***\r\nQ24>0+Q24>21=\r\n"
            "*** QUANDEL STK API version 6.6.1 log dated on 2026-12-31 23:59:59 ***\r\n\r\n");
  EXPECT_EQ(
      FileText(vs.Folder() / "QUANDEL STK API Log_2027-1-1.txt"),
      "*** QUANDEL STK API version 6.6.1 log dated on 2027-01-01 00:00:00 ***\r\njust after midnight\r\n");
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
