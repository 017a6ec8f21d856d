#include "stk/toolkit_answers.hpp"

#include "channel/text.hpp"
#include "quandelstk/errors.hpp"

namespace quandelstk::stk {

using text::Add16;
using text::Find;
using text::Sub16;

void AppendMenuItems(const std::string& answer, std::int32_t start, std::string& list) {
  for (;;) {
    const std::int16_t k = Find(answer, "+STGI:", start);
    if (k == 0) return;
    // A missing comma makes the next search start again from the top of the answer.
    const std::int16_t c1 = Find(answer, ",", Add16(k, 1));
    const std::int16_t c2 = Find(answer, ",", Add16(c1, 1));
    const std::int16_t c3 = Find(answer, ",", Add16(c2, 1));
    // A scan that would go back to this line or before it would add the same items for ever, until
    // the list no longer fits in memory.
    if (Add16(c3, 2) <= k)
      throw RuntimeError(err::kOutOfStringSpace,
                         "Out of string space: a menu item line without its commas repeats the menu scan for ever");
    const std::string id = text::Trim(text::Mid(answer, Add16(k, 6), Sub16(c1, Add16(k, 6))));
    const std::string label =
        text::Replace(text::Mid(answer, Add16(c2, 1), Sub16(Sub16(c3, c2), 1)), kDQ, "");
    if (!list.empty()) list += kListSeparator;
    list += id + ":" + label;
    start = Add16(c3, 2);
  }
}

}  // namespace quandelstk::stk
