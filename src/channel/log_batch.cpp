#include "channel/log_batch.hpp"

#include <algorithm>
#include <cstring>

#include "channel/log.hpp"
#include "channel/log_mask.hpp"

namespace quandelstk::channel {

namespace {

// An ordinary decode's records fit in far less; a longer one gives its storage back.
constexpr std::size_t kKeptStorage = std::size_t{1} << 18;

// The record of an empty text is its banner line and CR LF.
std::string BannerLine(const DateTime& now) {
  std::string banner = FormatLogRecord("", now);
  banner.resize(banner.size() - 2);
  return banner;
}

}  // namespace

void LogBatch::Begin() {
  Empty();
  first_ = CurrentPlatform().Now();
  if (banner_.empty() || !(first_ == banner_time_)) {
    banner_ = BannerLine(first_);
    banner_time_ = first_;
  }
}

void LogBatch::Add(std::string_view text) {
  std::string masked;
  if (HoldsMaskToken(text)) {
    masked = MaskLogText(text);
    text = masked;
  }
  char* p = StartUnmaskedRecord(text.size());
  if (!text.empty()) std::memcpy(p, text.data(), text.size());
  EndUnmaskedRecord(p + text.size());
}

char* LogBatch::StartUnmaskedRecord(std::size_t most) {
  const std::size_t needed = used_ + banner_.size() + most + 2;
  if (needed > buffer_.size()) buffer_.resize(std::max(needed, 2 * buffer_.size()));
  starts_.push_back(used_);
  char* p = buffer_.data() + used_;
  std::memcpy(p, banner_.data(), banner_.size());
  return p + banner_.size();
}

void LogBatch::EndUnmaskedRecord(char* end) {
  std::memcpy(end, "\r\n", 2);
  used_ = static_cast<std::size_t>(end + 2 - buffer_.data());
}

void LogBatch::Write() {
  struct EmptyAfterwards {
    LogBatch& batch;
    ~EmptyAfterwards() { batch.Empty(); }
  } empty_afterwards{*this};
  if (starts_.empty()) return;
  Platform& platform = CurrentPlatform();
  const std::string folder = platform.LogFolder();
  if (starts_.size() > 1) {
    const DateTime now = platform.Now();
    if (!(now == first_)) return Restamp(platform, folder, now);
  }
  AppendToLogFile(LogFilePath(folder, first_), std::string_view(buffer_.data(), used_));
}

// The records again, each behind the banner of its own reading (the first one's is now), and a
// file of its own for each day.
void LogBatch::Restamp(Platform& platform, const std::string& folder, DateTime now) {
  std::string path = LogFilePath(folder, now);
  DateTime banner_time = now;
  std::string banner = BannerLine(now);
  std::string pending;
  pending.reserve(used_ + used_ / 8);
  for (std::size_t r = 0; r < starts_.size(); ++r) {
    if (r > 0) now = platform.Now();
    if (now.year != banner_time.year || now.month != banner_time.month || now.day != banner_time.day) {
      AppendToLogFile(path, pending);
      pending.clear();
      path = LogFilePath(folder, now);
    }
    if (!(now == banner_time)) {
      banner = BannerLine(now);
      banner_time = now;
    }
    const std::size_t text_start = starts_[r] + banner_.size();
    const std::size_t end = r + 1 < starts_.size() ? starts_[r + 1] : used_;
    pending += banner;
    pending.append(buffer_, text_start, end - text_start);
  }
  AppendToLogFile(path, pending);
}

void LogBatch::Empty() {
  used_ = 0;
  starts_.clear();
  if (buffer_.size() > kKeptStorage) {
    buffer_ = {};
    starts_ = {};
  }
}

}  // namespace quandelstk::channel
