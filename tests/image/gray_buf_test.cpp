#include "image/gray_buf.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <vector>

namespace {

using Velmora::Image::GrayBuf;
using Bytes = std::vector<std::uint8_t>;

TEST(GrayBuf, FromBytesRowByRowWithRangeTestedReads) {
  const std::uint8_t bytes[] = {1, 2, 3, 4, 5, 6, 200};
  const GrayBuf image = GrayBuf::fromBytes(bytes, 3, 2);
  EXPECT_EQ(image.store().pixels, (Bytes{1, 2, 3, 4, 5, 6}));  // the seventh source byte is not read
  EXPECT_EQ(image.pixelAt(0, 1), 4);
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
    for (int i = -1; i < 6; ++i)
      EXPECT_FALSE(empty.inBounds(i, i) || empty.inBounds(0, i) || empty.inBounds(i, 0)) << w << "x" << h;
  }
}

TEST(GrayBuf, ResizeKeepsTheVectorInPlaceAndWritesAreBounded) {
  Bytes bytes(16);
  for (int i = 0; i < 16; ++i) bytes[i] = static_cast<std::uint8_t>(10 + i);
  GrayBuf image = GrayBuf::fromBytes(bytes.data(), 4, 4);
  image.resize(2, 2);  // 16 elements stay; stride 2 reads the first four as they were
  EXPECT_EQ(image.store().pixels, bytes);
  EXPECT_EQ(image.pixelAt(1, 1), 13);
  // Outside width x height a write is ignored, even where the vector has an element; a copy
  // takes the whole vector and is independent of its source.
  for (auto [x, y] : {std::pair{2, 0}, std::pair{0, 2}, std::pair{-1, 0}, std::pair{1000, 1000}})
    image.setPixel(x, y, 250);
  GrayBuf copy(image);
  copy.setPixel(0, 0, 99);
  EXPECT_EQ(image.store().pixels, bytes);
  EXPECT_EQ(copy.pixelAt(0, 0), 99);
  image.resize(5, 4);  // growing zero-fills the new elements and does not rearrange the old
  EXPECT_EQ(image.store().pixels.size(), 20u);
  EXPECT_EQ(image.pixelAt(0, 1), 15);
  EXPECT_EQ(image.row(3)[4], 0);
}

// Large pixel vectors are reused within a thread; a reused one must look exactly like a new one.
TEST(GrayBuf, StorageOfAGoneImageComesBackAsNew) {
  const Bytes bright(640 * 480, 0xEE), small(320 * 240, 7);
  for (int round = 0; round < 3; ++round) {
    { GrayBuf gone = GrayBuf::fromBytes(bright.data(), 640, 480), copy(gone); }
    GrayBuf levels;
    levels.resize(640, 480);  // grown from one byte: every byte 0, whatever the storage held
    ASSERT_EQ(levels.store().pixels, Bytes(bright.size(), 0));
    // A smaller frame, copied and assigned: the source's size, not the reused capacity.
    const GrayBuf frame = GrayBuf::fromBytes(small.data(), 320, 240);
    const GrayBuf copy = frame;
    EXPECT_EQ(copy.store().pixels, small);
    levels = frame;
    EXPECT_EQ(levels.store().pixels, small);
    EXPECT_EQ(levels.height(), 240);
  }
}

}  // namespace
