// The library link on a simulated modem over a pseudo-terminal: the rest of a message cut short
// goes out as the same concatenated message, and the status queries read the modem's answers.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "fakes.hpp"
#include "modem_link.hpp"
#include "pool_harness.hpp"

namespace quandelstk::gateway::testing {
namespace {

TEST(LibraryLink, SendsPartByPartWithItsReferenceAndReadsTheModemsStatus) {
  // The same with every answer in pieces of three bytes.
  const std::string in_pieces = std::string(kFastScenario).substr(0, std::string(kFastScenario).rfind('}')) +
                                R"(, "chunking": {"*": {"size": 3, "gap_ms": 5}}})";
  for (const std::string& scenario : {std::string(kFastScenario), in_pieces}) {
    SCOPED_TRACE(scenario);
    TempDir dir;
    const std::string journal = dir.path() + "/journal.jsonl";
    quandelstk::testing::SimProcess sim(scenario, false, {"--journal", journal});
    auto link = MakeLibraryLink({"m", sim.DevicePath(), "", 0}, 201);
    ASSERT_EQ(link->Open(), "");
    EXPECT_TRUE(link->Alive());

    const std::string text = std::string(320, 'q') + " €";  // three parts
    messages::SendOptions options;
    options.reference = 99;
    std::vector<std::pair<int, int>> progress;  // part, reference, as each goes
    const messages::SendResult r = link->Send("+15550100777", text, options, 2, [&](int part, int reference) {
      progress.emplace_back(part, reference);
      return true;
    });
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.references.size(), 2u);
    EXPECT_EQ(r.references[1], r.references[0] + 1);
    EXPECT_EQ(progress, (std::vector<std::pair<int, int>>{{2, r.references[0]}, {3, r.references[1]}}));

    const ModemStatus s = link->Status();
    EXPECT_EQ(s.signal, 15);
    EXPECT_EQ(s.registration, 1);
    EXPECT_EQ(s.operator_name, "Quandel Mobile");
    // Text mode again afterwards, as the classes expect: a listing works.
    EXPECT_NO_THROW(link->List());
    link->Close();
    sim.Stop();

    const auto parts = messages::EncodeSubmit("+15550100777", text, options, 99);
    ASSERT_EQ(parts.size(), 3u);
    std::ifstream f(journal);
    std::vector<nlohmann::json> sent;
    for (std::string line; std::getline(f, line);) sent.push_back(nlohmann::json::parse(line));
    ASSERT_EQ(sent.size(), 2u);
    for (int i = 0; i < 2; ++i) {
      const auto& j = sent[static_cast<std::size_t>(i)];
      EXPECT_EQ(j["to"], "+15550100777");
      EXPECT_EQ(j["concat"]["reference"], 99);
      EXPECT_EQ(j["concat"]["total"], 3);
      EXPECT_EQ(j["concat"]["sequence"], i + 2);
      EXPECT_EQ(j["text"], parts[static_cast<std::size_t>(i + 1)].text);
      EXPECT_EQ(j["reference"], r.references[static_cast<std::size_t>(i)]);
    }
  }
}

// A prompt that comes after the wait for it (the built-in simulator, in virtual time): the part
// is given up and the body ended with ESC, so the modem is at its command line again; the same
// with the answers in pieces.
TEST(LibraryLink, APromptThatComesTooLateLeavesTheModemAtItsCommandLine) {
  for (const char* pieces : {"", R"(, "chunking": {"*": {"size": 2, "gap_ms": 30}})"}) {
    SCOPED_TRACE(pieces);
    TempDir dir;
    const std::string scenario = dir.path() + "/late.json";
    std::ofstream(scenario) << R"({"echo": false, "delays": {"AT+CMGS=*": 9000})" << pieces << "}";
    auto link = MakeLibraryLink({"m", "sim:" + scenario, "", 0}, 1);
    ASSERT_EQ(link->Open(), "");
    const messages::SendResult r = link->Send("+15550100777", "late", {}, 1);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("gave no prompt"), std::string::npos) << r.error;
    link->Idle(0);
    EXPECT_TRUE(link->Alive());
    EXPECT_EQ(link->Status().signal, 15);
  }
}

TEST(LibraryLink, InitialisesAModemLeftWaitingForAMessageBody) {
  quandelstk::testing::SimProcess sim(kFastScenario);
  {
    // A process that dies at the prompt: the modem waits for the body.
    auto link = MakeLibraryLink({"m", sim.DevicePath(), "", 0}, 202);
    ASSERT_EQ(link->Open(), "");
    ASSERT_TRUE(link->Alive());
  }
  {
    std::ofstream line(sim.DevicePath());
    line << "AT+CMGF=0\rAT+CMGS=20\r" << std::flush;
  }
  auto link = MakeLibraryLink({"m", sim.DevicePath(), "", 0}, 203);
  EXPECT_EQ(link->Open(), "");
  EXPECT_TRUE(link->Alive());
}

}  // namespace
}  // namespace quandelstk::gateway::testing
