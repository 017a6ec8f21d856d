// The ussd and phonebook commands end to end: the built quandelstk against quandelstk-modemsim on a
// pseudo-terminal, whole answers and answers cut into small timed pieces alike; and, on the
// in-process simulator, what phonebook import makes of the files it is given.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "support/sim_process.hpp"

namespace quandelstk::testing {
namespace {

using nlohmann::json;

const std::string kCli = std::string(QSTK_BIN_DIR) + "/quandelstk";
// Every answer of the modem in pieces of 7 bytes, 15 ms apart.
const std::string kChunked = R"("chunking": {"*": {"size": 7, "gap_ms": 15}})";

std::string Quoted(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

RunResult Cli(const std::vector<std::string>& args, const std::string& input = "") {
  std::string command;
  if (!input.empty()) command = "printf '%s' " + Quoted(input) + " | ";
  command += Quoted(kCli);
  for (const auto& a : args) command += " " + Quoted(a);
  return RunProgram({"sh", "-c", command}, 120000);
}

std::vector<json> JsonLines(const RunResult& r) {
  std::vector<json> lines;
  std::istringstream in(r.output);
  for (std::string line; std::getline(in, line);)
    if (!line.empty() && line[0] == '{') lines.push_back(json::parse(line));
  return lines;
}

std::vector<json> Of(const std::vector<json>& lines, const std::string& command) {
  std::vector<json> found;
  for (const json& l : lines)
    if (l["command"] == command) found.push_back(l);
  return found;
}

class Folder {
 public:
  Folder() : path_(std::filesystem::temp_directory_path() / ("quandelstk-pb-" + std::to_string(::getpid()))) {
    std::filesystem::create_directories(path_);
  }
  ~Folder() { std::filesystem::remove_all(path_); }
  std::string File(const std::string& name, const std::string& text = "") const {
    const auto p = path_ / name;
    if (!text.empty()) std::ofstream(p, std::ios::binary) << text;
    return p.string();
  }
  static std::string Text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }

 private:
  std::filesystem::path path_;
};

// --- USSD over a pty --------------------------------------------------------------------------

// A balance whose +CUSD line comes before the OK and holds a line break, a comma and a letter of the
// GSM alphabet beyond ASCII; a menu of two steps whose answers come after the OK.
const std::string kUssdScenario = R"({"gsm_text": "latin1", "ussd": {
  "*100#": {"text": "Saldo: 5,00 kr\nGültig bis 31.12.", "before_ok": true},
  "*101#": {"status": 1, "text": "1 Balance\n2 Bundles", "next": {
    "2": {"status": 1, "text": "1 Day pass\n2 Week pass", "next": {"1": {"text": "Day pass bought"}}}}}}})";

TEST(UssdCliOverPty, BalanceAndATwoStepMenuWholeAndInPieces) {
  for (const bool chunked : {false, true}) {
    SCOPED_TRACE(chunked ? "chunked" : "whole");
    std::string scenario = kUssdScenario;
    if (chunked) scenario.insert(scenario.size() - 1, ", " + kChunked);
    SimProcess sim(scenario);
    const auto r = Cli({"--port", sim.DevicePath(), "--json", "shell"},
                       "ussd send *100#\nussd send *101# 2 1\nussd send *999#\nussd cancel\nexit\n");
    const auto lines = JsonLines(r);
    ASSERT_EQ(lines.size(), 4u) << r.output;
    EXPECT_EQ(lines[0]["result"], "Saldo: 5,00 kr\nGültig bis 31.12.");
    EXPECT_EQ(lines[1]["result"],
              json({"1 Balance\n2 Bundles", "1 Day pass\n2 Week pass", "Day pass bought"}));
    EXPECT_EQ(lines[2]["result"], "");  // +CUSD: 4
    EXPECT_EQ(lines[3]["result"], true);
    EXPECT_EQ(r.exit_code, 0) << r.output;  // of the last command
  }
}

