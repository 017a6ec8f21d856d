// QuandelSTK6.SMS: the _SMS interface over quandelstk::SMS. Releasing the object destroys the core
// object, which unloads this thread's serial control and so closes the port, as hosts expect.
#include "automation/type_library.hpp"
#include "automation/classes.hpp"
#include "automation/dispatch_object.hpp"
#include "automation/message_variant.hpp"
#include "quandelstk/errors.hpp"
#include "quandelstk/sms.hpp"

namespace quandelstk::automation {

namespace {

class SmsObject final : public DispatchObject<_SMS> {
 public:
  SmsObject() : DispatchObject(L"QuandelSTK6.SMS") { VariantInit(&to_message_); }
  ~SmsObject() override { VariantClear(&to_message_); }

  // --- Properties: stored values of the core object ---------------------------------------------
#define QSTK_TEXT_PROPERTY(Name)                                                            \
  STDMETHODIMP put_##Name(BSTR rhs) override {                                              \
    return Run([&] { sms_.Name(FromBstr(rhs)); });                                          \
  }                                                                                         \
  STDMETHODIMP get_##Name(BSTR* rhs) override {                                             \
    return Call(rhs, [&] { return sms_.Name(); });                                          \
  }
  QSTK_TEXT_PROPERTY(ToNumber)
  QSTK_TEXT_PROPERTY(DRFDate)
  QSTK_TEXT_PROPERTY(DRFTime)
  QSTK_TEXT_PROPERTY(DRRDate)
  QSTK_TEXT_PROPERTY(DRRTime)
  QSTK_TEXT_PROPERTY(DRMNRecipient)
  QSTK_TEXT_PROPERTY(DRMsgRef)
  QSTK_TEXT_PROPERTY(SCTS)
  QSTK_TEXT_PROPERTY(MR)
  QSTK_TEXT_PROPERTY(SMSC)
  QSTK_TEXT_PROPERTY(Msg)
  QSTK_TEXT_PROPERTY(MN)
  QSTK_TEXT_PROPERTY(IDD)
#undef QSTK_TEXT_PROPERTY

#define QSTK_INTEGER_PROPERTY(Name)                                                         \
  STDMETHODIMP put_##Name(short rhs) override {                                             \
    return Run([&] { sms_.Name(rhs); });                                                    \
  }                                                                                         \
  STDMETHODIMP get_##Name(short* rhs) override {                                            \
    return Call(rhs, [&] { return sms_.Name(); });                                          \
  }
  QSTK_INTEGER_PROPERTY(LMS_Sequence)
  QSTK_INTEGER_PROPERTY(LMS_Total)
  QSTK_INTEGER_PROPERTY(LMS_Reference)
#undef QSTK_INTEGER_PROPERTY

  STDMETHODIMP put_IsLMS(VARIANT_BOOL rhs) override {
    return Run([&] { sms_.IsLMS(rhs != VARIANT_FALSE); });
  }
  STDMETHODIMP get_IsLMS(VARIANT_BOOL* rhs) override {
    return Call(rhs, [&] { return sms_.IsLMS(); });
  }

  STDMETHODIMP put_DRStatus(::DeliveryStatus rhs) override {
    return Run([&] { sms_.DRStatus(static_cast<DeliveryStatus>(rhs)); });
  }
  STDMETHODIMP get_DRStatus(::DeliveryStatus* rhs) override {
    return Call(rhs, [&] { return sms_.DRStatus(); });
  }

  // Plain and object assignment both keep the VARIANT as it is.
  STDMETHODIMP put_ToMessage(VARIANT rhs) override { return StoreMessage(rhs); }
  STDMETHODIMP putref_ToMessage(VARIANT rhs) override { return StoreMessage(rhs); }
  STDMETHODIMP get_ToMessage(VARIANT* rhs) override {
    if (!rhs) return E_POINTER;
    VariantInit(rhs);
    return VariantCopy(rhs, &to_message_);
  }

  // --- Methods ----------------------------------------------------------------------------------
  STDMETHODIMP IsOnline(BSTR* sNumber, short* iWait_Second, VARIANT_BOOL* Result) override {
    if (!sNumber || !iWait_Second) return E_POINTER;
    return Call(Result, [&] {
      std::string number = FromBstr(*sNumber);
      const std::string given = number;
      const bool online = sms_.IsOnline(number, *iWait_Second);
      // By reference: a change reaches the caller's variable; an unchanged text is left as the
      // caller wrote it (its characters need not survive the 8-bit round trip).
      if (number != given) {
        BSTR changed = ToBstr(number);
        SysFreeString(*sNumber);
        *sNumber = changed;
      }
      return online;
    });
  }
  STDMETHODIMP ReadSMSText(VARIANT_BOOL* Result) override {
    return Call(Result, [&] { return sms_.ReadSMSText(); });
  }
  STDMETHODIMP ReadSMS(VARIANT_BOOL* Result) override {
    return Call(Result, [&] { return sms_.ReadSMS(); });
  }
  STDMETHODIMP SendSMS(BSTR strHP, BSTR strMsg, VARIANT_BOOL* Result) override {
    return Call(Result, [&] { return sms_.SendSMS(FromBstr(strHP), FromBstr(strMsg)); });
  }
  STDMETHODIMP SendSMSText(BSTR strMobileNumber, BSTR strMessage, VARIANT_BOOL* Result) override {
    return Call(Result, [&] { return sms_.SendSMSText(FromBstr(strMobileNumber), FromBstr(strMessage)); });
  }
  STDMETHODIMP SendSMSUnicode(BSTR strMobileNumber, BSTR strMessage, VARIANT_BOOL* Result) override {
    return Call(Result, [&] { return sms_.SendSMSUnicode(FromBstr(strMobileNumber), FromBstr(strMessage)); });
  }
  STDMETHODIMP SendLMSText(BSTR strMobileNumber, BSTR strMessage, short intMessageReference,
                           VARIANT_BOOL* Result) override {
    return Call(Result, [&] {
      return sms_.SendLMSText(FromBstr(strMobileNumber), FromBstr(strMessage), intMessageReference);
    });
  }
  STDMETHODIMP DeliveryReportOn(VARIANT_BOOL* Result) override {
    return Call(Result, [&] { return sms_.DeliveryReportOn(); });
  }
  STDMETHODIMP DeliveryReportOff(VARIANT_BOOL* Result) override {
    return Call(Result, [&] { return sms_.DeliveryReportOff(); });
  }
  STDMETHODIMP GetDeliveryReport(VARIANT_BOOL* Result) override {
    return Call(Result, [&] { return sms_.GetDeliveryReport(); });
  }

 private:
  HRESULT StoreMessage(const VARIANT& value) {
    return Run([&] {
      VARIANT copy;
      VariantInit(&copy);
      // A variable passed by reference is stored as its value: the reference dies with the call.
      const HRESULT hr = VariantCopyInd(&copy, const_cast<VARIANT*>(&value));
      if (FAILED(hr)) throw RuntimeError(err::kTypeMismatch, "Type mismatch: ToMessage cannot hold this value");
      try {
        sms_.ToMessage(ToMessageValue(copy));
      } catch (...) {
        VariantClear(&copy);
        throw;
      }
      VariantClear(&to_message_);
      to_message_ = copy;
    });
  }

  SMS sms_;
  VARIANT to_message_;
};

}  // namespace

const ClassEntry kSMSClass = {&CLSID_SMS, L"SMS", &CreateObject<SmsObject>};

}  // namespace quandelstk::automation
