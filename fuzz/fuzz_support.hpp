// What every fuzz target shares: a virtual-time platform with a fuzzed modem on port 1, a private
// log folder emptied after each input, and the checks that turn a broken promise into a crash the
// fuzzer keeps.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

#include "channel/session.hpp"
#include "fuzzed_modem.hpp"
#include "platform/virtual_platform.hpp"
#include "quandelstk/errors.hpp"
#include "quandelstk/platform.hpp"

namespace quandelstk::fuzzing {

[[noreturn]] inline void Fail(const std::string& what) {
  std::fprintf(stderr, "broken promise: %s\n", what.c_str());
  std::fflush(stderr);
  std::abort();
}

inline void Require(bool holds, const std::string& what) {
  if (!holds) Fail(what);
}

// A RuntimeError is allowed only with one of the numbers the call documents.
inline void RequireNumber(const RuntimeError& e, std::initializer_list<std::int32_t> allowed, const char* call) {
  for (std::int32_t n : allowed)
    if (e.Number() == n) return;
  Fail(std::string(call) + " raised undocumented error " + std::to_string(e.Number()) + ": " + e.Description());
}

// The run-time errors of malformed answers: invalid call (a negative cut), overflow (16-bit
// positions and counts), subscript (a missing field), type mismatch (text that is no number).
inline constexpr std::initializer_list<std::int32_t> kParseErrors = {err::kInvalidProcedureCall, err::kOverflow,
                                                                     err::kSubscriptOutOfRange, err::kTypeMismatch};

// One folder per process for the log, on which the code table is also found.
inline const std::filesystem::path& WorkFolder() {
  static const std::filesystem::path folder = [] {
    auto path = std::filesystem::temp_directory_path() / ("quandelstk-fuzz-" + std::to_string(::getpid()));
    std::filesystem::create_directories(path);
    std::filesystem::copy_file(QSTK_UNICODE_TABLE, path / "Unicode.txt",
                               std::filesystem::copy_options::overwrite_existing);
    return path;
  }();
  return folder;
}

// The log would grow by a record for every trapped failure and 7-bit decode, and the CLI keeps its
// state here: emptied per input.
inline void ClearLog() {
  for (const auto& entry : std::filesystem::directory_iterator(WorkFolder()))
    if (entry.path().filename() != "Unicode.txt") std::filesystem::remove_all(entry.path());
}

// A fresh virtual platform for one input, with the fuzzed modem on port 1, and the thread's shared
// variables emptied as on a new thread.
class Bench {
 public:
  explicit Bench(std::string_view script)
      : platform_(MakePlatform()), modem_(std::make_shared<FuzzedModem>(script, *platform_)), scope_(platform_) {
    platform_->Attach(1, modem_);
    channel::Session& s = channel::CurrentSession();
    s.ReceiveBuffer.clear();
    s.CommandStartTime = channel::Instant{};
    s.ModemMaker.clear();
    s.LMS_PDU.clear();
    s.LMS_PDU_Length = 0;
    s.SeptetCount = 0;
  }
  ~Bench() { ClearLog(); }

  platform::VirtualPlatform& Platform() { return *platform_; }
  const FuzzedModem& Modem() const { return *modem_; }

  // Opens port 1 as Init leaves it.
  void OpenPort() {
    SerialControl& gsm = channel::Gsm();
    gsm.CommPort(1);
    gsm.Settings("115200,N,8,1");
    gsm.PortOpen(true);
  }

 private:
  static std::shared_ptr<platform::VirtualPlatform> MakePlatform() {
    auto p = std::make_shared<platform::VirtualPlatform>();
    p->SetFolders(WorkFolder().string(), WorkFolder().string());
    return p;
  }

  std::shared_ptr<platform::VirtualPlatform> platform_;
  std::shared_ptr<FuzzedModem> modem_;
  ScopedPlatform scope_;
};

}  // namespace quandelstk::fuzzing