TEST(UssdCliOverPty, ListenCatchesTheNetworksNotification) {
  // The network speaks a few seconds after Init's last step, while ussd listen waits.
  SimProcess sim(R"({"unsolicited": [{"after": "AT+CGSN", "delay_ms": 6000,
                     "text": "\r\n+CUSD: 0,\" Top up now, get 10% more \",15\r\n"}]})");
  const auto r = Cli({"--port", sim.DevicePath(), "--json", "ussd", "listen", "--timeout", "30"});
  ASSERT_EQ(r.exit_code, 0) << r.output;
  const auto lines = JsonLines(r);
  ASSERT_EQ(lines.size(), 1u) << r.output;
  EXPECT_EQ(lines[0]["result"], true);
  EXPECT_EQ(lines[0]["properties"]["USSDNotification"], "Top up now, get 10% more");
}

// --- The phonebook round trip over a pty ------------------------------------------------------

const std::vector<std::tuple<int, std::string, std::string>> kEntries = {
    {1, "+15550100123", "Ann Lee"},   {2, "+15550100456", "Lee, Ann"},    {5, "0123456", "Jürgen Groß"},
    {9, "+4670123456", "Åsa Ørsted"}, {12, "+34912345678", "José Muñoz"},
};

std::string DeleteAll() {
  std::string lines;
  for (const auto& [location, number, name] : kEntries)
    lines += "phonebook delete " + std::to_string(location) + "\n";
  return lines;
}

TEST(PhonebookCliOverPty, ExportDeleteImportGivesBackTheSamePhonebook) {
  for (const bool chunked : {false, true}) {
    SCOPED_TRACE(chunked ? "chunked" : "whole");
    Folder folder;
    const std::string vcf = folder.File("book.vcf"), csv = folder.File("book.csv");
    SimProcess sim(std::string(R"({"gsm_text": "latin1", "phonebook": {"capacity": 30})") +
                   (chunked ? ", " + kChunked : "") + "}");
    std::string session;
    for (const auto& [location, number, name] : kEntries)
      session += "phonebook write " + std::to_string(location) + " " + number + " \"" + name + "\"\n";
    session += "phonebook list\nphonebook export " + vcf + "\nphonebook export " + csv + "\n";
    session += DeleteAll() + "phonebook list\nphonebook import " + vcf + "\nphonebook list\n";
    session += DeleteAll() + "phonebook import " + csv + "\nphonebook list\nexit\n";
    const auto r = Cli({"--port", sim.DevicePath(), "--json", "shell"}, session);
    ASSERT_EQ(r.exit_code, 0) << r.output;
    const auto lines = JsonLines(r);

    const auto lists = Of(lines, "phonebook list");
    ASSERT_EQ(lists.size(), 4u) << r.output;
    json expected = json::array();
    for (const auto& [location, number, name] : kEntries)
      expected.push_back({{"location", location}, {"number", number}, {"name", name}});
    EXPECT_EQ(lists[0]["result"]["entries"], expected);
    EXPECT_EQ(lists[0]["result"]["space"], 30);
    EXPECT_EQ(lists[1]["result"]["count"], 0);
    EXPECT_EQ(lists[2]["result"]["entries"], expected);
    EXPECT_EQ(lists[3]["result"]["entries"], expected);
    for (const json& import : Of(lines, "phonebook import")) {
      EXPECT_EQ(import["result"]["counts"]["written"], kEntries.size()) << import.dump();
      EXPECT_EQ(import["result"]["skipped"], json::array());
    }
    EXPECT_NE(Folder::Text(vcf).find("FN:Lee\\, Ann\r\nN:;Lee\\, Ann;;;\r\nTEL:+15550100456\r\n"),
              std::string::npos);
    EXPECT_NE(Folder::Text(csv).find("5,0123456,Jürgen Groß\r\n"), std::string::npos);
  }
}

// --- What import makes of its files, on the in-process simulator ---------------------------------

struct ImportCase {
  const char* name;
  std::string file_name;
  std::string file;
  std::vector<std::string> args;                                  // after "phonebook import FILE"
  std::vector<std::tuple<int, std::string, std::string>> stored;  // the SIM afterwards
  std::vector<std::string> reasons;  // of the skipped entries, each a part of the text
};

