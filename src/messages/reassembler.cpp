// Concatenated parts joined into one message, whatever order they come in.
#include <algorithm>

#include "messages/gsm_alphabet.hpp"
#include "messages/utf8.hpp"
#include "quandelstk/messages.hpp"
#include "quandelstk/platform.hpp"

namespace quandelstk::messages {

std::string AssembledMessage::Problem() const {
  if (!first.problem.empty()) return first.problem;
  for (const Message& p : parts)
    if (!p.problem.empty())
      return "part " + std::to_string(p.concatenation ? p.concatenation->sequence : 0) + ": " + p.problem;
  if (complete) return join_problem;
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

void AddLocation(AssembledMessage& a, const std::string& storage, int index, int status) {
  if (index < 0) return;
  a.indexes.push_back(index);
  a.storages.push_back(storage);
  a.statuses.push_back(status);
}

AssembledMessage Single(const Message& m, const std::string& storage, int index, int status) {
  AssembledMessage a;
  a.first = m;
  a.text = m.text;
  a.data = m.data;
  a.total = 1;
  a.sequences = {1};
  a.storage = storage;
  AddLocation(a, storage, index, status);
  a.parts = {m};
  return a;
}

// The set a part belongs to: its kind, its sender, its reference with the reference's width (an
// 8-bit 5 and a 16-bit 5 are different references), and how many parts it has.
std::string SetKey(const Message& m) {
  const Concatenation& c = *m.concatenation;
  return std::to_string(static_cast<int>(m.type)) + '\n' + m.address + '\n' +
         (c.wide_reference ? "16:" : "8:") + std::to_string(c.reference) + '\n' + std::to_string(c.total);
}

// What a part says: two copies of one part say the same.
std::string Content(const Message& m) {
  return std::to_string(m.coding.octet) + '\n' + (m.time ? m.time->Text() : "") + '\n' + m.text + '\n' +
         m.data + (m.escape_at_end ? "\x1B" : "") + '\n' + m.units;
}

}  // namespace

bool Reassembler::SamePart(const Message& a, const Message& b) {
  return a.concatenation && b.concatenation && SetKey(a) == SetKey(b) &&
         a.concatenation->sequence == b.concatenation->sequence && Content(a) == Content(b);
}

std::vector<AssembledMessage> Reassembler::Add(const Message& m, const std::string& storage, int index,
                                               int status) {
  if (!m.concatenation || !m.Decoded() || m.concatenation->total < 2)
    return {Single(m, storage, index, status)};
  const Concatenation& c = *m.concatenation;
  const std::string key = SetKey(m);
  const std::string content = Content(m);
  const std::int64_t now = Now();
  std::erase_if(released_, [&](const Released& r) { return now - r.at >= limit_.count(); });

  // A copy of a part a waiting set holds: a duplicate, kept with that set so that deleting the set
  // deletes it too.
  for (Set& set : sets_) {
    if (set.key != key) continue;
    const auto held = set.parts.find(c.sequence);
    if (held != set.parts.end() && Content(held->second) == content) {
      AddLocation(set.message, storage, index, status);
      return {};
    }
  }
  // A copy of a part of a set already released whole.
  for (const Released& r : released_) {
    if (r.key != key) continue;
    const auto held = r.contents.find(c.sequence);
    if (held != r.contents.end() && held->second == content) {
      if (index >= 0) late_.push_back(LateCopy{m, storage, index, status});
      return {};
    }
  }
  // The oldest set still missing this part, else a set of its own: a part whose sequence every
  // waiting set already holds with other content belongs to another message.
  auto it = std::find_if(sets_.begin(), sets_.end(),
                         [&](const Set& set) { return set.key == key && !set.parts.count(c.sequence); });
  if (it == sets_.end()) {
    Set fresh;
    fresh.key = key;
    fresh.started = now;
    fresh.message.total = c.total;
    fresh.message.storage = storage;
    sets_.push_back(std::move(fresh));
    it = std::prev(sets_.end());
  }
  Set& set = *it;
  AddLocation(set.message, storage, index, status);
  set.parts.emplace(c.sequence, m);
  if (static_cast<int>(set.parts.size()) < c.total) return {};
  Released released{key, {}, now};
  for (const auto& [sequence, part] : set.parts) released.contents.emplace(sequence, Content(part));
  AssembledMessage whole = Release(set, true);
  sets_.erase(it);
  released_.push_back(std::move(released));
  return {whole};
}

AssembledMessage Reassembler::Release(Set& set, bool complete) const {
  AssembledMessage a = std::move(set.message);
  a.complete = complete;
  // Parts in a row in one alphabet are decoded together from their units, so that a character one
  // part begins and the next ends (an escape and its code, a surrogate pair) comes out whole.
  std::string units;
  Alphabet alphabet = Alphabet::Gsm7;
  bool joining = false;
  int previous = 0;
  auto decode_run = [&] {
    if (!joining) return;
    joining = false;
    if (alphabet == Alphabet::Gsm7) {
      AppendGsmText(a.text, std::vector<std::uint8_t>(units.begin(), units.end()));
    } else if (!Utf16OctetsToUtf8(units, a.text) && a.join_problem.empty()) {
      a.join_problem = "half a UTF-16 surrogate pair stands alone (shown as U+FFFD)";
    }
    units.clear();
  };
  for (auto& [sequence, part] : set.parts) {
    a.sequences.push_back(sequence);
    const bool has_units = !part.units.empty() && part.coding.alphabet != Alphabet::EightBit;
    if (!(has_units && joining && sequence == previous + 1 && part.coding.alphabet == alphabet)) decode_run();
    if (has_units) {
      joining = true;
      alphabet = part.coding.alphabet;
      units += part.units;
    } else {
      a.text += part.text;
    }
    a.data += part.data;
    previous = sequence;
    a.parts.push_back(std::move(part));
  }
  decode_run();
  a.first = a.parts.front();
  return a;
}

std::vector<AssembledMessage> Reassembler::Expire() {
  const std::int64_t now = Now();
  std::vector<AssembledMessage> out;  // sets_ is in arrival order
  for (auto it = sets_.begin(); it != sets_.end();) {
    if (now - it->started >= limit_.count()) {
      out.push_back(Release(*it, false));
      it = sets_.erase(it);
    } else {
      ++it;
    }
  }
  return out;
}

std::vector<AssembledMessage> Reassembler::Flush() {
  std::vector<AssembledMessage> out;
  for (Set& set : sets_) out.push_back(Release(set, false));
  sets_.clear();
  return out;
}

std::optional<std::int64_t> Reassembler::NextDue() const {
  std::optional<std::int64_t> due;
  for (const Set& set : sets_) {
    const std::int64_t at = set.started + limit_.count();
    if (!due || at < *due) due = at;
  }
  return due;
}

}  // namespace quandelstk::messages
