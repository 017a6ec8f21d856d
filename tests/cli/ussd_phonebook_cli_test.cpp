// The ussd and phonebook commands: over a pseudo-terminal against quandelstk-modemsim with the
// answers in small timed pieces (once per command: every in-process run gets whole answers), and on
// the in-process simulator what import, list and write make of names and files.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "support/cli_run.hpp"

namespace quandelstk::testing {
namespace {

using nlohmann::json;
using Entries = std::vector<std::tuple<int, std::string, std::string>>;

// Every answer of the modem in pieces of 7 bytes, 15 ms apart.
const std::string kChunked = R"("chunking": {"*": {"size": 7, "gap_ms": 15}})";

RunResult Cli(const std::vector<std::string>& args, const std::string& input = "") {
  return RunCli(args, input.empty() ? std::nullopt : std::optional(input));
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

json EntriesJson(const Entries& entries) {
  json array = json::array();
  for (const auto& [location, number, name] : entries)
    array.push_back({{"location", location}, {"number", number}, {"name", name}});
  return array;
}

std::string Scenario(const std::string& gsm_text, const Entries& entries) {
  json scenario = {{"gsm_text", gsm_text}, {"phonebook", {{"capacity", 6}, {"entries", json::array()}}}};
  for (const auto& [location, number, name] : entries)
    scenario["phonebook"]["entries"].push_back({{"index", location}, {"number", number}, {"name", name}});
  return scenario.dump();
}

// --- Over a pty, in pieces ----------------------------------------------------------------------

// A balance whose +CUSD line comes before the OK and holds a line break, a comma and a letter of the
// GSM alphabet beyond ASCII; a menu of two steps whose answers come after the OK.
TEST(UssdCliOverPty, BalanceAndATwoStepMenuInPieces) {
  SimProcess sim(R"({"gsm_text": "latin1", "ussd": {
    "*100#": {"text": "Saldo: 5,00 kr\nGültig bis 31.12.", "before_ok": true},
    "*101#": {"status": 1, "text": "1 Balance\n2 Bundles", "next": {
      "2": {"status": 1, "text": "1 Day pass\n2 Week pass", "next": {"1": {"text": "Day pass bought"}}}}}}, )" +
                 kChunked + "}");
  const auto r = Cli({"--port", sim.DevicePath(), "--json", "shell"},
                     "ussd send *100#\nussd send *101# 2 1\nussd send *999#\nussd cancel\nexit\n");
  const auto lines = JsonLines(r);
  ASSERT_EQ(lines.size(), 4u) << r.output;
  EXPECT_EQ(lines[0]["result"], "Saldo: 5,00 kr\nGültig bis 31.12.");
  EXPECT_EQ(lines[1]["result"], json({"1 Balance\n2 Bundles", "1 Day pass\n2 Week pass", "Day pass bought"}));
  EXPECT_EQ(lines[2]["result"], "");  // +CUSD: 4
  EXPECT_EQ(lines[3]["result"], true);
  EXPECT_EQ(r.exit_code, 0) << r.output;  // of the last command
}

TEST(PhonebookCliOverPty, WriteExportDeleteImportGivesBackTheSamePhonebookInPieces) {
  const Entries entries = {{1, "+15550100123", "Ann Lee"},
                           {2, "+15550100456", "Lee, Ann"},
                           {5, "0123456", "Jürgen Groß"},
                           {9, "+4670123456", "Åsa Ørsted"},
                           {12, "+34912345678", "José Muñoz"}};
  Folder folder;
  const std::string vcf = folder.File("book.vcf"), csv = folder.File("book.csv");
  SimProcess sim(R"({"gsm_text": "latin1", "phonebook": {"capacity": 30}, )" + kChunked + "}");
  std::string session, delete_all;
  for (const auto& [location, number, name] : entries) {
    session += "phonebook write " + std::to_string(location) + " " + number + " \"" + name + "\"\n";
    delete_all += "phonebook delete " + std::to_string(location) + "\n";
  }
  session += "phonebook list\nphonebook export " + vcf + "\nphonebook export " + csv + "\n";
  session += delete_all + "phonebook list\nphonebook import " + vcf + "\nphonebook list\n";
  session += delete_all + "phonebook import " + csv + "\nphonebook list\nexit\n";
  const auto r = Cli({"--port", sim.DevicePath(), "--json", "shell"}, session);
  ASSERT_EQ(r.exit_code, 0) << r.output;
  const auto lines = JsonLines(r);
  const auto lists = Of(lines, "phonebook list");
  ASSERT_EQ(lists.size(), 4u) << r.output;
  EXPECT_EQ(lists[0]["result"]["entries"], EntriesJson(entries));
  EXPECT_EQ(lists[0]["result"]["space"], 30);
  EXPECT_EQ(lists[1]["result"]["count"], 0);
  EXPECT_EQ(lists[2]["result"]["entries"], EntriesJson(entries));
  EXPECT_EQ(lists[3]["result"]["entries"], EntriesJson(entries));
  for (const json& import : Of(lines, "phonebook import")) {
    EXPECT_EQ(import["result"]["counts"]["written"], entries.size()) << import.dump();
    EXPECT_EQ(import["result"]["skipped"], json::array());
  }
  EXPECT_NE(Folder::Text(vcf).find("FN:Lee\\, Ann\r\nN:;Lee\\, Ann;;;\r\nTEL:+15550100456\r\n"),
            std::string::npos);
  EXPECT_NE(Folder::Text(csv).find("5,0123456,Jürgen Groß\r\n"), std::string::npos);
}

// --- On the in-process simulator -----------------------------------------------------------------

// The network speaks a few seconds after Init's last step, while ussd listen waits for its own
// --timeout or, without one, the global one.
TEST(UssdListenOnSimulator, CatchesTheNetworksNotification) {
  Folder folder;
  const std::string port =
      "sim:" + folder.File("late.json", R"({"unsolicited": [{"after": "AT+CGSN", "delay_ms": 6000,
                     "text": "\r\n+CUSD: 0,\" Top up now, get 10% more \",15\r\n"}]})");
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--port", port, "--json", "ussd", "listen", "--timeout", "30"},
        {"--port", port, "--timeout", "30", "--json", "ussd", "listen"}}) {
    const auto r = Cli(args);
    ASSERT_EQ(r.exit_code, 0) << r.output;
    const auto lines = JsonLines(r);
    ASSERT_EQ(lines.size(), 1u) << r.output;
    EXPECT_EQ(lines[0]["properties"]["USSDNotification"], "Top up now, get 10% more");
  }
}

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
      {"OverwriteWritesAgainTheEntryItReplaces", "h.csv", "location,number,name\n1,9,Zed\n2,+15550100123,Ann Lee\n",
       {"--overwrite"}, {{1, "9", "Zed"}, {2, "+15550100123", "Ann Lee"}}, {}},
      {"EntriesAtDifferentLocationsAreDifferent", "i.csv", "location,number,name\n2,9,Zed\n3,9,Zed\n",
       {}, {ann, {2, "9", "Zed"}, {3, "9", "Zed"}}, {}},
      {"OneStoredEntryStandsForOneEntryOfTheFile", "j.csv",
       "location,number,name\n3,+15550100123,Ann Lee\n1,+15550100123,Ann Lee\n",
       {}, {ann, {3, "+15550100123", "Ann Lee"}}, {"already on the SIM at location 1"}},
      {"ARepeatedEntryIsWrittenOnce", "k.csv", "location,number,name\n2,9,Zed\n2,9,Zed\n,9,Zed\n",
       {}, {ann, {2, "9", "Zed"}},
       {"the same entry is in the file already (line 2)", "the same entry is in the file already (line 2)"}},
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

