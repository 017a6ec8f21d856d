#include "sms_test_support.hpp"

namespace quandelstk::testing {
namespace {

std::string Clcc(const std::string& state) {
  return Ok("\r\n+CLCC: 1,0," + state + ",0,0,\"+15550100456\",145\r\n");
}

TEST(IsOnline, AsksForTheCallStateAfterThePauseAndHangsUp) {
  const std::string kDial = "ATD+15550100456;\r", kAsked = kDial + "AT+CLCC\rATH\r";
  struct {
    std::string during_wait, clcc;
    bool online;
    std::string written;
  } cases[] = {{"", Clcc("0"), true, kAsked},         {"", Clcc("1"), true, kAsked},
               {"", Clcc("2"), false, kAsked},        {"", Clcc("3"), true, kAsked},
               {"\r\nBUSY\r\n", Ok(), false, kAsked}, {"", Ok("\r\n+CLCC: 1,0\r\n"), false, kAsked},
               {"", "\r\nERROR\r\n", false, kAsked},  {"\r\nNO CARRIER\r\n", Clcc("3"), false, kDial}};
  for (const auto& c : cases) {
    VirtualSession vs;
    vs.OpenPort();
    vs.Modem()
        .On("ATD+15550100456;", {{0, Ok()}, {3000, c.during_wait}})
        .On("AT+CLCC", c.clcc)
        .Otherwise(Ok());
    SMS sms;
    std::string number = "+15550100456";
    std::int16_t wait = 5;
    EXPECT_EQ(sms.IsOnline(number, wait), c.online) << c.clcc << c.during_wait;
    EXPECT_EQ(vs.Modem().Written(), c.written) << c.clcc << c.during_wait;
    EXPECT_EQ(vs.Platform().SleptMs(), 5000);
  }
}

TEST(IsOnline, WaitsTenSecondsByDefaultAndRefusesWaitsOutsideZeroToThirtyTwo) {
  VirtualSession vs;
  vs.OpenPort();
  vs.Modem().Otherwise(Ok());
  SMS sms;
  std::string number = "+15550100456";
  EXPECT_FALSE(sms.IsOnline(number));
  EXPECT_EQ(vs.Platform().SleptMs(), 10000);
  for (std::int16_t wait : {-1, 33}) {
    EXPECT_EQ(ErrorNumberOf([&] { sms.IsOnline(number, wait); }), err::kInvalidProcedureCall);
  }
  EXPECT_EQ(vs.Modem().Lines().size(), 3u);  // nothing dialled after the first call
}

}  // namespace
}  // namespace quandelstk::testing
