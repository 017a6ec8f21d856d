// The library's own classes against the simulated modem in virtual time, where each checks the other:
// the state Init leaves in the modem and the journal. The classes' answers are the modem tests'.
#include <gtest/gtest.h>

#include <algorithm>

#include "channel/exchange.hpp"
#include "channel/session.hpp"
#include "modemsim/virtual_modem.hpp"
#include "quandelstk/modem.hpp"
#include "support/virtual_session.hpp"

namespace quandelstk::testing {
namespace {

using modemsim::LoadScenarioText;
using modemsim::VirtualModem;

constexpr std::int16_t kPort = 2;

class LibraryTest : public ::testing::Test {
 protected:
  LibraryTest() { channel::CurrentSession().ModemMaker.clear(); }
  const modemsim::Model& Attach(const std::string& scenario) {
    modem_ = std::make_shared<VirtualModem>(LoadScenarioText(scenario));
    vs.Platform().Attach(kPort, modem_);
    return modem_->model();
  }
  VirtualSession vs;
  std::shared_ptr<VirtualModem> modem_;
};

TEST_F(LibraryTest, InitLeavesTheModemInTheStateTheOtherClassesExpect) {
  const auto& model = Attach(R"({"csms_not_ready": 2})");
  ASSERT_EQ(Modem().Init(kPort), InitStatus::OK);
  EXPECT_TRUE(model.Messaging().text_mode());
  EXPECT_EQ(model.Messaging().cnmi(), (std::vector<int>{2, 0, 0, 2, 0}));
  EXPECT_EQ(model.core().charset, "GSM");
  EXPECT_EQ(channel::CurrentSession().ModemMaker, "WAVECOM");
  EXPECT_EQ(vs.Platform().SleptMs(), 2 * 7000 + 3000);  // two refusals, then a second per IMEI query
}

TEST_F(LibraryTest, TheJournalShowsAMessageReadBeforeItWasDeleted) {
  const auto& model = Attach(R"({"sms": {"messages": [{"text": "hello", "status": "REC UNREAD"}]}})");
  ASSERT_EQ(Modem().Init(kPort), InitStatus::OK);
  std::string r;
  ASSERT_TRUE(channel::SendATCommand("AT+CMGR=1", r, 0));
  EXPECT_NE(r.find("hello"), std::string::npos);
  ASSERT_TRUE(channel::SendATCommand("AT+CMGD=1", r, 0));
  std::vector<std::string> steps;
  for (const auto& e : model.Messaging().Journal()) steps.push_back(e.what);
  EXPECT_EQ(steps, (std::vector<std::string>{"read", "deleted"}));
  EXPECT_TRUE(model.Messaging().Store("SM").messages.empty());
}

}  // namespace
}  // namespace quandelstk::testing