// Shell lines that show what the simulated SIM holds: read in the UCS2 set, the characters
// themselves, whichever codes carried them in the "GSM" set.
const std::string kShowHoldings = "at 'AT+CSCS=\"UCS2\"'\nat AT+CPBR=1,6\n";

// The +CPBR lines of that answer are these entries, their names as UCS2 writes them.
void ExpectHoldings(const json& at_line, const Entries& entries) {
  const std::string answer = at_line["properties"]["response"];
  std::size_t lines = 0;
  for (auto at = answer.find("+CPBR: "); at != std::string::npos; at = answer.find("+CPBR: ", at + 1))
    ++lines;
  EXPECT_EQ(lines, entries.size()) << answer;
  for (const auto& [location, number, name] : entries) {
    std::string line = "+CPBR: " + std::to_string(location) + ",\"" + number + "\"," +
                       (number[0] == '+' ? "145" : "129") + ",\"";
    for (std::size_t i = 0; i < name.size();) {  // UTF-8 of up to three bytes to four hex digits
      const auto c = static_cast<unsigned char>(name[i]);
      const int n = c < 0x80 ? 1 : c < 0xE0 ? 2 : 3;
      unsigned u = n == 1 ? c : c & (n == 2 ? 0x1F : 0x0F);
      for (int k = 1; k < n; ++k) u = u << 6 | (name[i + k] & 0x3F);
      char hex[5];
      std::snprintf(hex, sizeof hex, "%04X", u);
      line += hex;
      i += n;
    }
    EXPECT_NE(answer.find(line + "\""), std::string::npos) << name << "\n" << answer;
  }
}

