// The maker's SIM toolkit commands: AT+STSF switches the toolkit, +STIN tells the pending
// proactive command, +STGI fetches its data and +STGR answers it, walking the scenario's menu tree.
#include "modemsim/services.hpp"

namespace quandelstk::modemsim {

namespace {

using Kind = Command::Kind;
using NodeKind = StkNode::Kind;
std::string N(int n) {
  return std::to_string(n);
}

int TypeOf(const StkNode* node) {
  if (!node) return 99;
  switch (node->kind) {
    case NodeKind::kMenu:
      return 6;
    case NodeKind::kDisplay:
      return 1;
    case NodeKind::kInput:
      return 3;
    case NodeKind::kSms:
      return 9;
    case NodeKind::kEnd:
      return 99;
  }
  return 99;
}

}  // namespace

ToolkitService::ToolkitService(Core& core) : Service(core) {
  core.on_restart.push_back([this] {
    if (mode_ == 1 && !menu_ready_) {  // the SIM sends its menu once the modem has restarted
      menu_ready_ = true;
      pending_ = 0;
      Announce(0, nullptr);
    }
  });
}

void ToolkitService::Register(CommandTable& t) {
  if (!core_.scenario.stk.supported) return;  // a modem without the toolkit knows none of these
  t["+STSF"] = {[this](const Command& c, Reply& r) { Configure(c, r); }, SimGate::kCme};
  t["+STIN"] = {[this](const Command& c, Reply& r) {
                  if (c.kind == Kind::kTest) return;
                  if (mode_ != 1 || c.kind != Kind::kRead)
                    r.final = core_.CmeError(3);
                  else if (pending_ < 0)
                    r.final = core_.CmeError(4);
                  else
                    r.lines.push_back("+STIN: " + N(pending_));
                },
                SimGate::kCme};
  t["+STGI"] = {[this](const Command& c, Reply& r) { GetInformation(c, r); }, SimGate::kCme};
  t["+STGR"] = {[this](const Command& c, Reply& r) { GiveResponse(c, r); }, SimGate::kCme};
}

void ToolkitService::Configure(const Command& c, Reply& r) {
  if (c.kind == Kind::kRead)
    r.lines.push_back("+STSF: " + N(mode_) + ",\"" + core_.scenario.stk.profile.value_or(profile_) + "\"," +
                      N(timeout_) + "," + N(autoresponse_));
  if (c.kind == Kind::kTest) r.lines.push_back("+STSF: (0-2),(160060C01F-5FFFFFFF7F),(1-255),(0-1)");
  if (c.kind != Kind::kSet) return;
  const auto mode = c.Number(0);
  if (!mode || *mode > 2) {
    r.final = core_.CmeError(3);
  } else if (*mode == 2) {
    if (!c.Text(1).empty()) profile_ = c.Text(1);
    timeout_ = c.Number(2).value_or(timeout_);
    autoresponse_ = c.Number(3).value_or(autoresponse_);
  } else if (*mode == 1) {
    mode_ = 1;
    if (!core_.scenario.stk.needs_restart && !menu_ready_) {
      menu_ready_ = true;
      pending_ = 0;
      Announce(0, &r);
    }
  } else {
    mode_ = 0;
    menu_ready_ = false;
    // The SIM starts over without its toolkit, and the message service with it.
    core_.csms_refusals_left = core_.scenario.stk.csms_not_ready_after_off;
    pending_ = -1;
    current_ = nullptr;
    if (timeout_event_) core_.Cancel(*timeout_event_);
  }
}

std::string ToolkitService::Text(const std::string& utf8) const {
  std::string text = utf8;
  const std::string input = inputs_.empty() ? "" : inputs_.back();
  for (std::size_t p; (p = text.find("{input}")) != std::string::npos;) text.replace(p, 7, input);
  return core_.ToTe(text);
}

void ToolkitService::GetInformation(const Command& c, Reply& r) {
  if (c.kind == Kind::kTest) return;
  const auto type = c.Number(0);
  if (mode_ != 1 || c.kind != Kind::kSet) {
    r.final = core_.CmeError(3);
    return;
  }
  auto items = [&](const StkNode& menu) {
    for (const StkNode& item : menu.items)
      r.lines.push_back("+STGI: " + N(item.id) + "," + N(static_cast<int>(menu.items.size())) + ",\"" +
                        Text(item.label) + "\",0,0");
  };
  if (type == 0 && menu_ready_) {
    r.lines.push_back("+STGI: \"" + Text(core_.scenario.stk.menu.title) + "\"");
    items(core_.scenario.stk.menu);
    return;
  }
  if (!type || *type != pending_ || !current_) {
    r.final = core_.CmeError(4);  // nothing of that type is pending
    return;
  }
  const StkNode& n = *current_;
  switch (n.kind) {
    case NodeKind::kMenu:
      r.lines.push_back("+STGI: 0,\"" + Text(n.title) + "\",0");
      items(n);
      break;
    case NodeKind::kDisplay:
      r.lines.push_back("+STGI: 0,\"" + Text(n.text) + "\",1");
      break;
    case NodeKind::kInput:
      r.lines.push_back("+STGI: " + N(n.format) + ",0," + N(n.echo) + "," + N(n.min) + "," + N(n.max) +
                        ",\"" + Text(n.text) + "\"");
      break;
    case NodeKind::kSms:
      r.lines.push_back("+STGI: \"" + Text(n.text) + "\"");
      Go(n.then.get(), r);  // the SIM goes on once the notice has been shown
      break;
    case NodeKind::kEnd:
      break;
  }
}

const StkNode* ToolkitService::ItemOf(const StkNode& menu, std::optional<int> id) const {
  for (const StkNode& item : menu.items)
    if (id && item.id == *id) return &item;
  return nullptr;
}

void ToolkitService::GiveResponse(const Command& c, Reply& r) {
  if (c.kind == Kind::kTest) return;
  const auto type = c.Number(0);
  const auto result = c.Number(1);
  if (mode_ != 1 || c.kind != Kind::kSet || !type) {
    r.final = core_.CmeError(3);
    return;
  }
  const StkNode* next = nullptr;
  if (*type == 99) {
    Go(nullptr, r);
    return;
  }
  if (*type == 0 && menu_ready_) {
    next = result == 1 ? ItemOf(core_.scenario.stk.menu, c.Number(2)) : nullptr;
  } else if (*type == pending_ && current_ && *type == 6) {
    next = result == 1 ? ItemOf(*current_, c.Number(2)) : nullptr;
    if (result != 1) {  // back or help: the session ends here
      Go(nullptr, r);
      return;
    }
  } else if (*type == pending_ && current_ && *type == 1) {
    Go(current_->then.get(), r);
    return;
  } else if (*type == pending_ && current_ && *type == 3 && result == 1) {
    r.final.clear();
    r.body = [this](const std::string& body, bool cancelled) {
      Reply answer;
      if (cancelled) return answer;
      inputs_.push_back(core_.FromTe(body));
      Go(current_ ? current_->then.get() : nullptr, answer);
      return answer;
    };
    return;
  }
  if (!next) {
    r.final = core_.CmeError(3);
    return;
  }
  Go(next, r);
}

void ToolkitService::Go(const StkNode* node, Reply& r) {
  if (timeout_event_) core_.Cancel(*timeout_event_);
  timeout_event_.reset();
  const int type = TypeOf(node);
  current_ = type == 99 ? nullptr : node;
  pending_ = type;
  Announce(type, &r);
  const TimeMs limit = core_.scenario.stk.timeout_ms;
  if (limit > 0 && (type == 1 || type == 3 || type == 6))
    timeout_event_ = core_.At(core_.Now() + core_.scenario.stk.stin_delay_ms + limit, [this] {
      timeout_event_.reset();
      pending_ = 98;
      current_ = nullptr;
      core_.Unsolicited("+STIN: 98");
    });
}

void ToolkitService::Announce(int type, Reply* r) {
  const TimeMs delay = core_.scenario.stk.stin_delay_ms;
  if (r)
    r->later.emplace_back(delay, "+STIN: " + N(type));
  else
    core_.Unsolicited("+STIN: " + N(type), delay);
}

}  // namespace quandelstk::modemsim
