// Runtime strings: an immutable, zero-terminated UTF-16 buffer behind an opaque handle.

#include <cstdlib>
#include <cstring>
#include <new>

#include "runtime/abi.h"
#include "runtime/module.h"

// The header is followed in the same block by length + 1 code units.
struct HSTRING__ {
  UINT32 length;
};

namespace {

WCHAR* textOf(HSTRING string) {
  return reinterpret_cast<WCHAR*>(string + 1);
}

}  // namespace

extern "C" {

HRESULT WindowsCreateString(PCNZWCH sourceString, UINT32 length, HSTRING* string) {
  if (string == nullptr) return E_INVALIDARG;
  *string = nullptr;
  if (length == 0) return S_OK;
  if (sourceString == nullptr) return E_POINTER;
  const std::size_t bytes = sizeof(HSTRING__) + (static_cast<std::size_t>(length) + 1) * sizeof(WCHAR);
  void* block = std::malloc(bytes);
  if (block == nullptr) return E_OUTOFMEMORY;
  HSTRING created = new (block) HSTRING__{length};
  std::memcpy(textOf(created), sourceString, length * sizeof(WCHAR));
  textOf(created)[length] = u'\0';
  *string = created;
  return S_OK;
}

HRESULT WindowsDeleteString(HSTRING string) {
  std::free(string);
  return S_OK;
}

PCNZWCH WindowsGetStringRawBuffer(HSTRING string, UINT32* length) {
  if (string == nullptr) {
    if (length != nullptr) *length = 0;
    return u"";
  }
  if (length != nullptr) *length = string->length;
  return textOf(string);
}

UINT32 WindowsGetStringLen(HSTRING string) {
  return string == nullptr ? 0 : string->length;
}

void CoTaskMemFree(void* block) {
  std::free(block);
}

}  // extern "C"

namespace AztecRuntime {

HSTRING makeString(std::u16string_view text) {
  if (text.size() > UINT32_MAX) throw RuntimeError(E_INVALIDARG);
  HSTRING string = nullptr;
  const HRESULT hr = WindowsCreateString(text.data(), static_cast<UINT32>(text.size()), &string);
  if (FAILED(hr)) throw RuntimeError(hr);
  return string;
}

void* coTaskMemAlloc(std::size_t bytes) noexcept {
  return std::malloc(bytes);
}

}  // namespace AztecRuntime
