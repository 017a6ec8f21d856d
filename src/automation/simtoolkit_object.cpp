// QuandelSTK6.SIMToolKit: the _SIMToolKit interface over quandelstk::SIMToolKit. Every method of
// the core class traps its own run-time failures; the guard still stands between them and the host.
#include "automation/type_library.hpp"
#include "automation/classes.hpp"
#include "automation/dispatch_object.hpp"
#include "quandelstk/stk.hpp"

namespace quandelstk::automation {

namespace {

class SimToolKitObject final : public DispatchObject<_SIMToolKit> {
 public:
  SimToolKitObject() : DispatchObject(L"QuandelSTK6.SIMToolKit") {}

  // --- Properties: stored values of the core object ---------------------------------------------
#define QSTK_TEXT_PROPERTY(Name)                                                            \
  STDMETHODIMP put_##Name(BSTR rhs) override {                                              \
    return Run([&] { stk_.Name(FromBstr(rhs)); });                                          \
  }                                                                                         \
  STDMETHODIMP get_##Name(BSTR* rhs) override {                                             \
    return Call(rhs, [&] { return stk_.Name(); });                                          \
  }
  QSTK_TEXT_PROPERTY(SubMenuList)
  QSTK_TEXT_PROPERTY(SubMenuName)
  QSTK_TEXT_PROPERTY(MainMenuList)
  QSTK_TEXT_PROPERTY(MainMenuName)
#undef QSTK_TEXT_PROPERTY

  // --- Methods ----------------------------------------------------------------------------------
  STDMETHODIMP STKStatusGet(::STKStatus* Result) override {
    return Call(Result, [&] { return stk_.STKStatusGet(); });
  }
  STDMETHODIMP MainMenuDisplay(VARIANT_BOOL* Result) override {
    return Call(Result, [&] { return stk_.MainMenuDisplay(); });
  }
  STDMETHODIMP MainMenuSelect(short ItemSelect, VARIANT_BOOL* Result) override {
    return Call(Result, [&] { return stk_.MainMenuSelect(ItemSelect); });
  }
  STDMETHODIMP SubMenuDisplay(VARIANT_BOOL* Result) override {
    return Call(Result, [&] { return stk_.SubMenuDisplay(); });
  }
  STDMETHODIMP SubMenuSelect(short ItemSelect, VARIANT_BOOL* Result) override {
    return Call(Result, [&] { return stk_.SubMenuSelect(ItemSelect); });
  }
  STDMETHODIMP InputRequestDisplay(BSTR* Result) override {
    return Call(Result, [&] { return stk_.InputRequestDisplay(); });
  }
  STDMETHODIMP InputSubmit(BSTR UserInputSubmit, VARIANT_BOOL* Result) override {
    return Call(Result, [&] { return stk_.InputSubmit(FromBstr(UserInputSubmit)); });
  }
  STDMETHODIMP ResponseDisplay(BSTR* Result) override {
    return Call(Result, [&] { return stk_.ResponseDisplay(); });
  }
  STDMETHODIMP SMSSentDisplay(BSTR* Result) override {
    return Call(Result, [&] { return stk_.SMSSentDisplay(); });
  }
  STDMETHODIMP ActivateSTK(VARIANT_BOOL* Result) override {
    return Call(Result, [&] { return stk_.ActivateSTK(); });
  }
  STDMETHODIMP CloseSTK(VARIANT_BOOL* Result) override {
    return Call(Result, [&] { return stk_.CloseSTK(); });
  }
  STDMETHODIMP DeactivateSTK(VARIANT_BOOL* Result) override {
    return Call(Result, [&] { return stk_.DeactivateSTK(); });
  }

 private:
  SIMToolKit stk_;
};

}  // namespace

const ClassEntry kSIMToolKitClass = {&CLSID_SIMToolKit, L"SIMToolKit", &CreateObject<SimToolKitObject>};

}  // namespace quandelstk::automation
