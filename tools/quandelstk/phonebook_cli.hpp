// What the phonebook commands share: the one Phonebook object of the run, the reading of every used
// location, and entries as JSON.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "cli.hpp"
#include "quandelstk/phonebook.hpp"

namespace quandelstk::cli {

// An entry as the SIM holds it, in the modem's 8-bit set.
struct SimEntry {
  std::int16_t location = 0;
  std::string number;
  std::string name;
  friend bool operator==(const SimEntry&, const SimEntry&) = default;
};

// Lives as long as the CLI (or the shell), as a host's object would: the properties stay what the
// last read set.
Phonebook& ThePhonebook();
nlohmann::json PhonebookProperties();
// {"location", "number", "name"} in UTF-8; the name as SimNameToUtf8 gives it.
nlohmann::json EntryJson(const SimEntry& entry);

// Names are converted as SimNameToUtf8 and Utf8ToSimName (charset.hpp) say. A character that the
// modem's two ways of sending the GSM set give different codes (@, _, é, ...) is written by its GSM
// code when this modem is known to send those codes, by its Windows-1252 code when it is known to
// send Latin-1 codes, and, while that is not known, by its GSM code first: a modem that sends Latin-1
// codes cannot give such a code back, so reading the location tells which it is.
//
// What is known of the modem so far is learnt from the names it sends (a GSM code below 0x20 or 0x7F, or
// a Latin-1 code above 0x7F tells) and from the names it gave back as written; it lasts as long as the
// CLI (or the shell).
void NoteNameFromModem(const std::string& bytes);
// What a name or number (UTF-8) holds that cannot go on the SIM, "" when nothing: a line break, a
// double quote (the modem's command could not carry it) or another control character.
std::string NameProblem(const std::string& name);
// The name's forms to write, in the order to try them; a CharsetError names a character none holds.
std::vector<std::string> NameForms(const std::string& name);

struct WriteOutcome {
  bool accepted = false;          // by the modem, the last write
  bool as_written = false;        // read back with the number and name as written
  std::optional<SimEntry> after;  // what the location held when it was read last
  std::string name;               // the name's form written last
};
// Writes number and name (UTF-8) to the location, trying the name's forms in turn until one is read
// back as written. With check the last form is read back too; without it only the forms before it.
WriteOutcome WriteEntry(std::int16_t location, const std::string& number, const std::string& name,
                        bool check);

// Every used location from 1 to TotalSpace, read with PhonebookRead, with progress; the reading
// stops once TotalUsed entries are found. std::nullopt when the size cannot be read.
std::optional<std::vector<SimEntry>> ReadAllEntries(Cli& cli, std::int16_t& space);

// phonebook import: see its --help.
void ImportPhonebook(Cli& cli, const std::string& path, bool overwrite, bool dry_run);

// The advice that ends the message about a character the modem's set cannot hold.
inline constexpr const char* kNameCharsetAdvice = "replace that character or leave it out";

}  // namespace quandelstk::cli
