// Serves the simulated modem on a pseudo-terminal. It keeps the terminal side open itself, so that
// the line survives between clients and so that it can read the speed a client set.
#pragma once

#include <csignal>
#include <memory>
#include <string>

#include "modemsim/model.hpp"
#include "modemsim/transcript.hpp"

namespace quandelstk::modemsim {

class PtyServer {
 public:
  // Opens the pseudo-terminal; throws std::runtime_error when the system refuses.
  explicit PtyServer(Model& model, Transcript* transcript = nullptr);
  ~PtyServer();
  PtyServer(const PtyServer&) = delete;
  PtyServer& operator=(const PtyServer&) = delete;

  const std::string& DevicePath() const { return device_path_; }
  // Serves until stop becomes non-zero. It sleeps until input, a signal or the model's next due time,
  // so stop is set by a signal handler, or by a thread that then signals the serving thread.
  void Serve(const volatile std::sig_atomic_t& stop);

 private:
  TimeMs Now() const;
  long ClientSpeed() const;
  void Write(const std::string& bytes, TimeMs now);

  Model& model_;
  Transcript* transcript_;
  int master_ = -1;
  int slave_ = -1;
  std::string device_path_;
  long long start_ns_ = 0;
};

}  // namespace quandelstk::modemsim