TEST(PhonebookImportOnSimulator, PlacesChecksAndSkips) {
  // Three locations, names of up to 14 characters, Ann already at 1; the "GSM" set travels as Latin-1.
  const std::string scenario = R"({"gsm_text": "latin1", "phonebook": {"capacity": 3,
    "entries": [{"index": 1, "number": "+15550100123", "name": "Ann Lee"}]}})";
  const std::tuple<int, std::string, std::string> ann = {1, "+15550100123", "Ann Lee"};
  // clang-format off
  const std::vector<ImportCase> cases = {
      {"VCardFoldedEscapedQuotedPrintable", "a.vcf",
       "\xEF\xBB\xBF" "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Bob\\, J\r\n r\r\nitem1.TEL;TYPE=CELL:+1 (555) 010-0777\r\n"
       "X-QUANDELSTK-LOCATION:3\r\nEND:VCARD\r\n"
       "BEGIN:VCARD\nVERSION:2.1\nN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:M=C3=BCller;J=\n=C3=B6rg\nTEL:0123\nEND:VCARD\n",
       {}, {ann, {2, "0123", "Jörg Müller"}, {3, "+15550100777", "Bob, Jr"}}, {}},
      {"OneEntryPerNumber", "b.vcf", "BEGIN:VCARD\nFN:Cy\nTEL:111\nTEL:tel:222\nEND:VCARD\n",
       {}, {ann, {2, "111", "Cy"}, {3, "222", "Cy"}}, {}},
      {"CsvAnyColumnOrder", "c.csv", "name,number\r\n\"Lee, Bo\",\"22\"\r\nDee,33\r\n",
       {}, {ann, {2, "22", "Lee, Bo"}, {3, "33", "Dee"}}, {}},
      {"AlreadyThereTooLongNoRoom", "d.csv",
       "location,number,name\n1,+15550100123,Ann Lee\n,1,A name of twenty chars\n,123456789012345678901,x\n,4,d\n,5,e\n,6,f\n",
       {}, {ann, {2, "4", "d"}, {3, "5", "e"}},
       {"already on the SIM at location 1", "the name has 22 characters; the SIM holds at most 14",
        "the number has 21 digits; the SIM holds at most 20", "no free location"}},
      {"TakenLocationGoesElsewhere", "e.csv", "location,number,name\n1,9,Zed\n", {}, {ann, {2, "9", "Zed"}}, {}},
      {"OverwriteReplaces", "e.csv", "location,number,name\n1,9,Zed\n", {"--overwrite"}, {{1, "9", "Zed"}}, {}},
      {"DryRunWritesNothing", "e.csv", "location,number,name\n2,9,Zed\n", {"--dry-run"}, {ann}, {}},
      {"WhatTheSimCannotHold", "f.csv", "number,name\n12a,x\n7,\"Say \"\"hi\"\"\"\n8,Zoë\n9,\"two\nlines\"\n,nobody\n",
       {}, {ann},
       {"holds \"a\", which a SIM number cannot hold", "double quote", "the modem stored it as 8 \"Zo?\"; removed again",
        "line break", "has no number"}},
  };
  // clang-format on
  Folder folder;
  const std::string scenario_file = folder.File("scenario.json", scenario);
  for (const ImportCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file = folder.File(c.file_name, c.file);
    std::string command = "phonebook import " + file;
    for (const std::string& a : c.args) command += " " + a;
    const auto r =
        Cli({"--port", "sim:" + scenario_file, "--json", "shell"}, command + "\nphonebook list\nexit\n");
    const auto lines = JsonLines(r);
    ASSERT_EQ(lines.size(), 2u) << r.output;
    json stored = json::array();
    for (const auto& [location, number, name] : c.stored)
      stored.push_back({{"location", location}, {"number", number}, {"name", name}});
    EXPECT_EQ(lines[1]["result"]["entries"], stored) << r.output;
    const json& skipped = lines[0]["result"]["skipped"];
    ASSERT_EQ(skipped.size(), c.reasons.size()) << skipped.dump();
    for (std::size_t i = 0; i < c.reasons.size(); ++i)
      EXPECT_NE(skipped[i]["reason"].get<std::string>().find(c.reasons[i]), std::string::npos)
          << skipped[i].dump();
  }
}

