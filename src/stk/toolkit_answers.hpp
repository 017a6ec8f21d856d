// Cutting the toolkit's "+STGI:" answers: the item lines of a menu and the constants the commands
// share. Positions are 1-based and 16-bit, as everywhere in the classes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quandelstk::stk {

inline constexpr std::string_view kDQ = "\"";
// Ends an input text; the exchange adds its CR after it.
inline constexpr char kCtrlZ = '\x1A';
// The menu-list separator: between lines, never after the last.
inline constexpr std::string_view kListSeparator = "\r\n";

// Timeouts in whole seconds; 0 is the exchange's default of 7.
inline constexpr std::int16_t kDefaultTimeout = 0;
inline constexpr std::int16_t kLongTimeout = 12;

// Appends one "<id>:<label>" line to list for every item line "+STGI: <id>,<n>,"<label>",..." found
// from start on: the identifier is what precedes the first comma, blanks trimmed; the label lies
// between the second and the third comma, its quotes removed and its blanks kept (so a comma inside
// a label cuts it there). A comma that is missing makes the next search start from the top of the
// answer; a cut that then gets a negative length raises 5, and a scan that would come back to the
// same line raises 14 (out of string space), as the endless loop would end.
void AppendMenuItems(const std::string& answer, std::int32_t start, std::string& list);

}  // namespace quandelstk::stk
