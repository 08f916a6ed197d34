// The component as a host sees it: loaded with dlopen, reached only through its exports, the
// public headers and the COM vtable layout.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "runtime/kalvaro_windows81.h"
#include "support/component_loader.h"
#include "synth/symbol_frames.h"

using namespace KalvaroWindows81;
using namespace AztecTest;

namespace {

// Owns one COM reference.
template <class T>
struct Ref {
  T* p = nullptr;
  ~Ref() { reset(); }
  T* operator->() const { return p; }
  T** put() { return reset(), &p; }
  void** putVoid() { return reinterpret_cast<void**>(put()); }
  void reset() {
    if (p != nullptr) p->Release();
    p = nullptr;
  }
};

class ComponentHost : public ::testing::Test {
 protected:
  void SetUp() override {
    // The published header and a host's own copy of the identity must agree.
    ASSERT_EQ(std::u16string(AztecReaderClassId), kAztecReaderClassId);
    ASSERT_EQ(std::memcmp(&IID___IAztecReaderPublicNonVirtuals, &kIidAztecReaderDefault, sizeof(IID)), 0);
    // Throws with the reason (reported as the failure) when the library or an export is missing.
    component_ = std::make_unique<Component>();
    reader_.p = component_->activate<__IAztecReaderPublicNonVirtuals>(IID___IAztecReaderPublicNonVirtuals);
  }
  // Every test releases all it took, so the library must be free to unload afterwards.
  void TearDown() override {
    reader_.reset();
    if (component_) {
      EXPECT_EQ(component_->canUnloadNow(), S_OK);
    }
  }
  HRESULT read(const std::vector<BYTE>& pixels, INT32 width, INT32 height, HSTRING* result) {
    return Component::callRead(reader_.p, pixels, width, height, result);
  }

  std::unique_ptr<Component> component_;
  Ref<__IAztecReaderPublicNonVirtuals> reader_;
};

TEST_F(ComponentHost, ReadsARealSymbolThroughSlotSixOfTheDefaultInterface) {
  const std::string message = "Hello Aztec 123";
  RenderOptions options;
  const auto image = renderSymbol(encodeText(message), options);
  const std::vector<BYTE> frame(image.row(0), image.row(0) + options.width * options.height);
  HSTRING result = nullptr;
  ASSERT_EQ(read(frame, options.width, options.height, &result), S_OK);
  EXPECT_EQ(component_->take(result), std::u16string(message.begin(), message.end()));

  ASSERT_EQ(reader_->GetRuntimeClassName(&result), S_OK);
  EXPECT_EQ(component_->take(result), u"KalvaroWindows81.AztecReader");
  // Agile: IAgileObject and the free-threaded IMarshal answer, with the same identity.
  Ref<IUnknown> identity, agile, back, marshal;
  ASSERT_EQ(reader_->QueryInterface(IID_IUnknown, identity.putVoid()), S_OK);
  ASSERT_EQ(reader_->QueryInterface(IID_IAgileObject, agile.putVoid()), S_OK);
  ASSERT_EQ(agile->QueryInterface(IID_IUnknown, back.putVoid()), S_OK);
  EXPECT_EQ(back.p, identity.p);
  EXPECT_EQ(reader_->QueryInterface(IID_IMarshal, marshal.putVoid()), S_OK);
  const IID unknown = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
  void* none = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(reader_->QueryInterface(unknown, &none), E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);
}

TEST_F(ComponentHost, FactoryCacheUnloadAndUnknownClassId) {
  reader_.reset();
  EXPECT_EQ(component_->canUnloadNow(), S_OK);
  Ref<IActivationFactory> factory, again;
  ASSERT_EQ(component_->factoryFor(AztecReaderClassId, factory.put()), S_OK);
  EXPECT_EQ(component_->canUnloadNow(), S_FALSE);
  ASSERT_EQ(component_->factoryFor(AztecReaderClassId, again.put()), S_OK);
  EXPECT_EQ(again.p, factory.p) << "the factory is cached";
  Ref<IInspectable> instance;
  ASSERT_EQ(factory->ActivateInstance(instance.put()), S_OK);
  factory.reset();
  again.reset();
  EXPECT_EQ(component_->canUnloadNow(), S_FALSE) << "an AztecReader is alive";
  instance.reset();
  EXPECT_EQ(component_->canUnloadNow(), S_OK);

  IActivationFactory* other = reinterpret_cast<IActivationFactory*>(0x1);
  EXPECT_EQ(component_->factoryFor(u"KalvaroWindows81.AztecWriter", &other), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(other, nullptr);
  EXPECT_EQ(component_->factoryFor(u"", &other), CLASS_E_CLASSNOTAVAILABLE);  // a null HSTRING
  EXPECT_EQ(component_->factoryFor(AztecReaderClassId, nullptr), E_POINTER);
}

TEST_F(ComponentHost, FramesThatDoNotFitTheirArrayGiveTheEmptyString) {
  // Each array is allocated at exactly its length, so a read past it trips AddressSanitizer.
  // 65536 x 65536 wraps a 32-bit product to 0; -4 x -4 multiplies to a positive 16. The last,
  // a frame without a symbol exactly as long as it must be, is read and gives nothing as well.
  const std::tuple<std::size_t, INT32, INT32> cases[] = {{99, 10, 10},       {0, 1, 1},        {16, 0, 16},
                                                         {16, 16, 0},        {16, -4, -4},     {16, 4, -4},
                                                         {64, 65536, 65536}, {64 * 48, 64, 48}};
  for (const auto& [length, width, height] : cases) {
    const std::vector<BYTE> pixels(length, 200);
    HSTRING result = reinterpret_cast<HSTRING>(0x1);
    testing::internal::CaptureStdout();
    EXPECT_EQ(read(pixels, width, height, &result), S_OK);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "readAztecCamera");
    EXPECT_EQ(result, nullptr) << length << " bytes for " << width << " x " << height;
  }
  HSTRING result = nullptr;
  EXPECT_EQ(reader_->readAztecCamera(100, nullptr, 10, 10, &result), S_OK);
  EXPECT_EQ(result, nullptr);
  EXPECT_EQ(reader_->readAztecCamera(0, nullptr, 0, 0, nullptr), E_POINTER);
}

}  // namespace
