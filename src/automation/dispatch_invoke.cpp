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

  // Sets *prepared to the parameters to hand to DispInvoke: the given ones when nothing needs
  // changing. Named arguments are put in their positions, so the omitted ones around them are
  // filled in as for a positional call. Fails as DispInvoke would for a named argument that is no
  // parameter or comes twice, and for a required parameter left out.
  HRESULT Prepare(ITypeInfo* info, DISPID member, WORD flags, DISPPARAMS* given, DISPPARAMS** prepared) {
    *prepared = given;
    // A property put names its value DISPID_PROPERTYPUT; DispInvoke knows that form.
    if (!given || (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF))) return S_OK;
    FuncDescription desc(info, member, flags);
    if (!desc) return S_OK;
    UINT declared = 0;
    for (SHORT i = 0; i < desc->cParams; ++i)
      if (!(desc->lprgelemdescParam[i].paramdesc.wParamFlags & PARAMFLAG_FRETVAL)) ++declared;
    if (given->cArgs > declared) return S_OK;  // DispInvoke reports it
    if (given->cNamedArgs > given->cArgs || (given->cNamedArgs > 0 && !given->rgdispidNamedArgs))
      return E_INVALIDARG;

    // Which of the caller's arguments goes to each parameter: the positional ones come last in
    // reverse order, the named ones first, each with its parameter's index.
    const UINT positional = given->cArgs - given->cNamedArgs;
    source_.assign(declared, kNone);
    for (UINT i = 0; i < positional; ++i) source_[i] = given->cArgs - 1 - i;
    for (UINT k = 0; k < given->cNamedArgs; ++k) {
      const DISPID index = given->rgdispidNamedArgs[k];
      if (index < 0 || static_cast<UINT>(index) >= declared || source_[index] != kNone) return DISP_E_PARAMNOTFOUND;
      source_[index] = k;
    }

    args_.assign(declared, VARIANTARG{});
    bool changed = given->cArgs < declared || given->cNamedArgs > 0;
    for (UINT i = 0; i < declared; ++i) {
      const ELEMDESC& param = desc->lprgelemdescParam[i];
      VARIANTARG& slot = args_[declared - 1 - i];  // arguments travel in reverse order
      const bool given_here = source_[i] != kNone;
      if (given_here && !IsMissing(given->rgvarg[source_[i]])) {
        slot = given->rgvarg[source_[i]];
        if (param.tdesc.vt == VT_PTR && AdaptByReference(param, slot)) changed = true;
        continue;
      }
      if (!(param.paramdesc.wParamFlags & PARAMFLAG_FOPT)) {
        // A required parameter left out ("wrong number of arguments"), or given as omitted.
        if (!given_here) return DISP_E_BADPARAMCOUNT;
        if (BaseType(param) != VT_VARIANT) return DISP_E_PARAMNOTOPTIONAL;
        slot = given->rgvarg[source_[i]];  // an error value is a value for a Variant
        continue;
      }
      if (!Fill(param, slot)) {
        V_VT(&slot) = VT_ERROR;
        V_ERROR(&slot) = DISP_E_PARAMNOTFOUND;
      }
      changed = true;
    }
    if (!changed) return S_OK;
    params_.rgvarg = args_.data();
    params_.cArgs = declared;
    params_.rgdispidNamedArgs = nullptr;
    params_.cNamedArgs = 0;
    *prepared = &params_;
    return S_OK;
  }

  // DispInvoke names a failing argument by its place in what it was given; the caller wants its own.
  void TranslateArgumentError(const DISPPARAMS* prepared, UINT* argument_error) const {
    if (!argument_error || prepared != &params_ || *argument_error >= params_.cArgs) return;
    const UINT parameter = params_.cArgs - 1 - *argument_error;
    if (source_[parameter] != kNone) *argument_error = source_[parameter];
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

  static constexpr UINT kNone = static_cast<UINT>(-1);

  std::vector<UINT> source_;  // per parameter, the index of its argument in the caller's rgvarg, or kNone
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
    DISPPARAMS* prepared = nullptr;
    HRESULT hr = arguments.Prepare(vtable_view, member, flags, params, &prepared);
    if (FAILED(hr)) return hr;
    hr = DispInvoke(self, vtable_view, member, flags, prepared, result, exception, argument_error);
    if (SUCCEEDED(hr)) arguments.WriteBack();
    else arguments.TranslateArgumentError(prepared, argument_error);
    return hr;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

}  // namespace quandelstk::automation