struct RoundTripCase {
  const char* name;
  const char* gsm_text;  // how the simulator sends the "GSM" set
  const char* file_name;
  Entries entries;
};

TEST(PhonebookRoundTripOnSimulator, ExportDeleteImportGivesBackTheSameEntries) {
  const Entries gsm_names = {
      {1, "111", "J_Doe"}, {2, "222", "@home"}, {3, "333", "Δelta £5 $ é ß"}, {5, "555", "Åsa Ørsted"}};
  const std::vector<RoundTripCase> cases = {
      {"OneEntryAtTwoLocations",
       "septets",
       "twice.vcf",
       {{1, "+15550100123", "Ann Lee"}, {4, "+15550100123", "Ann Lee"}}},
      {"GsmCodesVCard", "septets", "gsm.vcf", gsm_names},
      {"GsmCodesCsv", "septets", "gsm.csv", gsm_names},
      // Nothing the modem sends tells its codes: the import finds them by reading back.
      {"Latin1CodesFoundByReadingBack", "latin1", "ascii.vcf", {{1, "111", "J_Doe"}, {2, "222", "@home"}}},
  };
  Folder folder;
  for (const RoundTripCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string scenario = folder.File(std::string(c.name) + ".json", Scenario(c.gsm_text, c.entries));
    const std::string file = folder.File(c.file_name);
    std::string session = "phonebook list\nphonebook export " + file + "\n";
    for (const auto& [location, number, name] : c.entries)
      session += "phonebook delete " + std::to_string(location) + "\n";
    session += "phonebook import " + file + "\nphonebook list\n" + kShowHoldings + "exit\n";
    const auto r = Cli({"--port", "sim:" + scenario, "--json", "shell"}, session);
    ASSERT_EQ(r.exit_code, 0) << r.output;
    const auto lines = JsonLines(r);
    const auto lists = Of(lines, "phonebook list"), imports = Of(lines, "phonebook import"),
               at = Of(lines, "at");
    ASSERT_EQ(lists.size(), 2u) << r.output;
    ASSERT_EQ(imports.size(), 1u) << r.output;
    ASSERT_EQ(at.size(), 2u) << r.output;
    EXPECT_EQ(lists[0]["result"]["entries"], EntriesJson(c.entries));
    EXPECT_EQ(imports[0]["result"]["counts"]["written"], c.entries.size()) << imports[0].dump();
    EXPECT_EQ(imports[0]["result"]["skipped"], json::array());
    EXPECT_EQ(lists[1]["result"]["entries"], EntriesJson(c.entries));
    ExpectHoldings(at[1], c.entries);
    for (const auto& [location, number, name] : c.entries)
      EXPECT_NE(Folder::Text(file).find(name), std::string::npos) << name;
  }
}

