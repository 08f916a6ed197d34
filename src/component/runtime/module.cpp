// Module object, exception translation and factory lookup.

#include "runtime/module.h"

#include <cstdint>
#include <new>
#include <stdexcept>

namespace AztecRuntime {

namespace {

constinit Module theModule;

}  // namespace

Module& Module::instance() noexcept {
  return theModule;
}

std::u16string_view viewOf(HSTRING string) noexcept {
  UINT32 length = 0;
  PCNZWCH text = WindowsGetStringRawBuffer(string, &length);
  return {reinterpret_cast<const char16_t*>(text), length};
}

HSTRING makeString(std::u16string_view text) {
  if (text.size() > UINT32_MAX) throw RuntimeError(E_INVALIDARG);
  HSTRING string = nullptr;
  const HRESULT hr =
      WindowsCreateString(platformText(text.data()), static_cast<UINT32>(text.size()), &string);
  if (FAILED(hr)) throw RuntimeError(hr);
  return string;
}

HRESULT translateCurrentException() noexcept {
  try {
    throw;
  } catch (const RuntimeError& e) {
    return e.result();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (const std::invalid_argument&) {
    return E_INVALIDARG;
  } catch (const std::out_of_range&) {
    return E_BOUNDS;
  } catch (...) {
    return E_FAIL;
  }
}

HRESULT getActivationFactory(ActivatableClass* classes, std::size_t count, HSTRING classId,
                             IActivationFactory** factory) noexcept {
  if (factory == nullptr) return E_POINTER;
  *factory = nullptr;
  const std::u16string_view wanted = viewOf(classId);
  for (std::size_t i = 0; i < count; ++i) {
    ActivatableClass& entry = classes[i];
    if (entry.classId != wanted) continue;
    IActivationFactory* cached = entry.cache.load(std::memory_order_acquire);
    if (cached == nullptr) {
      IActivationFactory* fresh = nullptr;
      try {
        fresh = entry.create();
      } catch (...) {
        return translateCurrentException();
      }
      // Two first requests may race; the loser's factory is dropped so every caller shares one.
      if (entry.cache.compare_exchange_strong(cached, fresh, std::memory_order_acq_rel,
                                              std::memory_order_acquire)) {
        cached = fresh;
      } else {
        entry.destroy(fresh);
      }
    }
    cached->AddRef();
    *factory = cached;
    return S_OK;
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

void releaseFactories(ActivatableClass* classes, std::size_t count) noexcept {
  for (std::size_t i = 0; i < count; ++i) {
    if (IActivationFactory* cached = classes[i].cache.exchange(nullptr)) classes[i].destroy(cached);
  }
}

}  // namespace AztecRuntime
