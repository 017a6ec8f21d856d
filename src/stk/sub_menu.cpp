// Sub menus: fetching the current one and selecting one of its items.
#include "channel/exchange.hpp"
#include "channel/text.hpp"
#include "quandelstk/errors.hpp"
#include "quandelstk/stk.hpp"
#include "stk/toolkit_answers.hpp"

namespace quandelstk {

using text::Add16;
using text::Find;
using text::Sub16;

bool SIMToolKit::SubMenuDisplay() {
  try {
    std::string answer;
    if (!channel::SendATCommand("AT+STGI=6", answer, stk::kLongTimeout)) return false;
    sub_menu_name_.clear();
    sub_menu_list_.clear();
    // The title line is +STGI: <default item>,"<title>",<help>; some SIMs send no title at all.
    std::int16_t p = Find(answer, "+STGI: 0");
    if (p == 0) p = Find(answer, "+STGI:");
    const std::int16_t r = Find(answer, "\r", Add16(p, 1));
    const std::string title_line = text::Mid(answer, p, Sub16(r, p));
    std::int32_t items_from = Add16(r, 1);
    if (const std::int16_t q1 = Find(title_line, stk::kDQ)) {
      const std::int16_t q2 = Find(title_line, stk::kDQ, Add16(q1, 1));
      sub_menu_name_ = text::Replace(text::Mid(title_line, q1, Sub16(q2, q1)), stk::kDQ, "");
      items_from = Add16(p, q2);  // just past the closing quote, as a position in the answer
    }
    stk::AppendMenuItems(answer, items_from, sub_menu_list_);
    return true;
  } catch (const RuntimeError&) {
    return false;
  }
}

bool SIMToolKit::SubMenuSelect(std::int16_t ItemSelect) {
  try {
    std::string answer;
    return channel::SendATCommand("AT+STGR=6,1," + text::Str(ItemSelect), answer, stk::kLongTimeout);
  } catch (const RuntimeError&) {
    return false;
  }
}

}  // namespace quandelstk
