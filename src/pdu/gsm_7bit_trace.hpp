// The trace records the 7-bit unpacking leaves in the diagnostic log.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quandelstk::pdu {

// Writes, in one batch: "iCounter = " and the last octet's index; for every octet read, its values
// (N, iBitCount, iTemp, bit_data, front, iPushBack) and the text decoded so far; and after the
// seventh octet of a group whose eighth septet was taken, that text again. `text` is the whole
// result of unpacking `hex`.
void Write7BitTrace(std::int16_t last_octet, const std::string& hex, std::string_view text);

}  // namespace quandelstk::pdu