TEST(PhonebookWriteOnSimulator, NamesGoOnTheSimAsWritten) {
  const std::vector<std::pair<const char*, std::string>> cases = {
      {"septets", "J_Doe"},      {"septets", "José @home"}, {"septets", "Δelta Ωmega"},
      {"latin1", "J_Doe @home"}, {"latin1", "José Åsa"},
  };
  Folder folder;
  for (const auto& [gsm_text, name] : cases) {
    SCOPED_TRACE(std::string(gsm_text) + " " + name);
    const std::string scenario = folder.File("write.json", Scenario(gsm_text, {}));
    const auto r = Cli({"--port", "sim:" + scenario, "--json", "shell"},
                       "phonebook write 4 444 '" + name + "'\nphonebook read 4\n" + kShowHoldings + "exit\n");
    const auto lines = JsonLines(r);
    ASSERT_EQ(lines.size(), 4u) << r.output;
    EXPECT_EQ(lines[0]["result"], true);
    EXPECT_EQ(lines[1]["properties"]["PhonebookName"], name);
    ExpectHoldings(lines[3], {{4, "444", name}});
  }
}

// Some modems answer an empty location with "+CME ERROR: 22" instead of OK alone.
TEST(PhonebookListOnSimulator, EmptyLocationsAnsweredWithAnErrorAreSkipped) {
  Folder folder;
  json scenario = json::parse(Scenario("septets", {{2, "22", "Two"}, {5, "55", "Five"}}));
  scenario["phonebook"]["empty_error"] = true;
  const auto r = Cli(
      {"--port", "sim:" + folder.File("empty-error.json", scenario.dump()), "--json", "phonebook", "list"});
  ASSERT_EQ(r.exit_code, 0) << r.output;
  const auto lines = JsonLines(r);
  ASSERT_EQ(lines.size(), 1u) << r.output;
  EXPECT_EQ(lines[0]["result"]["entries"], EntriesJson({{2, "22", "Two"}, {5, "55", "Five"}}));
  EXPECT_EQ(lines[0]["result"]["count"], 2);
}

// Names are shown as text: the GSM alphabet's codes as its characters, and the line breaks and
// control characters a SIM may hold written out, so that none reaches the terminal.
TEST(PhonebookListOnSimulator, ShowsNamesWithoutControlBytes) {
  Folder folder;
  const std::string scenario = folder.File(
      "controls.json",
      Scenario("septets",
               {{1, "111", "J_Doe"}, {2, "222", "A\rB"}, {3, "333", "C\nD"}, {4, "444", "[x] 5€"}}));
  const auto r = Cli({"--port", "sim:" + scenario, "phonebook", "list"});
  ASSERT_EQ(r.exit_code, 0) << r.output;
  EXPECT_EQ(r.output,
            "    1  111                    J_Doe\n"
            "    2  222                    A\\rB\n"
            "    3  333                    C\\nD\n"
            "    4  444                    [x] 5€\n"
            "4 entries in 6 locations\n");
}

// Exit 2 and what was wrong for bad files and characters; exit 1 and what to do next for an empty location.
TEST(PhonebookCliUsage, BadFilesAndCharactersAndAnEmptyLocationSayWhat) {
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
      {{"phonebook", "write", "1", "123", "Жанна"},
       "\"Ж\" (U+0416) is neither in the GSM alphabet nor in Windows-1252, so a SIM name cannot hold it"},
      {{"phonebook", "write", "1", "12\"3", "Ann"}, "\"12\"3\" is not a phone number: '\"' at position 3"},
      {{"phonebook", "write", "1", "abc", "Ann"}, "\"abc\" is not a phone number: 'a' at position 1"},
      {{"phonebook", "write", "1", "123", "Ann \"Jo\" Lee"}, "NAME \"Ann \"Jo\" Lee\" holds a double quote"},
      {{"phonebook", "write", "1", "123", "Ann\nLee"}, "NAME \"Ann\\nLee\" holds a line break"},
      {{"phonebook", "write", "1", "123", "Ann\x01"}, "holds a control character"},
      {{"phonebook", "read", "one"}, "\"one\" is not a whole number"},
      {{"phonebook", "read", "3"},
       "false: location 3 is empty or could not be read; phonebook list shows the used locations"},
  };
  for (const auto& [args, message] : cases) {
    const auto r = Cli(args);
    EXPECT_EQ(r.exit_code, message.starts_with("false") ? 1 : 2) << args[1] << ": " << r.output;
    EXPECT_NE(r.output.find(message), std::string::npos) << r.output;
  }
}

}  // namespace
}  // namespace quandelstk::testing
