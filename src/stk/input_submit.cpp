// InputSubmit: the user's answer to the toolkit.
#include "channel/exchange.hpp"
#include "channel/text.hpp"
#include "quandelstk/errors.hpp"
#include "quandelstk/stk.hpp"
#include "stk/toolkit_answers.hpp"

namespace quandelstk {

namespace {

// Exactly two characters, "OK" in any letter case: the confirmation of a displayed text.
bool IsConfirmation(const std::string& input) {
  return input.size() == 2 && (input[0] == 'O' || input[0] == 'o') && (input[1] == 'K' || input[1] == 'k');
}

}  // namespace

bool SIMToolKit::InputSubmit(const std::string& UserInputSubmit) {
  try {
    std::string answer;
    if (IsConfirmation(UserInputSubmit))
      return channel::SendATCommand("AT+STGR=1", answer, stk::kLongTimeout);
    if (!channel::SendATForPrompt("AT+STGR=3,1", answer, stk::kLongTimeout)) return false;
    return channel::SendATCommand(UserInputSubmit + stk::kCtrlZ, answer, stk::kLongTimeout);
  } catch (const RuntimeError&) {
    return false;
  }
}

}  // namespace quandelstk
