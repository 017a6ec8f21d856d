// The vCard and CSV writers and readers on their own, where the fuzzer found them wanting.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "phonebook_files.hpp"

namespace quandelstk::cli {
namespace {

// Folding a line that holds a run of UTF-8 continuation bytes longer than a line used to look for
// the start of a character that never came, and wrote empty lines for ever.
TEST(PhonebookFiles, FoldsBytesThatAreNoUtf8) {
  for (std::size_t run : {74u, 75u, 76u, 200u}) {
    FileEntry e;
    e.number = "+15550100456";
    e.name = "A" + std::string(run, '\x80');
    const std::string card = ToVCards({e});
    for (std::size_t from = 0, end; (end = card.find("\r\n", from)) != std::string::npos; from = end + 2)
      EXPECT_LE(end - from, 75u) << "run " << run;
    const std::vector<FileEntry> back = FromVCards(card, "back.vcf");
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].name, e.name) << "run " << run;
  }
}

}  // namespace
}  // namespace quandelstk::cli
