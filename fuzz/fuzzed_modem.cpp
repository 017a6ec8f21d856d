#include "fuzzed_modem.hpp"

#include <algorithm>

namespace quandelstk::fuzzing {

namespace {
constexpr char kShortGap = '\x01';
constexpr char kLongGap = '\x02';
constexpr TimeMs kShortGapMs = 150;
constexpr TimeMs kLongGapMs = 8000;
}  // namespace

FuzzedModem::FuzzedModem(std::string_view script, const platform::VirtualPlatform& clock) : clock_(clock) {
  std::size_t from = 0;
  for (;;) {
    const std::size_t nul = script.find('\0', from);
    records_.emplace_back(script.substr(from, nul == std::string_view::npos ? nul : nul - from));
    if (nul == std::string_view::npos) break;
    from = nul + 1;
  }
}

void FuzzedModem::Open(const std::string&, TimeMs now) {
  // What waited on the line: sent once, when the line is first opened.
  if (!opened_once_) Schedule(records_.front(), now);
  opened_once_ = true;
}

void FuzzedModem::Close(TimeMs) {
  outbox_.clear();
  partial_.clear();
}

void FuzzedModem::Receive(std::string_view bytes, TimeMs now) {
  for (char c : bytes) {
    if (c != '\r') {
      partial_ += c;
      continue;
    }
    if (!partial_.empty()) {
      lines_.push_back({now, clock_.SleptMs(), partial_});
      if (next_ < records_.size()) Schedule(records_[next_++], now);
    }
    partial_.clear();
  }
}

void FuzzedModem::Schedule(std::string_view record, TimeMs now) {
  // After anything still queued: one line out of the modem.
  TimeMs at = outbox_.empty() ? now : std::max(now, outbox_.back().first);
  std::string piece;
  auto flush = [&] {
    if (!piece.empty()) outbox_.emplace_back(at, std::move(piece));
    piece.clear();
  };
  for (char c : record) {
    if (c == kShortGap || c == kLongGap) {
      flush();
      at += c == kShortGap ? kShortGapMs : kLongGapMs;
    } else {
      piece += c;
    }
  }
  flush();
}

std::string FuzzedModem::Transmit(TimeMs now) {
  std::string out;
  auto it = outbox_.begin();
  while (it != outbox_.end() && it->first <= now) out += (it++)->second;
  outbox_.erase(outbox_.begin(), it);
  return out;
}

std::optional<TimeMs> FuzzedModem::NextOutputAt() const {
  if (outbox_.empty()) return std::nullopt;
  return outbox_.front().first;
}

}  // namespace quandelstk::fuzzing
