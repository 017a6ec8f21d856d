// Voice calls: ATD<number>; answered OK at once, then dialling, alerting and active as the
// scenario plans it for the number, or BUSY / NO CARRIER / NO ANSWER; ATH ends the call.
#include "modemsim/services.hpp"

namespace quandelstk::modemsim {

void CallService::Register(CommandTable& t) {
  t["D"] = {[this](const Command& c, Reply& r) { Dial(c, r); }};
  t["H"] = {[this](const Command&, Reply& r) { HangUp(r); }};
  t["+CHUP"] = {[this](const Command&, Reply& r) { HangUp(r); }};
  t["A"] = {[](const Command&, Reply& r) { r.final = "NO CARRIER"; }};  // nobody calls in
  t["+CLCC"] = {[this](const Command& c, Reply& r) {
    if (c.kind != Command::Kind::kExec) return;
    for (const CallRecord& call : calls_)
      if (call.ended.empty())
        r.lines.push_back("+CLCC: " + std::to_string(call.id) + ",0," + std::to_string(call.state) + ",0,0,\"" +
                          call.number + "\"," + std::to_string(Address::FromText(call.number).type));
  }};
}

void CallService::Dial(const Command& c, Reply& r) {
  std::string number;
  for (char ch : c.args)
    if ((ch >= '0' && ch <= '9') || ch == '+' || ch == '*' || ch == '#') number += ch;
  const bool voice = !c.args.empty() && c.args.back() == ';';
  if (number.empty()) {
    r.final = "ERROR";
    return;
  }
  for (const CallRecord& call : calls_)
    if (call.ended.empty()) {
      r.final = core_.CmeError(3);
      return;
    }
  if (!core_.Registered() || !voice) {  // no network, or a data call this modem cannot make
    r.final = "NO CARRIER";
    return;
  }
  const auto& plans = core_.scenario.calls;
  auto it = plans.find(number);
  if (it == plans.end()) it = plans.find("*");
  CallRecord call;
  call.number = number;
  call.plan = it == plans.end() ? CallPlan() : it->second;
  call.dialled_at = core_.Now();
  const std::size_t k = calls_.size();
  const TimeMs now = core_.Now();
  const CallPlan& plan = call.plan;
  using K = CallPlan::Kind;
  auto later = [&](TimeMs delay, std::function<void()> fn) { call.pending.push_back(core_.At(now + delay, fn)); };
  const bool ends_early = (plan.kind == K::kBusy || plan.kind == K::kReject) && plan.after_ms <= plan.alert_ms;
  if (!ends_early && !(plan.kind == K::kAnswer && plan.after_ms <= plan.alert_ms))
    later(plan.alert_ms, [this, k] { calls_[k].state = 3; });
  if (plan.kind == K::kAnswer) later(plan.after_ms, [this, k] { calls_[k].state = 0; });
  if (plan.kind == K::kBusy) later(plan.after_ms, [this, k] { End(k, "BUSY"); });
  if (plan.kind == K::kReject) later(plan.after_ms, [this, k] { End(k, "NO CARRIER"); });
  if (plan.kind == K::kNoAnswer) later(plan.after_ms, [this, k] { End(k, "NO ANSWER"); });
  calls_.push_back(std::move(call));
}

void CallService::End(std::size_t k, const std::string& result) {
  CallRecord& call = calls_[k];
  call.ended = result;
  for (Core::EventId id : call.pending) core_.Cancel(id);
  call.pending.clear();
  if (result != "ATH") core_.Unsolicited(result);
}

void CallService::HangUp(Reply&) {
  for (std::size_t k = 0; k < calls_.size(); ++k)
    if (calls_[k].ended.empty()) End(k, "ATH");
}

}  // namespace quandelstk::modemsim
