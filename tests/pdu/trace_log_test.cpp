// The 7-bit trace in the log: byte for byte what the decoder wrote before it wrote in one batch,
// whatever the text holds and however the clock moves during a decode.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>

#include "pdu/pdu.hpp"
#include "support/reference_log.hpp"
#include "support/virtual_session.hpp"

namespace quandelstk::pdu {
namespace {

using testing::VirtualSession;

std::string RecordedLog(const std::string& name) {
  std::ostringstream content;
  content << std::ifstream(std::filesystem::path(QSTK_SOURCE_DIR) / "tests/pdu/data" / name, std::ios::binary)
                 .rdbuf();
  return content.str();
}

const std::string kDeliverHead = "07915155100021F3040B915155100054F6000062101291740523";
const std::string kText160 =
    "Your parcel 4417 has been delivered to the front desk at 14:05. Reply STOP to end these updates or call "
    "+1 555 0100 for help. Thanks for waiting - see you soon.";

// Each file was written by the decoder as it stood before the batch, on a clock that stood still.
TEST(TraceLog, WritesWhatTheRecordedLogsHold) {
  struct Case {
    std::string file;
    std::function<void()> decodes;
  };
  const std::vector<Case> cases = {
      {"deliver-hello.txt", [] { Decode_PDU(kDeliverHead + "05E8329BFD06"); }},
      {"deliver-160.txt", [] { Decode_PDU(kDeliverHead + "A0" + Encode_7_bit(kText160)); }},
      {"concatenated-part.txt",
       [] {
         Decode_PDU("07915155100021F3440B915155100054F6000062101291740523A0050003A70201" +
                    Encode_7_bit_LMS(kText160.substr(0, 153)));
       }},
      {"masked-words.txt",
       [] {
         for (const std::string text : {"@ATabcde", "AT+CMGS=\"SM\" OK", "Reply OK", "CSAT DATA OKAY \"ALL\"",
                                        "+CME ERROR: 10 after a long and quiet start, then AT"})
           Decode_7_bit(static_cast<std::int16_t>(text.size()), Encode_7_bit(text));
       }},
      // Cut short, too long, fill bits, malformed hex (read as 0), no septets: the texts too.
      {"short-and-odd.txt",
       [] {
         const struct {
           std::int16_t septets;
           std::string hex, text;
         } odd[] = {{8, "61F1985C369FD1", "abcdefgh"},
                    {7, "61F1985C369F01", "abcdefg"},
                    {3, "E8329BFD06", "hel"},
                    {9, "E8329BFD06", "hello"},
                    {0, "E8329BFD06", ""},
                    {3, "004104", "@$_"},
                    {1, "01", "\x01"},
                    {2, "ZZ32", "@d"},
                    {5, "E8329BFD069", "hello"},
                    {-1, "", ""},
                    {0, "", ""},
                    {-5, "E8329BFD06", ""}};
         for (const auto& o : odd) EXPECT_EQ(Decode_7_bit(o.septets, o.hex), o.text) << o.hex;
         Decode_7_bit(12, Encode_7_bit("two\r\nlines\r\n"));
       }},
  };
  for (const Case& c : cases) {
    VirtualSession vs;
    c.decodes();
    EXPECT_EQ(vs.LogText(), RecordedLog(c.file)) << c.file;
  }
}

// Random user data, with mask tokens among ordinary text at random places, cut short, longer than
// 256 octets or malformed.
TEST(TraceLog, WritesWhatTheFirstDecoderWroteForRandomUserData) {
  const std::vector<std::string> pieces = {"AT",   "OK",   "\"SM\"", "CMGS", "ERROR", "MMSBEARER",    "CS",
                                           "A",    "T",    "\"",     "Q",    "a",     "hello world ", "@$_",
                                           "\r\n", "\x01", "\x1b",   "STOP", "Z",     "MMSW"};
  std::mt19937 rng(18);
  auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); };
  for (int i = 0; i < 400; ++i) {
    std::string text;
    for (int k = pick(0, i % 50 == 0 ? 80 : 25); k > 0; --k)
      text += pieces[static_cast<std::size_t>(pick(0, static_cast<int>(pieces.size()) - 1))];
    std::string hex = Encode_7_bit(text);
    if (i % 7 == 0 && !hex.empty())
      hex[static_cast<std::size_t>(pick(0, static_cast<int>(hex.size()) - 1))] = 'G';
    if (i % 5 == 0) hex.resize(static_cast<std::size_t>(pick(0, static_cast<int>(hex.size()))));
    const auto septets = static_cast<std::int16_t>(static_cast<int>(text.size()) + pick(-3, 3));

    VirtualSession vs;
    const DateTime at = vs.Platform().Now();
    Decode_7_bit(septets, hex);
    std::string expected;
    for (const std::string& record : testing::ReferenceTrace(septets, hex))
      expected += testing::ReferenceRecord(record, at);
    ASSERT_EQ(vs.LogText(), expected) << septets << " " << hex;
  }
}

// A clock that moves on at every reading takes the trace across midnight: the records go to both
// days' files, each stamped with a reading of its own, as writing them one by one does after the
// batch's first reading.
TEST(TraceLog, RecordsFollowTheClockWhenItTurnsOverDuringADecode) {
  VirtualSession vs;
  const DateTime before_midnight{2026, 12, 4, 23, 59, 58};
  const std::string hex = Encode_7_bit("@ATabcdefgh OK");
  {
    ScopedPlatform ticking(std::make_shared<testing::TickingPlatform>(vs.Folder().string(), before_midnight));
    ASSERT_EQ(Decode_7_bit(14, hex), "@ATabcdefgh OK");
  }
  testing::TickingPlatform clock("", before_midnight);
  clock.Now();
  const auto expected =
      testing::ReferenceLogFiles(testing::ReferenceTrace(14, hex), [&] { return clock.Now(); });
  ASSERT_EQ(expected.size(), 2u);
  EXPECT_EQ(testing::LogFilesIn(vs.Folder()), expected);
}

}  // namespace
}  // namespace quandelstk::pdu
