// A text cut into the parts of a (possibly concatenated) message: the alphabet it needs, and where
// each part starts and ends, never inside an escaped character or a surrogate pair.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "quandelstk/messages.hpp"

namespace quandelstk::messages {

struct TextParts {
  TextPlan plan;
  std::u32string code_points;
  std::vector<std::size_t> starts;         // index of each part's first code point; the end is the next start
  std::vector<std::size_t> byte_starts;    // the same in the UTF-8 text
  std::vector<std::uint8_t> septets;       // GSM: every septet of the text, in order
  std::vector<std::size_t> septet_starts;  // GSM: index of each part's first septet
};

// Throws RuntimeError 5 for text that is not UTF-8 or that needs more than 255 parts.
TextParts SplitText(std::string_view utf8, bool wide_reference);

}  // namespace quandelstk::messages
