// Log masking against the plain token-by-token masking it was first written as, and the record the
// batch writer puts in the file against one write per record. Any text, any bytes.
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "channel/log.hpp"
#include "channel/log_batch.hpp"
#include "channel/log_mask.hpp"
#include "fuzz_support.hpp"
#include "support/reference_log.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quandelstk;
  using namespace quandelstk::fuzzing;
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  const std::string masked = channel::MaskLogText(text);
  Require(masked == testing::ReferenceMask(std::string(text)), "masking differs from the token-by-token one");
  // Masking twice is not always masking once: replacing "CSQ" in "CSCSQ" leaves "CSQ24>4", which
  // holds the token again. So only the comparison with the plain masking is a promise.
  Require(channel::HoldsMaskToken(text) == (masked != text), "HoldsMaskToken disagrees with the masking");
  const std::size_t free = channel::MaskTokenFreePrefix(text);
  Require(free <= text.size() && !channel::HoldsMaskToken(text.substr(0, free)), "the token-free prefix holds a token");
  Require(free == text.size() || channel::HoldsMaskToken(text.substr(0, free + 1)), "the token-free prefix is short");

  // The batch: the text cut in up to three records at the first two NULs.
  Bench bench("");
  std::vector<std::string> records;
  std::size_t from = 0;
  for (int i = 0; i < 2; ++i) {
    const std::size_t nul = text.find('\0', from);
    if (nul == std::string_view::npos) break;
    records.emplace_back(text.substr(from, nul - from));
    from = nul + 1;
  }
  records.emplace_back(text.substr(from));
  channel::LogBatch batch;
  batch.Begin();
  for (const std::string& r : records) batch.Add(r);
  batch.Write();
  std::string expected;
  for (const std::string& r : records) expected += testing::ReferenceRecord(r, bench.Platform().Now());
  std::ostringstream written;
  written << std::ifstream(channel::LogFilePath(WorkFolder().string(), bench.Platform().Now()), std::ios::binary).rdbuf();
  Require(written.str() == expected, "the batch wrote other bytes than one write per record");
  return 0;
}
