#include "channel/log_mask.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

namespace quandelstk::channel {

namespace {

// Tokens 26 to 30 are the quoted parameter words our own commands carry next to "ALL": the
// listing status names and the character set, so that a logged command line reads the same
// masked way whichever of them it holds.
// clang-format off
const std::vector<std::string> kTokens = {
    "AT",        "OK",           "ERROR",        "CME",          "CSQ",        "CREG",     "CPIN",
    "CSMS",      "CSCS",         "CNMI",         "CGSN",         "CPMS",       "CSMP",     "CDSI",
    "CGMI",      "CMMS",         "CSDH",         "CFUN",         "CUSD",       "CLCC",     "CMGF",
    "CMGS",      "CMGR",         "CMGL",         "CMGD",         "\"ALL\"",    "\"REC UNREAD\"",
    "\"REC READ\"", "\"STO UNSENT\"", "\"STO SENT\"", "\"GSM\"",   "\"SM\"",     "\"ME\"",   "\"SR\"",
    "STSF",      "STGI",         "STIN",         "STGR",         "MMSBEARER",  "MMSCURL",  "MMSPROXY",
    "CGATT",     "CGREG",        "MMSCOMMMODE",  "MMSW",         "MMSSEND",    "MMSTRACE", "FDEL",
    "FUPL",      "CLCC",         "VGT",          "VGR",          "COPS",       "CNUM",     "CIMI",
};
// clang-format on

// Index of a token character (A-Z, double quote) from 0 to 26, -1 for any other character.
constexpr std::array<std::int8_t, 256> MakeTokenCharacters() {
  std::array<std::int8_t, 256> table{};
  for (auto& t : table) t = -1;
  for (int c = 'A'; c <= 'Z'; ++c) table[static_cast<std::size_t>(c)] = static_cast<std::int8_t>(c - 'A');
  table['"'] = 26;
  return table;
}
constexpr std::array<std::int8_t, 256> kTokenCharacter = MakeTokenCharacters();

// The tokens by their first two characters, shortest first.
using TokensByPair = std::array<std::vector<std::string_view>, 27 * 27>;
const TokensByPair& TokensStartingWith() {
  static const TokensByPair by_pair = [] {
    TokensByPair table;
    for (const std::string& token : kTokens)
      table[static_cast<std::size_t>(kTokenCharacter[static_cast<unsigned char>(token[0])] * 27 +
                                     kTokenCharacter[static_cast<unsigned char>(token[1])])]
          .push_back(token);
    for (auto& tokens : table)
      std::stable_sort(tokens.begin(), tokens.end(), [](auto a, auto b) { return a.size() < b.size(); });
    return table;
  }();
  return by_pair;
}

// The length of the shortest token that begins at i, 0 when none does (i + 1 < text.size()).
std::size_t ShortestTokenAt(std::string_view text, std::size_t i) {
  const int first = kTokenCharacter[static_cast<unsigned char>(text[i])];
  const int second = kTokenCharacter[static_cast<unsigned char>(text[i + 1])];
  if (first < 0 || second < 0) return 0;
  for (const std::string_view token : TokensStartingWith()[static_cast<std::size_t>(first * 27 + second)])
    if (text.substr(i, token.size()) == token) return token.size();
  return 0;
}

// The high bit of every byte of w that is a token character, eight characters at a time.
std::uint64_t TokenCharacterBytes(std::uint64_t w) {
  constexpr std::uint64_t kOnes = 0x0101010101010101, kHigh = 0x8080808080808080;
  const std::uint64_t ascii = ~w & kHigh;
  const std::uint64_t x = w & ~kHigh;  // each byte below 128: the sums below carry into no other byte
  const std::uint64_t upper = ((x + kOnes * (128 - 'A')) & ~(x + kOnes * (128 - 'Z' - 1))) & kHigh;
  const std::uint64_t quote = ~((x ^ kOnes * '"') + kOnes * 127) & kHigh;
  return (upper | quote) & ascii;
}

// Calls visit(i), in ascending order, for every i at which two token characters stand in a row, until
// it returns false. Every token begins with such a pair, and in log texts the pairs are rare, so
// looking eight characters at a time at where they are is most of the work.
template <typename Visit>
void ForEachTokenCharacterPair(std::string_view text, Visit visit) {
  const std::size_t n = text.size();
  std::size_t i = 0;
  if constexpr (std::endian::native == std::endian::little) {
    std::uint64_t before = 0;  // the flag of the character before the word, in bit 7
    for (; i + 8 <= n; i += 8) {
      std::uint64_t w;
      std::memcpy(&w, text.data() + i, 8);
      const std::uint64_t flags = TokenCharacterBytes(w);
      if ((before & flags & 0x80) && !visit(i - 1)) return;
      for (std::uint64_t pairs = flags & (flags >> 8); pairs != 0; pairs &= pairs - 1)
        if (!visit(i + static_cast<std::size_t>(std::countr_zero(pairs)) / 8)) return;
      before = flags >> 56;
    }
  }
  for (std::size_t j = i == 0 ? 0 : i - 1; j + 1 < n; ++j)
    if (kTokenCharacter[static_cast<unsigned char>(text[j])] >= 0 &&
        kTokenCharacter[static_cast<unsigned char>(text[j + 1])] >= 0 && !visit(j))
      return;
}

}  // namespace

const std::vector<std::string>& MaskTokens() {
  return kTokens;
}

bool HoldsMaskToken(std::string_view text) {
  bool found = false;
  ForEachTokenCharacterPair(text, [&](std::size_t i) { return !(found = ShortestTokenAt(text, i) > 0); });
  return found;
}

std::size_t MaskTokenFreePrefix(std::string_view text) {
  std::size_t first_end = text.size() + 1;  // where the token that ends first ends
  ForEachTokenCharacterPair(text, [&](std::size_t i) {
    if (i + 2 >= first_end) return false;  // a token from here on ends no earlier
    if (const std::size_t length = ShortestTokenAt(text, i)) first_end = std::min(first_end, i + length);
    return true;
  });
  return first_end - 1;
}

std::string MaskLogText(std::string_view text) {
  std::string current(text);
  if (!HoldsMaskToken(text)) return current;
  std::string next;
  for (std::size_t i = 0; i < kTokens.size(); ++i) {
    const std::string& token = kTokens[i];
    std::size_t at = current.find(token);
    if (at == std::string::npos) continue;
    const std::string code = "Q24>" + std::to_string(i);
    next.clear();
    std::size_t from = 0;
    while (at != std::string::npos) {
      next.append(current, from, at - from);
      next += code;
      from = at + token.size();
      at = current.find(token, from);
    }
    next.append(current, from, std::string::npos);
    current.swap(next);
  }
  return current;
}

}  // namespace quandelstk::channel
