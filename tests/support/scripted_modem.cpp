#include "support/scripted_modem.hpp"

#include <algorithm>

namespace quandelstk::testing {

std::vector<Piece> SplitAnswer(const std::string& answer, const std::vector<std::size_t>& cuts, TimeMs gap_ms,
                               TimeMs start_ms) {
  std::vector<Piece> pieces;
  std::size_t from = 0;
  TimeMs at = start_ms;
  for (std::size_t cut : cuts) {
    if (cut <= from || cut >= answer.size()) continue;
    pieces.push_back({at, answer.substr(from, cut - from)});
    from = cut;
    at += gap_ms;
  }
  pieces.push_back({at, answer.substr(from)});
  return pieces;
}

ScriptedModem& ScriptedModem::On(const std::string& line, std::vector<Piece> reply, int times) {
  rules_.push_back(Rule{line, std::move(reply), times});
  return *this;
}

ScriptedModem& ScriptedModem::Unsolicited(TimeMs at_ms, const std::string& bytes) {
  Schedule(at_ms, bytes);
  return *this;
}

std::vector<std::string> ScriptedModem::Lines() const {
  std::vector<std::string> lines;
  for (const auto& [at, line] : timed_lines_) lines.push_back(line);
  return lines;
}

void ScriptedModem::Open(const std::string& settings, TimeMs) {
  open_ = true;
  ++opens_;
  settings_ = settings;
}

void ScriptedModem::Settings(const std::string& settings, TimeMs) { settings_ = settings; }

void ScriptedModem::Close(TimeMs) {
  open_ = false;
  outbox_.clear();  // what a modem sends to a closed port is lost
  partial_.clear();
}

void ScriptedModem::Receive(std::string_view bytes, TimeMs now) {
  written_.append(bytes);
  if (only_at_ && settings_ != *only_at_) return;  // line noise at the wrong speed
  if (echo_) Schedule(now, std::string(bytes));
  for (char c : bytes) {
    if (c != '\r') {
      partial_ += c;
      continue;
    }
    timed_lines_.emplace_back(now, partial_);
    Answer(partial_, now);
    if (vanish_after_ && partial_ == *vanish_after_) vanished_ = true;
    partial_.clear();
  }
}

void ScriptedModem::Answer(const std::string& line, TimeMs now) {
  for (auto it = rules_.begin(); it != rules_.end(); ++it) {
    if (it->line != line) continue;
    const std::vector<Piece> reply = it->reply;
    if (it->left > 0 && --it->left == 0) rules_.erase(it);
    Reply(reply, now);
    return;
  }
  if (otherwise_ && !line.empty()) Reply({{0, *otherwise_}}, now);
}

void ScriptedModem::Reply(const std::vector<Piece>& pieces, TimeMs now) {
  TimeMs next = now;  // chunks keep their order even when a piece is due before the last one ended
  for (const Piece& p : pieces) {
    if (chunk_size_ == 0) {
      Schedule(now + p.after_ms, p.bytes);
      continue;
    }
    TimeMs at = std::max(now + p.after_ms, next);
    for (std::size_t k = 0; k < p.bytes.size(); k += chunk_size_, at += chunk_gap_ms_) {
      Schedule(at, p.bytes.substr(k, chunk_size_));
      next = at + chunk_gap_ms_;
    }
  }
}

void ScriptedModem::Schedule(TimeMs at, std::string bytes) {
  auto pos = std::upper_bound(outbox_.begin(), outbox_.end(), at,
                              [](TimeMs t, const auto& item) { return t < item.first; });
  outbox_.insert(pos, {at, std::move(bytes)});
}

std::string ScriptedModem::Transmit(TimeMs now) {
  std::string out;
  auto it = outbox_.begin();
  while (it != outbox_.end() && it->first <= now) out += (it++)->second;
  outbox_.erase(outbox_.begin(), it);
  return out;
}

std::optional<TimeMs> ScriptedModem::NextOutputAt() const {
  if (outbox_.empty()) return std::nullopt;
  return outbox_.front().first;
}

}  // namespace quandelstk::testing
