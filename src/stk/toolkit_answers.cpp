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
    const std::int16_t c1 = Find(answer, ",", Add16(k, 1));
    const std::int16_t c2 = c1 == 0 ? 0 : Find(answer, ",", Add16(c1, 1));
    const std::int16_t c3 = c2 == 0 ? 0 : Find(answer, ",", Add16(c2, 1));
    // A search that starts again from the top would find this line again and again.
    if (c3 == 0)
      throw RuntimeError(err::kInvalidProcedureCall,
                         "Invalid procedure call or argument: a menu item line ends before its label");
    const std::string id = text::Trim(text::Mid(answer, Add16(k, 6), Sub16(c1, Add16(k, 6))));
    const std::string label =
        text::Replace(text::Mid(answer, Add16(c2, 1), Sub16(Sub16(c3, c2), 1)), kDQ, "");
    if (!list.empty()) list += kListSeparator;
    list += id + ":" + label;
    start = Add16(c3, 2);
  }
}

}  // namespace quandelstk::stk
