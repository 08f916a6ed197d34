// The portable runtime layer: strings and the factory cache.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "runtime/module.h"

namespace {

using namespace AztecRuntime;

TEST(RuntimeString, HoldsExactlyTheGivenUnitsZeroTerminated) {
  const char16_t source[] = u"a\0\u00E9z";  // an embedded zero is kept: the length rules
  HSTRING s = nullptr;
  ASSERT_EQ(WindowsCreateString(source, 4, &s), S_OK);
  ASSERT_NE(s, nullptr);
  UINT32 length = 0;
  PCNZWCH text = WindowsGetStringRawBuffer(s, &length);
  EXPECT_EQ(length, 4u);
  EXPECT_EQ(std::u16string(text, 5), std::u16string(u"a\0\u00E9z\0", 5));
  EXPECT_EQ(WindowsDeleteString(s), S_OK);

  s = reinterpret_cast<HSTRING>(0x1);
  EXPECT_EQ(WindowsCreateString(u"x", 0, &s), S_OK);
  EXPECT_EQ(s, nullptr) << "the empty string is the null handle";
  EXPECT_EQ(WindowsCreateString(nullptr, 3, &s), E_POINTER);
  EXPECT_EQ(WindowsCreateString(u"x", 1, nullptr), E_INVALIDARG);
  EXPECT_EQ(WindowsDeleteString(nullptr), S_OK);
}

// Counts how many factories were made and destroyed; only reference counting matters here.
std::atomic<int> made{0}, destroyed{0};

struct CountingFactory final : IActivationFactory {
  HRESULT QueryInterface(REFIID, void**) override { return E_NOTIMPL; }
  ULONG AddRef() override { return ++refs; }
  ULONG Release() override { return --refs; }
  HRESULT GetIids(ULONG*, IID**) override { return E_NOTIMPL; }
  HRESULT GetRuntimeClassName(HSTRING*) override { return E_NOTIMPL; }
  HRESULT GetTrustLevel(TrustLevel*) override { return E_NOTIMPL; }
  HRESULT ActivateInstance(IInspectable**) override { return E_NOTIMPL; }
  std::atomic<ULONG> refs{0};
};

IActivationFactory* makeCounting() {
  ++made;
  return new CountingFactory;
}
void destroyCounting(IActivationFactory* f) {
  ++destroyed;
  delete static_cast<CountingFactory*>(f);
}

TEST(ActivationFactoryCache, RacingFirstRequestsShareOneFactory) {
  // Both threads spin at the line and ask at once; many rounds make a real overlap likely.
  for (int round = 0; round < 1000; ++round) {
    made = destroyed = 0;
    ActivatableClass table[1] = {{u"Test.Class", makeCounting, destroyCounting}};
    HSTRING id = makeString(u"Test.Class");
    IActivationFactory* got[2] = {};
    std::atomic<int> ready{0};
    auto request = [&](int i) {
      ready.fetch_add(1);
      while (ready.load() < 2) std::this_thread::yield();
      EXPECT_EQ(getActivationFactory(table, 1, id, &got[i]), S_OK);
    };
    std::thread other(request, 1);
    request(0);
    other.join();
    ASSERT_NE(got[0], nullptr);
    ASSERT_EQ(got[0], got[1]);
    EXPECT_EQ(static_cast<CountingFactory*>(got[0])->refs, 2u);
    EXPECT_EQ(made - destroyed, 1) << "a losing factory is destroyed at once";
    releaseFactories(table, 1);
    EXPECT_EQ(made, destroyed.load());
    WindowsDeleteString(id);
  }
}

}  // namespace
