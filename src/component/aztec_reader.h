#pragma once
// KalvaroWindows81::AztecReader, the component's one runtime class, and its activation factory.

#include "frame_reader.h"
#include "runtime/kalvaro_windows81.h"
#include "runtime/module.h"
#include "runtime/object.h"

namespace KalvaroWindows81 {

// Agile and stateless between calls, so concurrent calls on one instance are safe.
class AztecReader final : public __IAztecReaderPublicNonVirtuals,
                          public IWeakReferenceSource,
                          public IAgileObject {
 public:
  // The instance starts with one reference, owned by the creator.
  explicit AztecReader(Detail::DecoderFactory makeDecoder = Detail::makeCoreDecoder);

  IInspectable* identity() noexcept { return static_cast<__IAztecReaderPublicNonVirtuals*>(this); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetIids(ULONG* iidCount, IID** iids) override;
  HRESULT STDMETHODCALLTYPE GetRuntimeClassName(HSTRING* className) override;
  HRESULT STDMETHODCALLTYPE GetTrustLevel(TrustLevel* trustLevel) override;
  HRESULT STDMETHODCALLTYPE readAztecCamera(UINT32 pixelCount, const BYTE* pixels, INT32 width, INT32 height,
                                            HSTRING* result) override;
  HRESULT STDMETHODCALLTYPE GetWeakReference(IWeakReference** weakReference) override;

 private:
  ~AztecReader();

  AztecRuntime::ModuleObjectToken token_;
  Detail::DecoderFactory makeDecoder_;  // the core Decoder except under test
  AztecRuntime::ControlBlock* control_;
  AztecRuntime::MarshalerSlot marshaler_;
};

// Owned by the module's class table: Release never destroys it. Every reference handed out
// counts as a live module object until released.
class __AztecReaderActivationFactory final : public IActivationFactory, public IAgileObject {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetIids(ULONG* iidCount, IID** iids) override;
  HRESULT STDMETHODCALLTYPE GetRuntimeClassName(HSTRING* className) override;
  HRESULT STDMETHODCALLTYPE GetTrustLevel(TrustLevel* trustLevel) override;
  HRESULT STDMETHODCALLTYPE ActivateInstance(IInspectable** instance) override;

 private:
  std::atomic<ULONG> references_{0};
  AztecRuntime::MarshalerSlot marshaler_;
};

}  // namespace KalvaroWindows81
