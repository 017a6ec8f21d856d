#include "modemsim/core.hpp"

#include <cctype>

#include "modemsim/gsm_text.hpp"

namespace quandelstk::modemsim {

namespace {

std::string Trim(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return std::string(s);
}

const std::map<int, const char*>& CmeTexts() {
  static const std::map<int, const char*> texts = {
      {3, "operation not allowed"},
      {4, "operation not supported"},
      {10, "SIM not inserted"},
      {11, "SIM PIN required"},
      {12, "SIM PUK required"},
      {13, "SIM failure"},
      {14, "SIM busy"},
      {16, "incorrect password"},
      {20, "memory full"},
      {21, "invalid index"},
      {22, "not found"},
      {24, "text string too long"},
      {26, "dial string too long"},
      {30, "no network service"},
      {100, "unknown"},
      {515, "please wait, init or command processing in progress"}};
  return texts;
}

}  // namespace

std::vector<std::string> Command::Params() const {
  std::vector<std::string> out;
  if (args.empty()) return out;
  std::string current;
  bool quoted = false;
  for (char c : args) {
    if (c == '"') quoted = !quoted;
    if (c == ',' && !quoted) {
      out.push_back(Trim(current));
      current.clear();
    } else {
      current += c;
    }
  }
  out.push_back(Trim(current));
  return out;
}

std::string Command::Text(std::size_t i) const {
  const auto params = Params();
  if (i >= params.size()) return "";
  std::string p = params[i];
  if (p.size() >= 2 && p.front() == '"' && p.back() == '"') p = p.substr(1, p.size() - 2);
  return p;
}

std::optional<int> Command::Number(std::size_t i) const {
  const auto params = Params();
  if (i >= params.size() || params[i].empty() || params[i].size() > 9) return std::nullopt;
  for (char c : params[i])
    if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
  return std::stoi(params[i]);
}

Core::Core(const Scenario& s)
    : scenario(s), echo(s.echo), cmee(s.cmee), csms_refusals_left(s.csms_not_ready), sim_state(s.sim.state) {}

Timestamp Core::NetworkTime() const {
  return Timestamp::Parse(scenario.clock)->PlusSeconds(now_ / 1000);
}

Core::EventId Core::At(TimeMs when, std::function<void()> action) {
  const EventId id = next_id_++;
  events_.emplace(when < now_ ? now_ : when, std::make_pair(id, std::move(action)));
  return id;
}

void Core::Cancel(EventId id) {
  for (auto it = events_.begin(); it != events_.end(); ++it)
    if (it->second.first == id) {
      events_.erase(it);
      return;
    }
}

void Core::Send(TimeMs when, std::string bytes) {
  if (!bytes.empty()) outbox_.emplace(when < now_ ? now_ : when, std::move(bytes));
}

std::string Core::CmeError(int code) const {
  if (cmee == 0) return "ERROR";
  if (cmee == 2 && CmeTexts().count(code)) return std::string("+CME ERROR: ") + CmeTexts().at(code);
  return "+CME ERROR: " + std::to_string(code);
}

std::string Core::SimError(SimGate gate) const {
  if (gate == SimGate::kNone || SimReady()) return "";
  int cme = 515, cms = 515;  // busy right after power-up
  if (sim_state == "absent") cme = 10, cms = 310;
  if (sim_state == "SIM PIN") cme = 11, cms = 311;
  if (sim_state == "SIM PUK") cme = 12, cms = 316;
  if (sim_state == "blocked") cme = 13, cms = 313;
  return gate == SimGate::kCme ? CmeError(cme) : CmsError(cms);
}

namespace {

// Only what the GSM alphabet holds ('?' for the rest).
std::u16string InGsmAlphabet(std::u16string_view text) {
  return FromGsmSeptets(ToGsmSeptetsLossy(text));
}

}  // namespace

bool Core::GsmAsLatin1() const {
  return charset == "GSM" && scenario.gsm_text == "latin1";
}

std::string Core::ToTe(std::u16string_view text) const {
  if (GsmAsLatin1()) return modemsim::ToTe(InGsmAlphabet(text), "8859-1");
  return modemsim::ToTe(text, charset);
}
std::string Core::ToTe(const std::string& utf8) const {
  return ToTe(Utf8ToUtf16(utf8));
}
std::string Core::FromTe(std::string_view bytes) const {
  if (GsmAsLatin1()) return Utf16ToUtf8(InGsmAlphabet(modemsim::FromTe(bytes, "8859-1")));
  return Utf16ToUtf8(modemsim::FromTe(bytes, charset));
}

int Core::Registration() const {
  if (now_ < restart_until) return 2;  // searching while the radio comes back
  if (!radio_on || deregistered || !SimReady()) return 0;
  return scenario.network.registration;
}

void Core::NoteRegistration() {
  const int now = Registration();
  if (now == reported_registration_) return;
  const bool first = reported_registration_ < 0;
  reported_registration_ = now;
  if (first || creg_mode == 0) return;
  std::string line = "+CREG: " + std::to_string(now);
  if (creg_mode == 2 && (now == 1 || now == 5))
    line += ",\"" + scenario.network.lac + "\",\"" + scenario.network.ci + "\"";
  Unsolicited(line);
}

void Core::RunUntil(TimeMs now) {
  NoteRegistration();
  while (!events_.empty() && events_.begin()->first <= now) {
    auto node = events_.extract(events_.begin());
    if (node.key() > now_) now_ = node.key();
    node.mapped().second();
    NoteRegistration();
  }
  if (now > now_) now_ = now;
  NoteRegistration();  // registration also changes by the mere passing of time
}

std::string Core::TakeOutput(TimeMs now) {
  // Both queues in time order; at equal times the answer goes first.
  std::string out;
  auto a = outbox_.begin();
  auto u = own_lines_.begin();
  for (;;) {
    const bool answer_due = a != outbox_.end() && a->first <= now;
    const bool own_due = u != own_lines_.end() && u->first <= now;
    if (!answer_due && !own_due) break;
    if (own_due && (!answer_due || u->first < a->first)) out += (u++)->second;
    else out += (a++)->second;
  }
  outbox_.erase(outbox_.begin(), a);
  own_lines_.erase(own_lines_.begin(), u);
  std::erase_if(answer_spans_, [now](const auto& span) { return span.second < now; });
  return out;
}

TimeMs Core::FreeAt(TimeMs t) const {
  for (bool moved = true; moved;) {
    moved = false;
    for (const auto& [from, to] : answer_spans_)
      if (t > from && t <= to) t = to + 1, moved = true;
  }
  return t;
}

void Core::Unsolicited(const std::string& line, TimeMs delay) {
  own_lines_.emplace(FreeAt(now_ + delay), "\r\n" + line + "\r\n");
}

void Core::Reserve(TimeMs from, TimeMs to) {
  if (to <= from) return;
  answer_spans_.emplace_back(from, to);
  std::multimap<TimeMs, std::string> moved;
  for (auto it = own_lines_.begin(); it != own_lines_.end();) {
    if (it->first > from && it->first <= to) {
      moved.emplace(to + 1, std::move(it->second));
      it = own_lines_.erase(it);
    } else {
      ++it;
    }
  }
  for (auto& item : moved) own_lines_.emplace(FreeAt(item.first), std::move(item.second));
}

std::optional<TimeMs> Core::NextDue() const {
  std::optional<TimeMs> next;
  if (!outbox_.empty()) next = outbox_.begin()->first;
  if (!own_lines_.empty() && (!next || own_lines_.begin()->first < *next)) next = own_lines_.begin()->first;
  if (!events_.empty() && (!next || events_.begin()->first < *next)) next = events_.begin()->first;
  return next;
}

}  // namespace quandelstk::modemsim
