// The CLI's command line, parsed and run as the shell runs each of its lines, on the built-in
// simulated modem (in virtual time): options, numbers, port assignments, texts in UTF-8, PDUs. The
// exit code must be one the CLI documents (0 to 3) and nothing may escape. Lines that would touch
// the file system, the gateway's store or a real device (--port, export, import, queue, --probe) are
// skipped; the state folder is the fuzzer's work folder.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "cli.hpp"
#include "fuzz_support.hpp"
#include "output.hpp"
#include "quandelstk/platform.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quandelstk;
  const std::string line(reinterpret_cast<const char*>(data), size);
  for (const char* risky :
       {"--port", "export", "import", "shell", "demo", "find-port", "browse", "listen", "queue", "--probe"})
    if (line.find(risky) != std::string::npos) return 0;
  if (line.find('\0') != std::string::npos) return 0;
  // `message send` keeps its sent list in the state folder: the fuzzer's, not the user's.
  static const bool state_here = setenv("XDG_STATE_HOME", fuzzing::WorkFolder().c_str(), 1) == 0;
  (void)state_here;
  cli::Output out;
  out.quiet = true;
  {
    cli::Cli cli(out);
    const int code = cli::RunLine(cli, line);
    fuzzing::Require(code >= 0 && code <= 3, "exit code " + std::to_string(code) + " for: " + line);
  }
  ResetPortTable();  // --assign is process-wide
  fuzzing::ClearLog();
  return 0;
}
