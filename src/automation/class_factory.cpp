#include "automation/class_factory.hpp"

#include <atomic>
#include <new>

#include "automation/module.hpp"

namespace quandelstk::automation {

namespace {

class ClassFactory final : public IClassFactory {
 public:
  explicit ClassFactory(const ClassEntry& entry) : entry_(entry) { ObjectCreated(); }
  ~ClassFactory() { ObjectDestroyed(); }
  ClassFactory(const ClassFactory&) = delete;
  ClassFactory& operator=(const ClassFactory&) = delete;

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
      *out = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return entry_.create(iid, out);
  }
  STDMETHODIMP LockServer(BOOL lock) override {
    automation::LockServer(lock != FALSE);
    return S_OK;
  }

 private:
  std::atomic<ULONG> references_{1};
  const ClassEntry& entry_;
};

}  // namespace

HRESULT GetClassFactory(const ClassEntry& entry, REFIID iid, void** out) noexcept {
  if (!out) return E_POINTER;
  *out = nullptr;
  auto* factory = new (std::nothrow) ClassFactory(entry);
  if (!factory) return E_OUTOFMEMORY;
  const HRESULT hr = factory->QueryInterface(iid, out);
  factory->Release();
  return hr;
}

}  // namespace quandelstk::automation
