#include "sms/answer_fields.hpp"

#include "channel/text.hpp"

namespace quandelstk::sms {

using text::Add16;
using text::Find;
using text::Sub16;

std::vector<std::int16_t> CommaChain(std::string_view text, std::int32_t start, int count) {
  std::vector<std::int16_t> at(static_cast<std::size_t>(count) + 1, 0);
  at[1] = Find(text, ",", start);
  for (int i = 2; i <= count; ++i) at[i] = Find(text, ",", Add16(at[i - 1], 1));
  return at;
}

std::string Between(std::string_view text, std::int16_t a, std::int16_t b) {
  return text::Mid(text, Add16(a, 1), Sub16(Sub16(b, a), 1));
}

std::string CutAtTimeZone(const std::string& stamp) {
  if (const std::int16_t plus = Find(stamp, "+")) return text::Left(stamp, plus - 1);
  if (const std::int16_t minus = Find(stamp, "-")) return text::Left(stamp, minus - 1);
  return stamp;
}

std::int16_t FirstListedIndex(const std::string& listing) {
  const std::int16_t h = Find(listing, "+CMGL:");
  if (h == 0) return 0;
  const std::int16_t k = Find(listing, ":", h);
  const std::int16_t m = Find(listing, ",", k);
  return text::ToInt16(text::Trim(Between(listing, k, m)));
}

std::string MessageReference(const std::string& response) {
  const std::int16_t p = Find(response, "+CMGS");
  const std::int16_t q = Find(response, "OK", p);
  return text::Trim(text::Mid(response, Add16(p, 6), Sub16(Sub16(q, p), 6)));
}

}  // namespace quandelstk::sms
