// The library's exported entry points and its table of activatable classes.

#include <iterator>

#include "aztec_reader.h"

namespace {

using KalvaroWindows81::__AztecReaderActivationFactory;

IActivationFactory* createReaderFactory() {
  return new __AztecReaderActivationFactory();
}

void destroyReaderFactory(IActivationFactory* factory) {
  delete static_cast<__AztecReaderActivationFactory*>(factory);
}

// Lives as long as the library; its destruction at unload frees the cached factories.
struct ClassTable {
  AztecRuntime::ActivatableClass entries[1] = {
      {KalvaroWindows81::AztecReaderClassId, createReaderFactory, destroyReaderFactory}};
  ~ClassTable() { AztecRuntime::releaseFactories(entries, std::size(entries)); }
};

ClassTable classTable;

}  // namespace

extern "C" {

HRESULT STDAPICALLTYPE DllGetActivationFactory(HSTRING activatableClassId, IActivationFactory** factory) {
  return AztecRuntime::getActivationFactory(classTable.entries, std::size(classTable.entries),
                                            activatableClassId, factory);
}

HRESULT STDAPICALLTYPE DllCanUnloadNow() {
  return AztecRuntime::Module::instance().canUnload() ? S_OK : S_FALSE;
}

}  // extern "C"
