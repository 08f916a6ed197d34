// The component as a host sees it: loaded with dlopen, reached only through its exports, the
// public headers and the COM vtable layout.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/kalvaro_windows81.h"
#include "support/symbol_frames.h"

using KalvaroWindows81::__IAztecReaderPublicNonVirtuals;
using KalvaroWindows81::IID___IAztecReaderPublicNonVirtuals;

namespace {

// Owns one COM reference.
template <class T>
struct Ref {
  T* p = nullptr;
  Ref() = default;
  Ref(const Ref&) = delete;
  ~Ref() { reset(); }
  T* get() const { return p; }
  T* operator->() const { return p; }
  T** put() { reset(); return &p; }
  void** putVoid() { return reinterpret_cast<void**>(put()); }
  void reset() { if (p != nullptr) p->Release(); p = nullptr; }
};

class ComponentHost : public ::testing::Test {
 protected:
  void SetUp() override {
    library_ = dlopen(AZTEC_COMPONENT_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library_, nullptr) << dlerror();
    createString_ = symbol<PFN_WindowsCreateString>("WindowsCreateString");
    deleteString_ = symbol<PFN_WindowsDeleteString>("WindowsDeleteString");
    rawBuffer_ = symbol<PFN_WindowsGetStringRawBuffer>("WindowsGetStringRawBuffer");
    getFactory_ = symbol<PFN_DllGetActivationFactory>("DllGetActivationFactory");
    canUnloadNow_ = symbol<PFN_DllCanUnloadNow>("DllCanUnloadNow");
  }

  void TearDown() override {
    // Every test releases all it took, so the library must be free to unload afterwards.
    if (canUnloadNow_ != nullptr) {
      EXPECT_EQ(canUnloadNow_(), S_OK);
    }
    if (library_ != nullptr) dlclose(library_);
  }

  template <class F>
  F symbol(const char* name) {
    auto f = reinterpret_cast<F>(dlsym(library_, name));
    EXPECT_NE(f, nullptr) << name;
    return f;
  }

  // Takes ownership of the string.
  std::u16string take(HSTRING s) {
    UINT32 length = 0;
    PCNZWCH text = rawBuffer_(s, &length);
    std::u16string result(text, length);
    deleteString_(s);
    return result;
  }

  HRESULT factoryFor(std::u16string_view classId, IActivationFactory** factory) {
    HSTRING id = nullptr;
    EXPECT_EQ(createString_(classId.data(), static_cast<UINT32>(classId.size()), &id), S_OK);
    const HRESULT hr = getFactory_(id, factory);
    deleteString_(id);
    return hr;
  }

  void activate(Ref<__IAztecReaderPublicNonVirtuals>& reader) {
    Ref<IActivationFactory> factory;
    ASSERT_EQ(factoryFor(KalvaroWindows81::AztecReaderClassId, factory.put()), S_OK);
    Ref<IInspectable> instance;
    ASSERT_EQ(factory->ActivateInstance(instance.put()), S_OK);
    ASSERT_EQ(instance->QueryInterface(IID___IAztecReaderPublicNonVirtuals, reader.putVoid()), S_OK);
  }

  // readAztecCamera through the raw vtable, as a host compiled against the ABI calls it.
  static HRESULT callRead(__IAztecReaderPublicNonVirtuals* reader, const std::vector<BYTE>& pixels,
                          INT32 width, INT32 height, HSTRING* result) {
    using Slot = HRESULT (*)(void*, UINT32, const BYTE*, INT32, INT32, HSTRING*);
    void** vtable = *reinterpret_cast<void***>(reader);
    auto read = reinterpret_cast<Slot>(vtable[6]);
    return read(reader, static_cast<UINT32>(pixels.size()), pixels.data(), width, height, result);
  }

