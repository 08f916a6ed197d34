#include "common/checked_access.h"

namespace Aztec {

void throwSubscript() {
  throw std::out_of_range(kSubscriptMessage);
}
void throwBoolSubscript() {
  throw std::out_of_range(kBoolSubscriptMessage);
}

}  // namespace Aztec
