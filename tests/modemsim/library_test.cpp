// The library's own classes against the simulated modem in virtual time: each checks the other.
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

struct InitCase {
  const char* name;
  const char* scenario;
  const char* pin;
  InitStatus status;
};

class InitTest : public LibraryTest, public ::testing::WithParamInterface<InitCase> {};

TEST_P(InitTest, EndsWithTheStatusTheSimCalledFor) {
  Attach(GetParam().scenario);
  EXPECT_EQ(Modem().Init(kPort, GetParam().pin), GetParam().status);
}

INSTANTIATE_TEST_SUITE_P(
    Scenarios, InitTest,
    ::testing::Values(InitCase{"Healthy", "{}", "", InitStatus::OK},
                      InitCase{"PinRequired", R"({"sim": {"state": "SIM PIN"}})", "",
                               InitStatus::PINRequired},
                      InitCase{"PinWrong", R"({"sim": {"state": "SIM PIN"}})", "0000", InitStatus::PINWrong},
                      InitCase{"PinRight", R"({"sim": {"state": "SIM PIN"}})", "1234", InitStatus::OK},
                      InitCase{"Blocked", R"({"sim": {"state": "SIM PUK"}})", "1234", InitStatus::SIMBlocked},
                      InitCase{"NoSim", R"({"sim": {"state": "absent"}})", "", InitStatus::SIMError},
                      InitCase{"FixedAt9600", R"({"baud": 9600})", "", InitStatus::OK},
                      InitCase{"MessageServiceLate", R"({"csms_not_ready": 3})", "", InitStatus::OK},
                      InitCase{"OtherMaker", R"({"maker": "ACME", "echo": false})", "", InitStatus::OK},
                      InitCase{"Mute", R"({"silent": ["*"]})", "", InitStatus::Fail}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LibraryTest, InitLeavesTheModemInTheStateTheOtherClassesExpect) {
  const auto& model = Attach(R"({"csms_not_ready": 2})");
  ASSERT_EQ(Modem().Init(kPort), InitStatus::OK);
  EXPECT_TRUE(model.Messaging().text_mode());
  EXPECT_EQ(model.Messaging().cnmi(), (std::vector<int>{2, 0, 0, 2, 0}));
  EXPECT_EQ(model.core().charset, "GSM");
  EXPECT_EQ(channel::CurrentSession().ModemMaker, "WAVECOM");
  EXPECT_EQ(vs.Platform().SleptMs(), 2 * 7000 + 3000);  // two refusals, then a second per IMEI query
}

TEST_F(LibraryTest, QueriesReadTheScenario) {
  Attach(R"({"network": {"signal": 31, "operator": "Sim Net", "restart_ms": 4000}})");
  ASSERT_EQ(Modem().Init(kPort), InitStatus::OK);
  Modem m;
  EXPECT_EQ(m.SignalStrength(), 3);
  EXPECT_EQ(m.OperatorName(), "Sim Net");
  EXPECT_EQ(m.GetIMSI(), "001010123456789");
  EXPECT_EQ(m.GetMSISDN(), "+15550100999");
  EXPECT_TRUE(m.IsConnectToGSM());
  EXPECT_TRUE(m.Reboot());  // registered again after the restart
}

TEST_F(LibraryTest, NotRegisteredMeansNoConnection) {
  Attach(R"({"network": {"registration": 2}})");
  ASSERT_EQ(Modem().Init(kPort), InitStatus::OK);
  EXPECT_FALSE(Modem().IsConnectToGSM());
  EXPECT_EQ(Modem().OperatorName(), "");
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
