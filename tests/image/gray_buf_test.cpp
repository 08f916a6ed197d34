#include "image/gray_buf.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <vector>

namespace {

using Velmora::Image::GrayBuf;

TEST(GrayBuf, FromBytesRowByRowWithRangeTestedReads) {
  const std::uint8_t bytes[] = {1, 2, 3, 4, 5, 6, 200};
  const GrayBuf image = GrayBuf::fromBytes(bytes, 3, 2);
  EXPECT_EQ(image.pixelAt(0, 0), 1);
  EXPECT_EQ(image.pixelAt(2, 0), 3);
  EXPECT_EQ(image.pixelAt(0, 1), 4);
  EXPECT_EQ(image.pixelAt(2, 1), 6);
  EXPECT_EQ(image.store().pixels.size(), 6u);  // the seventh source byte is not read
  EXPECT_TRUE(image.inBounds(2, 1));
  for (auto [x, y] : {std::pair{3, 0}, std::pair{0, 2}, std::pair{-1, 0}}) EXPECT_FALSE(image.inBounds(x, y));
  for (auto [x, y] : {std::pair{0, 2}, std::pair{-1, 0}, std::pair{0x7fffffff, 0x7fffffff}}) {
    try {
      (void)image.pixelAt(x, y);
      ADD_FAILURE() << "read (" << x << ", " << y << ") succeeded";
    } catch (const std::out_of_range& e) {
      EXPECT_STREQ(e.what(), "invalid vector<T> subscript");
    }
  }
  // Empty and negative sizes read no source byte (a null pointer would fault) and hold no pixel.
  for (auto [w, h] : {std::pair{0, 0}, std::pair{5, 0}, std::pair{-3, 4}}) {
    const GrayBuf empty = GrayBuf::fromBytes(nullptr, w, h);
    for (int i = -1; i < 6; ++i) EXPECT_FALSE(empty.inBounds(i, i) || empty.inBounds(0, i) || empty.inBounds(i, 0)) << w << "x" << h;
  }
}

TEST(GrayBuf, ResizeKeepsTheVectorInPlace) {
  std::vector<std::uint8_t> bytes(16);
  for (int i = 0; i < 16; ++i) bytes[i] = static_cast<std::uint8_t>(10 + i);
  GrayBuf image = GrayBuf::fromBytes(bytes.data(), 4, 4);
  image.resize(2, 2);  // 16 elements stay; stride 2 reads the first four as they were
  EXPECT_EQ(image.store().pixels.size(), 16u);
  EXPECT_EQ(image.stride(), 2);
  EXPECT_EQ(image.pixelAt(0, 1), 12);
  EXPECT_EQ(image.pixelAt(1, 1), 13);
  image.resize(5, 4);  // growing zero-fills the new elements and does not rearrange the old
  EXPECT_EQ(image.store().pixels.size(), 20u);
  EXPECT_EQ(image.pixelAt(0, 1), 15);
  EXPECT_EQ(image.pixelAt(4, 3), 0);
  EXPECT_EQ(image.row(1)[0], 15);
}

TEST(GrayBuf, CopiesAreIndependentAndWritesAreBounded) {
  const std::uint8_t bytes[] = {1, 2, 3, 4};
  GrayBuf source = GrayBuf::fromBytes(bytes, 2, 2);
  source.resize(1, 1);  // vector longer than the image: the copy takes all of it
  GrayBuf copy(source);
  EXPECT_EQ(copy.store().pixels, source.store().pixels);
  copy.setPixel(0, 0, 99);
  EXPECT_EQ(copy.pixelAt(0, 0), 99);
  EXPECT_EQ(source.pixelAt(0, 0), 1);
  // Outside width x height a write is ignored, even where the vector has an element.
  for (auto [x, y] : {std::pair{1, 0}, std::pair{0, 1}, std::pair{-1, 0}, std::pair{1000, 1000}}) EXPECT_NO_THROW(source.setPixel(x, y, 250));
  EXPECT_EQ(source.store().pixels, (std::vector<std::uint8_t>{1, 2, 3, 4}));
}

}  // namespace
