// Portable layer: runtime strings (an immutable, zero-terminated UTF-16 buffer behind an
// opaque handle) and task memory. Windows builds use the platform's own.

#include <cstdlib>
#include <cstring>
#include <new>

#include "runtime/abi.h"

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

void* CoTaskMemAlloc(std::size_t bytes) {
  return std::malloc(bytes);
}

void CoTaskMemFree(void* block) {
  std::free(block);
}

}  // extern "C"
