// USSD: AT+CUSD=1,"<code>" answers OK and then (or before) the +CUSD result of the scenario's
// node for the code; a node with status 1 waits for the next answer; unknown codes get status 4.
#include "modemsim/gsm_text.hpp"
#include "modemsim/services.hpp"

namespace quandelstk::modemsim {

UssdService::UssdService(Core& core) : Service(core) {
  for (const UssdNotification& n : core.scenario.ussd_notifications)
    core.At(n.at_ms, [this, n] {
      current_ = nullptr;
      core_.Unsolicited(ResultLine(n.status, n.text, n.dcs));
    });
}

void UssdService::Register(CommandTable& t) {
  t["+CUSD"] = {[this](const Command& c, Reply& r) { Request(c, r); }, SimGate::kCme};
}

std::string UssdService::ResultLine(int status, const std::string& text, int dcs) const {
  if (text.empty() && status >= 2) return "+CUSD: " + std::to_string(status);
  // A UCS2 coding scheme carries its text as hex, as modems show it.
  const bool ucs2 = AlphabetOf(dcs) == Alphabet::kUcs2 && (dcs >> 4) <= 7;
  const std::string shown = ucs2 ? ToHex(Ucs2ToOctets(Utf8ToUtf16(text))) : core_.ToTe(text);
  return "+CUSD: " + std::to_string(status) + ",\"" + shown + "\"," + std::to_string(dcs);
}

void UssdService::Request(const Command& c, Reply& r) {
  if (c.kind == Command::Kind::kTest) r.lines.push_back("+CUSD: (0-2)");
  if (c.kind == Command::Kind::kRead) r.lines.push_back("+CUSD: " + std::to_string(presentation_));
  if (c.kind != Command::Kind::kSet) return;
  const auto n = c.Number(0);
  if (!n || *n > 2) {
    r.final = core_.CmeError(3);
    return;
  }
  if (*n == 2) {  // the host ends the dialogue
    current_ = nullptr;
    return;
  }
  presentation_ = *n;
  if (c.Params().size() < 2) return;
  if (!core_.Registered()) {
    r.final = core_.CmeError(30);
    return;
  }
  const std::string code = core_.FromTe(c.Text(1));
  requests_.push_back(code);
  const UssdNode* node = nullptr;
  if (current_) {
    auto it = current_->next.find(code);
    if (it != current_->next.end()) node = &it->second;
  } else if (auto it = core_.scenario.ussd.find(code); it != core_.scenario.ussd.end()) {
    node = &it->second;
  }
  current_ = node && node->status == 1 ? node : nullptr;
  if (!node) {
    r.later.emplace_back(100, "+CUSD: 4");
    return;
  }
  const std::string line = ResultLine(node->status, node->text, node->dcs);
  if (node->before_ok) r.lines.push_back(line);
  else r.later.emplace_back(node->delay_ms, line);
}

}  // namespace quandelstk::modemsim