// A modem that sends the GSM alphabet's own codes changes "é": the import reads the entry back,
// sees the difference and empties the location again.
TEST(PhonebookImportOnSimulator, AnEntryStoredDifferentlyIsUndone) {
  Folder folder;
  const std::string file = folder.File("g.csv", "location,number,name\n4,44,José\n");
  const auto r = Cli({"--json", "shell"}, "phonebook import " + file + "\nphonebook read 4\nexit\n");
  const auto lines = JsonLines(r);
  ASSERT_EQ(lines.size(), 2u) << r.output;
  EXPECT_EQ(lines[0]["result"]["counts"]["written"], 0);
  const std::string reason = lines[0]["result"]["skipped"][0]["reason"];
  EXPECT_NE(reason.find("the modem stored it as 44 \"Josi\"; removed again"), std::string::npos) << reason;
  EXPECT_EQ(lines[1]["result"], false);
}

// Some modems answer an empty location with "+CME ERROR: 22" instead of OK alone.
TEST(PhonebookListOnSimulator, EmptyLocationsAnsweredWithAnErrorAreSkipped) {
  Folder folder;
  const std::string scenario =
      folder.File("empty-error.json", R"({"phonebook": {"capacity": 6, "empty_error": true,
    "entries": [{"index": 2, "number": "22", "name": "Two"}, {"index": 5, "number": "55", "name": "Five"}]}})");
  const auto r = Cli({"--port", "sim:" + scenario, "--json", "phonebook", "list"});
  ASSERT_EQ(r.exit_code, 0) << r.output;
  const auto lines = JsonLines(r);
  ASSERT_EQ(lines.size(), 1u) << r.output;
  EXPECT_EQ(lines[0]["result"]["entries"], json::parse(R"([{"location": 2, "number": "22", "name": "Two"},
                                                           {"location": 5, "number": "55", "name": "Five"}])"));
  EXPECT_EQ(lines[0]["result"]["count"], 2);
}

TEST(PhonebookCliUsage, BadFilesAndCharactersExitTwoAndSayWhat) {
  Folder folder;
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"phonebook", "import", folder.File("x.txt", "x")}, "must end in .vcf (vCard 3.0) or .csv"},
      {{"phonebook", "import", folder.File("missing.csv")}, "cannot read"},
      {{"phonebook", "import", folder.File("bad.vcf", "BEGIN:VCARD\nFN:x\nno colon\n")}, "bad.vcf line 3"},
      {{"phonebook", "import", folder.File("open.vcf", "BEGIN:VCARD\nFN:x\n")}, "open.vcf line 1: the card"},
      {{"phonebook", "import", folder.File("h.csv", "who,what\n1,2\n")},
       "h.csv line 1: the first line must name"},
      {{"phonebook", "import", folder.File("q.csv", "number,name\n1,\"open\n")},
       "q.csv line 2: a quoted field"},
      {{"phonebook", "import", folder.File("l.csv", "location,number,name\nfirst,1,a\n")},
       "location \"first\""},
      {{"phonebook", "import", folder.File("w.csv", "number,name\n1,Jos\xE9\n")},
       "w.csv line 2: the text is not UTF-8"},
      {{"phonebook", "export", "/nonexistent-folder/x.vcf"}, "cannot write /nonexistent-folder/x.vcf"},
      {{"phonebook", "write", "1", "123", "Ωmega"}, "\"Ω\" (U+03A9) has no code in Windows-1252"},
      {{"phonebook", "read", "one"}, "\"one\" is not a whole number"},
  };
  for (const auto& [args, message] : cases) {
    const auto r = Cli(args);
    EXPECT_EQ(r.exit_code, 2) << args[1] << ": " << r.output;
    EXPECT_NE(r.output.find(message), std::string::npos) << r.output;
  }
}

}  // namespace
}  // namespace quandelstk::testing
