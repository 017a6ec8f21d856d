#include "automation/automation_error.hpp"

#include <new>
#include <stdexcept>

#include "automation/bstr_text.hpp"
#include "quandelstk/errors.hpp"

namespace quandelstk::automation {

HRESULT RaiseError(const ErrorSource& source, HRESULT result, const std::string& description) {
  ICreateErrorInfo* create = nullptr;
  if (FAILED(CreateErrorInfo(&create))) return result;
  create->SetGUID(*source.iid);
  create->SetSource(const_cast<LPOLESTR>(source.prog_id));
  try {
    BSTR text = ToBstr(description);
    create->SetDescription(text);
    SysFreeString(text);
  } catch (const std::bad_alloc&) {
  }
  IErrorInfo* info = nullptr;
  if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
    SetErrorInfo(0, info);
    info->Release();
  }
  create->Release();
  return result;
}

HRESULT TranslateCurrentException(const ErrorSource& source) noexcept {
  try {
    throw;
  } catch (const RuntimeError& e) {
    try {
      return RaiseError(source, AutomationError(e.Number()), e.Description());
    } catch (...) {
      return AutomationError(e.Number());
    }
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (const std::exception& e) {
    // Not one of the library's run-time errors: a fault of ours, reported as such.
    try {
      return RaiseError(source, E_UNEXPECTED, std::string("Internal error: ") + e.what());
    } catch (...) {
      return E_UNEXPECTED;
    }
  } catch (...) {
    return E_UNEXPECTED;
  }
}

}  // namespace quandelstk::automation
