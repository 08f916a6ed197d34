#pragma once
// Building blocks for reference-counted runtime objects: a control block that holds the
// strong count and serves weak references, and the per-object free-threaded marshaler.

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

  HRESULT QueryInterface(REFIID riid, void** object) override;
  ULONG AddRef() override;
  ULONG Release() override;
  HRESULT Resolve(REFIID riid, IInspectable** object) override;

 private:
  ~ControlBlock() = default;

  ModuleObjectToken token_;
  IInspectable* owner_;
  std::atomic<ULONG> strong_{1};
  std::atomic<ULONG> weak_{1};
};

// The free-threaded marshaler that answers an object's IMarshal queries. It is aggregated:
// its IUnknown methods delegate to the owning object, whose identity it presents. There are
// no apartments or processes to marshal between in this runtime, so only the unmarshal class
// (the platform's in-process free-threaded marshaler) is answered; the rest report E_NOTIMPL.
class FreeThreadedMarshaler final : public IMarshal {
 public:
  explicit FreeThreadedMarshaler(IUnknown* outer) noexcept : outer_(outer) {}

  HRESULT QueryInterface(REFIID riid, void** object) override { return outer_->QueryInterface(riid, object); }
  ULONG AddRef() override { return outer_->AddRef(); }
  ULONG Release() override { return outer_->Release(); }

  HRESULT GetUnmarshalClass(REFIID, void*, ULONG, void*, ULONG, CLSID* clsid) override;
  HRESULT GetMarshalSizeMax(REFIID, void*, ULONG, void*, ULONG, ULONG* size) override;
  HRESULT MarshalInterface(IStream*, REFIID, void*, ULONG, void*, ULONG) override { return E_NOTIMPL; }
  HRESULT UnmarshalInterface(IStream*, REFIID, void** object) override;
  HRESULT ReleaseMarshalData(IStream*) override { return E_NOTIMPL; }
  HRESULT DisconnectObject(ULONG) override { return S_OK; }

 private:
  IUnknown* outer_;
};

// An object's marshaler slot: created on the first IMarshal query, freed with the object.
class MarshalerSlot {
 public:
  MarshalerSlot() = default;
  ~MarshalerSlot() { delete slot_.load(std::memory_order_acquire); }
  MarshalerSlot(const MarshalerSlot&) = delete;
  MarshalerSlot& operator=(const MarshalerSlot&) = delete;

  // Answers IMarshal for `outer`, adding a reference to it.
  HRESULT query(IUnknown* outer, void** object) noexcept;

 private:
  std::atomic<FreeThreadedMarshaler*> slot_{nullptr};
};

}  // namespace AztecRuntime
