#pragma once
// Test-only: the runtime component as a host reaches it, loaded with dlopen and seen only
// through its exports, the ABI header and the COM vtable layout. The library is the one named
// by AZTEC_COMPONENT_PATH in the environment, else the one this build made (compile definition).

#include <dlfcn.h>

#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "component/runtime/abi.h"

namespace AztecTest {

// The host's own copy of the class's identity and default interface, as a host compiled
// against the published ABI holds it: a change on the component's side must break this.
inline constexpr char16_t kAztecReaderClassId[] = u"KalvaroWindows81.AztecReader";
inline constexpr IID kIidAztecReaderDefault = {
    0x619AF276, 0xBC9D, 0x5680, {0x86, 0x16, 0xC2, 0x45, 0x2A, 0x7C, 0x26, 0xC9}};

// The reader's default interface. readAztecCamera sits in its vtable slot 6, after IUnknown's
// three and IInspectable's three; it is called through the raw slot, as a C host would.
using AztecReaderDefault = IInspectable;

// Loads the library for its lifetime; throws std::runtime_error when it or an export is missing.
class Component {
 public:
  Component() {
    std::string path;
    if (const char* env = std::getenv("AZTEC_COMPONENT_PATH")) path = env;
#ifdef AZTEC_COMPONENT_PATH
    if (path.empty()) path = AZTEC_COMPONENT_PATH;
#endif
    library_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library_ == nullptr) throw std::runtime_error("cannot load the component " + path + ": " + dlerror());
    createString_ = symbol<PFN_WindowsCreateString>("WindowsCreateString");
    deleteString_ = symbol<PFN_WindowsDeleteString>("WindowsDeleteString");
    rawBuffer_ = symbol<PFN_WindowsGetStringRawBuffer>("WindowsGetStringRawBuffer");
    getFactory_ = symbol<PFN_DllGetActivationFactory>("DllGetActivationFactory");
    canUnloadNow_ = symbol<PFN_DllCanUnloadNow>("DllCanUnloadNow");
  }
  ~Component() {
    dlclose(library_);
  }
  Component(const Component&) = delete;
  Component& operator=(const Component&) = delete;

  HRESULT canUnloadNow() const {
    return canUnloadNow_();
  }

  // DllGetActivationFactory for a class id (empty: a null HSTRING).
  HRESULT factoryFor(std::u16string_view classId, IActivationFactory** factory) const {
    HSTRING id = nullptr;
    if (createString_(classId.data(), static_cast<UINT32>(classId.size()), &id) != S_OK)
      throw std::runtime_error("WindowsCreateString failed");
    const HRESULT hr = getFactory_(id, factory);
    deleteString_(id);
    return hr;
  }

  // A new AztecReader as the interface `iid` (one reference owned by the caller); throws on failure.
  template <class T = AztecReaderDefault>
  T* activate(const IID& iid = kIidAztecReaderDefault) const {
    IActivationFactory* factory = nullptr;
    if (factoryFor(kAztecReaderClassId, &factory) != S_OK)
      throw std::runtime_error("DllGetActivationFactory failed");
    IInspectable* instance = nullptr;
    const HRESULT made = factory->ActivateInstance(&instance);
    factory->Release();
    if (made != S_OK) throw std::runtime_error("ActivateInstance failed");
    void* reader = nullptr;
    const HRESULT queried = instance->QueryInterface(iid, &reader);
    instance->Release();
    if (queried != S_OK) throw std::runtime_error("QueryInterface for the reader's interface failed");
    return static_cast<T*>(reader);
  }

  // The string's text; the string is deleted.
  std::u16string take(HSTRING s) const {
    UINT32 length = 0;
    const char16_t* text = rawBuffer_(s, &length);
    std::u16string result(text, length);
    deleteString_(s);
    return result;
  }

  // readAztecCamera through slot 6 of the default interface's vtable.
  static HRESULT callRead(void* reader, const std::vector<std::uint8_t>& pixels, INT32 width, INT32 height,
                          HSTRING* result) {
    using Slot = HRESULT (*)(void*, UINT32, const BYTE*, INT32, INT32, HSTRING*);
    void** vtable = *reinterpret_cast<void***>(reader);
    return reinterpret_cast<Slot>(vtable[6])(reader, static_cast<UINT32>(pixels.size()), pixels.data(), width,
                                             height, result);
  }

  struct Answer {
    HRESULT hr = E_FAIL;
    std::u16string text;
    bool operator==(const Answer&) const = default;
  };

  Answer read(void* reader, const std::vector<std::uint8_t>& pixels, int width, int height) const {
    HSTRING result = nullptr;
    const HRESULT hr = callRead(reader, pixels, width, height, &result);
    return {hr, take(result)};
  }

 private:
  template <class F>
  F symbol(const char* name) {
    auto f = reinterpret_cast<F>(dlsym(library_, name));
    if (f == nullptr) throw std::runtime_error(std::string("the component does not export ") + name);
    return f;
  }

  void* library_ = nullptr;
  PFN_WindowsCreateString createString_ = nullptr;
  PFN_WindowsDeleteString deleteString_ = nullptr;
  PFN_WindowsGetStringRawBuffer rawBuffer_ = nullptr;
  PFN_DllGetActivationFactory getFactory_ = nullptr;
  PFN_DllCanUnloadNow canUnloadNow_ = nullptr;
};

}  // namespace AztecTest
