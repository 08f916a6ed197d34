#pragma once
// The runtime component as a host reaches it: loaded with dlopen, activated through its exported
// DllGetActivationFactory, readAztecCamera called through the default interface's vtable.
//
// The library is looked up in AZTEC_COMPONENT_PATH if set, else beside this build's test
// programs (<build>/src/component/ next to <build>/tests/). Build it with the tests:
//   cmake --build <build> --target aztec_component test_concurrency

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "component/runtime/abi.h"

namespace AztecTest {

// The host's own copy of the class's identity and default interface, as a host compiled
// against the published ABI holds it: a change on the component's side must break this.
inline constexpr char16_t kAztecReaderClassId[] = u"KalvaroWindows81.AztecReader";
inline constexpr IID kIidAztecReaderDefault = {
    0x619AF276, 0xBC9D, 0x5680, {0x86, 0x16, 0xC2, 0x45, 0x2A, 0x7C, 0x26, 0xC9}};

// The reader's default interface. readAztecCamera sits in its vtable slot 6, after IUnknown's
// three and IInspectable's three; it is called through the raw slot, as a C host would, since
// this program has no declaration of the component's own class.
using AztecReaderDefault = IInspectable;

// Sends standard output to /dev/null while it lives: every readAztecCamera call writes its
// trace there, thousands of times in these tests.
class QuietStdout {
 public:
  QuietStdout() {
    std::fflush(stdout);
    saved_ = dup(STDOUT_FILENO);
    const int devNull = open("/dev/null", O_WRONLY);
    if (saved_ >= 0 && devNull >= 0) dup2(devNull, STDOUT_FILENO);
    if (devNull >= 0) close(devNull);
  }
  ~QuietStdout() {
    std::fflush(stdout);
    if (saved_ >= 0) {
      dup2(saved_, STDOUT_FILENO);
      close(saved_);
    }
  }
  QuietStdout(const QuietStdout&) = delete;
  QuietStdout& operator=(const QuietStdout&) = delete;

 private:
  int saved_ = -1;
};

class Component {
 public:
  Component() {
    const std::string path = libraryPath();
    library_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library_ == nullptr) throw std::runtime_error("cannot load the component " + path + ": " + dlerror());
    createString_ = symbol<PFN_WindowsCreateString>("WindowsCreateString");
    deleteString_ = symbol<PFN_WindowsDeleteString>("WindowsDeleteString");
    rawBuffer_ = symbol<PFN_WindowsGetStringRawBuffer>("WindowsGetStringRawBuffer");
    getFactory_ = symbol<PFN_DllGetActivationFactory>("DllGetActivationFactory");
    canUnloadNow_ = symbol<PFN_DllCanUnloadNow>("DllCanUnloadNow");
  }
  ~Component() { dlclose(library_); }
  Component(const Component&) = delete;
  Component& operator=(const Component&) = delete;

  // A new AztecReader (its default interface, one reference owned by the caller); throws on failure.
  AztecReaderDefault* activate() const {
    const std::u16string_view id = kAztecReaderClassId;
    HSTRING classId = nullptr;
    if (createString_(id.data(), static_cast<UINT32>(id.size()), &classId) != S_OK)
      throw std::runtime_error("WindowsCreateString failed");
    IActivationFactory* factory = nullptr;
    const HRESULT hr = getFactory_(classId, &factory);
    deleteString_(classId);
    if (hr != S_OK) throw std::runtime_error("DllGetActivationFactory failed");
    IInspectable* instance = nullptr;
    const HRESULT made = factory->ActivateInstance(&instance);
    factory->Release();
    if (made != S_OK) throw std::runtime_error("ActivateInstance failed");
    void* reader = nullptr;
    const HRESULT queried = instance->QueryInterface(kIidAztecReaderDefault, &reader);
    instance->Release();
    if (queried != S_OK) throw std::runtime_error("QueryInterface for the default interface failed");
    return static_cast<AztecReaderDefault*>(reader);
  }

  struct Answer {
    HRESULT hr = E_FAIL;
    std::u16string text;
    bool operator==(const Answer&) const = default;
  };

  // readAztecCamera through the default interface; the returned string is read and deleted.
  Answer read(AztecReaderDefault* reader, const std::vector<std::uint8_t>& pixels, int width, int height) const {
    using Slot = HRESULT (*)(void*, UINT32, const BYTE*, INT32, INT32, HSTRING*);
    void** vtable = *reinterpret_cast<void***>(reader);
    HSTRING result = nullptr;
    Answer answer;
    answer.hr = reinterpret_cast<Slot>(vtable[6])(reader, static_cast<UINT32>(pixels.size()), pixels.data(), width,
                                                  height, &result);
    UINT32 length = 0;
    const char16_t* text = rawBuffer_(result, &length);
    answer.text.assign(text, length);
    deleteString_(result);
    return answer;
  }

  bool canUnloadNow() const { return canUnloadNow_() == S_OK; }

 private:
  static std::string libraryPath() {
    if (const char* path = std::getenv("AZTEC_COMPONENT_PATH")) return path;
    std::string self(4096, '\0');
    const ssize_t n = readlink("/proc/self/exe", self.data(), self.size());
    if (n <= 0) throw std::runtime_error("cannot find this program's path");
    self.resize(static_cast<std::size_t>(n));
    const std::string testsDir = self.substr(0, self.rfind('/'));
    return testsDir.substr(0, testsDir.rfind('/')) + "/src/component/libAztecReaderComponent.so";
  }

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
