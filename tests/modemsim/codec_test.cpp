// The simulator's own PDU codec on standard vectors and on round trips.
#include <gtest/gtest.h>

#include "modemsim/gsm_text.hpp"
#include "modemsim/sms_pdu.hpp"

namespace quandelstk::modemsim {
namespace {

// Each vector decoded field by field, then encoded back octet for octet.
TEST(DecodeTest, ReadsEveryFieldAndWritesTheSameOctets) {
  struct Case {
    const char* pdu;
    PduType type;
    const char* smsc;
    const char* address;
    const char* text;  // UTF-8
    bool report_requested;
    std::optional<Concat> concat;
  };
  const PduType deliver = PduType::kDeliver, submit = PduType::kSubmit;
  // clang-format off
  const Case cases[] = {
      {"07911326040000F0040B911346610089F60000208062917314480CC8F71D14969741F977FD07", deliver,
       "+31624000000", "+31641600986", "How are you?", false, std::nullopt},
      {"0001000B917228001011F100000CC8329BFD065DDF72363904", submit, "", "+27820001111", "Hello World!",
       false, std::nullopt},
      {"0021000B915155100021F3000005E8329BFD06", submit, "", "+15550100123", "hello", true, std::nullopt},
      {"07915155100021F3440B915155100054F60000425071908070230C0500030A0201D06536FB0D", deliver,
       "+15550100123", "+15550100456", "hello", false, Concat{10, 2, 1}},
      {"0041000B915155100021F300000B06080412340201C4E512", submit, "", "+15550100123", "DKK", false,
       Concat{0x1234, 2, 1}},  // a 16-bit reference
      {"0004038121F300084250719080702304041F0438", deliver, "", "123", "\xD0\x9F\xD0\xB8", false,
       std::nullopt},
      {"000407D0D4F29C0E00004250719080702302C834", deliver, "", "Test", "Hi", false, std::nullopt},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pdu);
    const Pdu p = DecodePdu(c.pdu);
    EXPECT_EQ(p.tpdu.type, c.type);
    EXPECT_EQ(p.smsc.number, c.smsc);
    EXPECT_EQ(p.tpdu.address.number, c.address);
    EXPECT_EQ(p.tpdu.RequestsReport(), c.report_requested);
    const UserData u = p.tpdu.Decoded();
    EXPECT_EQ(Utf16ToUtf8(u.text), c.text);
    ASSERT_EQ(u.concat.has_value(), c.concat.has_value());
    if (c.concat) {
      EXPECT_EQ(u.concat->reference, c.concat->reference);
      EXPECT_EQ(u.concat->total, c.concat->total);
      EXPECT_EQ(u.concat->sequence, c.concat->sequence);
    }
    EXPECT_EQ(EncodePdu(p), c.pdu);
  }
}

TEST(TimestampTest, ZoneSignTravelsInBitThreeAndTimeRollsOver) {
  const Tpdu t =
      DecodePdu("07911326040000F0040B911346610089F60000208062917314480CC8F71D14969741F977FD07").tpdu;
  EXPECT_EQ(t.scts.Text(), "02/08/26,19:37:41-04");
  const Timestamp late = *Timestamp::Parse("08/12/31,23:59:58+32");
  EXPECT_EQ(late.PlusSeconds(3).Text(), "09/01/01,00:00:01+32");
  EXPECT_EQ(Timestamp::Parse("08/02/28,23:59:59-16")->PlusSeconds(1).Text(), "08/02/29,00:00:00-16");
  EXPECT_FALSE(Timestamp::Parse("08/13/01,00:00:00+00"));
  EXPECT_FALSE(Timestamp::Parse("08/12/01 00:00:00+00"));
}

TEST(SeptetTest, ExtensionCharactersTakeTwoSeptetsAndSurviveTheRoundTrip) {
  const std::u16string text = Utf8ToUtf16("{[\xE2\x82\xAC]} ^~|\\ @\xC2\xA3$_");
  const auto septets = ToGsmSeptets(text);
  ASSERT_TRUE(septets);
  EXPECT_EQ(septets->size(), text.size() + 9);
  for (int fill : {0, 1, 6})
    EXPECT_EQ(FromGsmSeptets(UnpackSeptets(PackSeptets(*septets, fill), septets->size(), fill)), text);
  EXPECT_FALSE(ToGsmSeptets(u"\u0416"));  // Cyrillic has no GSM form
  EXPECT_EQ(ToHex(PackSeptets(*ToGsmSeptets(u"hello"))), "E8329BFD06");
}

TEST(SetTextTest, ChoosesTheAlphabetAndWritesTheConcatenationHeader) {
  Tpdu t;
  t.type = PduType::kSubmit;
  t.first_octet = 0x01;
  t.SetText(u"hello", Concat{1, 2, 1});
  EXPECT_EQ(t.dcs, 0);
  EXPECT_EQ(t.udl, 12);  // seven septets for the header and its fill bit
  EXPECT_EQ(ToHex(t.ud), "050003010201D06536FB0D");
  t.first_octet = 0x01;
  t.SetText(u"\u0416a");
  EXPECT_EQ(t.dcs, 8);
  EXPECT_EQ(ToHex(t.ud), "04160061");
}

TEST(StatusReportTest, RoundTripsItsFields) {
  Pdu p{Address::FromText("+15550100123"), {}};
  p.tpdu.type = PduType::kStatusReport;
  p.tpdu.first_octet = 0x06;
  p.tpdu.reference = 12;
  p.tpdu.address = Address::FromText("+15551234567");
  p.tpdu.scts = *Timestamp::Parse("08/12/25,14:30:00+32");
  p.tpdu.discharge = *Timestamp::Parse("08/12/25,14:30:05+32");
  p.tpdu.status = 0x30;
  const Pdu back = DecodePdu(EncodePdu(p));
  EXPECT_EQ(back.tpdu.type, PduType::kStatusReport);
  EXPECT_EQ(back.tpdu.reference, 12);
  EXPECT_EQ(back.tpdu.address.number, "+15551234567");
  EXPECT_EQ(back.tpdu.discharge.Text(), "08/12/25,14:30:05+32");
  EXPECT_EQ(back.tpdu.status, 0x30);
}

TEST(DecodeErrorTest, ShortOrMalformedPdusAreRefused) {
  for (const char* bad : {"", "0", "0G", "0001000B917228001011F1", "07911326040000F0",
                          "0041000B915155100021F300000209FF00"})  // header longer than the data
    EXPECT_THROW(DecodePdu(bad).tpdu.Decoded(), PduError) << bad;
}

TEST(CharsetTest, TeCharsetsConvertBothWays) {
  EXPECT_EQ(ToTe(u"A\u00E9\u20AC", "IRA"), "A??");
  EXPECT_EQ(ToTe(u"A\u00E9", "8859-1"), "A\xE9");
  EXPECT_EQ(ToTe(u"*1#", "UCS2"), "002A00310023");
  EXPECT_EQ(FromTe("002A00310023", "UCS2"), u"*1#");
  EXPECT_EQ(ToTe(u"@\u20AC", "GSM"), std::string("\x00\x1B\x65", 3));
  EXPECT_EQ(FromTe(std::string("\x00\x1B\x65", 3), "GSM"), u"@\u20AC");
}

}  // namespace
}  // namespace quandelstk::modemsim
