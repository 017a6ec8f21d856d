// The SIMToolKit against a scripted modem: answers written the way a modem sends them, the call,
// its result and the command lines the modem received, in virtual time.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "quandelstk/stk.hpp"
#include "support/virtual_session.hpp"

namespace quandelstk::testing {

inline const std::string kOk = "\r\nOK\r\n";
inline const std::string kError = "\r\nERROR\r\n";
inline const std::string kNotPending = "\r\n+CME ERROR: 4\r\n";
inline const std::string kNotAllowed = "\r\n+CME ERROR: 3\r\n";
inline const std::string kNotReady = "\r\n+CMS ERROR: 515\r\n";

// Information lines, each framed by CR LF, then the final OK.
inline std::string Answer(const std::vector<std::string>& lines) {
  std::string answer;
  for (const std::string& l : lines) answer += "\r\n" + l + "\r\n";
  return answer + kOk;
}

// One scripted answer; times 0 answers for ever. Rules for one line apply in the order given.
struct Say {
  std::string line;
  std::string reply;
  int times = 0;
};

// Results of every kind as text, so that one table holds calls of every method.
inline std::string Shown(bool b) {
  return b ? "true" : "false";
}
inline std::string Shown(STKStatus s) {
  return "status " + std::to_string(static_cast<std::int32_t>(s));
}
inline std::string Shown(const std::string& s) {
  return "\"" + s + "\"";
}
using Call = std::function<std::string(SIMToolKit&)>;
inline const Call kStatus = [](SIMToolKit& s) { return Shown(s.STKStatusGet()); };
inline const Call kActivate = [](SIMToolKit& s) { return Shown(s.ActivateSTK()); };
inline const Call kMainMenu = [](SIMToolKit& s) { return Shown(s.MainMenuDisplay()); };
inline const Call kSubMenu = [](SIMToolKit& s) { return Shown(s.SubMenuDisplay()); };
inline const Call kInputRequest = [](SIMToolKit& s) { return Shown(s.InputRequestDisplay()); };
inline const Call kResponse = [](SIMToolKit& s) { return Shown(s.ResponseDisplay()); };
inline const Call kSmsSent = [](SIMToolKit& s) { return Shown(s.SMSSentDisplay()); };
inline const Call kClose = [](SIMToolKit& s) { return Shown(s.CloseSTK()); };
inline const Call kDeactivate = [](SIMToolKit& s) { return Shown(s.DeactivateSTK()); };
inline Call MainSelect(std::int16_t item) {
  return [item](SIMToolKit& s) { return Shown(s.MainMenuSelect(item)); };
}
inline Call SubSelect(std::int16_t item) {
  return [item](SIMToolKit& s) { return Shown(s.SubMenuSelect(item)); };
}
inline Call Submit(std::string input) {
  return [input](SIMToolKit& s) { return Shown(s.InputSubmit(input)); };
}

// The port is open as Init leaves it, the modem echoes, and lines without a rule are answered OK.
class StkTest : public ::testing::Test {
 protected:
  StkTest() {
    vs.OpenPort();
    vs.Modem().Echo(true).Otherwise(kOk);
  }
  void Script(const std::vector<Say>& says) {
    for (const Say& s : says) vs.Modem().On(s.line, s.reply, s.times);
  }
  // The menu properties as one text: name|list|sub name|sub list.
  std::string Menus() const {
    return stk.MainMenuName() + "|" + stk.MainMenuList() + "|" + stk.SubMenuName() + "|" + stk.SubMenuList();
  }
  void PresetMenus() {
    stk.MainMenuName("old");
    stk.MainMenuList("1:old");
    stk.SubMenuName("old sub");
    stk.SubMenuList("9:old sub");
  }

  VirtualSession vs;
  SIMToolKit stk;
};

inline const std::string kPresetMenus = "old|1:old|old sub|9:old sub";

}  // namespace quandelstk::testing
