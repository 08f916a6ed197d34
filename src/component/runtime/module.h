#pragma once
// Component-side runtime support: the module's live-object count, runtime errors and their
// translation into HRESULTs, string helpers, and the table of activatable classes.

#include <atomic>
#include <cstddef>
#include <exception>
#include <string_view>

#include "runtime/abi.h"

namespace AztecRuntime {

// An HRESULT raised as an exception, as the runtime does for a failing platform call.
class RuntimeError : public std::exception {
 public:
  explicit RuntimeError(HRESULT hr) : hr_(hr) {}
  HRESULT result() const noexcept { return hr_; }
  const char* what() const noexcept override { return "runtime call failed"; }

 private:
  HRESULT hr_;
};

// Maps the exception in flight to an HRESULT. Call only inside a catch handler.
HRESULT translateCurrentException() noexcept;

// The component spells UTF-16 as char16_t; the platform's unit (WCHAR) is the same 16 bits,
// spelt wchar_t on Windows.
static_assert(sizeof(WCHAR) == sizeof(char16_t));
inline PCNZWCH platformText(const char16_t* text) noexcept {
  return reinterpret_cast<PCNZWCH>(text);
}
// The text of a runtime string; empty for the null handle.
std::u16string_view viewOf(HSTRING string) noexcept;

// New runtime string holding `text`; the null handle for empty text. Throws RuntimeError.
HSTRING makeString(std::u16string_view text);

// Process-wide module object. It counts the objects and outstanding factory references that
// keep the library's code in use; the library may unload when the count is zero.
class Module {
 public:
  static Module& instance() noexcept;

  void incrementObjectCount() noexcept { count_.fetch_add(1, std::memory_order_relaxed); }
  void decrementObjectCount() noexcept { count_.fetch_sub(1, std::memory_order_acq_rel); }
  long objectCount() const noexcept { return count_.load(std::memory_order_acquire); }
  bool canUnload() const noexcept { return objectCount() == 0; }

 private:
  // Signed: a release racing an acquire may dip below zero for a moment.
  std::atomic<long> count_{0};
};

// Member that counts its owner as a live module object for exactly the owner's lifetime,
// also when the owner's constructor throws after it.
class ModuleObjectToken {
 public:
  ModuleObjectToken() noexcept { Module::instance().incrementObjectCount(); }
  ~ModuleObjectToken() { Module::instance().decrementObjectCount(); }
  ModuleObjectToken(const ModuleObjectToken&) = delete;
  ModuleObjectToken& operator=(const ModuleObjectToken&) = delete;
};

// One entry of the module's class table. The cache keeps the factory, once made, until the
// table is destroyed with the library.
struct ActivatableClass {
  std::u16string_view classId;
  IActivationFactory* (*create)();  // throws on failure
  void (*destroy)(IActivationFactory*);
  std::atomic<IActivationFactory*> cache{nullptr};
};

// Finds the class and returns its (cached) factory with a reference for the caller; an
// unknown class ID gives CLASS_E_CLASSNOTAVAILABLE.
HRESULT getActivationFactory(ActivatableClass* classes, std::size_t count, HSTRING classId,
                             IActivationFactory** factory) noexcept;

// Destroys the cached factories; for the table's own destructor.
void releaseFactories(ActivatableClass* classes, std::size_t count) noexcept;

}  // namespace AztecRuntime
