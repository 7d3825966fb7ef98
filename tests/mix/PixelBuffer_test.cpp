#include "mix/PixelBuffer.h"

#include "platform/RuntimeError.h"

#include <gtest/gtest.h>

using namespace vantorell;

TEST(PixelBuffer, CaptureOfA729By425ImageHasTheBitmapInfoLayout)
{
    Bitmap image(729, 425);
    image.setPixel(728, 424, 0x00332211);   // red 0x11, green 0x22, blue 0x33
    image.mutableRow(0)[3] = 0x7F;          // a fourth byte that a capture clears
    PixelBuffer buffer;
    buffer.capture(image);
    EXPECT_EQ(buffer.header.size, 40);
    EXPECT_EQ(buffer.header.width, 729);
    EXPECT_EQ(buffer.header.height, -425);
    EXPECT_EQ(buffer.header.planes, 1);
    EXPECT_EQ(buffer.header.bitCount, 32);
    EXPECT_EQ(buffer.header.compression, 0u);
    EXPECT_EQ(buffer.header.sizeImage, 0u);
    EXPECT_EQ(buffer.byteCount(), 1239300u);
    EXPECT_EQ(buffer.data()[1239296], 0x33);   // pixel (728, 424) starts at byte 1239296: blue first
    EXPECT_EQ(buffer.data()[1239297], 0x22);
    EXPECT_EQ(buffer.data()[1239298], 0x11);
    EXPECT_EQ(buffer.at(2, 728, 424), 0x11);
    EXPECT_EQ(buffer.at(3, 0, 0), 0);
    EXPECT_EQ(image.row(0)[3], 0x7F);           // the source is not written
    EXPECT_THROW(buffer.at(0, 729, 0), RuntimeError);
    EXPECT_THROW(buffer.at(4, 0, 0), RuntimeError);
}

TEST(PixelBuffer, CaptureSharesCleanPixelsAndWritesDetach)
{
    Bitmap image(16, 8);
    PixelBuffer buffer;
    buffer.capture(image);
    EXPECT_TRUE(buffer.pixels().sharesPixelsWith(image));
    buffer.set(0, 1, 1, 9);
    EXPECT_FALSE(buffer.pixels().sharesPixelsWith(image));
    EXPECT_EQ(image.pixel(1, 1), 0);
}

TEST(PixelBuffer, ReleaseKeepsTheHeaderAndOneElementThenCapturesAgain)
{
    PixelBuffer buffer;
    buffer.capture(Bitmap(10, 4));
    buffer.release();
    EXPECT_TRUE(buffer.released());
    EXPECT_EQ(buffer.byteCount(), 1u);
    EXPECT_EQ(buffer.header.width, 10);
    EXPECT_EQ(buffer.at(0, 0, 0), 0);
    EXPECT_THROW(buffer.at(0, 1, 0), RuntimeError);
    buffer.capture(Bitmap(3, 5));
    EXPECT_EQ(buffer.header.width, 3);
    EXPECT_EQ(buffer.header.height, -5);
    EXPECT_EQ(buffer.byteCount(), 60u);
    EXPECT_THROW(buffer.capture(Bitmap()), RuntimeError);   // an empty image: no array bounds
}

TEST(PixelBuffer, ReleasedMemoryServesTheNextCaptureOfTheSameSize)
{
    Bitmap first(6, 4), second(6, 4);
    second.setPixel(5, 3, 0x00ABCDEF);
    PixelBuffer buffer;
    buffer.capture(first);
    buffer.set(0, 0, 0, 1);                        // detaches: the buffer owns its block now
    const std::uint8_t* block = buffer.data();
    buffer.release();
    EXPECT_EQ(buffer.byteCount(), 1u);
    buffer.capture(second);
    EXPECT_EQ(buffer.data(), block);               // the same block, holding the new pixels
    EXPECT_FALSE(buffer.pixels().sharesPixelsWith(second));
    EXPECT_EQ(buffer.at(2, 5, 3), 0xEF);
    EXPECT_EQ(buffer.at(0, 0, 0), 0);
    buffer.release();
    buffer.trim();
    buffer.capture(second);                        // nothing kept: shared again
    EXPECT_TRUE(buffer.pixels().sharesPixelsWith(second));
}
