// A Windows app's view of the component, run under Wine: registers the class, activates it
// through the runtime (RoGetActivationFactory), calls readAztecCamera through the interface
// declared by the IDL and compares every answer with what the Linux build of the component
// gave for the same frames.
//
//   aztec-component-client FRAMES_DIR
//
// FRAMES_DIR holds frames.txt (one line per frame: file, width, height, and the Linux answer as
// UTF-16 units in hex, "-" for the empty string) and the raw luminance files it names.
// Prints the failures and a summary on stderr (stdout carries the component's traces) and exits
// with 0 only when everything matched.

#include <initguid.h>  // defines the interface IDs of the generated header in this file
#include <roapi.h>
#include <windows.h>
#include <winstring.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "KalvaroWindows81.h"

using ABI::KalvaroWindows81::__IAztecReaderPublicNonVirtuals;

namespace {

int failures = 0;
std::atomic<int> tracedCalls{0};  // calls that must each write one trace

void check(bool ok, const std::string& what) {
  if (!ok) {
    ++failures;
    std::fprintf(stderr, "FAIL: %s\n", what.c_str());
  }
}

std::string hex(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
  return text;
}

// Owns one COM reference.
template <class T>
struct Ref {
  T* p = nullptr;
  ~Ref() { reset(); }
  T* operator->() const { return p; }
  void reset() {
    if (p != nullptr) p->Release();
    p = nullptr;
  }
};

// The string's UTF-16 units in hex, 4 digits each; "-" for the empty string. Deletes it.
std::string unitsOf(HSTRING s) {
  UINT32 length = 0;
  const wchar_t* text = WindowsGetStringRawBuffer(s, &length);
  std::string out;
  char unit[8];
  for (UINT32 i = 0; i < length; ++i) {
    std::snprintf(unit, sizeof unit, "%04x", static_cast<unsigned>(text[i]));
    out += unit;
  }
  WindowsDeleteString(s);
  return out.empty() ? "-" : out;
}

// The bytes, ending exactly where an inaccessible page begins, so reading past the end faults
// instead of going unnoticed.
struct GuardedBytes {
  BYTE *base, *data;
  explicit GuardedBytes(const std::vector<BYTE>& bytes) {
    const SIZE_T page = 4096, pages = (bytes.size() + page - 1) / page;
    base = static_cast<BYTE*>(VirtualAlloc(nullptr, (pages + 1) * page, MEM_RESERVE, PAGE_NOACCESS));
    if (pages > 0) VirtualAlloc(base, pages * page, MEM_COMMIT, PAGE_READWRITE);
    data = base + pages * page - bytes.size();
    if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
  }
  ~GuardedBytes() { VirtualFree(base, 0, MEM_RELEASE); }
};

struct Frame {
  std::string name;
  INT32 width = 0, height = 0;
  std::string expected;  // the Linux component's answer
  std::vector<BYTE> pixels;
};

std::vector<Frame> loadFrames(const std::string& dir) {
  std::vector<Frame> frames;
  std::ifstream list(dir + "/frames.txt");
  std::string line;
  while (std::getline(list, line)) {
    Frame f;
    std::istringstream fields(line);
    if (!(fields >> f.name >> f.width >> f.height >> f.expected)) continue;
    std::ifstream file(dir + "/" + f.name, std::ios::binary);
    f.pixels.assign(std::istreambuf_iterator<char>(file), {});
    frames.push_back(std::move(f));
  }
  return frames;
}

// One readAztecCamera call on a guarded copy of `pixels`: its HRESULT and answer.
std::string read(__IAztecReaderPublicNonVirtuals* reader, const std::vector<BYTE>& pixels, INT32 width,
                 INT32 height) {
  GuardedBytes bytes(pixels);
  HSTRING result = reinterpret_cast<HSTRING>(1);
  const HRESULT hr =
      reader->readAztecCamera(static_cast<UINT32>(pixels.size()), bytes.data, width, height, &result);
  ++tracedCalls;
  if (hr != S_OK) return "hr " + hex(hr);
  if (result == reinterpret_cast<HSTRING>(1)) return "result not set";
  return unitsOf(result);
}

// The class's registration, as an app's installer makes it for a desktop app.
bool registerClass() {
  wchar_t dll[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, dll, MAX_PATH);
  std::wstring path(dll, n);
  path = path.substr(0, path.find_last_of(L'\\') + 1) + L"AztecReaderComponent.dll";
  HKEY key = nullptr;
  if (RegCreateKeyExW(
          HKEY_LOCAL_MACHINE,
          L"Software\\Microsoft\\WindowsRuntime\\ActivatableClassId\\KalvaroWindows81.AztecReader", 0,
          nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return false;
  bool ok = RegSetValueExW(key, L"DllPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                           static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
  RegCloseKey(key);
  return ok;
}

// A fault (a read past a guarded array, say) ends the run with a message, not in a debugger.
LONG WINAPI reportCrash(EXCEPTION_POINTERS* info) {
  std::fprintf(stderr, "FAIL: crashed with exception 0x%08lX\n",
               static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode));
  ExitProcess(3);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: aztec-component-client FRAMES_DIR\n");
    return 2;
  }
  SetUnhandledExceptionFilter(reportCrash);
  const std::vector<Frame> frames = loadFrames(argv[1]);
  check(!frames.empty(), "frames.txt lists frames");
  for (const Frame& f : frames)
    check(f.expected != "-" && f.pixels.size() == static_cast<size_t>(f.width) * f.height,
          f.name + ": a full frame that the Linux component reads");

  check(registerClass(), "registering the class");
  check(RoInitialize(RO_INIT_MULTITHREADED) == S_OK, "RoInitialize(MTA)");

  HSTRING classId = nullptr;
  WindowsCreateString(RuntimeClass_KalvaroWindows81_AztecReader,
                      static_cast<UINT32>(wcslen(RuntimeClass_KalvaroWindows81_AztecReader)), &classId);
  Ref<IActivationFactory> factory;
  HRESULT hr =
      RoGetActivationFactory(classId, __uuidof(IActivationFactory), reinterpret_cast<void**>(&factory.p));
  WindowsDeleteString(classId);
  check(hr == S_OK, "RoGetActivationFactory: " + hex(hr));
  if (hr != S_OK) return 1;
  // Loaded by the runtime from the registered path.
  HMODULE module = GetModuleHandleW(L"AztecReaderComponent.dll");
  auto canUnloadNow = reinterpret_cast<HRESULT(WINAPI*)()>(
      reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
  check(canUnloadNow != nullptr, "the loaded component exports DllCanUnloadNow");
  if (canUnloadNow == nullptr) return 1;
  check(canUnloadNow() == S_FALSE, "DllCanUnloadNow with the factory alive");

  Ref<IInspectable> instance;
  check(factory->ActivateInstance(&instance.p) == S_OK && instance.p != nullptr, "ActivateInstance");
  Ref<__IAztecReaderPublicNonVirtuals> reader;
  hr = instance.p ? instance->QueryInterface(IID___x_ABI_CKalvaroWindows81_C__IAztecReaderPublicNonVirtuals,
                                             reinterpret_cast<void**>(&reader.p))
                  : E_POINTER;
  check(hr == S_OK, "QueryInterface for the default interface: " + hex(hr));
  if (hr != S_OK) return 1;
  instance.reset();
  factory.reset();
  check(canUnloadNow() == S_FALSE, "DllCanUnloadNow with a reader alive");

  // Agile through the platform's free-threaded marshaler: marshaled into a single-threaded
  // apartment, the reader arrives as the very same object and answers there directly.
  IStream* stream = nullptr;
  hr = CoMarshalInterThreadInterfaceInStream(IID___x_ABI_CKalvaroWindows81_C__IAztecReaderPublicNonVirtuals,
                                             reader.p, &stream);
  check(hr == S_OK, "marshaling the reader to another apartment: " + hex(hr));
  if (hr == S_OK && !frames.empty()) {
    std::string answer;
    void* there = nullptr;
    std::thread([&] {
      RoInitialize(RO_INIT_SINGLETHREADED);
      if (CoGetInterfaceAndReleaseStream(
              stream, IID___x_ABI_CKalvaroWindows81_C__IAztecReaderPublicNonVirtuals, &there) == S_OK) {
        auto* other = static_cast<__IAztecReaderPublicNonVirtuals*>(there);
        answer = read(other, frames[0].pixels, frames[0].width, frames[0].height);
        other->Release();
      }
      RoUninitialize();
    }).join();
    check(there == reader.p && answer == frames[0].expected,
          "the reader unmarshaled in a single-threaded apartment");
  }

  // The bundled samples, each compared with the Linux component's answer.
  for (const Frame& f : frames) {
    const std::string got = read(reader.p, f.pixels, f.width, f.height);
    check(got == f.expected, f.name + ": " + got + " instead of the Linux answer " + f.expected);
  }

  // Frames that do not fit their array, and a frame without a symbol exactly as long as it
  // must be: the empty string with S_OK, without reading past the array.
  struct Bad {
    size_t length;
    INT32 width, height;
  };
  for (const Bad b : {Bad{99, 10, 10}, Bad{0, 1, 1}, Bad{16, 0, 16}, Bad{16, 16, 0}, Bad{16, -4, -4},
                      Bad{16, 4, -4}, Bad{64, 65536, 65536}, Bad{64 * 48, 64, 48}}) {
    const std::string got = read(reader.p, std::vector<BYTE>(b.length, 200), b.width, b.height);
    check(got == "-", std::to_string(b.length) + " bytes for " + std::to_string(b.width) + " x " +
                          std::to_string(b.height) + ": " + got);
  }
  HSTRING result = reinterpret_cast<HSTRING>(1);
  hr = reader->readAztecCamera(100, nullptr, 10, 10, &result);
  ++tracedCalls;
  check(hr == S_OK && result == nullptr, "a null pixel array: " + hex(hr));
  check(reader->readAztecCamera(0, nullptr, 0, 0, nullptr) == E_POINTER,
        "a null out pointer gives E_POINTER");

  // Four threads of the multithreaded apartment call the one reader at the same time.
  std::atomic<int> mismatches{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      RoInitialize(RO_INIT_MULTITHREADED);
      for (int round = 0; round < 3; ++round)
        for (const Frame& f : frames)
          if (read(reader.p, f.pixels, f.width, f.height) != f.expected) ++mismatches;
      RoUninitialize();
    });
  }
  for (std::thread& t : threads) t.join();
  check(mismatches == 0, std::to_string(mismatches.load()) + " wrong answers from 4 concurrent threads");

  reader.reset();
  check(canUnloadNow() == S_OK, "DllCanUnloadNow after the last release");
  RoUninitialize();

  std::fprintf(stderr, "%zu frames, %d traced calls, %d failures\n", frames.size(), tracedCalls.load(),
               failures);
  return failures == 0 ? 0 : 1;
}
