// The toolkit's main menu: fetching it (with the retries a SIM still setting up needs) and
// selecting one of its items.
#include "channel/exchange.hpp"
#include "channel/text.hpp"
#include "quandelstk/errors.hpp"
#include "quandelstk/platform.hpp"
#include "quandelstk/stk.hpp"
#include "stk/toolkit_answers.hpp"

namespace quandelstk {

using channel::SendATCommand;
using text::Add16;
using text::Find;
using text::Sub16;

namespace {

constexpr int kMenuAttempts = 8;
constexpr int kSelectAttempts = 3;
constexpr std::int32_t kMenuPauseMs = 1000;

// Fetches the main menu into answer. The SIM may not have sent its menu yet: many modems hand it
// over only after a radio restart with the toolkit on, so the first failure restarts the radio
// once. Returns false only when that restart fails; after eight failed fetches answer holds the
// last one that was answered.
bool FetchMainMenu(std::string& answer) {
  bool restarted = false;
  for (int attempt = 1; attempt <= kMenuAttempts; ++attempt) {
    std::string ignored;
    SendATCommand("AT+STGI=11", ignored, stk::kDefaultTimeout);
    CurrentPlatform().Sleep(kMenuPauseMs);
    if (SendATCommand("AT+STGI=0", answer, stk::kDefaultTimeout)) return true;
    if (!restarted) {
      if (!SendATCommand("AT+CFUN=1", ignored, stk::kLongTimeout)) return false;
      restarted = true;
    }
    CurrentPlatform().Sleep(kMenuPauseMs);
  }
  return true;
}

}  // namespace

bool SIMToolKit::MainMenuDisplay() {
  try {
    std::string answer;
    if (!FetchMainMenu(answer)) return false;
    main_menu_name_.clear();
    main_menu_list_.clear();
    // +STGI: "<title>" CR LF, then one item line each: the title is the first quoted text.
    const std::int16_t p = Find(answer, "+STGI: ");
    const std::int16_t q1 = Find(answer, stk::kDQ, Add16(p, 1));
    const std::int16_t q2 = Find(answer, stk::kDQ, Add16(q1, 1));
    main_menu_name_ = text::Replace(text::Mid(answer, q1, Sub16(q2, q1)), stk::kDQ, "");
    stk::AppendMenuItems(answer, Add16(q2, 1), main_menu_list_);
    return true;
  } catch (const RuntimeError&) {
    return false;
  }
}

bool SIMToolKit::MainMenuSelect(std::int16_t ItemSelect) {
  try {
    std::string answer;
    for (int attempt = 0; attempt < kSelectAttempts; ++attempt) {
      if (SendATCommand("AT+STGR=0,1," + text::Str(ItemSelect), answer, stk::kLongTimeout)) return true;
      // A SIM that refused the selection expects its menu to be fetched again first.
      if (!SendATCommand("AT+STGI=0", answer, stk::kDefaultTimeout)) return false;
    }
    return false;
  } catch (const RuntimeError&) {
    return false;
  }
}

}  // namespace quandelstk
