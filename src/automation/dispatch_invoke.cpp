#include "automation/dispatch_invoke.hpp"

#include <deque>
#include <new>
#include <vector>

#include "automation/module.hpp"

namespace quandelstk::automation {

namespace {

// A member's description, released on the way out.
class FuncDescription {
 public:
  FuncDescription(ITypeInfo* info, DISPID member, WORD flags) : info_(info) {
    TYPEATTR* attr = nullptr;
    if (FAILED(info->GetTypeAttr(&attr))) return;
    const WORD count = attr->cFuncs;
    info->ReleaseTypeAttr(attr);
    for (UINT i = 0; i < count && !desc_; ++i) {
      FUNCDESC* d = nullptr;
      if (FAILED(info->GetFuncDesc(i, &d))) continue;
      if (d->memid == member && (static_cast<WORD>(d->invkind) & flags) != 0) desc_ = d;
      else info->ReleaseFuncDesc(d);
    }
  }
  ~FuncDescription() {
    if (desc_) info_->ReleaseFuncDesc(desc_);
  }
  FuncDescription(const FuncDescription&) = delete;
  FuncDescription& operator=(const FuncDescription&) = delete;

  const FUNCDESC* operator->() const { return desc_; }
  explicit operator bool() const { return desc_ != nullptr; }

 private:
  ITypeInfo* info_;
  FUNCDESC* desc_ = nullptr;
};

bool IsMissing(const VARIANTARG& arg) {
  return V_VT(&arg) == VT_ERROR && V_ERROR(&arg) == DISP_E_PARAMNOTFOUND;
}

// The arguments as DispInvoke gets them, with the values this call had to supply.
class PreparedArguments {
 public:
  ~PreparedArguments() {
    for (VARIANT& v : storage_) VariantClear(&v);
    for (VARIANT& v : filled_) VariantClear(&v);
  }

  // Returns the parameters to hand to DispInvoke: the given ones when nothing needs changing.
  DISPPARAMS* Prepare(ITypeInfo* info, DISPID member, WORD flags, DISPPARAMS* given) {
    if (!given || (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) || given->cNamedArgs > 0) return given;
    FuncDescription desc(info, member, flags);
    if (!desc) return given;
    UINT declared = 0;
    for (SHORT i = 0; i < desc->cParams; ++i)
      if (!(desc->lprgelemdescParam[i].paramdesc.wParamFlags & PARAMFLAG_FRETVAL)) ++declared;
    const UINT given_count = given->cArgs;
    if (given_count > declared) return given;  // DispInvoke reports it

    args_.assign(declared, VARIANTARG{});
    bool changed = given_count < declared;
    for (UINT i = 0; i < declared; ++i) {
      const ELEMDESC& param = desc->lprgelemdescParam[i];
      VARIANTARG& slot = args_[declared - 1 - i];  // arguments travel in reverse order
      const bool present = i < given_count && !IsMissing(given->rgvarg[given_count - 1 - i]);
      if (present) {
        slot = given->rgvarg[given_count - 1 - i];
        if (param.tdesc.vt == VT_PTR && AdaptByReference(param, slot)) changed = true;
        continue;
      }
      if (!(param.paramdesc.wParamFlags & PARAMFLAG_FOPT)) {
        if (i < given_count) slot = given->rgvarg[given_count - 1 - i];
        else V_VT(&slot) = VT_ERROR, V_ERROR(&slot) = DISP_E_PARAMNOTFOUND;
        continue;
      }
      if (!Fill(param, slot)) {
        V_VT(&slot) = VT_ERROR;
        V_ERROR(&slot) = DISP_E_PARAMNOTFOUND;
      }
      changed = true;
    }
    if (!changed) return given;
    params_.rgvarg = args_.data();
    params_.cArgs = declared;
    params_.rgdispidNamedArgs = nullptr;
    params_.cNamedArgs = 0;
    return &params_;
  }

  // Hands converted by-reference values back to the variables they came from.
  void WriteBack() {
    for (const auto& [variable, value] : write_back_) {
      VARIANT copy;
      VariantInit(&copy);
      if (SUCCEEDED(VariantCopy(&copy, value))) {
        VariantClear(variable);
        *variable = copy;
      }
    }
  }

