#pragma once
// Host-facing binary interface of the component: the runtime types, result codes, interfaces
// and exported functions a host needs to activate a class and exchange strings with it.
// These are this project's own small declarations of the Windows Runtime ABI, laid out the
// same way (COM vtable order, UTF-16 strings behind an opaque handle), so that a host written
// against that ABI works unchanged.
//
// Interfaces are classes of pure virtual functions with no virtual destructor: under the
// Itanium C++ ABI such a class has exactly one vtable slot per method, in declaration order,
// which is COM's layout. Objects are destroyed by their own Release, never through delete.

#include <cstdint>

#if defined(__GNUC__)
#define AZTEC_RT_EXPORT __attribute__((visibility("default")))
#else
#define AZTEC_RT_EXPORT
#endif

// ---- scalar types ----
using HRESULT = std::int32_t;
using ULONG = std::uint32_t;
using UINT32 = std::uint32_t;
using INT32 = std::int32_t;
using BYTE = std::uint8_t;
using WCHAR = char16_t;  // one UTF-16 code unit
using PCNZWCH = const WCHAR*;

// Opaque runtime string handle. The null handle is the empty string.
struct HSTRING__;
using HSTRING = HSTRING__*;

struct GUID {
  std::uint32_t Data1;
  std::uint16_t Data2;
  std::uint16_t Data3;
  std::uint8_t Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFIID = const IID&;

constexpr bool operator==(const GUID& a, const GUID& b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
  for (int i = 0; i < 8; ++i)
    if (a.Data4[i] != b.Data4[i]) return false;
  return true;
}

// ---- result codes ----
constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_BOUNDS = static_cast<HRESULT>(0x8000000Bu);
constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = static_cast<HRESULT>(0x80040111u);
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);

constexpr bool SUCCEEDED(HRESULT hr) {
  return hr >= 0;
}
constexpr bool FAILED(HRESULT hr) {
  return hr < 0;
}

enum TrustLevel : std::int32_t { BaseTrust = 0, PartialTrust = 1, FullTrust = 2 };

// ---- interface IDs (the platform's well-known values) ----
constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID IID_IInspectable = {
    0xAF86E2E0, 0xB12D, 0x4C6A, {0x9C, 0x5A, 0xD7, 0xAA, 0x65, 0x10, 0x1E, 0x90}};
constexpr IID IID_IActivationFactory = {0x00000035, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID IID_IWeakReference = {0x00000037, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID IID_IWeakReferenceSource = {0x00000038, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID IID_IAgileObject = {
    0x94EA2B94, 0xE9CC, 0x49E0, {0xC0, 0xFF, 0xEE, 0x64, 0xCA, 0x8F, 0x5B, 0x90}};
constexpr IID IID_IMarshal = {0x00000003, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr CLSID CLSID_InProcFreeMarshaler = {0x0000033A, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// ---- interfaces ----
struct IUnknown {
  virtual HRESULT QueryInterface(REFIID riid, void** object) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  ~IUnknown() = default;
};

struct IInspectable : IUnknown {
  // *iids is allocated with CoTaskMemAlloc; the caller frees it with CoTaskMemFree.
  virtual HRESULT GetIids(ULONG* iidCount, IID** iids) = 0;
  virtual HRESULT GetRuntimeClassName(HSTRING* className) = 0;
  virtual HRESULT GetTrustLevel(TrustLevel* trustLevel) = 0;

 protected:
  ~IInspectable() = default;
};

struct IActivationFactory : IInspectable {
  virtual HRESULT ActivateInstance(IInspectable** instance) = 0;

 protected:
  ~IActivationFactory() = default;
};

struct IWeakReference : IUnknown {
  // S_OK with *object null once the referenced object is gone.
  virtual HRESULT Resolve(REFIID riid, IInspectable** object) = 0;

 protected:
  ~IWeakReference() = default;
};

struct IWeakReferenceSource : IUnknown {
  virtual HRESULT GetWeakReference(IWeakReference** weakReference) = 0;

 protected:
  ~IWeakReferenceSource() = default;
};

// Marker: the object may be called from any thread without marshaling.
struct IAgileObject : IUnknown {
 protected:
  ~IAgileObject() = default;
};

struct IStream;  // only ever passed through; there are no apartments to marshal between here

struct IMarshal : IUnknown {
  virtual HRESULT GetUnmarshalClass(REFIID riid, void* object, ULONG destContext, void* reserved, ULONG flags,
                                    CLSID* clsid) = 0;
  virtual HRESULT GetMarshalSizeMax(REFIID riid, void* object, ULONG destContext, void* reserved, ULONG flags,
                                    ULONG* size) = 0;
  virtual HRESULT MarshalInterface(IStream* stream, REFIID riid, void* object, ULONG destContext,
                                   void* reserved, ULONG flags) = 0;
  virtual HRESULT UnmarshalInterface(IStream* stream, REFIID riid, void** object) = 0;
  virtual HRESULT ReleaseMarshalData(IStream* stream) = 0;
  virtual HRESULT DisconnectObject(ULONG reserved) = 0;

 protected:
  ~IMarshal() = default;
};

// ---- exported functions ----
extern "C" {
// Runtime strings. A length of 0 gives the null handle (the empty string).
AZTEC_RT_EXPORT HRESULT WindowsCreateString(PCNZWCH sourceString, UINT32 length, HSTRING* string);
AZTEC_RT_EXPORT HRESULT WindowsDeleteString(HSTRING string);
// The string's zero-terminated UTF-16 buffer; for the null handle an empty buffer.
AZTEC_RT_EXPORT PCNZWCH WindowsGetStringRawBuffer(HSTRING string, UINT32* length);
AZTEC_RT_EXPORT UINT32 WindowsGetStringLen(HSTRING string);

// Frees the array that GetIids returns.
AZTEC_RT_EXPORT void CoTaskMemFree(void* block);

AZTEC_RT_EXPORT HRESULT DllGetActivationFactory(HSTRING activatableClassId, IActivationFactory** factory);
AZTEC_RT_EXPORT HRESULT DllCanUnloadNow();
}

// Signatures for hosts that load the library at run time.
using PFN_WindowsCreateString = HRESULT (*)(PCNZWCH, UINT32, HSTRING*);
using PFN_WindowsDeleteString = HRESULT (*)(HSTRING);
using PFN_WindowsGetStringRawBuffer = PCNZWCH (*)(HSTRING, UINT32*);
using PFN_CoTaskMemFree = void (*)(void*);
using PFN_DllGetActivationFactory = HRESULT (*)(HSTRING, IActivationFactory**);
using PFN_DllCanUnloadNow = HRESULT (*)();
