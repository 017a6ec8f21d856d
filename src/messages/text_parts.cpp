#include "messages/text_parts.hpp"

#include "messages/gsm_alphabet.hpp"
#include "messages/utf8.hpp"
#include "quandelstk/errors.hpp"

namespace quandelstk::messages {

namespace {

// User data holds 140 octets: 160 septets or 70 UCS2 units alone; behind a concatenation header of
// 6 octets (8-bit reference) or 7 (16-bit), 153 or 152 septets, 67 or 66 units.
int Capacity(Alphabet alphabet, bool concatenated, bool wide) {
  const int header = !concatenated ? 0 : wide ? 7 : 6;
  if (alphabet == Alphabet::Gsm7)
    return (140 - header) * 8 / 7;  // septets after the header and its fill bits
  return (140 - header) / 2;
}

}  // namespace

TextParts SplitText(std::string_view utf8, bool wide_reference) {
  TextParts t;
  std::size_t bad = 0;
  auto decoded = DecodeUtf8(utf8, &bad);
  if (!decoded)
    throw RuntimeError(err::kInvalidProcedureCall, "the text is not UTF-8 (byte " + std::to_string(bad + 1) +
                                                       " starts a malformed sequence)");
  t.code_points = std::move(*decoded);

  // GSM 7-bit when every character has a septet form, else UCS2.
  std::vector<std::uint8_t> cost;  // units each code point takes
  cost.reserve(t.code_points.size());
  t.septets.reserve(t.code_points.size() + 8);
  bool gsm = true;
  for (const char32_t cp : t.code_points) {
    std::uint8_t a = 0, b = 0;
    const int n = GsmSeptetsOf(cp, a, b);
    if (n == 0) {
      gsm = false;
      break;
    }
    t.septets.push_back(a);
    if (n == 2) t.septets.push_back(b);
    cost.push_back(static_cast<std::uint8_t>(n));
  }
  if (!gsm) {
    t.septets.clear();
    cost.clear();
    for (const char32_t cp : t.code_points) cost.push_back(static_cast<std::uint8_t>(Utf16Units(cp)));
  }
  TextPlan& plan = t.plan;
  plan.alphabet = gsm ? Alphabet::Gsm7 : Alphabet::Ucs2;
  plan.characters = static_cast<int>(t.code_points.size());
  for (const std::uint8_t c : cost) plan.units += c;

  const int single = Capacity(plan.alphabet, false, false);
  const bool concatenated = plan.units > single;
  plan.per_part = concatenated ? Capacity(plan.alphabet, true, wide_reference) : single;

  t.starts.push_back(0);
  t.byte_starts.push_back(0);
  if (gsm) t.septet_starts.push_back(0);
  int used = 0;
  std::size_t septet = 0, byte = 0;
  for (std::size_t k = 0; k < cost.size(); ++k) {
    if (used + cost[k] > plan.per_part) {
      t.starts.push_back(k);
      t.byte_starts.push_back(byte);
      if (gsm) t.septet_starts.push_back(septet);
      used = 0;
    }
    used += cost[k];
    septet += cost[k];
    const char32_t cp = t.code_points[k];
    byte += cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
  }
  plan.parts = static_cast<int>(t.starts.size());
  plan.left = plan.per_part - used;
  if (plan.parts > 255)
    throw RuntimeError(err::kInvalidProcedureCall, "the text needs " + std::to_string(plan.parts) +
                                                       " parts; a concatenated message has at most 255");
  return t;
}

}  // namespace quandelstk::messages
