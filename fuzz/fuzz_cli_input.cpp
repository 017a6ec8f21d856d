// What the CLI reads from outside: UTF-8 arguments turned into the modem's 8-bit set and back, the
// phonebook files it imports (vCard, CSV) and the simulator's scenario files. Each either gives a
// result or refuses with its own error (CharsetError, UsageError, ScenarioError); nothing else may
// escape, and what the CLI writes it reads back the same.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "charset.hpp"
#include "cli.hpp"
#include "fuzz_support.hpp"
#include "modemsim/scenario.hpp"
#include "phonebook_files.hpp"

namespace {

using namespace quandelstk;
using namespace quandelstk::fuzzing;

void Charset(std::string_view text) {
  try {
    const std::string native = cli::Utf8ToCp1252(text);
    Require(cli::Cp1252ToUtf8(native) == text, "UTF-8 to Windows-1252 and back changed the text");
  } catch (const cli::CharsetError&) {
  }
  try {
    const std::string hex = cli::Utf8ToUcs2Hex(text);
    Require(hex.size() % 4 == 0, "UCS2 hex of a partial character");
  } catch (const cli::CharsetError&) {
  }
  Require(cli::EscapeControls(text).find_first_of("\r\n\x1a\x1b") == std::string::npos, "a control left unescaped");
}

// vCard text has one line break, "\n": a CR LF or a lone CR in a name is written as it.
std::string OneLineBreak(const std::string& s, bool vcard) {
  if (!vcard) return s;
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') continue;
    out += s[i] == '\r' ? '\n' : s[i];
  }
  return out;
}

bool SameEntries(const std::vector<cli::FileEntry>& a, const std::vector<cli::FileEntry>& b, bool vcard) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (a[i].location != b[i].location || a[i].number != b[i].number ||
        OneLineBreak(a[i].name, vcard) != b[i].name)
      return false;
  return true;
}

void PhonebookFile(std::string_view text, bool vcard) {
  std::vector<cli::FileEntry> entries;
  try {
    entries = vcard ? cli::FromVCards(text, "fuzz.vcf") : cli::FromCsv(text, "fuzz.csv");
  } catch (const cli::UsageError&) {
    return;
  }
  // An export of what was read reads back as the same entries (those with a number: an entry
  // without one is never written).
  std::vector<cli::FileEntry> exportable;
  for (const cli::FileEntry& e : entries)
    if (e.problem.empty()) exportable.push_back(e);
  std::vector<cli::FileEntry> again;
  try {
    again = vcard ? cli::FromVCards(cli::ToVCards(exportable), "again.vcf")
                  : cli::FromCsv(cli::ToCsv(exportable), "again.csv");
  } catch (const cli::UsageError& e) {
    Fail(std::string("an exported file does not read back: ") + e.what());
  }
  Require(SameEntries(exportable, again, vcard), "an exported file reads back differently");
}

void Scenario(std::string_view text) {
  try {
    (void)modemsim::LoadScenarioText(text, "fuzz.json");
  } catch (const modemsim::ScenarioError&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  switch (data[0] % 4) {
    case 0: Charset(text); break;
    case 1: PhonebookFile(text, true); break;
    case 2: PhonebookFile(text, false); break;
    case 3: Scenario(text); break;
  }
  return 0;
}