 private:
  // A value of the declared type, kept here; by reference the argument points at it.
  VARIANT& Keep(VARTYPE vt) {
    VARIANT& v = storage_.emplace_back();
    VariantInit(&v);
    V_VT(&v) = vt;
    return v;
  }

  static void PointAt(VARIANTARG& slot, VARIANT& value) {
    V_VT(&slot) = static_cast<VARTYPE>(V_VT(&value) | VT_BYREF);
    V_BYREF(&slot) = &V_UI1(&value);  // every member of the value's union starts here
  }

  static VARTYPE BaseType(const ELEMDESC& param) {
    return param.tdesc.vt == VT_PTR ? param.tdesc.lptdesc->vt : param.tdesc.vt;
  }

  // A by-reference parameter given a variable or a plain value instead of a reference of its type.
  bool AdaptByReference(const ELEMDESC& param, VARIANTARG& slot) {
    const VARTYPE base = BaseType(param);
    if (base == VT_VARIANT || base == VT_USERDEFINED || V_VT(&slot) == (base | VT_BYREF)) return false;
    VARIANT* variable = V_VT(&slot) == (VT_VARIANT | VT_BYREF) ? V_VARIANTREF(&slot) : nullptr;
    VARIANT& value = Keep(VT_EMPTY);
    if (FAILED(VariantChangeType(&value, variable ? variable : &slot, 0, base))) return false;  // DispInvoke says why
    PointAt(slot, value);
    if (variable) write_back_.emplace_back(variable, &value);
    return true;
  }

  bool Fill(const ELEMDESC& param, VARIANTARG& slot) {
    const VARTYPE base = BaseType(param);
    if (base == VT_VARIANT || base == VT_USERDEFINED) return false;  // stays "missing", as declared
    VARIANT& value = Keep(base);
    if (param.paramdesc.wParamFlags & PARAMFLAG_FHASDEFAULT) {
      VARIANT& fallback = filled_.emplace_back();
      VariantInit(&fallback);
      if (FAILED(VariantCopy(&fallback, &param.paramdesc.pparamdescex->varDefaultValue))) return false;
      if (FAILED(VariantChangeType(&value, &fallback, 0, base))) return false;
    } else if (base == VT_BSTR) {
      V_BSTR(&value) = SysAllocString(L"");
      if (!V_BSTR(&value)) throw std::bad_alloc();
    }
    if (param.tdesc.vt == VT_PTR) PointAt(slot, value);
    else slot = value;  // a shallow copy: the value stays owned here
    return true;
  }

  std::vector<VARIANTARG> args_;
  std::deque<VARIANT> storage_;  // stable addresses: arguments point into it
  std::deque<VARIANT> filled_;
  std::vector<std::pair<VARIANT*, VARIANT*>> write_back_;
  DISPPARAMS params_{};
};

}  // namespace

HRESULT LoadTypeInfo(REFIID iid, ITypeInfo** dispatch_view, ITypeInfo** vtable_view) {
  *dispatch_view = *vtable_view = nullptr;
  ITypeLib* library = nullptr;
  const std::wstring path = ModulePath();
  HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, &library);
  if (FAILED(hr)) return hr;
  hr = library->GetTypeInfoOfGuid(iid, dispatch_view);
  library->Release();
  if (FAILED(hr)) return hr;
  // A dual interface's type information is its dispatch view; the vtable view is the one it refers
  // to as implemented type -1.
  HREFTYPE ref = 0;
  if (SUCCEEDED((*dispatch_view)->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref)) &&
      SUCCEEDED((*dispatch_view)->GetRefTypeInfo(ref, vtable_view)))
    return S_OK;
  (*dispatch_view)->AddRef();
  *vtable_view = *dispatch_view;
  return S_OK;
}

HRESULT InvokeWithTypeInfo(void* self, ITypeInfo* vtable_view, DISPID member, WORD flags, DISPPARAMS* params,
                           VARIANT* result, EXCEPINFO* exception, UINT* argument_error) noexcept {
  try {
    PreparedArguments arguments;
    DISPPARAMS* prepared = arguments.Prepare(vtable_view, member, flags, params);
    const HRESULT hr = DispInvoke(self, vtable_view, member, flags, prepared, result, exception, argument_error);
    if (SUCCEEDED(hr)) arguments.WriteBack();
    return hr;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

}  // namespace quandelstk::automation