  void* library_ = nullptr;
  PFN_WindowsCreateString createString_ = nullptr;
  PFN_WindowsDeleteString deleteString_ = nullptr;
  PFN_WindowsGetStringRawBuffer rawBuffer_ = nullptr;
  PFN_DllGetActivationFactory getFactory_ = nullptr;
  PFN_DllCanUnloadNow canUnloadNow_ = nullptr;
};

TEST_F(ComponentHost, ReadsARealSymbolThroughSlotSixOfTheDefaultInterface) {
  const std::string message = "Hello Aztec 123";
  AztecTest::RenderOptions options;
  const auto image = AztecTest::renderSymbol(AztecTest::encodeText(message), options);
  const std::vector<BYTE> frame(image.row(0), image.row(0) + options.width * options.height);
  Ref<__IAztecReaderPublicNonVirtuals> reader;
  ASSERT_NO_FATAL_FAILURE(activate(reader));
  HSTRING result = nullptr;
  ASSERT_EQ(callRead(reader.get(), frame, options.width, options.height, &result), S_OK);
  EXPECT_EQ(take(result), std::u16string(message.begin(), message.end()));

  ASSERT_EQ(reader->GetRuntimeClassName(&result), S_OK);
  EXPECT_EQ(take(result), u"KalvaroWindows81.AztecReader");
  // Agile: IAgileObject and the free-threaded IMarshal answer, with the same identity.
  Ref<IUnknown> identity, agile, back, marshal;
  ASSERT_EQ(reader->QueryInterface(IID_IUnknown, identity.putVoid()), S_OK);
  ASSERT_EQ(reader->QueryInterface(IID_IAgileObject, agile.putVoid()), S_OK);
  ASSERT_EQ(agile->QueryInterface(IID_IUnknown, back.putVoid()), S_OK);
  EXPECT_EQ(back.get(), identity.get());
  EXPECT_EQ(reader->QueryInterface(IID_IMarshal, marshal.putVoid()), S_OK);
  const IID unknown = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
  void* none = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(reader->QueryInterface(unknown, &none), E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);
}

TEST_F(ComponentHost, FactoryCacheUnloadAndUnknownClassId) {
  EXPECT_EQ(canUnloadNow_(), S_OK);
  Ref<IActivationFactory> factory;
  ASSERT_EQ(factoryFor(KalvaroWindows81::AztecReaderClassId, factory.put()), S_OK);
  EXPECT_EQ(canUnloadNow_(), S_FALSE);
  Ref<IActivationFactory> again;
  ASSERT_EQ(factoryFor(KalvaroWindows81::AztecReaderClassId, again.put()), S_OK);
  EXPECT_EQ(again.get(), factory.get()) << "the factory is cached";

  Ref<IInspectable> instance;
  ASSERT_EQ(factory->ActivateInstance(instance.put()), S_OK);
  factory.reset();
  again.reset();
  EXPECT_EQ(canUnloadNow_(), S_FALSE) << "an AztecReader is alive";
  instance.reset();
  EXPECT_EQ(canUnloadNow_(), S_OK);

  IActivationFactory* other = reinterpret_cast<IActivationFactory*>(0x1);
  EXPECT_EQ(factoryFor(u"KalvaroWindows81.AztecWriter", &other), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(other, nullptr);
  EXPECT_EQ(getFactory_(nullptr, &other), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(factoryFor(KalvaroWindows81::AztecReaderClassId, nullptr), E_POINTER);
}

TEST_F(ComponentHost, FramesThatDoNotFitTheirArrayGiveTheEmptyString) {
  Ref<__IAztecReaderPublicNonVirtuals> reader;
  ASSERT_NO_FATAL_FAILURE(activate(reader));
  struct Case { std::size_t length; INT32 width, height; };
  // Each array is allocated at exactly its length, so a read past it trips AddressSanitizer.
  // 65536 x 65536 wraps a 32-bit product to 0; -4 x -4 multiplies to a positive 16.
  for (const Case c : {Case{99, 10, 10}, Case{0, 1, 1}, Case{16, 0, 16}, Case{16, 16, 0},
                       Case{16, -4, -4}, Case{16, 4, -4}, Case{64, 65536, 65536}}) {
    const std::vector<BYTE> pixels(c.length, 128);
    HSTRING result = reinterpret_cast<HSTRING>(0x1);
    testing::internal::CaptureStdout();
    EXPECT_EQ(callRead(reader.get(), pixels, c.width, c.height, &result), S_OK);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "readAztecCamera");
    EXPECT_EQ(result, nullptr) << c.length << " bytes for " << c.width << " x " << c.height;
  }
  HSTRING result = nullptr;
  EXPECT_EQ(reader->readAztecCamera(100, nullptr, 10, 10, &result), S_OK);
  EXPECT_EQ(result, nullptr);
  EXPECT_EQ(reader->readAztecCamera(0, nullptr, 0, 0, nullptr), E_POINTER);

  // A frame without a symbol, exactly as long as it must be, is read and gives nothing.
  const std::vector<BYTE> blank(64 * 48, 200);
  testing::internal::CaptureStdout();
  EXPECT_EQ(callRead(reader.get(), blank, 64, 48, &result), S_OK);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "readAztecCamera");
  EXPECT_EQ(result, nullptr);
}

}  // namespace
