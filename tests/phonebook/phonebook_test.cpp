// The Phonebook class against a scripted modem: the commands it sends, the fields it cuts out of
// the answers, and the failures that reach the caller.
#include "quandelstk/phonebook.hpp"

#include <gtest/gtest.h>

#include <functional>

#include "support/error_number.hpp"
#include "support/virtual_session.hpp"

namespace quandelstk::testing {
namespace {

const auto Ok = [](const std::string& lines = "") { return lines + "\r\nOK\r\n"; };
const std::string kSelect = "AT+CPBS=\"SM\"\r";

// A call's result as text, or "error N" when it raises error N.
using Call = std::function<std::string(Phonebook&)>;
const Call kSpace = [](Phonebook& p) { return std::to_string(p.TotalSpace()); };
const Call kUsed = [](Phonebook& p) { return std::to_string(p.TotalUsed()); };
Call Read(std::int16_t location) {
  return [location](Phonebook& p) { return std::string(p.PhonebookRead(location) ? "true" : "false"); };
}
Call Write(std::int16_t location, std::string number, std::string name) {
  return
      [=](Phonebook& p) { return std::string(p.PhonebookWrite(location, number, name) ? "true" : "false"); };
}
Call Delete(std::int16_t location) {
  return [location](Phonebook& p) { return std::string(p.PhonebookDelete(location) ? "true" : "false"); };
}

struct Case {
  const char* name;
  std::vector<std::pair<std::string, std::vector<Piece>>> answers;  // lines not listed are answered OK
  Call call;
  std::string result;
  std::string written;                   // every byte the modem received
  std::string properties = "kept|kept";  // number|name afterwards
  bool open = true;                      // a closed port fails every operation without sending
};

std::vector<Piece> Now(const std::string& bytes) {
  return {{0, bytes}};
}
std::vector<Piece> Status(const std::string& line) {
  return Now(Ok("\r\n+CPBS: " + line + "\r\n"));
}
std::vector<Piece> Entry(const std::string& line) {
  return Now(Ok("\r\n+CPBR: " + line + "\r\n"));
}

TEST(Phonebook, Transcripts) {
  const std::string queried = kSelect + "AT+CPBS?\r";
  const std::string read1 = kSelect + "AT+CPBR=1\r";
  // clang-format off
  const Case cases[] = {
      {"Space", {{"AT+CPBS?", Status("\"SM\",12,250")}}, kSpace, "250", queried},
      {"Used", {{"AT+CPBS?", Status("\"SM\",12,250")}}, kUsed, "12", queried},
      {"BlanksAroundCounts", {{"AT+CPBS?", Status("\"SM\", 12 , 250 ")}}, kUsed, "12", queried},
      {"TotalNotNumeric", {{"AT+CPBS?", Status("\"SM\",12,many")}}, kSpace, "-1", queried},
      {"UsedEmpty", {{"AT+CPBS?", Status("\"SM\",,250")}}, kUsed, "-1", queried},
      {"NoStatusLine", {}, kSpace, "-1", queried},
      {"QueryRefused", {{"AT+CPBS?", Now("\r\n+CME ERROR: 3\r\n")}}, kUsed, "-1", queried},
      {"SelectRefused", {{"AT+CPBS=\"SM\"", Now("\r\nERROR\r\n")}}, kSpace, "-1", kSelect},
      {"CountBeyond16Bits", {{"AT+CPBS?", Status("\"SM\",12,40000")}}, kSpace, "error 6", queried},
      {"MissingComma", {{"AT+CPBS?", Status("\"SM\",12")}}, kUsed, "error 5", queried},
      {"CountInPieces", {{"AT+CPBS?", {{0, "\r\n+CPBS: \"S"}, {30, "M\",3,2"}, {80, "50\r\n"}, {120, Ok()}}}},
       kSpace, "250", queried},

      {"Read", {{"AT+CPBR=1", Entry("1,\"123\",129,\"Ann Lee\"")}}, Read(1), "true", read1, "123|Ann Lee"},
      {"NameWithComma", {{"AT+CPBR=1", Entry("1,\" +15550100123 \",145,\" Lee, Ann \"")}}, Read(1), "true", read1,
       "+15550100123|Lee, Ann"},
      {"EmptyAnsweredOk", {}, Read(1), "false", read1},
      {"EmptyAnsweredNotFound", {{"AT+CPBR=1", Now("\r\n+CME ERROR: 22\r\n")}}, Read(1), "false", read1},
      {"EntryWithoutCommas", {{"AT+CPBR=1", Entry("1")}}, Read(1), "error 5", read1},
      {"ReadSelectRefused", {{"AT+CPBS=\"SM\"", Now("\r\nERROR\r\n")}}, Read(1), "false", kSelect},
      {"EntryInPieces",
       {{"AT+CPBR=12", {{0, "\r\n+CPBR: 12,\"+1555"}, {40, "0100456\",145,\"Jo"}, {90, "s\xE9\"\r\n"}, {130, Ok()}}}},
       Read(12), "true", kSelect + "AT+CPBR=12\r", "+15550100456|Jos\xE9"},

      {"Write", {}, Write(5, "+15550100123", "Ann Lee"), "true", kSelect + "AT+CPBW=5,\"+15550100123\",,\"Ann Lee\"\r"},
      {"WriteEmptyName", {}, Write(5, "123", ""), "true", kSelect + "AT+CPBW=5,\"123\",,\"\"\r"},
      {"WriteRefused", {{"AT+CPBW=250,\"123\",,\"x\"", Now("\r\n+CME ERROR: 21\r\n")}}, Write(250, "123", "x"),
       "false", kSelect + "AT+CPBW=250,\"123\",,\"x\"\r"},
      {"WriteSelectRefused", {{"AT+CPBS=\"SM\"", Now("\r\nERROR\r\n")}}, Write(5, "1", "a"), "false", kSelect},
      {"Delete", {}, Delete(5), "true", kSelect + "AT+CPBW=5\r"},
      {"DeleteNegativeLocation", {{"AT+CPBW=-3", Now("\r\n+CME ERROR: 21\r\n")}}, Delete(-3), "false",
       kSelect + "AT+CPBW=-3\r"},

      {"ClosedSpace", {}, kSpace, "-1", "", "kept|kept", false}, {"ClosedUsed", {}, kUsed, "-1", "", "kept|kept", false},
      {"ClosedRead", {}, Read(1), "false", "", "kept|kept", false},
      {"ClosedWrite", {}, Write(1, "1", "a"), "false", "", "kept|kept", false},
      {"ClosedDelete", {}, Delete(1), "false", "", "kept|kept", false},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    VirtualSession vs;
    if (c.open) vs.OpenPort();
    for (const auto& [line, reply] : c.answers) vs.Modem().On(line, reply);
    vs.Modem().Otherwise(Ok());
    Phonebook pb;
    pb.PhonebookNumber("kept");
    pb.PhonebookName("kept");
    std::string result;
    const int error = ErrorNumberOf([&] { result = c.call(pb); });
    EXPECT_EQ(error ? "error " + std::to_string(error) : result, c.result);
    EXPECT_EQ(vs.Modem().Written(), c.written);
    EXPECT_EQ(pb.PhonebookNumber() + "|" + pb.PhonebookName(), c.properties);
  }
}

}  // namespace
}  // namespace quandelstk::testing
