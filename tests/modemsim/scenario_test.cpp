// The scenario loader: defaults, keys it reads, and errors that name the key and the file.
#include "modemsim/scenario.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "modemsim/sms_pdu.hpp"

namespace quandelstk::modemsim {
namespace {

using ::testing::HasSubstr;

TEST(BadScenarioTest, NamesTheKeyAndTheOrigin) {
  const std::pair<const char*, const char*> cases[] = {  // the scenario, what the message names
      // clang-format off
      {R"({"echo": tru})", "not valid JSON"},
      {R"({"eccho": true})", "\"eccho\": unknown key"},
      {R"({"echo": 1})", "\"echo\": expected true or false"},
      {R"({"sim": {"state": "LOCKED"}})", "\"sim.state\""},
      {R"({"sim": {"pn": "1"}})", "\"sim.pn\": unknown key"},
      {R"({"network": {"signal": 100}})", "\"network.signal\""},
      {R"({"sms": {"messages": [{"from": "1"}]}})", "\"sms.messages[0]\": needs"},
      {R"({"sms": {"messages": [{"pdu": "07"}]}})", "\"sms.messages[0].pdu\""},
      {R"({"sms": {"messages": [{"text": "x", "time": "now"}]}})", "\"sms.messages[0].time\""},
      {R"({"sms": {"capacity": 2, "messages": [{"text": "x", "index": 3}]}})", "\"sms.messages[0].index\""},
      {R"({"calls": {"123": {"behaviour": "hang"}}})", "\"calls.123.behaviour\""},
      {R"({"ussd": {"*1#": {"next": {"1": {"txt": "a"}}}}})", "\"ussd.*1#.next.1.txt\""},
      {R"({"stk": {"items": [{"id": 1, "input": {"min": -1}}]}})", "\"stk.items[0].input.min\""},
      {R"({"unsolicited": [{"text": "RING"}]})", "\"unsolicited[0]\""},
      {R"({"chunking": {"*": {"size": 0}}})", "\"chunking.*.size\""},
      {R"({"gsm_text": "utf8"})", "\"gsm_text\": expected"},
      // Found by the fuzzer: a number beyond a double escaped as the JSON library's own error.
      {R"({"cmee": 1E999})", "not valid JSON"},
      {R"({"faults": {"gone": {"from_ms": 5, "to_ms": 5}}})", "\"faults.gone\": needs"},
      {R"({"sms": {"deliveries": [{"from": "TwelveLetter", "text": "x"}]}})", "\"sms.deliveries[0].from\""},
      {R"({"sms": {"deliveries": [{"reference": 65536, "text": "x"}]}})",
       "\"sms.deliveries[0].reference\""},
      // clang-format on
  };
  for (const auto& [json, key] : cases) {
    try {
      LoadScenarioText(json, "test.json");
      ADD_FAILURE() << "accepted " << json;
    } catch (const ScenarioError& e) {
      EXPECT_THAT(e.what(), HasSubstr("test.json"));
      EXPECT_THAT(e.what(), HasSubstr(key));
    }
  }
}

TEST(ScenarioFileTest, AMissingFileAndABadFileNameThePath) {
  EXPECT_THROW(LoadScenarioFile("/nonexistent/scenario.json"), ScenarioError);
  const auto path = std::filesystem::temp_directory_path() / "quandelstk-bad-scenario.json";
  std::ofstream(path) << "{\"baud\": \"fast\"}";
  try {
    LoadScenarioFile(path.string());
    FAIL() << "accepted";
  } catch (const ScenarioError& e) {
    EXPECT_THAT(e.what(), HasSubstr(path.string()));
    EXPECT_THAT(e.what(), HasSubstr("\"baud\""));
  }
  std::filesystem::remove(path);
}

// The keys no transcript reads back (the healthy defaults and the others are the transcripts').
TEST(ScenarioTest, KeysOverrideTheHealthyDefaults) {
  const Scenario s = LoadScenarioText(R"({"maker": "ACME", "sim": {"state": "SIM PIN", "pin": "0000"},
    "sms": {"capacity": {"SM": 5}}, "ussd": {"*1#": {"text": "one"}}})");
  EXPECT_EQ(s.maker, "ACME");
  EXPECT_EQ(s.sim.pin, "0000");
  EXPECT_EQ(s.sms.capacity.at("SM"), 5);
  EXPECT_EQ(s.sms.capacity.at("SR"), 20);
  EXPECT_EQ(s.ussd.size(), 1u);  // the default codes are replaced
}

// Deliveries from an alphanumeric sender, and long ones with a 16-bit reference (above 255, or asked
// for): the parts as the network hands them over.
TEST(ScenarioTest, DeliveriesFromNamesAndWithSixteenBitReferences) {
  const std::string long_text(200, 'x');
  const Scenario s = LoadScenarioText(R"({"sms": {"deliveries": [
    {"from": "Google", "text": "code 1234"},
    {"from": "+15550100456", "text": ")" +
                                      long_text + R"(", "reference": 4660},
    {"from": "Bank", "text": ")" + long_text +
                                      R"(", "reference": 7, "wide_reference": true},
    {"from": "+15550100456", "text": ")" +
                                      long_text + R"(", "reference": 9}]}})");
  ASSERT_EQ(s.sms.deliveries.size(), 7u);
  struct Expected {
    std::string from;
    int type;
    std::optional<Concat> concat;
    std::size_t septets;
  };
  const Expected expected[] = {{"Google", 0xD0, std::nullopt, 9},
                               {"+15550100456", 0x91, Concat{4660, 2, 1, true}, 152},
                               {"+15550100456", 0x91, Concat{4660, 2, 2, true}, 48},
                               {"Bank", 0xD0, Concat{7, 2, 1, true}, 152},
                               {"Bank", 0xD0, Concat{7, 2, 2, true}, 48},
                               {"+15550100456", 0x91, Concat{9, 2, 1, false}, 153},
                               {"+15550100456", 0x91, Concat{9, 2, 2, false}, 47}};
  for (std::size_t k = 0; k < s.sms.deliveries.size(); ++k) {
    SCOPED_TRACE(k);
    const Tpdu t = DecodePdu(s.sms.deliveries[k].second).tpdu;
    const Expected& e = expected[k];
    EXPECT_EQ(t.address.number, e.from);
    EXPECT_EQ(t.address.type, e.type);
    const UserData u = t.Decoded();
    ASSERT_EQ(u.concat.has_value(), e.concat.has_value());
    if (e.concat) {
      EXPECT_EQ(u.concat->reference, e.concat->reference);
      EXPECT_EQ(u.concat->total, e.concat->total);
      EXPECT_EQ(u.concat->sequence, e.concat->sequence);
      EXPECT_EQ(u.concat->wide, e.concat->wide);
    }
    EXPECT_EQ(u.text.size(), e.septets);
  }
}

TEST(LineMatchesTest, ExactPrefixAndAll) {
  EXPECT_TRUE(LineMatches("AT+CSQ", "AT+CSQ"));
  EXPECT_FALSE(LineMatches("AT+CSQ", "AT+CSQ=?"));
  EXPECT_TRUE(LineMatches("AT+CMGR=*", "AT+CMGR=12"));
  EXPECT_FALSE(LineMatches("AT+CMGR=*", "AT+CMGL"));
  EXPECT_TRUE(LineMatches("*", "ATD123;"));
}

}  // namespace
}  // namespace quandelstk::modemsim
