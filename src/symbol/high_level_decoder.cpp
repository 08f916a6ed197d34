#include "symbol/high_level_decoder.h"

#include <cstddef>
#include <optional>

#include "common/checked_access.h"
#include "symbol/mode_walker.h"

namespace Aztec {
namespace {

// Reads wrap past the end of the stream; a code is only started while it fits, but the argument
// of a binary shift is read even when it does not (wrapping).
class WrappingBits {
 public:
  explicit WrappingBits(const std::vector<bool>& bits)
      : bits_(bits), n_(static_cast<long long>(bits.size())) {}

  long long size() const { return n_; }
  bool has(int k) const { return pos_ <= n_ - k; }
  int read(int k) {
    int value = 0;
    for (int i = 0; i < k; ++i) {
      value = (value << 1) | (at(bits_, pos_ % n_) ? 1 : 0);
      ++pos_;
    }
    return value;
  }
  std::optional<int> argument(int k) { return read(k); }

 private:
  const std::vector<bool>& bits_;
  long long n_;
  long long pos_ = 0;
};

class Output {
 public:
  explicit Output(std::size_t capacity) : buffer_(capacity, 0) {}
  // Range-tested: a message longer than the buffer ends the decoding with std::out_of_range.
  void put(int byte) {
    at(buffer_, count_) = static_cast<std::uint8_t>(byte);
    ++count_;
  }
  void latched(int, int) {}
  // FLG(n) appends nothing: its argument bits are decoded as ordinary codes.
  WalkStep flag(WrappingBits&) { return WalkStep::Go; }
  std::vector<std::uint8_t> take() {
    buffer_.resize(count_);
    return std::move(buffer_);
  }

 private:
  std::vector<std::uint8_t> buffer_;
  std::size_t count_ = 0;
};

}  // namespace

std::vector<std::uint8_t> decodeHighLevel(const BitRing* bits) {
  static const std::vector<bool> kEmpty;
  WrappingBits in(bits != nullptr ? bits->bits() : kEmpty);
  Output out(static_cast<std::size_t>(2 * (in.size() / 6)));
  walkModes(in, out);
  return out.take();
}

}  // namespace Aztec
