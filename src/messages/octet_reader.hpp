// Reads a TPDU octet by octet; running past the end is remembered, not thrown, so that a decode can
// keep what it read and say where the PDU ended.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quandelstk::messages {

class OctetReader {
 public:
  explicit OctetReader(std::string_view octets) : data_(octets) {}

  int Octet() {
    if (pos_ >= data_.size()) {
      short_ = true;
      return 0;
    }
    return static_cast<unsigned char>(data_[pos_++]);
  }
  std::string_view Take(std::size_t n) {
    if (n > data_.size() - pos_) {
      short_ = true;
      n = data_.size() - pos_;
    }
    const std::string_view piece = data_.substr(pos_, n);
    pos_ += n;
    return piece;
  }
  std::string_view Rest() { return Take(data_.size() - pos_); }
  std::size_t Position() const { return pos_; }
  std::size_t Left() const { return data_.size() - pos_; }
  bool RanShort() const { return short_; }

 private:
  std::string_view data_;
  std::size_t pos_ = 0;
  bool short_ = false;
};

}  // namespace quandelstk::messages
