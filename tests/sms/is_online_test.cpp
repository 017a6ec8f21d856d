#include "quandelstk/sms.hpp"
#include "sms_test_support.hpp"
#include "support/virtual_session.hpp"

namespace quandelstk::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

struct CallCase {
  const char* name;
  std::string dial_answer;  // arrives during the wait
  std::string clcc_answer;
  bool online;
  std::vector<std::string> lines_after_dial;
};

void PrintTo(const CallCase& c, std::ostream* os) {
  *os << c.name;
}

std::string Clcc(const std::string& state) {
  return Ok("\r\n+CLCC: 1,0," + state + ",0,0,\"+15550100456\",145\r\n");
}

class IsOnlineCall : public ::testing::TestWithParam<CallCase> {};

TEST_P(IsOnlineCall, AsksForTheCallStateAfterTheWaitAndHangsUp) {
  const CallCase& c = GetParam();
  VirtualSession vs;
  vs.OpenPort();
  vs.Modem().On("ATD+15550100456;", {{0, Ok()}, {3000, c.dial_answer}});
  vs.Modem().On("AT+CLCC", c.clcc_answer).On("ATH", Ok());
  SMS sms;
  std::string number = "+15550100456";
  std::int16_t wait = 5;
  EXPECT_EQ(sms.IsOnline(number, wait), c.online);
  std::vector<std::string> lines = vs.Modem().Lines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front(), "ATD+15550100456;");
  lines.erase(lines.begin());
  EXPECT_THAT(lines, ElementsAreArray(c.lines_after_dial));
  if (!lines.empty()) {
    EXPECT_EQ(vs.Modem().TimedLines()[1].first, 5000);  // asked right after the plain pause
  }
}

const std::vector<std::string> kAskAndHangUp = {"AT+CLCC", "ATH"};
INSTANTIATE_TEST_SUITE_P(
    States, IsOnlineCall,
    ::testing::Values(CallCase{"Active", "", Clcc("0"), true, kAskAndHangUp},
                      CallCase{"Held", "", Clcc("1"), true, kAskAndHangUp},
                      CallCase{"Dialling", "", Clcc("2"), false, kAskAndHangUp},
                      CallCase{"Alerting", "", Clcc("3"), true, kAskAndHangUp},
                      CallCase{"NoCallListed", "\r\nBUSY\r\n", Ok(), false, kAskAndHangUp},
                      CallCase{"MalformedLine", "", Ok("\r\n+CLCC: 1,0\r\n"), false, kAskAndHangUp},
                      CallCase{"ListFails", "", "\r\nERROR\r\n", false, kAskAndHangUp},
                      CallCase{"NoCarrier", "\r\nNO CARRIER\r\n", Clcc("3"), false, {}}),
    [](const auto& info) { return info.param.name; });

TEST(IsOnline, WaitsTenSecondsByDefaultAndRefusesWaitsOutsideZeroToThirtyTwo) {
  VirtualSession vs;
  vs.OpenPort();
  vs.Modem().Otherwise(Ok());
  SMS sms;
  std::string number = "+15550100456";
  EXPECT_FALSE(sms.IsOnline(number));
  EXPECT_EQ(vs.Platform().SleptMs(), 10000);
  EXPECT_THAT(vs.Modem().Lines(), ElementsAre("ATD+15550100456;", "AT+CLCC", "ATH"));

  for (std::int16_t wait : {std::int16_t{-1}, std::int16_t{33}}) {
    EXPECT_EQ(ErrorNumberOf([&] { sms.IsOnline(number, wait); }), err::kInvalidProcedureCall) << wait;
  }
  EXPECT_EQ(vs.Modem().Lines().size(), 3u);  // nothing dialled
}

}  // namespace
}  // namespace quandelstk::testing
