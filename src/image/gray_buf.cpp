#include "image/gray_buf.h"

#include <algorithm>

#include "common/checked_access.h"

namespace Velmora::Image {

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

GrayBuf::GrayBuf(const GrayBuf& other)
    : store_(std::make_unique<PixelStore>(*other.store_)), width_(other.width_), height_(other.height_) {}

GrayBuf& GrayBuf::operator=(const GrayBuf& other) {
  if (this != &other) {
    store_ = std::make_unique<PixelStore>(*other.store_);
    width_ = other.width_;
    height_ = other.height_;
  }
  return *this;
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
    store_->pixels.resize(static_cast<std::size_t>(n), 0);
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
