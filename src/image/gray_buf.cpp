#include "image/gray_buf.h"

#include <algorithm>
#include <array>

#include "common/checked_access.h"

namespace Velmora::Image {

namespace {

// Pixel vectors of images that went away, kept per thread for the next large image. Each call
// of the reader copies the frame and makes a level image of the same size; fresh allocations of
// that size come back from the allocator as new pages, so that most of a frame without a symbol
// went into page faults and zeroing. Reuse changes only where the bytes live: sizes and contents
// are exactly those of a new vector. At most kSpares vectors are kept per thread, freed at exit.
constexpr std::size_t kRecycleBytes = 64 * 1024;
constexpr std::size_t kSpares = 3;

struct SpareStore {
  std::array<std::vector<std::uint8_t>, kSpares> spare;
};

// Plain thread-locals, still usable while other thread-locals and statics are being destroyed:
// after the holder has gone, vectors are simply freed.
thread_local SpareStore* tlsSpares = nullptr;
thread_local bool tlsSparesGone = false;

struct SpareHolder {
  ~SpareHolder() {
    delete tlsSpares;
    tlsSpares = nullptr;
    tlsSparesGone = true;
  }
};
thread_local SpareHolder tlsSpareHolder;

// An empty vector with room for n bytes: the smallest spare that fits, or a new one.
std::vector<std::uint8_t> takeSpare(std::size_t n) {
  std::vector<std::uint8_t> v;
  if (n < kRecycleBytes || tlsSparesGone) return v;
  if (tlsSpares == nullptr) {
    (void)&tlsSpareHolder;  // registers the clean-up at thread exit
    tlsSpares = new SpareStore;
  }
  std::vector<std::uint8_t>* best = nullptr;
  for (auto& s : tlsSpares->spare) {
    if (s.capacity() >= n && (best == nullptr || s.capacity() < best->capacity())) best = &s;
  }
  if (best != nullptr) {
    v.swap(*best);
    v.clear();
  }
  return v;
}

void giveSpare(std::vector<std::uint8_t>&& v) {
  if (v.capacity() < kRecycleBytes || tlsSpares == nullptr) return;
  std::vector<std::uint8_t>* smallest = &tlsSpares->spare[0];
  for (auto& s : tlsSpares->spare) {
    if (s.capacity() < smallest->capacity()) smallest = &s;
  }
  if (smallest->capacity() < v.capacity()) smallest->swap(v);
}

}  // namespace

std::uint8_t PixelStore::pixelAt(int x, int y) const {
  // 64-bit index so that a large or negative position fails the range test instead of
  // overflowing.
  const long long index = static_cast<long long>(stride) * y + x;
  return Aztec::at(pixels, index);
}

GrayBuf::GrayBuf() : store_(std::make_unique<PixelStore>()) {
  store_->pixels.assign(1, 0);
  store_->stride = 1;
}

namespace {

std::unique_ptr<PixelStore> copyStore(const PixelStore& other) {
  auto store = std::make_unique<PixelStore>();
  store->pixels = takeSpare(other.pixels.size());
  store->pixels.assign(other.pixels.begin(), other.pixels.end());
  store->stride = other.stride;
  return store;
}

}  // namespace

GrayBuf::GrayBuf(const GrayBuf& other)
    : store_(copyStore(*other.store_)), width_(other.width_), height_(other.height_) {}

GrayBuf& GrayBuf::operator=(const GrayBuf& other) {
  if (this != &other) {
    std::unique_ptr<PixelStore> copy = copyStore(*other.store_);
    if (store_) giveSpare(std::move(store_->pixels));
    store_ = std::move(copy);
    width_ = other.width_;
    height_ = other.height_;
  }
  return *this;
}

GrayBuf::~GrayBuf() {
  if (store_) giveSpare(std::move(store_->pixels));
}

GrayBuf GrayBuf::fromBytes(const std::uint8_t* data, int w, int h) {
  GrayBuf image;
  image.store_->stride = 0;  // a fresh image from bytes starts with stride 0
  image.resize(w, h);
  if (w <= 0 || h <= 0 || data == nullptr) return image;
  std::uint8_t* out = image.store_->pixels.data();
  // Rows are contiguous at stride w, so the row-by-row copy is one block copy.
  const std::size_t n = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
  std::copy(data, data + n, out);
  return image;
}

void GrayBuf::resize(int w, int h) {
  if (w == width_ && h == height_) return;
  const long long n = static_cast<long long>(w) * h;
  if (n > 0 && static_cast<unsigned long long>(n) > store_->pixels.size()) {
    std::vector<std::uint8_t>& pixels = store_->pixels;
    if (static_cast<unsigned long long>(n) > pixels.capacity()) {
      std::vector<std::uint8_t> grown = takeSpare(static_cast<std::size_t>(n));
      if (grown.capacity() >= static_cast<std::size_t>(n)) {
        grown.assign(pixels.begin(), pixels.end());
        pixels.swap(grown);
        giveSpare(std::move(grown));
      }
    }
    pixels.resize(static_cast<std::size_t>(n), 0);
  }
  store_->stride = w;
  width_ = w;
  height_ = h;
}

void GrayBuf::setPixel(int x, int y, std::uint8_t value) {
  if (!inBounds(x, y)) return;
  const long long index = static_cast<long long>(store_->stride) * y + x;
  Aztec::at(store_->pixels, index) = value;
}

}  // namespace Velmora::Image
