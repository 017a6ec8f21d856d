// Concatenated parts joined into one message, whatever order they come in.
#include <algorithm>

#include "quandelstk/messages.hpp"
#include "quandelstk/platform.hpp"

namespace quandelstk::messages {

std::string AssembledMessage::Problem() const {
  if (!first.problem.empty()) return first.problem;
  for (const Message& p : parts)
    if (!p.problem.empty())
      return "part " + std::to_string(p.concatenation ? p.concatenation->sequence : 0) + ": " + p.problem;
  if (complete) return "";
  std::string missing;
  for (int s = 1, k = 0; s <= total; ++s) {
    if (k < static_cast<int>(sequences.size()) && sequences[static_cast<std::size_t>(k)] == s) {
      ++k;
      continue;
    }
    missing += (missing.empty() ? "" : ", ") + std::to_string(s);
  }
  return "incomplete: part" + std::string(missing.find(',') == std::string::npos ? " " : "s ") + missing +
         " of " + std::to_string(total) + " missing";
}

Reassembler::Reassembler(std::chrono::milliseconds limit, std::function<std::int64_t()> now_ms)
    : limit_(limit), now_ms_(std::move(now_ms)) {}

std::int64_t Reassembler::Now() const {
  return now_ms_ ? now_ms_() : CurrentPlatform().MonotonicMs();
}

namespace {

AssembledMessage Single(const Message& m, const std::string& storage, int index, int status) {
  AssembledMessage a;
  a.first = m;
  a.text = m.text;
  a.data = m.data;
  a.total = 1;
  a.sequences = {1};
  a.storage = storage;
  if (index > 0) {
    a.indexes = {index};
    a.statuses = {status};
  }
  a.parts = {m};
  return a;
}

}  // namespace

std::vector<AssembledMessage> Reassembler::Add(const Message& m, const std::string& storage, int index,
                                               int status) {
  if (!m.concatenation || !m.Decoded() || m.concatenation->total < 2)
    return {Single(m, storage, index, status)};
  const Concatenation& c = *m.concatenation;
  const std::string key = std::to_string(static_cast<int>(m.type)) + '\n' + m.address + '\n' +
                          std::to_string(c.reference) + '\n' + std::to_string(c.total);
  const std::int64_t now = Now();
  for (auto r = released_.begin(); r != released_.end();)
    r = now - r->second >= limit_.count() ? released_.erase(r) : std::next(r);
  if (released_.count(key) && !sets_.count(key)) {
    late_.push_back(LateCopy{m, storage, index, status});
    return {};
  }
  auto [it, fresh] = sets_.try_emplace(key);
  Set& set = it->second;
  if (fresh) {
    set.started = now;
    set.order = next_order_++;
    set.message.total = c.total;
    set.message.storage = storage;
  }
  if (index > 0) {
    set.message.indexes.push_back(index);
    set.message.statuses.push_back(status);
  }
  set.parts.try_emplace(c.sequence, m);  // a duplicate leaves the first copy in place
  if (static_cast<int>(set.parts.size()) < c.total) return {};
  AssembledMessage whole = Release(set, true);
  sets_.erase(it);
  released_[key] = now;
  return {whole};
}

AssembledMessage Reassembler::Release(Set& set, bool complete) const {
  AssembledMessage a = std::move(set.message);
  a.complete = complete;
  for (auto& [sequence, part] : set.parts) {
    a.sequences.push_back(sequence);
    a.text += part.text;
    a.data += part.data;
    a.parts.push_back(std::move(part));
  }
  a.first = a.parts.front();
  return a;
}

std::vector<AssembledMessage> Reassembler::Expire() {
  const std::int64_t now = Now();
  std::vector<std::pair<std::uint64_t, AssembledMessage>> due;
  for (auto it = sets_.begin(); it != sets_.end();) {
    if (now - it->second.started >= limit_.count()) {
      due.emplace_back(it->second.order, Release(it->second, false));
      it = sets_.erase(it);
    } else {
      ++it;
    }
  }
  std::sort(due.begin(), due.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<AssembledMessage> out;
  for (auto& d : due) out.push_back(std::move(d.second));
  return out;
}

std::vector<AssembledMessage> Reassembler::Flush() {
  std::vector<std::pair<std::uint64_t, AssembledMessage>> all;
  for (auto& [key, set] : sets_) all.emplace_back(set.order, Release(set, false));
  sets_.clear();
  std::sort(all.begin(), all.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<AssembledMessage> out;
  for (auto& d : all) out.push_back(std::move(d.second));
  return out;
}

std::optional<std::int64_t> Reassembler::NextDue() const {
  std::optional<std::int64_t> due;
  for (const auto& [key, set] : sets_) {
    const std::int64_t at = set.started + limit_.count();
    if (!due || at < *due) due = at;
  }
  return due;
}

}  // namespace quandelstk::messages
