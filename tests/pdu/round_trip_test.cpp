// Decoding what was built gives back the number and the text, for random texts over the characters
// on which the GSM default alphabet and the native set agree.
#include <gtest/gtest.h>

#include <random>
#include <tuple>

#include "channel/session.hpp"
#include "pdu/pdu.hpp"
#include "support/virtual_session.hpp"

namespace quandelstk::pdu {
namespace {

const std::string kAgreeing =
    "\n\r !\"#%&'()*+,-./0123456789:;<=>?ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz@$_";

struct RandomMessages {
  std::mt19937 rng{20261204};
  std::string Text(std::size_t length) {
    std::string s;
    for (std::size_t i = 0; i < length; ++i) s += kAgreeing[Pick(kAgreeing.size())];
    return s;
  }
  std::string Number() {
    std::string s = Pick(2) ? "+" : "";
    for (std::size_t i = 0, n = 1 + Pick(20); i < n; ++i) s += static_cast<char>('0' + Pick(10));
    return s;
  }
  std::size_t Pick(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng); }
};

TEST(RoundTrip, SingleMessages) {
  testing::VirtualSession vs;
  RandomMessages random;
  for (int i = 0; i < 200; ++i) {
    const std::string number = random.Number(), text = random.Text(random.Pick(161));
    std::uint8_t length = 0;
    std::string pdu;
    ASSERT_TRUE(Build_SMS_PDU(text, number, 7, length, pdu));
    EXPECT_EQ(pdu.size(), 2u + 2 * length);
    const DecodedPdu decoded = Decode_PDU(pdu);
    EXPECT_EQ(decoded.Originator + ":" + decoded.Text, number + ":" + text);
  }
}

// Each part is decoded as the stored SMS-SUBMIT that was built and as the SMS-DELIVER that the
// recipient receives with the same user data.
TEST(RoundTrip, ConcatenatedMessages) {
  testing::VirtualSession vs;
  RandomMessages random;
  auto& session = channel::CurrentSession();
  for (int i = 0; i < 40; ++i) {
    const std::string number = random.Number(), text = random.Text(1 + random.Pick(600));
    const auto total = static_cast<std::int16_t>((text.size() + 152) / 153);
    const auto reference = static_cast<std::int16_t>(random.Pick(256));
    std::string joined;
    for (std::int16_t sequence = 1; sequence <= total; ++sequence) {
      const std::string part = text.substr(static_cast<std::size_t>(sequence - 1) * 153, 153);
      ASSERT_TRUE(Build_LMS_PDU(number, part, reference, total, sequence));
      EXPECT_EQ(session.LMS_PDU.size(), 2u + 2 * session.LMS_PDU_Length);
      const DecodedPdu submit = Decode_PDU(session.LMS_PDU);
      EXPECT_EQ(submit.Originator + ":" + submit.Text, number + ":" + part);

      const std::size_t user_data_at = 6 + 4 + Encode_Semi_Octets(number).digits.size() + 4;
      const DecodedPdu deliver =
          Decode_PDU("00440B919171605214F7000062804021504300" + session.LMS_PDU.substr(user_data_at));
      EXPECT_EQ(deliver.Originator + " " + deliver.StampDate, "+19170625417 04-08-26");
      EXPECT_TRUE(deliver.IsLMS.value_or(false));
      EXPECT_EQ(std::make_tuple(deliver.LMS_Reference, deliver.LMS_Total, deliver.LMS_Sequence),
                std::make_tuple(reference, total, sequence));
      joined += deliver.Text;
    }
    EXPECT_EQ(joined, text);
  }
}

}  // namespace
}  // namespace quandelstk::pdu
