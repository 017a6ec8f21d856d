#include "quandelstk/sms.hpp"
#include "sms_test_support.hpp"
#include "support/virtual_session.hpp"

namespace quandelstk::testing {
namespace {

TEST(SMSLifeCycle, DestroyingAnySMSObjectClosesTheThreadsPort) {
  VirtualSession vs;
  vs.OpenPort();
  SMS kept;
  { SMS released; }
  EXPECT_FALSE(vs.Modem().IsOpen());
  EXPECT_FALSE(kept.ReadSMS());
  EXPECT_EQ(vs.Modem().Written(), "");
}

TEST(SMSProperties, DRStatusIsTypeMismatchUntilAStatusIsStored) {
  SMS sms;
  EXPECT_EQ(ErrorNumberOf([&] { sms.DRStatus(); }), err::kTypeMismatch);
  sms.DRStatus(static_cast<DeliveryStatus>(70000));  // any 32-bit value is kept
  EXPECT_EQ(static_cast<std::int32_t>(sms.DRStatus()), 70000);
}

class Note final : public MessageObject {
 public:
  explicit Note(std::optional<std::string> text) : text(std::move(text)) {}
  std::optional<std::string> DefaultText() const override { return text; }
  std::optional<std::string> text;
};

TEST(SMSProperties, ToMessageTextForms) {
  auto note = std::make_shared<Note>("first");
  MessageValue by_reference(note);
  note->text = "changed";  // a stored reference sees later changes of its object
  EXPECT_EQ(by_reference.ToText(), "changed");
  EXPECT_EQ(MessageValue().ToText(), "");
  EXPECT_EQ(MessageValue(7).ToText(), "7");
  EXPECT_EQ(MessageValue(7.5).ToText(), "7.5");
  EXPECT_EQ(MessageValue(1e20).ToText(), "1E+20");
  EXPECT_EQ(ErrorNumberOf([] { MessageValue(std::make_shared<Note>(std::nullopt)).ToText(); }),
            err::kTypeMismatch);

  SMS sms;
  sms.ToMessage(note);
  EXPECT_EQ(sms.ToMessage().ObjectRef(), note);
}

}  // namespace
}  // namespace quandelstk::testing
