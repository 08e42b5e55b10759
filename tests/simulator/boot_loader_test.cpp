#include <gtest/gtest.h>

#include "boot_loader.h"

using namespace vorkal::sim;

namespace {

using Bytes = std::string;

// The stream the configurator sends for a program or verify pass.
Bytes Escaped(const std::vector<uint8_t>& image) {
    Bytes out;
    for (uint8_t b : image) {
        out += char(b);
        if (b == 0xA5) out += char(0x25);
    }
    return out;
}

Bytes Command(uint8_t code) {
    Bytes out;
    if (code == 0x01 || code == 0x04 || code == 0x07) out += "\xA5\xA5";
    out += char(0xA5);
    out += char(code);
    return out;
}

class Boot : public ::testing::Test {
protected:
    Boot() { memory.reset(SimVariant::D84x48Log, "v1.23"); }

    // Feeds bytes; returns every reply byte, and counts a restart of the firmware.
    Bytes feed(const Bytes& bytes) {
        Bytes replies;
        for (unsigned char b : bytes) {
            const auto out = loader.feed(b);
            replies += out.bytes;
            if (out.startFirmware) ++restarts;
        }
        return replies;
    }

    static std::vector<uint8_t> Image(size_t size) {
        std::vector<uint8_t> image(size);
        for (size_t i = 0; i < size; ++i) image[i] = uint8_t(i * 7 + 3);
        image[5] = image[6] = 0xA5;         // escapes, also back to back
        if (size > 511) image[511] = 0xA5;  // the last byte of a block escaped
        const char banner[] = "Vorkal v2.07";
        std::copy(banner, banner + sizeof banner, image.begin() + 100);
        return image;
    }

    DisplayMemory memory;
    BootFaults faults;
    BootLoader loader{memory, faults};
    int restarts = 0;
};

}  // namespace

TEST_F(Boot, HandshakeIsFoundInsideNoise) {
    EXPECT_EQ(feed("Mo"
                   "Mofe\xFF"),
              "\xA6");
    EXPECT_EQ(feed("Mofe"), "");
    EXPECT_EQ(feed("\xFF"), "\xA6");  // completed across two reads
    EXPECT_EQ(feed("Mofx\xFF"), "");
}

TEST_F(Boot, IdentifyFrameCarriesTheBlockSize) {
    for (int size : {512, 1792}) {
        loader.setBlockSize(size);
        const Bytes expected = {'\xA8', '\x03', char(size >> 8), '\x00'};
        EXPECT_EQ(feed(Command(0xA5) + Command(0x01)), expected);
    }
}

TEST_F(Boot, ProgramsEscapedImageWithOneAcknowledgementPerBlock) {
    struct Case {
        int blockSize;
        size_t length;
        size_t acks;  // a short last block is not acknowledged
    };
    const Case cases[] = {{512, 1300, 2}, {512, 1024, 2}, {1792, 15900, 8}, {512, 511, 0}};
    for (const auto& c : cases) {
        memory.flash.assign(kFlashSize, 0xFF);
        loader.restart();
        loader.setBlockSize(c.blockSize);
        const auto image = Image(c.length);
        const Bytes replies = feed(Command(0x04) + Escaped(image));
        EXPECT_EQ(replies, Bytes(c.acks, '\xAA')) << c.length;
        EXPECT_EQ(feed(Command(0x80)), "\xAA");
        EXPECT_TRUE(std::equal(image.begin(), image.end(), memory.flash.begin())) << c.length;
        EXPECT_EQ(memory.flash[c.length], 0xFF);  // nothing written past the image
        EXPECT_EQ(loader.programmedBytes(), int(c.length));

        EXPECT_EQ(feed(Command(0x07) + Escaped(image) + Command(0x80)), "\xAA") << c.length;
    }
    EXPECT_EQ(feed(Command(0x05)), "");
    EXPECT_EQ(restarts, 1);
    EXPECT_EQ(VersionFromImage(memory.flash.data(), memory.flash.size()), "v2.07");
}

TEST_F(Boot, VerifyReportsTheFirstDifferenceOnce) {
    const auto image = Image(1300);
    feed(Command(0x04) + Escaped(image) + Command(0x80));
    auto changed = image;
    changed[700] ^= 1;
    changed[900] ^= 1;
    EXPECT_EQ(feed(Command(0x07) + Escaped(changed)), "\xAB");
    EXPECT_EQ(feed(Command(0x80)), "\xAB");
    // An unescaped 0xA5 is a broken stream, never a data byte.
    Bytes broken = Escaped(image);
    broken.erase(7, 1);  // the 0x25 after image[6]
    EXPECT_EQ(feed(Command(0x07) + broken + Command(0x80)).back(), '\xAB');
}

TEST_F(Boot, FaultsFailBlocksAndVerification) {
    const auto image = Image(1300);
    faults.refuseBlocks = 1;
    EXPECT_EQ(feed(Command(0x04) + Escaped(image) + Command(0x80)), "\xAB\xAA\xAB");
    faults.corruptFlash = true;
    EXPECT_EQ(feed(Command(0x04) + Escaped(image) + Command(0x80)), "\xAA\xAA\xAA");
    EXPECT_EQ(feed(Command(0x07) + Escaped(image) + Command(0x80)), "\xAB\xAB");
}

TEST(FirmwareVersion, FoundInTheImageLikeTheConfiguratorDoes) {
    struct Case {
        std::string image;
        std::string version;
    };
    const Case cases[] = {
        {"Vorkal v1.45 build", "v1.45"},
        {"v2.00 v1.10 Vorkal", "v1.10"},  // the lowest digit wins, not the first place
        {"firmware v1.45", "v?.??"},      // no marker
        {"Vorkal v1.", "v1."},            // text ends early
        {"Vorkal v3.\n\x01"
         "x",
         "v3.??"},
        {"v1.11" + std::string(990, ' ') + "Vorkal", "v1.11"},  // marker ends at byte 1000
        {"v1.11" + std::string(991, ' ') + "Vorkal", "v?.??"},  // marker reaches past it
    };
    for (const auto& c : cases) {
        const auto* data = reinterpret_cast<const uint8_t*>(c.image.data());
        EXPECT_EQ(VersionFromImage(data, c.image.size()), c.version) << c.image.substr(0, 30);
    }
}
