// Switching the toolkit on and off, and ending a toolkit session.
#include "channel/exchange.hpp"
#include "channel/text.hpp"
#include "quandelstk/errors.hpp"
#include "quandelstk/stk.hpp"
#include "stk/toolkit_answers.hpp"

namespace quandelstk {

using channel::SendATCommand;

namespace {

// The terminal profile we send, and the one some modems report in its place once the toolkit is on.
constexpr const char* kProfile = "5FFFFFFF7F";
constexpr const char* kReportedProfile = "3F6BFFFF1F0100573E";
constexpr int kRestoreRuns = 3;

std::string ActiveWithProfile(const std::string& profile) {
  return "+STSF: 1," + std::string(stk::kDQ) + profile + std::string(stk::kDQ);
}

}  // namespace

bool SIMToolKit::ActivateSTK() {
  try {
    std::string answer;
    const std::string dq(stk::kDQ);
    if (!SendATCommand("AT+STSF=2," + dq + kProfile + dq + ",6,0", answer, stk::kDefaultTimeout))
      return false;
    if (!SendATCommand("AT+STSF=1", answer, stk::kDefaultTimeout)) return false;
    if (!SendATCommand("AT+STSF?", answer, stk::kDefaultTimeout)) return false;
    return text::Contains(answer, ActiveWithProfile(kProfile)) ||
           text::Contains(answer, ActiveWithProfile(kReportedProfile));
  } catch (const RuntimeError&) {
    return false;
  }
}

bool SIMToolKit::CloseSTK() {
  try {
    std::string answer;
    return SendATCommand("AT+STGR=99", answer, stk::kDefaultTimeout);
  } catch (const RuntimeError&) {
    return false;
  }
}

bool SIMToolKit::DeactivateSTK() {
  try {
    std::string answer;
    if (!SendATCommand("AT+STSF=0", answer, stk::kDefaultTimeout)) return false;
    // The toolkit is off whatever the restores give; the host learns of a settings problem from its
    // next message operation.
    for (int run = 0; run < kRestoreRuns; ++run)
      if (RestoreSMSSettings()) break;
    return true;
  } catch (const RuntimeError&) {
    return false;
  }
}

}  // namespace quandelstk
