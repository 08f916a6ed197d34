#include "image/gray_buf.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <vector>

namespace {

using Velmora::Image::GrayBuf;

void expectOutOfRange(const GrayBuf& image, int x, int y) {
  try {
    (void)image.pixelAt(x, y);
    ADD_FAILURE() << "read (" << x << ", " << y << ") succeeded";
  } catch (const std::out_of_range& e) {
    EXPECT_STREQ(e.what(), "invalid vector<T> subscript");
  }
}

TEST(GrayBuf, DefaultImage) {
  const GrayBuf image;
  EXPECT_EQ(image.width(), 0);
  EXPECT_EQ(image.height(), 0);
  EXPECT_EQ(image.stride(), 1);
  EXPECT_EQ(image.store().pixels, std::vector<std::uint8_t>{0});
  EXPECT_FALSE(image.inBounds(0, 0));
  EXPECT_EQ(image.pixelAt(0, 0), 0);  // the one stored byte is still readable
  expectOutOfRange(image, 1, 0);
}

TEST(GrayBuf, FromBytesRowByRow) {
  const std::uint8_t bytes[] = {1, 2, 3, 4, 5, 6, 200};
  const GrayBuf image = GrayBuf::fromBytes(bytes, 3, 2);
  EXPECT_EQ(image.width(), 3);
  EXPECT_EQ(image.height(), 2);
  EXPECT_EQ(image.stride(), 3);
  EXPECT_EQ(image.pixelAt(0, 0), 1);
  EXPECT_EQ(image.pixelAt(2, 0), 3);
  EXPECT_EQ(image.pixelAt(0, 1), 4);
  EXPECT_EQ(image.pixelAt(2, 1), 6);
  EXPECT_EQ(image.store().pixels.size(), 6u);  // the seventh source byte is not read
  EXPECT_TRUE(image.inBounds(2, 1));
  EXPECT_FALSE(image.inBounds(3, 0));
  EXPECT_FALSE(image.inBounds(0, 2));
  EXPECT_FALSE(image.inBounds(-1, 0));
  expectOutOfRange(image, 0, 2);
  expectOutOfRange(image, -1, 0);
  expectOutOfRange(image, 0, -1);
  expectOutOfRange(image, 0x7fffffff, 0x7fffffff);
}

TEST(GrayBuf, EmptyAndNegativeSizes) {
  // no source byte may be read: a null pointer would fault otherwise
  for (auto [w, h] : {std::pair{0, 0}, std::pair{5, 0}, std::pair{0, 5}, std::pair{-3, 4}, std::pair{-2, -2}}) {
    const GrayBuf image = GrayBuf::fromBytes(nullptr, w, h);
    EXPECT_EQ(image.width(), w);
    EXPECT_EQ(image.height(), h);
    for (int y = -1; y < 6; ++y) {
      for (int x = -1; x < 6; ++x) EXPECT_FALSE(image.inBounds(x, y)) << w << "x" << h << " at " << x << "," << y;
    }
  }
  EXPECT_EQ(GrayBuf::fromBytes(nullptr, 0, 0).stride(), 0);  // the fresh image's stride stays 0
}

TEST(GrayBuf, ResizeKeepsTheVector) {
  std::vector<std::uint8_t> bytes(16);
  for (int i = 0; i < 16; ++i) bytes[i] = static_cast<std::uint8_t>(10 + i);
  GrayBuf image = GrayBuf::fromBytes(bytes.data(), 4, 4);
  image.resize(2, 2);
  EXPECT_EQ(image.store().pixels.size(), 16u);
  EXPECT_EQ(image.stride(), 2);
  EXPECT_EQ(image.pixelAt(0, 0), 10);
  EXPECT_EQ(image.pixelAt(1, 0), 11);
  EXPECT_EQ(image.pixelAt(0, 1), 12);
  EXPECT_EQ(image.pixelAt(1, 1), 13);
  // growing keeps old elements in place and zero-fills the new ones
  image.resize(5, 4);
  EXPECT_EQ(image.store().pixels.size(), 20u);
  EXPECT_EQ(image.pixelAt(0, 0), 10);
  EXPECT_EQ(image.pixelAt(0, 1), 15);  // element 5, not rearranged for the new stride
  EXPECT_EQ(image.pixelAt(4, 3), 0);
  // same size: nothing changes, also not the stride
  image.resize(5, 4);
  EXPECT_EQ(image.stride(), 5);
}

TEST(GrayBuf, CopiesAreIndependentAndWritesAreBounded) {
  const std::uint8_t bytes[] = {1, 2, 3, 4};
  GrayBuf source = GrayBuf::fromBytes(bytes, 2, 2);
  source.resize(1, 1);  // vector longer than the image: the copy takes all of it
  GrayBuf copy(source);
  EXPECT_EQ(copy.store().pixels, source.store().pixels);
  EXPECT_EQ(copy.stride(), 1);
  EXPECT_EQ(copy.width(), 1);
  copy.setPixel(0, 0, 99);
  EXPECT_EQ(copy.pixelAt(0, 0), 99);
  EXPECT_EQ(source.pixelAt(0, 0), 1);

  GrayBuf assigned;
  assigned = source;
  assigned.setPixel(0, 0, 7);
  EXPECT_EQ(source.pixelAt(0, 0), 1);

  const std::vector<std::uint8_t> before = source.store().pixels;
  // outside width x height: ignored, even where the vector has an element
  for (auto [x, y] : {std::pair{1, 0}, std::pair{0, 1}, std::pair{-1, 0}, std::pair{0, -1}, std::pair{1000, 1000}}) {
    EXPECT_NO_THROW(source.setPixel(x, y, 250));
  }
  EXPECT_EQ(source.store().pixels, before);
}

TEST(GrayBuf, RowPointerMatchesPixelAt) {
  std::vector<std::uint8_t> bytes(7 * 5);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(3 * i);
  GrayBuf image = GrayBuf::fromBytes(bytes.data(), 7, 5);
  image.resize(3, 4);
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) EXPECT_EQ(image.row(y)[x], image.pixelAt(x, y)) << x << "," << y;
  }
}

}  // namespace
