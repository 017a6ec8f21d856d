// Cutting fields out of a modem's answer the way the SMS methods do: 1-based 16-bit positions, a
// chain of separators where a missing one yields 0 (so the next search starts again at 1), and cuts
// whose negative length is a run-time error.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quandelstk::sms {

// Positions of count commas: the first found from start, each next one from one past the previous.
// Element 0 is unused, so that separator i is element i.
std::vector<std::int16_t> CommaChain(std::string_view text, std::int32_t start, int count);

// The text strictly between positions a and b (raises 5 when b < a).
std::string Between(std::string_view text, std::int16_t a, std::int16_t b);

// What precedes the first "+", else the first "-", else the whole text.
std::string CutAtTimeZone(const std::string& stamp);

// The index of the first "+CMGL:" entry of a listing (the text between its colon and the next comma,
// blanks trimmed), or 0 when the listing holds none.
std::int16_t FirstListedIndex(const std::string& listing);

// The message reference in an answer holding "+CMGS": from just past "+CMGS:" up to the first "OK"
// after it, spaces trimmed; the line breaks before the "OK" stay.
std::string MessageReference(const std::string& response);

// The DQ character as a one-character text, for the commands that quote their arguments.
inline constexpr std::string_view kDQ = "\"";
// Ends a message body; the exchange adds its CR after it.
inline constexpr char kCtrlZ = '\x1A';

}  // namespace quandelstk::sms
