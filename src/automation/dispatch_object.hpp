// The common part of every automation object: reference counting, QueryInterface, IDispatch from
// the type library, ISupportErrorInfo, the count of live objects, and the call guard that turns
// results and run-time errors into HRESULTs.
//
// A class is a DispatchObject<its interface> holding its core object; each vtable member is one
// line: Call(Result, [&] { return core.Member(...); }) for a result, Put/Get for properties.
#pragma once

#include "automation/com.hpp"

#include <atomic>
#include <cstdint>
#include <new>
#include <string>
#include <type_traits>

#include "automation/automation_error.hpp"
#include "automation/bstr_text.hpp"
#include "automation/dispatch_invoke.hpp"
#include "automation/module.hpp"

namespace quandelstk::automation {

// The host's values for the core's: 16-bit integers and enumerations pass as they are.
inline VARIANT_BOOL ToHost(bool value) { return value ? VARIANT_TRUE : VARIANT_FALSE; }
inline BSTR ToHost(const std::string& value) { return ToBstr(value); }
inline short ToHost(std::int16_t value) { return value; }
template <class Enum>
requires std::is_enum_v<Enum> std::int32_t ToHost(Enum value) { return static_cast<std::int32_t>(value); }

template <class Interface>
class DispatchObject : public Interface, public ISupportErrorInfo {
 public:
  explicit DispatchObject(const wchar_t* prog_id) : source_{prog_id, &__uuidof(Interface)} {
    ObjectCreated();
    // From here on the thread has state of this library that outlives the object.
    PinModule();
  }
  virtual ~DispatchObject() {
    if (dispatch_view_) dispatch_view_->Release();
    if (vtable_view_) vtable_view_->Release();
    ObjectDestroyed();
  }
  DispatchObject(const DispatchObject&) = delete;
  DispatchObject& operator=(const DispatchObject&) = delete;

  // Loads the type information; a failure here fails the creation.
  HRESULT LoadTypeInformation() { return LoadTypeInfo(__uuidof(Interface), &dispatch_view_, &vtable_view_); }

  // --- IUnknown --------------------------------------------------------------------------------
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, __uuidof(Interface))) {
      *out = static_cast<Interface*>(this);
    } else if (IsEqualIID(iid, IID_ISupportErrorInfo)) {
      *out = static_cast<ISupportErrorInfo*>(this);
    } else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;  // destructors of the core classes never throw
    return left;
  }

  // --- IDispatch -------------------------------------------------------------------------------
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    dispatch_view_->AddRef();
    *info = dispatch_view_;
    return S_OK;
  }
  STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    return DispGetIDsOfNames(dispatch_view_, names, count, ids);
  }
  STDMETHODIMP Invoke(DISPID member, REFIID iid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* exception, UINT* argument_error) override {
    if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    return InvokeWithTypeInfo(static_cast<Interface*>(this), vtable_view_, member, flags, params, result, exception,
                              argument_error);
  }

  // --- ISupportErrorInfo -----------------------------------------------------------------------
  STDMETHODIMP InterfaceSupportsErrorInfo(REFIID iid) override {
    return IsEqualIID(iid, __uuidof(Interface)) ? S_OK : S_FALSE;
  }

 protected:
  // Runs body under the guard and stores its result, converted for the host, in *result.
  template <class Result, class Body>
  HRESULT Call(Result* result, Body&& body) noexcept {
    if (!result) return E_POINTER;
    return Guard(source_, [&] { *result = static_cast<Result>(ToHost(body())); });
  }
  // Runs body under the guard (a property put, a call without result).
  template <class Body>
  HRESULT Run(Body&& body) noexcept {
    return Guard(source_, std::forward<Body>(body));
  }

  const ErrorSource& Source() const { return source_; }

 private:
  std::atomic<ULONG> references_{1};
  ErrorSource source_;
  ITypeInfo* dispatch_view_ = nullptr;
  ITypeInfo* vtable_view_ = nullptr;
};

// Creates an object of a class for a class factory: constructs it, loads its type information and
// hands out the interface asked for.
template <class Object>
HRESULT CreateObject(REFIID iid, void** out) noexcept {
  if (!out) return E_POINTER;
  *out = nullptr;
  Object* object = nullptr;
  try {
    object = new Object();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
  HRESULT hr = object->LoadTypeInformation();
  if (SUCCEEDED(hr)) hr = object->QueryInterface(iid, out);
  object->Release();
  return hr;
}

}  // namespace quandelstk::automation
