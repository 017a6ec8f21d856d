// Masking of log texts: every AT command name and result word becomes its code "Q24>" index.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quandelstk::channel {

// Replaces every token by its code, tokens in index order, each over the text the previous ones left.
std::string MaskLogText(std::string_view text);

// Whether any token occurs in the text; a text without one comes out of the masking unchanged.
bool HoldsMaskToken(std::string_view text);

// The length of the longest prefix of the text in which no token occurs: every shorter prefix comes
// out of the masking unchanged, every longer one holds a token.
std::size_t MaskTokenFreePrefix(std::string_view text);

// The tokens, in the order they are applied.
const std::vector<std::string>& MaskTokens();

}  // namespace quandelstk::channel
