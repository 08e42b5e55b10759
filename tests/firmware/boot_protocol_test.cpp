// Checks made on a firmware image before an update, and the boot loader's byte rules.

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "boot_protocol.h"
#include "hex_reader.h"
#include "qt_printers.h"
#include "wire_backlog.h"

using namespace vorkal;

namespace {

FirmwareImage ImageWith(std::initializer_list<std::pair<int, const char*>> texts) {
    FirmwareImage image;
    for (const auto& [at, text] : texts) std::memcpy(image.bytes.data() + at, text, std::strlen(text));
    return image;
}

}  // namespace

TEST(FirmwareMarker, FoundOnlyInsideBytesZeroToThousand) {
    struct Case {
        int at;
        bool found;
    };
    const Case cases[] = {
        {0, true},
        {995, true},   // last letter is byte 1000
        {996, false},  // last letter would be byte 1001
        {2000, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(HasFirmwareMarker(ImageWith({{c.at, "Vorkal"}})), c.found) << "at " << c.at;
    }
    EXPECT_FALSE(HasFirmwareMarker(ImageWith({{10, "vorkal"}, {40, "VORKAL"}})));
    EXPECT_FALSE(HasFirmwareMarker(FirmwareImage()));
}

TEST(FirmwareVersion, LowestDigitWinsAtItsFirstOccurrence) {
    struct Case {
        std::initializer_list<std::pair<int, const char*>> texts;
        QByteArray expected;
    };
    const Case cases[] = {
        {{{100, "Vorkal v1.23"}}, "v1.23"},
        {{{10, "v2.00"}, {500, "v1.50"}, {700, "v1.99"}}, "v1.50"},  // v1. beats an earlier v2.
        {{{10, "v9.01"}}, "v9.01"},
        {{{10, "v0.7"}}, QByteArray("v0.7\xFF", 5)},  // five bytes whatever follows
        {{{998, "v3.45"}}, "v3."},                    // cut at byte 1000
        {{{1001, "v3.45"}}, "v?.??"},                 // beyond the window
        {{{10, "V1.23 v.12 vA.12"}}, "v?.??"},
    };
    for (const Case& c : cases) EXPECT_EQ(FirmwareVersionText(ImageWith(c.texts)), c.expected);
}

TEST(FirmwareVersion, ControlCharactersCannotCutTheQuestion) {
    EXPECT_EQ(PrintableVersion(QByteArray("v1.23", 5)), "v1.23");
    EXPECT_EQ(PrintableVersion(QByteArray("v1\0\r\n", 5)), "v1???");
    EXPECT_EQ(PrintableVersion(QByteArray("v1.2\xE9", 5)), QString::fromLatin1("v1.2\xE9"));
    EXPECT_EQ(PrintableVersion(QByteArray()), "");
}

TEST(BootEscaping, OnlyTheEscapeByteIsDoubled) {
    QByteArray wire;
    for (uint8_t b : {0x00, 0xA5, 0x25, 0xA6, 0xA5, 0xFF, 0x80}) AppendEscaped(wire, b);
    EXPECT_EQ(wire, QByteArray("\x00\xA5\x25\x25\xA6\xA5\x25\xFF\x80", 9));

    const uint8_t image[] = {0xA5, 0xA5, 0x01, 0xA5};
    EXPECT_EQ(EscapedLength(image, 4), 7);
    EXPECT_EQ(EscapedLength(image + 2, 1), 1);
    EXPECT_EQ(EscapedLength(image, 0), 0);
    EXPECT_EQ(BootHandshake(), QByteArray("Mofe\xFF", 5));
}

TEST(BootCompatibility, LengthsAcceptedByEachProcessor) {
    struct Case {
        int length;
        uint32_t blockSize;
        bool suits;
    };
    const Case cases[] = {
        {1, 512, true},       {15870, 512, true},   {15871, 512, false},  {15899, 512, false}, {15900, 1792, true},
        {15899, 1792, false}, {15871, 1792, false}, {32500, 1792, true},  {1300, 1792, false}, {1300, 256, false},
        {20000, 256, false},  {15885, 512, false},  {15885, 1792, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ImageSuitsBlockSize(c.length, c.blockSize), c.suits) << c.length << " / " << c.blockSize;
    EXPECT_TRUE(IsKnownBlockSize(512));
    EXPECT_TRUE(IsKnownBlockSize(1792));
    for (uint32_t other : {0u, 256u, 511u, 0x10200u}) EXPECT_FALSE(IsKnownBlockSize(other)) << other;
}

// Data from the storage bound on is the boot loader's own area: the lowest such address
// is what the refusal names, whatever order the records come in.
TEST(BootArea, RefusalNamesTheLowestAddressInTheBootLoadersArea) {
    struct Case {
        const char* name;
        std::vector<QByteArray> records;
        QString address;  // empty: the image may be sent
    };
    const Case cases[] = {
        {"below the area only", {":0100000011EE", ":017DFF001172"}, {}},
        {"first byte of the area", {":0100000011EE", ":017E00005A27"}, "0x7E00"},
        {"a record that runs into the area", {":027DFF00AABB1D"}, "0x7E00"},
        {"higher record first", {":017E80005AA7", ":017E10005A17"}, "0x7E10"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FirmwareImage image;
        for (const QByteArray& record : c.records) ASSERT_GE(ParseHexRecord(record, image), 0) << record.constData();
        const QString refusal = BootAreaRefusal(image, false);
        if (c.address.isEmpty()) {
            EXPECT_TRUE(refusal.isEmpty()) << refusal.toStdString();
        } else {
            EXPECT_TRUE(refusal.contains(" " + c.address + ".")) << refusal.toStdString();
            EXPECT_TRUE(BootAreaRefusal(image, true).contains(" " + c.address + "."));
        }
        image.reset();
        EXPECT_TRUE(BootAreaRefusal(image, false).isEmpty());
    }
}

TEST(BootTexts, ConfirmationQuestionInBothLanguages) {
    EXPECT_EQ(ConfirmUpdateQuestion("v1.23", "v1.30", false),
              "Current firmware version : v1.23     \r\nNew firmware version      : v1.30\r\n\r\nUpdate firmware ?");
    EXPECT_EQ(ConfirmUpdateQuestion("", "v?.??", true),
              QString::fromUtf8("Aktualne oprogramowanie :      \r\nNowe oprogramowanie      : v?.??\r\n\r\n"
                                "Rozpocząć aktualizację ?"));
    EXPECT_EQ(FirmwareUpdateText(FirmwareText::IncompatibleFirmware, false), "Incompatible firmare !");
    EXPECT_EQ(FirmwareUpdateText(FirmwareText::VerificationError, true), QString::fromUtf8("Błąd weryfikacji !"));
}

// The line after "Incompatible firmare !" names the image's size and what the boot
// loader of each processor takes, in both languages.
TEST(BootTexts, IncompatibleImageReasonNamesBothSizes) {
    EXPECT_EQ(IncompatibleFirmwareReason(16000, kSmallBlockSize, false),
              "The image holds 16000 bytes; this display's boot loader takes at most 15870 bytes.");
    EXPECT_EQ(IncompatibleFirmwareReason(16000, kSmallBlockSize, true),
              QString::fromUtf8("Obraz ma 16000 bajtów, a program ładujący tego wyświetlacza przyjmuje najwyżej "
                                "15870 bajtów."));
    EXPECT_EQ(IncompatibleFirmwareReason(900, kLargeBlockSize, true),
              QString::fromUtf8("Obraz ma 900 bajtów, a program ładujący tego wyświetlacza przyjmuje od 15900 do "
                                "32500 bajtów: to oprogramowanie jest dla mniejszego procesora."));
}

TEST(WireBacklog, BytesLeaveAtTenBitsEach) {
    WireBacklog line(57600);  // 173611 ns a byte
    const int64_t byte = line.byteNs();
    ASSERT_EQ(byte, 173611);
    line.add(100, 0);
    struct Case {
        int64_t now;
        int pending;
        int64_t waitFor256, waitForNone;
    };
    const Case cases[] = {
        {0, 100, 0, 100 * byte},
        {byte, 99, 0, 99 * byte},
        {byte + 1, 99, 0, 99 * byte - 1},  // a byte partly sent is still pending
        {100 * byte, 0, 0, 0},
        {200 * byte, 0, 0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(line.pending(c.now), c.pending) << c.now;
        EXPECT_EQ(line.waitNs(256, c.now), c.waitFor256) << c.now;
        EXPECT_EQ(line.waitNs(0, c.now), c.waitForNone) << c.now;
    }
    // Handed over while the line was busy: queued behind; after it fell idle: from then on.
    line.add(300, 50 * byte);
    EXPECT_EQ(line.pending(50 * byte), 350);
    EXPECT_EQ(line.waitNs(256, 50 * byte), 94 * byte);
    line.add(10, 1000 * byte);
    EXPECT_EQ(line.pending(1000 * byte), 10);
    line.clear();
    EXPECT_EQ(line.pending(1000 * byte), 0);

    WireBacklog unpaced;
    unpaced.add(5000, 0);
    EXPECT_EQ(unpaced.pending(0), 0);
    EXPECT_EQ(unpaced.waitNs(0, 0), 0);
}
