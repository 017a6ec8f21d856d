// QuandelSTK6.Phonebook: the _Phonebook interface over quandelstk::Phonebook. Only the storage
// selection traps inside the core class: a malformed answer or a count beyond 16 bits reaches the
// host as an automation error.
#include "automation/type_library.hpp"
#include "automation/classes.hpp"
#include "automation/dispatch_object.hpp"
#include "quandelstk/phonebook.hpp"

namespace quandelstk::automation {

namespace {

class PhonebookObject final : public DispatchObject<_Phonebook> {
 public:
  PhonebookObject() : DispatchObject(L"QuandelSTK6.Phonebook") {}

  STDMETHODIMP put_PhonebookNumber(BSTR rhs) override {
    return Run([&] { book_.PhonebookNumber(FromBstr(rhs)); });
  }
  STDMETHODIMP get_PhonebookNumber(BSTR* rhs) override {
    return Call(rhs, [&] { return book_.PhonebookNumber(); });
  }
  STDMETHODIMP put_PhonebookName(BSTR rhs) override {
    return Run([&] { book_.PhonebookName(FromBstr(rhs)); });
  }
  STDMETHODIMP get_PhonebookName(BSTR* rhs) override {
    return Call(rhs, [&] { return book_.PhonebookName(); });
  }
  STDMETHODIMP TotalSpace(short* Result) override {
    return Call(Result, [&] { return book_.TotalSpace(); });
  }
  STDMETHODIMP TotalUsed(short* Result) override {
    return Call(Result, [&] { return book_.TotalUsed(); });
  }
  STDMETHODIMP PhonebookDelete(short intLocation, VARIANT_BOOL* Result) override {
    return Call(Result, [&] { return book_.PhonebookDelete(intLocation); });
  }
  STDMETHODIMP PhonebookWrite(short intLocation, BSTR strNumber, BSTR strName,
                              VARIANT_BOOL* Result) override {
    return Call(Result,
                [&] { return book_.PhonebookWrite(intLocation, FromBstr(strNumber), FromBstr(strName)); });
  }
  STDMETHODIMP PhonebookRead(short intLocation, VARIANT_BOOL* Result) override {
    return Call(Result, [&] { return book_.PhonebookRead(intLocation); });
  }

 private:
  Phonebook book_;
};

}  // namespace

const ClassEntry kPhonebookClass = {&CLSID_Phonebook, L"Phonebook", &CreateObject<PhonebookObject>};

}  // namespace quandelstk::automation
