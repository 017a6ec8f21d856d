// Phonebook entries in files, both in UTF-8: vCard 3.0 (.vcf), one card per entry, and CSV (.csv)
// with the header location,number,name. A file names the SIM location an entry came from (the card
// property X-QUANDELSTK-LOCATION, the CSV column location), so that an export imported into an empty
// SIM gives back the same phonebook.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quandelstk::cli {

struct FileEntry {
  std::optional<int> location;  // the SIM location, when the file names one
  std::string number;           // UTF-8, as the file has it
  std::string name;             // UTF-8
  int line = 0;                 // where the entry begins in the file
  std::string problem;          // why it cannot be imported as it stands; "" when it can
};

enum class FileFormat { kVCard, kCsv };

// By the extension, .vcf or .csv in any case; a UsageError for any other.
FileFormat FormatOf(const std::string& path);
const char* FormatName(FileFormat format);

std::string ToVCards(const std::vector<FileEntry>& entries);
std::string ToCsv(const std::vector<FileEntry>& entries);

// Cards of vCard 2.1, 3.0 or 4.0: FN (else N) is the name; every TEL becomes an entry of its own
// (only the first takes the location); a card without TEL gives an entry with a problem. Quoted-
// printable values are decoded. A UsageError names the file and line of text that cannot be read.
std::vector<FileEntry> FromVCards(std::string_view text, const std::string& file);
// RFC 4180 CSV whose header names the columns number and name, and location optionally, in any
// order and case; other columns are ignored. A UsageError names the file and line.
std::vector<FileEntry> FromCsv(std::string_view text, const std::string& file);

// The file's entries, by its extension; a UsageError when it cannot be read.
std::vector<FileEntry> ReadPhonebookFile(const std::string& path);
// Fails early (UsageError) when the file could not be written, before a long read of the SIM.
void CheckWritable(const std::string& path);
// Writes the whole file beside it first and then puts it in place, so that a failure never leaves
// half a file behind.
void WritePhonebookFile(const std::string& path, const std::vector<FileEntry>& entries);

}  // namespace quandelstk::cli
