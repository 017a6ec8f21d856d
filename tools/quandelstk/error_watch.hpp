// Watches what the modem answers while a command runs and keeps the last "+CME ERROR" or
// "+CMS ERROR" line, so that a command whose class call hides the answer can still name the error.
#pragma once

#include <optional>
#include <string>

#include "modem_errors.hpp"
#include "observed_platform.hpp"

namespace quandelstk::cli {

class ErrorWatch final : public LineObserver {
 public:
  // Answers arrive in pieces: only a line that has ended is looked at.
  void Read(const std::string& bytes) override {
    for (char c : bytes) {
      if (c != '\r' && c != '\n') {
        if (line_.size() < 256) line_ += c;
        continue;
      }
      if (auto e = ErrorOfLine(line_)) last_ = e;
      line_.clear();
    }
  }
  void Forget() {
    last_.reset();
    line_.clear();
  }
  const std::optional<ModemError>& Last() const { return last_; }

 private:
  std::string line_;
  std::optional<ModemError> last_;
};

}  // namespace quandelstk::cli
