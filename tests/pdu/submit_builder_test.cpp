// SMS-SUBMIT building: known PDUs, the length refusals and the thread's concatenation results.
#include <gtest/gtest.h>

#include "channel/session.hpp"
#include "pdu/pdu.hpp"
#include "quandelstk/errors.hpp"

namespace quandelstk::pdu {
namespace {

TEST(BuildSmsPdu, BuildsOrRefuses) {
  struct Case {
    std::string message, number;
    std::int16_t coding;
    bool built;
    int length;
    std::string pdu;  // the whole PDU, or how it begins
  };
  const std::string a160(160, 'a'), u280(280, '0');
  for (const Case& c :
       std::vector<Case>{{"hello", "+15550100123", 7, true, 18, "0021000B915155100021F3000005E8329BFD06"},
                         {"00480069", "0123456789", 16, true, 16, "0021000A81103254769800080400480069"},
                         {"How are you?", "+31641600986", 7, true, 24,
                          "0021000B911346610089F600000CC8F71D14969741F977FD07"},
                         {"", "123", 7, true, 9, "002100038121F3000000"},
                         {a160, "+15550100123", 7, true, 153, "0021000B915155100021F30000A0"},
                         {u280, "+15550100123", 16, true, 153, "0021000B915155100021F300088C"},
                         {"004", "1", 16, true, 9, "0021000181F1000801004"},  // odd digits: halves dropped
                         {a160 + "a", "+15550100123", 7, false, 0, ""},
                         {u280 + "0", "+15550100123", 16, false, 0, ""},
                         {"hello", "+15550100123", 8, false, 0, ""}}) {
    std::uint8_t length = 0;
    std::string pdu = "untouched";
    ASSERT_EQ(Build_SMS_PDU(c.message, c.number, c.coding, length, pdu), c.built) << c.message;
    EXPECT_EQ(length, c.built ? c.length : 0) << c.message;
    EXPECT_EQ(pdu.substr(0, c.built ? c.pdu.size() : std::string::npos), c.built ? c.pdu : "untouched");
  }
  std::uint8_t length = 0;
  std::string pdu;
  EXPECT_THROW(Build_SMS_PDU("hello", std::string(500, '1'), 7, length, pdu), RuntimeError);
}

TEST(BuildLmsPdu, BuildsOnePartWithItsHeader) {
  auto& session = channel::CurrentSession();
  ASSERT_TRUE(Build_LMS_PDU("+15550100123", "hello", 1, 2, 1));
  EXPECT_EQ(session.LMS_PDU, "0061000B915155100021F300000C050003010201D06536FB0D");
  EXPECT_EQ(session.LMS_PDU_Length, 24);

  ASSERT_TRUE(Build_LMS_PDU("0123", std::string(153, 'x'), 255, 16, 12));
  EXPECT_EQ(session.LMS_PDU.substr(0, 32), "006100048110320000A0050003FF100C");
  EXPECT_EQ(session.LMS_PDU.size(), 2u + 2 * (9 + 140));  // user data of 140 octets, header included
  EXPECT_EQ(session.LMS_PDU_Length, 149);
  EXPECT_EQ(session.SeptetCount, 153);

  ASSERT_TRUE(Build_LMS_PDU("1", "a", -1, 256, 3));
  EXPECT_EQ(session.LMS_PDU, "0061000181F1000008050003FFFF10003C2");

  session.LMS_PDU = "kept";
  session.LMS_PDU_Length = 7;
  EXPECT_FALSE(Build_LMS_PDU("+15550100123", "", 1, 1, 1));
  EXPECT_FALSE(Build_LMS_PDU("+15550100123", std::string(161, 'a'), 1, 1, 1));
  EXPECT_EQ(session.LMS_PDU, "kept");
  EXPECT_EQ(session.LMS_PDU_Length, 7);
}

}  // namespace
}  // namespace quandelstk::pdu
