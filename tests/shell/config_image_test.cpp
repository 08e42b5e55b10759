// Image layout, element offsets and the factory images of both display variants.

#include <gtest/gtest.h>

#include <QCryptographicHash>

#include "config_image.h"

using namespace vorkal;

namespace {

QByteArray sha1(const ConfigImage& c) {
    return QCryptographicHash::hash(
               QByteArrayView(reinterpret_cast<const char*>(c.image.data()), qsizetype(c.image.size())),
               QCryptographicHash::Sha1)
        .toHex();
}

}  // namespace

TEST(ConfigImage, ElementOffsets) {
    struct Case {
        DisplayVariant variant;
        int layout, index, offset;
    };
    const Case cases[] = {
        {DisplayVariant::D84x48, 2, 0, 90},     // bar of layout 3
        {DisplayVariant::D84x48, 0, 20, 42},    // last element of layout 1
        {DisplayVariant::D84x48, 1, 1, 49},     // first text element of layout 2
        {DisplayVariant::D128x64, 0, 23, 512},  // line 1 of layout 1
        {DisplayVariant::D128x64, 7, 42, 989},  // line 20 of layout 8
        {DisplayVariant::D128x64, 7, 22, 480},  // element 22 of layout 8
        {DisplayVariant::D128x64, 3, 0, 186},
    };
    for (const Case& c : cases) {
        ConfigImage img;
        img.setVariant(c.variant);
        img.selectedLayout = c.layout;
        EXPECT_EQ(img.ElementOffset(c.index), c.offset) << "layout " << c.layout << " index " << c.index;
    }
}

TEST(ConfigImage, LayoutByteAndLogArea) {
    ConfigImage img;
    img.image[kLayoutByte] = 0x30;
    EXPECT_EQ(img.layoutCount(), 3);
    EXPECT_EQ(img.layoutAreaLength(), 135);
    EXPECT_EQ(img.inImageLogRecordCount(), 41);  // records 0 .. 40
    EXPECT_EQ(ConfigImage::inImageLogRecordOffset(0), 495);
    EXPECT_EQ(ConfigImage::inImageLogRecordOffset(40), 135);

    img.image[kLayoutByte] = 0xF2;
    EXPECT_EQ(img.layoutCount(), 8);
    EXPECT_EQ(img.storedCurrentLayout(), 2);
    EXPECT_EQ(img.layoutAreaLength(), 360);
    img.setVariant(DisplayVariant::D128x64);
    EXPECT_EQ(img.layoutAreaLength(), 496);
}

TEST(ConfigImage, FactoryImages) {
    ConfigImage small;
    small.image.fill(0x11);
    small.LoadFactoryImage();
    EXPECT_EQ(small.image[0], 0x02);
    EXPECT_EQ(small.image[44], 0xFF);
    EXPECT_EQ(small.image[45], 0x63);
    EXPECT_EQ(small.image[134], 0xFF);
    EXPECT_EQ(small.image[135], 0xFF);
    EXPECT_EQ(small.image[507], 0);
    EXPECT_EQ(small.image[508], 48);
    EXPECT_EQ(small.image[509], 3);
    EXPECT_EQ(small.image[510], 10);
    EXPECT_EQ(small.image[511], 70);
    EXPECT_EQ(small.image[512], 0xFF);
    EXPECT_EQ(small.image[1023], 0xFF);
    EXPECT_EQ(sha1(small), "5ae4eb249636dcbb2e25a631c8a5762b48c1a83d");

    ConfigImage large;
    large.setVariant(DisplayVariant::D128x64);
    large.LoadFactoryImage();
    EXPECT_EQ(large.image[61], 0x00);
    EXPECT_EQ(large.image[62], 0x81);
    EXPECT_EQ(large.image[185], 0x00);
    EXPECT_EQ(large.image[186], 0xFF);
    EXPECT_EQ(large.image[510], 24);
    EXPECT_EQ(large.image[511], 144);
    // Line 1 of layout 1: horizontal at (0, 51), length 126.
    EXPECT_EQ(large.image[512], 0x00);
    EXPECT_EQ(large.image[513], 0x33);
    EXPECT_EQ(large.image[514], 0x7E);
    // Last line of layout 1 is hidden with length 1; layout 3's lines are all hidden.
    EXPECT_EQ(large.image[569], 0x80);
    EXPECT_EQ(large.image[571], 0x01);
    EXPECT_EQ(large.image[632], 0x80);
    EXPECT_EQ(large.image[691], 0x00);
    EXPECT_EQ(large.image[692], 0xFF);
    EXPECT_EQ(sha1(large), "3d2f01c4df4918132366e07f39dfd0871bc6b4f9");
}
