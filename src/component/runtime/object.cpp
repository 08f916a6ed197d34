// Weak-reference control block and the marshaler slot.

#include "runtime/object.h"

namespace AztecRuntime {

HRESULT STDMETHODCALLTYPE ControlBlock::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IWeakReference) {
    *object = static_cast<IWeakReference*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE ControlBlock::AddRef() {
  return weak_.fetch_add(1, std::memory_order_relaxed) + 1;
}

ULONG STDMETHODCALLTYPE ControlBlock::Release() {
  const ULONG remaining = weak_.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (remaining == 0) delete this;
  return remaining;
}

HRESULT STDMETHODCALLTYPE ControlBlock::Resolve(REFIID riid, IInspectable** object) {
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

HRESULT MarshalerSlot::query(IUnknown* outer, void** object) noexcept {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  IUnknown* marshaler = slot_.load(std::memory_order_acquire);
  if (marshaler == nullptr) {
    IUnknown* fresh = nullptr;
    const HRESULT hr = CoCreateFreeThreadedMarshaler(outer, &fresh);
    if (FAILED(hr)) return hr;
    // Racing first queries each make one; the first stored wins and the others are released.
    if (slot_.compare_exchange_strong(marshaler, fresh, std::memory_order_acq_rel,
                                      std::memory_order_acquire)) {
      marshaler = fresh;
    } else {
      fresh->Release();
    }
  }
  // The aggregated marshaler's IMarshal counts its references on `outer`.
  return marshaler->QueryInterface(IID_IMarshal, object);
}

}  // namespace AztecRuntime
