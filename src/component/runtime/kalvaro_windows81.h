#pragma once
// Host-facing declarations of the KalvaroWindows81 classes: the activatable class ID and the
// default interface of AztecReader. Include this (it brings runtime/abi.h) in a host.

#include "runtime/abi.h"

namespace KalvaroWindows81 {

inline constexpr char16_t AztecReaderClassId[] = u"KalvaroWindows81.AztecReader";

// Fixed once from the interface's name; hosts compare against this value.
inline constexpr IID IID___IAztecReaderPublicNonVirtuals = {
    0x619AF276, 0xBC9D, 0x5680, {0x86, 0x16, 0xC2, 0x45, 0x2A, 0x7C, 0x26, 0xC9}};

// Default interface of AztecReader. readAztecCamera sits in vtable slot 6, after the three
// IUnknown and the three IInspectable methods. KalvaroWindows81.idl declares the same
// interface for Windows apps.
struct __IAztecReaderPublicNonVirtuals : IInspectable {
  // Decodes one luminance frame (width x height bytes, row by row) and returns the message of
  // the symbol near its centre, one UTF-16 unit per byte, cut before the first zero byte; the
  // null string when nothing was read or when the array cannot hold width x height bytes.
  // *result is set to null first.
  virtual HRESULT STDMETHODCALLTYPE readAztecCamera(UINT32 pixelCount, const BYTE* pixels, INT32 width,
                                                    INT32 height, HSTRING* result) = 0;

 protected:
  ~__IAztecReaderPublicNonVirtuals() = default;
};

}  // namespace KalvaroWindows81
