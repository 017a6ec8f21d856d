// Decoding stored PDUs: received SMS-DELIVER and stored SMS-SUBMIT messages.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "pdu/pdu.hpp"
#include "quandelstk/errors.hpp"
#include "support/virtual_session.hpp"

namespace quandelstk::pdu {
namespace {

struct Expected {
  std::string pdu, centre, originator, date, time, text;
  std::optional<bool> is_lms = std::nullopt;
  std::optional<std::int16_t> reference = std::nullopt, total = std::nullopt, sequence = std::nullopt;
};

TEST(DecodePdu, DecodesKnownMessages) {
  testing::VirtualSession vs;
  std::filesystem::copy_file(std::filesystem::path(QSTK_SOURCE_DIR) / "data" / "Unicode.txt",
                             vs.Folder() / "Unicode.txt");
  const std::string deliver = "07915155100021F3040B915155100054F6000042507190807023";
  const std::string n = "", d = "17-05-24", t = "09:08:07+32";
  for (const Expected& e : std::vector<Expected>{
           {deliver + "05E8329BFD06", "+15550100123", "+15550100456", d, t, "hello", false, -1, 0, -1},
           {"07915155100021F3440B915155100054F60000425071908070230C0500030A0201D06536FB0D", "+15550100123",
            "+15550100456", d, t, "hello", true, 10, 2, 1},
           {"07911326040000F0040B911346610089F60000208062917314480CC8F71D14969741F977FD07", "+31624000000",
            "+31641600986", "26-08-02", "19:37:41+84", "How are you?", false, -1, 0, -1},
           // no service centre, a national originator, 8-bit text
           {"00040B815155100054F60004425071908070230341420A", n, "15550100456", d, t, "AB\n"},
           {"00040B815155100054F600084250719080702304004800E9", n, "15550100456", d, t, "H\xE9"},
           {"00040B815155100054F600F5425071908070230400480069", n, "15550100456", d, t,
            "Multi media message"},
           {"00440B815155100054F600F54250719080702304", n, "15550100456", d, t, "Multi media message"},
           // 8-bit and UCS2 behind a header: the header stays out of the text
           {"00440B815155100054F6000442507190807023080500030A02014142", n, "15550100456", d, t, "AB"},
           {"00440B815155100054F6000842507190807023080500030A02010041", n, "15550100456", d, t, "A"},
           // a header of another element still gives the fields at their places
           {"00440B815155100054F60000425071908070230C050403AA0B01D06536FB0D", n, "15550100456", d, t, "hello",
            std::nullopt, 170, 11, 1},
           {"0000000000", n, n, "--", "::+", "", false, -1, 0, -1},  // too short: empty fields
           // stored SMS-SUBMIT messages
           {"0011000B915155100021F30000AA05E8329BFD06", n, "+15550100123", n, n, "hello"},
           {"07914346466554F601000B914316565811F9000806304253F68449", "+34646456456", "+34616585119", n, n,
            "\x01\x01\x01"},
           {"0001000B915155100021F30004024142", n, "+15550100123", n, n, ""},
           {"0001000B915155100021F300F6024142", n, "+15550100123", n, n, "AB"},
           {"0001000B915155100021F300F5024142", n, "+15550100123", n, n, "Multi media mes,sage"},
           {"0061000B915155100021F300000C050003010201D06536FB0D", n, "+15550100123", n, n, "hello"},
           {"0041000B915155100021F300F6080500030102014142", n, "+15550100123", n, n, "AB"}}) {
    const DecodedPdu r = Decode_PDU(e.pdu);
    EXPECT_EQ(r.ServiceCentre, e.centre) << e.pdu;
    EXPECT_EQ(r.Originator, e.originator) << e.pdu;
    EXPECT_EQ(r.StampDate, e.date) << e.pdu;
    EXPECT_EQ(r.StampTime, e.time) << e.pdu;
    EXPECT_EQ(r.Text, e.text) << e.pdu;
    EXPECT_EQ(r.IsLMS, e.is_lms) << e.pdu;
    EXPECT_EQ(r.LMS_Reference, e.reference) << e.pdu;
    EXPECT_EQ(r.LMS_Total, e.total) << e.pdu;
    EXPECT_EQ(r.LMS_Sequence, e.sequence) << e.pdu;
  }
}

TEST(DecodePdu, FailsOnUnknownCodingOrMissingTable) {
  testing::VirtualSession vs;
  for (const std::string coding : {"F1", "F6", "f5"}) {
    try {
      Decode_PDU("00040B815155100054F600" + coding + "42507190807023054142434445");
      ADD_FAILURE() << coding;
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.Number(), 5);
      EXPECT_THAT(e.Description(), ::testing::HasSubstr("\"" + coding + "\""));
    }
  }
  EXPECT_THROW(Decode_PDU("0000"), RuntimeError);  // cut before its data coding
  EXPECT_THROW(Decode_PDU("00040B815155100054F600084250719080702304004800E9"), RuntimeError);
}

}  // namespace
}  // namespace quandelstk::pdu
