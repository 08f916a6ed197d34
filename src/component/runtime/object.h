#pragma once
// Building blocks for reference-counted runtime objects: a control block that holds the
// strong count and serves weak references, and the slot of the per-object free-threaded
// marshaler.

#include <atomic>

#include "runtime/abi.h"
#include "runtime/module.h"

namespace AztecRuntime {

// Holds an object's strong count apart from the object, so a weak reference can still test
// it after the object is gone. The object keeps one weak reference on it for its own
// lifetime; every IWeakReference handed out holds another.
class ControlBlock final : public IWeakReference {
 public:
  // `owner` is the object's identity; its Release must call releaseStrong.
  explicit ControlBlock(IInspectable* owner) noexcept : owner_(owner) {}

  ULONG addStrong() noexcept { return strong_.fetch_add(1, std::memory_order_relaxed) + 1; }
  // The new count; at zero the owner destroys itself and then drops its weak reference.
  ULONG releaseStrong() noexcept { return strong_.fetch_sub(1, std::memory_order_acq_rel) - 1; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE Resolve(REFIID riid, IInspectable** object) override;

 private:
  ~ControlBlock() = default;

  ModuleObjectToken token_;
  IInspectable* owner_;
  std::atomic<ULONG> strong_{1};
  std::atomic<ULONG> weak_{1};
};

// An object's free-threaded marshaler (the platform's, aggregated by the object): created on
// the first IMarshal query, released with the object.
class MarshalerSlot {
 public:
  MarshalerSlot() = default;
  ~MarshalerSlot() {
    if (IUnknown* marshaler = slot_.load(std::memory_order_acquire)) marshaler->Release();
  }
  MarshalerSlot(const MarshalerSlot&) = delete;
  MarshalerSlot& operator=(const MarshalerSlot&) = delete;

  // Answers IMarshal for `outer`, adding a reference to it.
  HRESULT query(IUnknown* outer, void** object) noexcept;

 private:
  std::atomic<IUnknown*> slot_{nullptr};  // the marshaler's own IUnknown
};

}  // namespace AztecRuntime
