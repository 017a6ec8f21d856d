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
// {"location", "number", "name"} in UTF-8.
nlohmann::json EntryJson(const SimEntry& entry);

// Every used location from 1 to TotalSpace, read with PhonebookRead, with progress; the reading
// stops once TotalUsed entries are found. std::nullopt when the size cannot be read.
std::optional<std::vector<SimEntry>> ReadAllEntries(Cli& cli, std::int16_t& space);

// phonebook import: see its --help.
void ImportPhonebook(Cli& cli, const std::string& path, bool overwrite, bool dry_run);

// The advice that ends the message about a character the modem's set cannot hold.
inline constexpr const char* kNameCharsetAdvice = "replace that character or leave it out";

}  // namespace quandelstk::cli
