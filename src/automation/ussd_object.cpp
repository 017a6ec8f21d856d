// QuandelSTK6.USSD: the _USSD interface over quandelstk::USSD. The member USSD is the core's Send
// (a C++ member cannot bear its class's name); an omitted iTimeOutSeconds arrives as its declared
// default 3, filled in before the call.
#include "automation/type_library.hpp"
#include "automation/classes.hpp"
#include "automation/dispatch_object.hpp"
#include "quandelstk/ussd.hpp"

namespace quandelstk::automation {

namespace {

class UssdObject final : public DispatchObject<_USSD> {
 public:
  UssdObject() : DispatchObject(L"QuandelSTK6.USSD") {}

  STDMETHODIMP put_USSDNotification(BSTR rhs) override {
    return Run([&] { ussd_.USSDNotification(FromBstr(rhs)); });
  }
  STDMETHODIMP get_USSDNotification(BSTR* rhs) override {
    return Call(rhs, [&] { return ussd_.USSDNotification(); });
  }
  STDMETHODIMP USSDListen(short iTimeOutSeconds, VARIANT_BOOL* Result) override {
    return Call(Result, [&] { return ussd_.USSDListen(iTimeOutSeconds); });
  }
  STDMETHODIMP USSD(BSTR Command, BSTR* Result) override {
    return Call(Result, [&] { return ussd_.Send(FromBstr(Command)); });
  }
  STDMETHODIMP Cancel(VARIANT_BOOL* Result) override {
    return Call(Result, [&] { return ussd_.Cancel(); });
  }

 private:
  quandelstk::USSD ussd_;
};

}  // namespace

const ClassEntry kUSSDClass = {&CLSID_USSD, L"USSD", &CreateObject<UssdObject>};

}  // namespace quandelstk::automation
