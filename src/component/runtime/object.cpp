// Weak-reference control block and free-threaded marshaler.

#include "runtime/object.h"

#include <new>

namespace AztecRuntime {

HRESULT ControlBlock::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IWeakReference) {
    *object = static_cast<IWeakReference*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG ControlBlock::AddRef() {
  return weak_.fetch_add(1, std::memory_order_relaxed) + 1;
}

ULONG ControlBlock::Release() {
  const ULONG remaining = weak_.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (remaining == 0) delete this;
  return remaining;
}

HRESULT ControlBlock::Resolve(REFIID riid, IInspectable** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  // Take a strong reference only while the count is above zero: once it has reached zero the
  // owner is being destroyed and must not be revived.
  ULONG strong = strong_.load(std::memory_order_relaxed);
  do {
    if (strong == 0) return S_OK;
  } while (!strong_.compare_exchange_weak(strong, strong + 1, std::memory_order_acq_rel,
                                          std::memory_order_relaxed));
  const HRESULT hr = owner_->QueryInterface(riid, reinterpret_cast<void**>(object));
  owner_->Release();
  return hr;
}

HRESULT FreeThreadedMarshaler::GetUnmarshalClass(REFIID, void*, ULONG, void*, ULONG, CLSID* clsid) {
  if (clsid == nullptr) return E_POINTER;
  *clsid = CLSID_InProcFreeMarshaler;
  return S_OK;
}

HRESULT FreeThreadedMarshaler::GetMarshalSizeMax(REFIID, void*, ULONG, void*, ULONG, ULONG* size) {
  if (size != nullptr) *size = 0;
  return E_NOTIMPL;
}

HRESULT FreeThreadedMarshaler::UnmarshalInterface(IStream*, REFIID, void** object) {
  if (object != nullptr) *object = nullptr;
  return E_NOTIMPL;
}

HRESULT MarshalerSlot::query(IUnknown* outer, void** object) noexcept {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  FreeThreadedMarshaler* marshaler = slot_.load(std::memory_order_acquire);
  if (marshaler == nullptr) {
    auto* fresh = new (std::nothrow) FreeThreadedMarshaler(outer);
    if (fresh == nullptr) return E_OUTOFMEMORY;
    // Racing first queries each make one; the first stored wins and the others are freed.
    if (slot_.compare_exchange_strong(marshaler, fresh, std::memory_order_acq_rel,
                                      std::memory_order_acquire)) {
      marshaler = fresh;
    } else {
      delete fresh;
    }
  }
  *object = static_cast<IMarshal*>(marshaler);
  marshaler->AddRef();
  return S_OK;
}

}  // namespace AztecRuntime
