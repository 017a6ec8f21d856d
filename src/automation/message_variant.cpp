#include "automation/message_variant.hpp"

#include <memory>
#include <new>

#include "automation/bstr_text.hpp"

namespace quandelstk::automation {

namespace {

// A stored VARIANT whose text the system works out when it is asked for.
class VariantMessage final : public MessageObject {
 public:
  explicit VariantMessage(const VARIANT& value) {
    VariantInit(&value_);
    if (FAILED(VariantCopy(&value_, const_cast<VARIANT*>(&value)))) throw std::bad_alloc();
  }
  ~VariantMessage() override { VariantClear(&value_); }
  VariantMessage(const VariantMessage&) = delete;
  VariantMessage& operator=(const VariantMessage&) = delete;

  std::optional<std::string> DefaultText() const override {
    VARIANT text;
    VariantInit(&text);
    // An object gives its default member's value; Null, arrays and objects without a default
    // member have no text.
    if (FAILED(VariantChangeType(&text, const_cast<VARIANT*>(&value_), VARIANT_ALPHABOOL, VT_BSTR)))
      return std::nullopt;
    std::string result = FromBstr(V_BSTR(&text));
    VariantClear(&text);
    return result;
  }

 private:
  VARIANT value_;
};

}  // namespace

MessageValue ToMessageValue(const VARIANT& value) {
  switch (V_VT(&value)) {
    case VT_EMPTY:
      return MessageValue();
    case VT_BSTR:
      return MessageValue(FromBstr(V_BSTR(&value)));
    case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_I4: case VT_UI4: case VT_INT: case VT_UINT:
    case VT_I8: case VT_UI8: case VT_R8: {
      VARIANT number;
      VariantInit(&number);
      if (SUCCEEDED(VariantChangeType(&number, const_cast<VARIANT*>(&value), 0, VT_R8)))
        return MessageValue(V_R8(&number));
      break;
    }
    case VT_DISPATCH:
    case VT_UNKNOWN:
      // An empty object reference stays one: the senders report it as such.
      if (!V_UNKNOWN(&value)) return MessageValue(std::shared_ptr<VariantMessage>());
      break;
    default:
      break;
  }
  return MessageValue(std::make_shared<VariantMessage>(value));
}

}  // namespace quandelstk::automation
