// Portable layer: the free-threaded marshaler. There are no apartments or processes to marshal
// between in this runtime, so only the unmarshal class (the platform's in-process free-threaded
// marshaler) is answered; the rest report E_NOTIMPL. Windows builds use the platform's own.

#include <atomic>
#include <new>

#include "runtime/abi.h"

namespace {

// Aggregated: IMarshal's IUnknown methods delegate to the owning object, whose identity it
// presents; the separate inner IUnknown owns the marshaler's lifetime.
class FreeThreadedMarshaler final : public IMarshal {
 public:
  explicit FreeThreadedMarshaler(IUnknown* outer) noexcept : outer_(outer), inner_(*this) {}

  IUnknown* inner() noexcept { return &inner_; }

  HRESULT QueryInterface(REFIID riid, void** object) override { return outer_->QueryInterface(riid, object); }
  ULONG AddRef() override { return outer_->AddRef(); }
  ULONG Release() override { return outer_->Release(); }

  HRESULT GetUnmarshalClass(REFIID, void*, ULONG, void*, ULONG, CLSID* clsid) override {
    if (clsid == nullptr) return E_POINTER;
    *clsid = CLSID_InProcFreeMarshaler;
    return S_OK;
  }
  HRESULT GetMarshalSizeMax(REFIID, void*, ULONG, void*, ULONG, ULONG* size) override {
    if (size != nullptr) *size = 0;
    return E_NOTIMPL;
  }
  HRESULT MarshalInterface(IStream*, REFIID, void*, ULONG, void*, ULONG) override { return E_NOTIMPL; }
  HRESULT UnmarshalInterface(IStream*, REFIID, void** object) override {
    if (object != nullptr) *object = nullptr;
    return E_NOTIMPL;
  }
  HRESULT ReleaseMarshalData(IStream*) override { return E_NOTIMPL; }
  HRESULT DisconnectObject(ULONG) override { return S_OK; }

 private:
  class Inner final : public IUnknown {
   public:
    explicit Inner(FreeThreadedMarshaler& owner) noexcept : owner_(owner) {}
    HRESULT QueryInterface(REFIID riid, void** object) override {
      if (object == nullptr) return E_POINTER;
      if (riid == IID_IUnknown) {
        *object = static_cast<IUnknown*>(this);
        AddRef();
      } else if (riid == IID_IMarshal) {
        *object = static_cast<IMarshal*>(&owner_);
        owner_.AddRef();
      } else {
        *object = nullptr;
        return E_NOINTERFACE;
      }
      return S_OK;
    }
    ULONG AddRef() override { return references_.fetch_add(1, std::memory_order_relaxed) + 1; }
    ULONG Release() override {
      const ULONG remaining = references_.fetch_sub(1, std::memory_order_acq_rel) - 1;
      if (remaining == 0) delete &owner_;
      return remaining;
    }

   private:
    FreeThreadedMarshaler& owner_;
    std::atomic<ULONG> references_{1};
  };

  ~FreeThreadedMarshaler() = default;

  IUnknown* outer_;
  Inner inner_;
};

}  // namespace

extern "C" HRESULT CoCreateFreeThreadedMarshaler(IUnknown* outer, IUnknown** marshaler) {
  if (marshaler == nullptr) return E_INVALIDARG;
  *marshaler = nullptr;
  if (outer == nullptr) return E_INVALIDARG;
  auto* created = new (std::nothrow) FreeThreadedMarshaler(outer);
  if (created == nullptr) return E_OUTOFMEMORY;
  *marshaler = created->inner();
  return S_OK;
}
