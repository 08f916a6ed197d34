// Large pixel vectors are reused within a thread; a reused one must look exactly like a new one.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "image/gray_buf.h"

namespace {

using Velmora::Image::GrayBuf;

TEST(GrayBufReuse, StorageOfAGoneImageComesBackAsNew) {
  const int w = 640, h = 480;
  const std::vector<std::uint8_t> bright(static_cast<std::size_t>(w) * h, 0xEE);
  for (int round = 0; round < 3; ++round) {
    {
      GrayBuf gone = GrayBuf::fromBytes(bright.data(), w, h);
      GrayBuf copy(gone);
      ASSERT_EQ(copy.store().pixels, bright);
    }
    // Grown from one byte: every byte 0, whatever the reused storage held.
    GrayBuf levels;
    levels.resize(w, h);
    ASSERT_EQ(levels.store().pixels.size(), bright.size());
    for (std::uint8_t v : levels.store().pixels) ASSERT_EQ(v, 0);
    // A smaller frame, then a copy: the size is the source's, not the reused capacity.
    const std::vector<std::uint8_t> small(static_cast<std::size_t>(320) * 240, 7);
    GrayBuf frame = GrayBuf::fromBytes(small.data(), 320, 240);
    GrayBuf copy = frame;
    EXPECT_EQ(copy.store().pixels, small);
    EXPECT_EQ(copy.width(), 320);
    // Assignment over an image hands its storage on and takes the source's contents.
    levels = frame;
    EXPECT_EQ(levels.store().pixels, small);
    EXPECT_EQ(levels.height(), 240);
  }
}

}  // namespace
