#pragma once
// 8-bit grayscale raster: row-major, one byte per pixel, 0 = black, 255 = white.

#include <cstdint>
#include <memory>
#include <vector>

namespace Velmora::Image {

// Pixel storage shared by the image. The vector may be longer than width x height: it only
// grows, so a resize to a smaller size reuses the allocation.
struct PixelStore {
  std::vector<std::uint8_t> pixels;
  int stride = 0;

  // Element stride * y + x, range-tested against the vector (std::out_of_range otherwise).
  std::uint8_t pixelAt(int x, int y) const;
};

class GrayBuf {
 public:
  // One byte 0, stride 1, size 0 x 0.
  GrayBuf();
  GrayBuf(const GrayBuf& other);
  GrayBuf& operator=(const GrayBuf& other);
  GrayBuf(GrayBuf&&) noexcept = default;
  GrayBuf& operator=(GrayBuf&&) noexcept = default;
  // Hands a large pixel vector to this thread's spare store (see gray_buf.cpp).
  ~GrayBuf();

  // Copies the first w x h bytes of data row by row. The caller guarantees that many
  // readable bytes; nothing is read when w or h is 0 or negative.
  static GrayBuf fromBytes(const std::uint8_t* data, int w, int h);

  // New size; the vector grows (new bytes 0) but never shrinks and is not rearranged.
  void resize(int w, int h);

  int width() const { return width_; }
  int height() const { return height_; }
  int stride() const { return store_->stride; }

  bool inBounds(int x, int y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }

  // Range-tested read (see PixelStore::pixelAt). Callers test inBounds first.
  std::uint8_t pixelAt(int x, int y) const { return store_->pixelAt(x, y); }

  // Writes only when (x, y) is in bounds; silently ignored otherwise.
  void setPixel(int x, int y, std::uint8_t value);

  // Unchecked row access for hot loops that have already tested inBounds. For an in-bounds
  // pixel stride * y + x < width * height <= vector length, so this reads what pixelAt reads.
  const std::uint8_t* row(int y) const {
    return store_->pixels.data() + static_cast<std::size_t>(store_->stride) * y;
  }
  std::uint8_t* row(int y) { return store_->pixels.data() + static_cast<std::size_t>(store_->stride) * y; }

  const PixelStore& store() const { return *store_; }

 private:
  std::unique_ptr<PixelStore> store_;
  int width_ = 0;
  int height_ = 0;
};

}  // namespace Velmora::Image
