// Scripts shared by the Modem tests: the answers of a ready WAVECOM modem, framed as one sends them.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "channel/session.hpp"
#include "support/virtual_session.hpp"

namespace quandelstk::testing {

inline const std::string kOk = "\r\nOK\r\n";

// Information line and final OK.
inline std::string Answer(const std::string& line) {
  return "\r\n" + line + "\r\n" + kOk;
}

// One scripted answer: reply "" is silence, times 0 answers for ever.
struct Say {
  std::string line;
  std::string reply;
  int times = 0;
};

// Answers every command of a healthy Init with echo on; the answers given first win.
inline void AnswerLikeAReadyModem(ScriptedModem& m, const std::vector<Say>& first = {}) {
  for (const Say& s : first) m.On(s.line, s.reply, s.times);
  m.Echo(true)
      .On("AT", kOk)
      .On("AT+CGMI", Answer("WAVECOM MODEM"))
      .On("AT+CPIN?", Answer("+CPIN: READY"))
      .On("AT+CSMS=0", Answer("+CSMS: 1,1,1"))
      .On("AT+CGSN", Answer("351234567890123"))
      .Otherwise(kOk);
}

inline long CountOf(const std::vector<std::string>& lines, const std::string& line) {
  return std::count(lines.begin(), lines.end(), line);
}

// Every test starts on a fresh virtual line, with no maker learnt by an earlier test on this thread.
class ModemTest : public ::testing::Test {
 protected:
  ModemTest() { channel::CurrentSession().ModemMaker.clear(); }
  VirtualSession vs;
};

template <typename Case>
class ModemTableTest : public ModemTest, public ::testing::WithParamInterface<Case> {};

}  // namespace quandelstk::testing
