// The error codes a modem answers with ("+CME ERROR: 16", "+CMS ERROR: 305", or the named form after
// AT+CMEE=2), their names, and a hint where one helps the operator on. Also the check of a phone
// number given on the command line, so that nothing is sent for a number the network cannot take.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace quandelstk::cli {

struct ModemError {
  enum class Kind { kCme, kCms } kind = Kind::kCme;
  std::optional<int> code;  // none when a named error is not in the table
  std::string name;         // from the table, or the modem's own words
  bool known = false;       // the code (or the words) are in the table
  std::string hint;         // what to do about it, may be empty

  std::string Marker() const { return kind == Kind::kCme ? "+CME ERROR" : "+CMS ERROR"; }
  // "+CMS ERROR: 305 (invalid text mode parameter)", with the hint on a second line.
  std::string Text() const;
  nlohmann::json Json() const;
};

// The name of a code, nullptr when the table has none.
const char* CmeErrorName(int code);
const char* CmsErrorName(int code);

// The error a complete answer line carries ("+CME ERROR: 16", "+CME ERROR: SIM PIN required"), none
// for any other line. A line without its code (cut short) carries none.
std::optional<ModemError> ErrorOfLine(std::string_view line);

// The last error carried by the complete lines of an answer (lines end with CR or LF).
std::optional<ModemError> ErrorOfAnswer(std::string_view answer);

// The one rule for the phone numbers the operator gives (sms, smsc, phonebook write and import): an
// optional leading "+", then 1 to 20 characters, each a digit; a phonebook entry is a dialling string
// (3GPP TS 27.007 +CPBW), so there "*" and "#" count as well ("*100#", "+15550100123#1").
enum class NumberUse { kMessage, kPhonebook };
// Whether the character c may stand in a number at position i (0 for the first).
bool NumberCharacter(char c, std::size_t i, NumberUse use);
// Why a phone number cannot be sent (empty when it can), by that rule.
std::string NumberProblem(std::string_view number, NumberUse use = NumberUse::kMessage);

}  // namespace quandelstk::cli
