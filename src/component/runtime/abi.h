#pragma once
// Host-facing binary interface of the component: the runtime types, result codes, interfaces
// and exported functions a host needs to activate a class and exchange strings with it.
//
// This is the one place where the platforms differ. Built for Windows, it is the platform's own
// declarations, and the component runs on the platform's runtime (combase). Elsewhere it is
// this project's own small declarations of the same ABI, laid out the same way (COM vtable
// order, UTF-16 strings behind an opaque handle), implemented by the portable layer in this
// directory, so that a host written against that ABI works unchanged.

#if defined(_WIN32)

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <objbase.h>  // COM: CoCreateFreeThreadedMarshaler, CoTaskMemAlloc, IMarshal, IAgileObject
#include <windows.h>

// The runtime: IInspectable, IActivationFactory, HSTRING and its functions.
#include <activation.h>
#include <inspectable.h>
#include <roapi.h>
#include <winstring.h>

// The two entry points are exported by the module-definition file, nothing else.
#define AZTEC_RT_EXPORT

#ifndef E_BOUNDS
#define E_BOUNDS _HRESULT_TYPEDEF_(0x8000000BL)
#endif

// Declared by the headers but missing from mingw-w64's libuuid; selectany keeps one copy.
extern "C" const IID DECLSPEC_SELECTANY IID_IInspectable = {
    0xAF86E2E0, 0xB12D, 0x4C6A, {0x9C, 0x5A, 0xD7, 0xAA, 0x65, 0x10, 0x1E, 0x90}};
extern "C" const IID DECLSPEC_SELECTANY IID_IActivationFactory = {
    0x00000035, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// Weak references are not declared by mingw-w64's headers.
inline constexpr IID IID_IWeakReference = {0x00000037, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IWeakReferenceSource = {0x00000038, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

struct IWeakReference : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Resolve(REFIID riid, IInspectable** object) = 0;
};

struct IWeakReferenceSource : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetWeakReference(IWeakReference** weakReference) = 0;
};

// DllCanUnloadNow is declared by combaseapi.h.
extern "C" HRESULT STDAPICALLTYPE DllGetActivationFactory(HSTRING activatableClassId,
                                                          IActivationFactory** factory);

#else  // the portable layer

// Interfaces are classes of pure virtual functions with no virtual destructor: under the
// Itanium C++ ABI such a class has exactly one vtable slot per method, in declaration order,
// which is COM's layout. Objects are destroyed by their own Release, never through delete.

#include <cstddef>
#include <cstdint>

#if defined(__GNUC__)
#define AZTEC_RT_EXPORT __attribute__((visibility("default")))
#else
#define AZTEC_RT_EXPORT
#endif
// The platform's calling-convention markers; there is only one convention here.
#define STDMETHODCALLTYPE
#define STDAPICALLTYPE

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

// Used inside the library only, not exported.
// A block that CoTaskMemFree frees; null when out of memory.
void* CoTaskMemAlloc(std::size_t bytes);
// An aggregated free-threaded marshaler for `outer`: *marshaler is its own (inner) IUnknown,
// whose IMarshal delegates IUnknown to `outer`.
HRESULT CoCreateFreeThreadedMarshaler(IUnknown* outer, IUnknown** marshaler);
}

// Signatures for hosts that load the library at run time.
using PFN_WindowsCreateString = HRESULT (*)(PCNZWCH, UINT32, HSTRING*);
using PFN_WindowsDeleteString = HRESULT (*)(HSTRING);
using PFN_WindowsGetStringRawBuffer = PCNZWCH (*)(HSTRING, UINT32*);
using PFN_CoTaskMemFree = void (*)(void*);
using PFN_DllGetActivationFactory = HRESULT (*)(HSTRING, IActivationFactory**);
using PFN_DllCanUnloadNow = HRESULT (*)();

#endif  // _WIN32
