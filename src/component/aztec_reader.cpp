#include "aztec_reader.h"

#include <cstring>
#include <initializer_list>
#include <utility>

namespace KalvaroWindows81 {

namespace {

HRESULT copyIids(std::initializer_list<IID> ids, ULONG* iidCount, IID** iids) {
  if (iidCount == nullptr || iids == nullptr) return E_POINTER;
  *iidCount = 0;
  *iids = nullptr;
  auto* block = static_cast<IID*>(CoTaskMemAlloc(ids.size() * sizeof(IID)));
  if (block == nullptr) return E_OUTOFMEMORY;
  std::memcpy(block, ids.begin(), ids.size() * sizeof(IID));
  *iidCount = static_cast<ULONG>(ids.size());
  *iids = block;
  return S_OK;
}

HRESULT className(std::u16string_view name, HSTRING* out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  return WindowsCreateString(AztecRuntime::platformText(name.data()), static_cast<UINT32>(name.size()), out);
}

}  // namespace

// ---- AztecReader ----

AztecReader::AztecReader(Detail::DecoderFactory makeDecoder)
    : makeDecoder_(std::move(makeDecoder)), control_(new AztecRuntime::ControlBlock(identity())) {}

AztecReader::~AztecReader() {
  control_->Release();
}

HRESULT STDMETHODCALLTYPE AztecReader::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (riid == IID_IUnknown || riid == IID_IInspectable || riid == IID___IAztecReaderPublicNonVirtuals) {
    *object = identity();
  } else if (riid == IID_IWeakReferenceSource) {
    *object = static_cast<IWeakReferenceSource*>(this);
  } else if (riid == IID_IAgileObject) {
    *object = static_cast<IAgileObject*>(this);
  } else if (riid == IID_IMarshal) {
    return marshaler_.query(identity(), object);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG STDMETHODCALLTYPE AztecReader::AddRef() {
  return control_->addStrong();
}

ULONG STDMETHODCALLTYPE AztecReader::Release() {
  const ULONG remaining = control_->releaseStrong();
  if (remaining == 0) delete this;
  return remaining;
}

HRESULT STDMETHODCALLTYPE AztecReader::GetIids(ULONG* iidCount, IID** iids) {
  return copyIids({IID___IAztecReaderPublicNonVirtuals, IID_IWeakReferenceSource}, iidCount, iids);
}

HRESULT STDMETHODCALLTYPE AztecReader::GetRuntimeClassName(HSTRING* name) {
  return className(AztecReaderClassId, name);
}

HRESULT STDMETHODCALLTYPE AztecReader::GetTrustLevel(TrustLevel* trustLevel) {
  if (trustLevel == nullptr) return E_POINTER;
  *trustLevel = BaseTrust;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE AztecReader::readAztecCamera(UINT32 pixelCount, const BYTE* pixels, INT32 width,
                                                       INT32 height, HSTRING* result) {
  if (result == nullptr) return E_POINTER;
  *result = nullptr;
  try {
    *result = Detail::readFrame(makeDecoder_, pixels, pixelCount, width, height);
    return S_OK;
  } catch (...) {
    return AztecRuntime::translateCurrentException();
  }
}

HRESULT STDMETHODCALLTYPE AztecReader::GetWeakReference(IWeakReference** weakReference) {
  if (weakReference == nullptr) return E_POINTER;
  control_->AddRef();
  *weakReference = control_;
  return S_OK;
}

// ---- __AztecReaderActivationFactory ----

HRESULT STDMETHODCALLTYPE __AztecReaderActivationFactory::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (riid == IID_IUnknown || riid == IID_IInspectable || riid == IID_IActivationFactory) {
    *object = static_cast<IActivationFactory*>(this);
  } else if (riid == IID_IAgileObject) {
    *object = static_cast<IAgileObject*>(this);
  } else if (riid == IID_IMarshal) {
    return marshaler_.query(static_cast<IActivationFactory*>(this), object);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG STDMETHODCALLTYPE __AztecReaderActivationFactory::AddRef() {
  AztecRuntime::Module::instance().incrementObjectCount();
  return references_.fetch_add(1, std::memory_order_relaxed) + 1;
}

ULONG STDMETHODCALLTYPE __AztecReaderActivationFactory::Release() {
  const ULONG remaining = references_.fetch_sub(1, std::memory_order_acq_rel) - 1;
  AztecRuntime::Module::instance().decrementObjectCount();
  return remaining;
}

HRESULT STDMETHODCALLTYPE __AztecReaderActivationFactory::GetIids(ULONG* iidCount, IID** iids) {
  return copyIids({IID_IActivationFactory}, iidCount, iids);
}

HRESULT STDMETHODCALLTYPE __AztecReaderActivationFactory::GetRuntimeClassName(HSTRING* name) {
  return className(u"KalvaroWindows81.__AztecReaderActivationFactory", name);
}

HRESULT STDMETHODCALLTYPE __AztecReaderActivationFactory::GetTrustLevel(TrustLevel* trustLevel) {
  if (trustLevel == nullptr) return E_POINTER;
  *trustLevel = BaseTrust;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE __AztecReaderActivationFactory::ActivateInstance(IInspectable** instance) {
  if (instance == nullptr) return E_POINTER;
  *instance = nullptr;
  try {
    *instance = (new AztecReader())->identity();
    return S_OK;
  } catch (...) {
    return AztecRuntime::translateCurrentException();
  }
}

}  // namespace KalvaroWindows81
