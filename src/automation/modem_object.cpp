// QuandelSTK6.Modem: the _Modem interface over quandelstk::Modem.
#include "automation/type_library.hpp"
#include "automation/classes.hpp"
#include "automation/dispatch_object.hpp"
#include "quandelstk/modem.hpp"

namespace quandelstk::automation {

namespace {

class ModemObject final : public DispatchObject<_Modem> {
 public:
  ModemObject() : DispatchObject(L"QuandelSTK6.Modem") {}

  STDMETHODIMP Init(short intPort, BSTR PIN, ::InitStatus* Result) override {
    return Call(Result, [&] { return modem_.Init(intPort, FromBstr(PIN)); });
  }
  STDMETHODIMP ShutDown(VARIANT_BOOL* Result) override {
    return Call(Result, [&] { return modem_.ShutDown(); });
  }
  STDMETHODIMP Reboot(VARIANT_BOOL* Result) override {
    return Call(Result, [&] { return modem_.Reboot(); });
  }
  STDMETHODIMP SignalStrength(short* Result) override {
    return Call(Result, [&] { return modem_.SignalStrength(); });
  }
  STDMETHODIMP OperatorName(BSTR* Result) override {
    return Call(Result, [&] { return modem_.OperatorName(); });
  }
  STDMETHODIMP FindCOMPort(short* iStart, short* iEnd, short* Result) override {
    if (!iStart || !iEnd) return E_POINTER;
    return Call(Result, [&] { return modem_.FindCOMPort(*iStart, *iEnd); });
  }
  STDMETHODIMP IsConnectToGSM(VARIANT_BOOL* Result) override {
    return Call(Result, [&] { return modem_.IsConnectToGSM(); });
  }
  STDMETHODIMP GetIMSI(BSTR* Result) override {
    return Call(Result, [&] { return modem_.GetIMSI(); });
  }
  STDMETHODIMP GetMSISDN(BSTR* Result) override {
    return Call(Result, [&] { return modem_.GetMSISDN(); });
  }

 private:
  Modem modem_;
};

}  // namespace

const ClassEntry kModemClass = {&CLSID_Modem, L"Modem", &CreateObject<ModemObject>};

}  // namespace quandelstk::automation
