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

// A closed port ends the test before anything else, whatever the wait: false, no error, nothing
// written, no pause.
TEST(IsOnline, OnAClosedPortIsFalseWhateverTheWait) {
  for (std::int16_t wait : {std::int16_t{0}, std::int16_t{10}, std::int16_t{32}, std::int16_t{33},
                            std::int16_t{40}, std::int16_t{-1}}) {
    VirtualSession vs;
    vs.Modem().Otherwise(Ok());
    SMS sms;
    std::string number = "+15550100456";
    bool online = true;
    EXPECT_EQ(ErrorNumberOf([&] { online = sms.IsOnline(number, wait); }), 0) << wait;
    EXPECT_FALSE(online) << wait;
    EXPECT_EQ(vs.Modem().Written(), "") << wait;
    EXPECT_EQ(vs.Platform().SleptMs(), 0) << wait;
  }
}

}  // namespace
}  // namespace quandelstk::testing
