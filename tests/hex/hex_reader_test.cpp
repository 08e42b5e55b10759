#include "hex_reader.h"

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace vorkal;

namespace {

// A record line with a correct check byte.
QByteArray record(int type, int address, const std::vector<uint8_t>& data) {
    QByteArray bytes;
    bytes.append(char(data.size()));
    bytes.append(char(address >> 8));
    bytes.append(char(address & 0xFF));
    bytes.append(char(type));
    for (uint8_t b : data) bytes.append(char(b));
    uint8_t sum = 0;
    for (char c : bytes) sum += uint8_t(c);
    bytes.append(char(uint8_t(-sum)));
    return ':' + bytes.toHex().toUpper();
}

struct RecordCase {
    const char* name;
    QByteArray line;
    int result;
    int length;                              // firmware image length afterwards
    std::vector<std::pair<int, int>> bytes;  // (address, value) to check afterwards
    QByteArray field;                        // the offending characters of a bad field
    int upperAddress = 0;                    // the address a refused extended address record sets
};

void PrintTo(const RecordCase& c, std::ostream* os) { *os << c.name; }

class ParseHexRecordTest : public ::testing::TestWithParam<RecordCase> {};

TEST_P(ParseHexRecordTest, ResultImageAndLength) {
    const RecordCase& c = GetParam();
    FirmwareImage image;
    HexRecordFault fault;
    EXPECT_EQ(ParseHexRecord(c.line, image, &fault), c.result);
    EXPECT_EQ(image.length, c.length);
    for (auto [address, value] : c.bytes) EXPECT_EQ(image.bytes[address], value) << "address " << address;
    EXPECT_EQ(fault.field, c.field);
    EXPECT_EQ(fault.upperAddress, c.upperAddress);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseHexRecordTest,
    ::testing::Values(
        RecordCase{"EndOfFile", ":00000001FF", kHexEndOfFile, 0, {}, {}},
        // The end-of-file check byte sits at 10-11 whatever the count says.
        RecordCase{"EndOfFileWithCount", ":02000001FD", kHexEndOfFile, 0, {}, {}},
        RecordCase{"Data",
                   ":0300300002337A1E",
                   kHexDataRecord,
                   0x33,
                   {{0x30, 0x02}, {0x31, 0x33}, {0x32, 0x7A}, {0x33, 0xFF}, {0x2F, 0xFF}},
                   {}},
        RecordCase{"LowerCaseAndTrailingText", ":0300300002337a1e  junk", kHexDataRecord, 0x33, {{0x32, 0x7A}}, {}},
        RecordCase{"ZeroLengthData", record(0, 0x100, {}), kHexDataRecord, 0, {}, {}},
        // Bytes are stored before the check byte is compared.
        RecordCase{
            "BadChecksumKeepsBytes", ":0300300002337A1F", kHexBadChecksum, 0x33, {{0x30, 0x02}, {0x32, 0x7A}}, {}},
        RecordCase{"BadEndOfFileChecksum", ":00000001FE", kHexBadChecksum, 0, {}, {}},
        // Extended address records of 0, as toolchains write them first: nothing stored.
        RecordCase{"ExtendedLinearAddressZero", ":020000040000FA", kHexAddressRecord, 0, {{0, 0xFF}}, {}},
        RecordCase{"ExtendedSegmentAddressZero", record(2, 0, {0, 0}), kHexAddressRecord, 0, {{0, 0xFF}}, {}},
        RecordCase{"ExtendedLinearAddressOne", ":020000040001F9", kHexUpperAddress, 0, {}, {}, 0x0001},
        RecordCase{"ExtendedSegmentAddress", record(2, 0, {0x10, 0x00}), kHexUpperAddress, 0, {}, {}, 0x1000},
        // Only the high byte set: the low byte alone must not decide.
        RecordCase{"ExtendedLinearAddressHighByte", record(4, 0, {0x01, 0x00}), kHexUpperAddress, 0, {}, {}, 0x0100},
        // A corrupt record says nothing reliable about its address.
        RecordCase{"ExtendedAddressBadChecksum", ":020000040001FA", kHexBadChecksum, 0, {}, {}},
        RecordCase{"ExtendedAddressOneByte", record(4, 0, {0}), kHexBadRecordType, 0, {}, {}},
        RecordCase{"ExtendedAddressCutShort", ":02000004000", kHexBadField, 0, {}, "000"},
        RecordCase{"ExtendedAddressWithoutCheck", ":020000040000", kHexBadField, 0, {}, ""},
        RecordCase{"StartSegmentAddress", record(3, 0, {0, 0, 0, 0}), kHexBadRecordType, 0, {}, {}},
        RecordCase{"StartLinearAddressNoCheck", ":04000005", kHexBadRecordType, 0, {}, {}},
        RecordCase{"Empty", "", kHexNotHex, 0, {}, {}}, RecordCase{"NoColon", "00000001FF", kHexNotHex, 0, {}, {}},
        RecordCase{"LeadingSpace", " :00000001FF", kHexNotHex, 0, {}, {}},
        // Straddling the storage bound: the second byte is counted but not stored.
        RecordCase{"StorageBound",
                   record(0, 0x7DFF, {0xAA, 0xBB}),
                   kHexDataRecord,
                   0x7E01,
                   {{0x7DFF, 0xAA}, {0x7E00, 0xFF}},
                   {}},
        RecordCase{"LastImageAddress",
                   record(0, kFirmwareImageSize - 1, {0x55}),
                   kHexDataRecord,
                   kFirmwareImageSize,
                   {{kFirmwareImageSize - 1, 0xFF}},
                   {}},
        RecordCase{"BeyondImage", record(0, kFirmwareImageSize, {0x55}), kHexBeyondImage, 0, {}, {}},
        RecordCase{"RecordRunningBeyondImage",
                   record(0, kFirmwareImageSize - 1, {1, 2}),
                   kHexBeyondImage,
                   kFirmwareImageSize,
                   {},
                   {}},
        RecordCase{"Address65535", record(0, 0xFFFF, {0x55}), kHexBeyondImage, 0, {}, {}},
        RecordCase{"BadCountDigit", ":0G00000001", kHexBadField, 0, {}, "0G"},
        RecordCase{"BadAddressDigit", ":0300X00002337A1E", kHexBadField, 0, {}, "00X0"},
        RecordCase{"ColonOnly", ":", kHexBadField, 0, {}, ""},
        RecordCase{"CutInType", ":0000000", kHexBadField, 0, {}, "0"},
        RecordCase{"MissingEndOfFileCheck", ":00000001", kHexBadField, 0, {}, ""},
        RecordCase{"HalfCheckByte", ":00000001F", kHexBadField, 0, {}, "F"},
        // The first byte is taken before the line runs out.
        RecordCase{"DataCutShort", ":0300300002", kHexBadField, 0x31, {{0x30, 0x02}}, ""},
        RecordCase{"BadDataDigit", ":030030000233ZZ1E", kHexBadField, 0x32, {{0x31, 0x33}}, "ZZ"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ParseHexRecordTest, LaterBytesOverwriteAndLengthIsTheMaximum) {
    FirmwareImage image;
    for (const QByteArray& line : {record(0, 0x200, {1, 2, 3, 4}), record(0, 0x010, {9}), record(0, 0x202, {7, 8})})
        ASSERT_EQ(ParseHexRecord(line, image), kHexDataRecord);
    EXPECT_EQ(image.length, 0x204);
    EXPECT_EQ(image.bytes[0x010], 9);
    const std::vector<uint8_t> expected{1, 2, 7, 8};
    EXPECT_EQ(std::vector<uint8_t>(image.bytes.begin() + 0x200, image.bytes.begin() + 0x204), expected);
}

// Every message in the window's language; the Polish ones are the program's written texts.
TEST(HexReadMessageTest, EveryFailureInBothLanguages) {
    struct Case {
        int result;
        HexRecordFault fault;
        int line;
        const char* english;
        const char* polish;
    };
    const Case cases[] = {
        {kHexNotHex,
         {},
         4,
         "Error reading file\r\nThe file is not in HEX format",
         "Błąd odczytu pliku\r\nPlik nie jest w formacie HEX"},
        {kHexBadRecordType, {}, 4, "Error reading file\r\nWrong record type", "Błąd odczytu pliku\r\nZły typ rekordu"},
        {kHexBadChecksum, {}, 4, "Error reading file\r\nChecksum error", "Błąd odczytu pliku\r\nBłąd sumy kontrolnej"},
        {kHexBeyondImage,
         {},
         4,
         "Error reading file\r\nData beyond the program memory (address 32500 or above)",
         "Błąd odczytu pliku\r\nDane poza pamięcią programu (adres 32500 lub wyższy)"},
        {kHexBadField,
         {"ZZ", 0},
         4,
         "'$ZZ' is not a valid integer value",
         "'$ZZ' nie jest prawidłową liczbą całkowitą"},
        {kHexBadField, {"", 0}, 4, "'$' is not a valid integer value", "'$' nie jest prawidłową liczbą całkowitą"},
        {kHexUpperAddress,
         {{}, 0x1},
         1,
         "Error reading file\r\nLine 1: the extended address is 0001, but only 0000 is supported",
         "Błąd odczytu pliku\r\nWiersz 1: adres rozszerzony to 0001, a obsługiwany jest tylko 0000"},
        {kHexUpperAddress,
         {{}, 0xAB00},
         312,
         "Error reading file\r\nLine 312: the extended address is AB00, but only 0000 is supported",
         "Błąd odczytu pliku\r\nWiersz 312: adres rozszerzony to AB00, a obsługiwany jest tylko 0000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.english);
        EXPECT_EQ(HexReadMessage(c.result, false, c.fault, c.line), QString::fromUtf8(c.english));
        EXPECT_EQ(HexReadMessage(c.result, true, c.fault, c.line), QString::fromUtf8(c.polish));
    }
}

class HexFileTest : public ::testing::Test {
protected:
    QString write(const QByteArray& content, const QString& name = QStringLiteral("f.hex")) {
        const QString path = dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
        return path;
    }
    QTemporaryDir dir;
};

struct FileCase {
    const char* name;
    QByteArray content;
    bool ok;
    int length;
    QString message;
    bool polish = true;
};

void PrintTo(const FileCase& c, std::ostream* os) { *os << c.name; }

class LoadHexFileCases : public HexFileTest, public ::testing::WithParamInterface<FileCase> {};

TEST_P(LoadHexFileCases, ResultMessageAndLength) {
    const FileCase& c = GetParam();
    FirmwareImage image;
    image.length = 1234;  // a read starts from length 0
    QString message;
    EXPECT_EQ(LoadHexFile(write(c.content), image, c.polish, &message), c.ok);
    EXPECT_EQ(image.length, c.length);
    EXPECT_EQ(message, c.message);
}

const QString kNotHexMessage = QStringLiteral("Błąd odczytu pliku\r\nPlik nie jest w formacie HEX");
const QByteArray kData = ":0300300002337A1E";
const QByteArray kLinearZero = ":020000040000FA";
const QByteArray kLinearOne = ":020000040001F9";
const QString kUpperAddressOnLine =
    QStringLiteral("Error reading file\r\nLine %1: the extended address is 0001, but only 0000 is supported");

INSTANTIATE_TEST_SUITE_P(
    Cases, LoadHexFileCases,
    ::testing::Values(
        FileCase{"Empty", "", true, 0, {}}, FileCase{"CrLf", kData + "\r\n:00000001FF\r\n", true, 0x33, {}},
        FileCase{"Lf", kData + "\n:00000001FF\n", true, 0x33, {}},
        FileCase{"NoFinalLineEnd", kData + "\n:00000001FF", true, 0x33, {}},
        FileCase{"NoEndOfFileRecord", kData + "\n", true, 0x33, {}},
        // Every line after the end-of-file record is still read.
        FileCase{"DataAfterEndOfFile", ":00000001FF\n" + record(0, 0x100, {1}) + "\n", true, 0x101, {}},
        // Blank lines and trailing blanks, as editors leave them, anywhere in the file.
        FileCase{"BlankLinesAfterEndOfFile", kData + "\n:00000001FF\n\n\r\n \t\n", true, 0x33, {}},
        FileCase{"BlankLinesBetweenRecords",
                 "\r\n" + kData + "  \r\n\r\n" + record(0, 0x100, {1}) + "\t\r\n",
                 true,
                 0x101,
                 {}},
        FileCase{"OnlyBlankLines", "\n  \n\r\n", true, 0, {}},
        // Old Mac line ends: every record is read, not only the first.
        FileCase{"CrOnly", kData + "\r" + record(0, 0x100, {1}) + "\r:00000001FF\r", true, 0x101, {}},
        FileCase{"CrOnlyWithBadRecord", kData + "\r:0300400002337A1E\r", false, 0x43,
                 QStringLiteral("Błąd odczytu pliku\r\nBłąd sumy kontrolnej")},
        FileCase{"TextAfterEndOfFile", ":00000001FF\r\nend\r\n", false, 0, kNotHexMessage},
        FileCase{"TextAfterEndOfFileEnglish", ":00000001FF\r\nend\r\n", false, 0,
                 "Error reading file\r\nThe file is not in HEX format", false},
        FileCase{"LeadingBlankIsNotHex", kData + "\n :00000001FF\n", false, 0x33, kNotHexMessage},
        FileCase{
            "ExtendedAddressZero", kLinearZero + "\n" + kData + "\n" + record(2, 0, {0, 0}) + "\n", true, 0x33, {}},
        // The line is counted as written: blank lines and every kind of line end count.
        FileCase{"UpperAddressAfterLf", kLinearZero + "\n" + kData + "\n\n" + kLinearOne + "\n", false, 0x33,
                 kUpperAddressOnLine.arg(4), false},
        FileCase{"UpperAddressAfterCrLf", "\r\n" + kData + "\r\n" + kLinearOne + "\r\n", false, 0x33,
                 kUpperAddressOnLine.arg(3), false},
        FileCase{"UpperAddressAfterCr", kData + "\r\r" + kLinearOne + "\r", false, 0x33, kUpperAddressOnLine.arg(3),
                 false},
        FileCase{"UpperAddressPolish", kLinearOne + "\n" + kData + "\n", false, 0,
                 QString::fromUtf8("Błąd odczytu pliku\r\nWiersz 1: adres rozszerzony to 0001, a obsługiwany jest "
                                   "tylko 0000")},
        FileCase{"StartAddressRecord", kData + "\n" + record(5, 0, {0, 0, 0, 0}) + "\n", false, 0x33,
                 QStringLiteral("Błąd odczytu pliku\r\nZły typ rekordu")},
        FileCase{"Checksum", kData + "\n:0300400002337A1E\n", false, 0x43,
                 QStringLiteral("Błąd odczytu pliku\r\nBłąd sumy kontrolnej")},
        FileCase{"ChecksumEnglish", kData + "\n:0300400002337A1E\n", false, 0x43,
                 "Error reading file\r\nChecksum error", false},
        FileCase{"BadField", kData + "\n:0X\n", false, 0x33, "'$0X' is not a valid integer value", false},
        FileCase{"BadFieldPolish", kData + "\n:0X\n", false, 0x33,
                 QString::fromUtf8("'$0X' nie jest prawidłową liczbą całkowitą")},
        // Blanks after a record cut short are not taken for its digits.
        FileCase{"CutShortBeforeBlanks", ":00000001F  \n", false, 0, "'$F' is not a valid integer value", false},
        FileCase{"BeyondImage", record(0, 0x7FF0, {1, 2}) + "\n", false, 0, HexReadMessage(kHexBeyondImage, true)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(HexFileTest, MissingFileReportsTheSystemError) {
    FirmwareImage image;
    QString message;
    EXPECT_FALSE(LoadHexFile(dir.filePath(QStringLiteral("absent.hex")), image, false, &message));
    EXPECT_FALSE(message.isEmpty());
}

// HEX files from common tools, read back byte-exact.
class HexToolTest : public HexFileTest {
protected:
    QByteArray randomBinary(int size) {
        QByteArray data(size, Qt::Uninitialized);
        QRandomGenerator rng(size);
        for (char& c : data) c = char(rng.bounded(256));
        return data;
    }
    // Runs a tool; skips the test when the tool is not installed.
    bool run(const QString& program, const QStringList& args) {
        const QString exe = QStandardPaths::findExecutable(program);
        if (exe.isEmpty()) return false;
        QProcess p;
        p.start(exe, args);
        EXPECT_TRUE(p.waitForFinished(30000));
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        return true;
    }
    void expectImage(const FirmwareImage& image, const QByteArray& data, int offset) {
        ASSERT_EQ(image.length, offset + data.size());
        for (int a = 0; a < kFirmwareImageSize; ++a) {
            const int i = a - offset;
            const bool stored = i >= 0 && i < data.size() && a < kHexStorageBound;
            ASSERT_EQ(image.bytes[a], stored ? uint8_t(data[i]) : 0xFF) << "address " << a;
        }
    }
};

TEST_F(HexToolTest, ObjcopyOutputReadsBackExactly) {
    // avr-objcopy ends its lines in CR LF, binutils' own objcopy in LF.
    for (const char* tool : {"objcopy", "avr-objcopy"}) {
        for (int size : {1, 4097, kHexStorageBound, kFirmwareImageSize}) {
            SCOPED_TRACE(std::string(tool) + " " + std::to_string(size));
            const QByteArray data = randomBinary(size);
            const QString bin = write(data, QStringLiteral("in.bin"));
            const QString hex = dir.filePath(QStringLiteral("objcopy.hex"));
            if (!run(QString::fromLatin1(tool), {"-I", "binary", "-O", "ihex", bin, hex}))
                GTEST_SKIP() << tool << " absent";
            FirmwareImage image;
            QString message;
            ASSERT_TRUE(LoadHexFile(hex, image, false, &message)) << message.toStdString();
            expectImage(image, data, 0);
        }
    }
}

TEST_F(HexToolTest, SrecCatOutputReadsBackExactly) {
    struct Case {
        int size, offset, blockSize;
        const char* lineEnd;
        bool sixteenBitAddresses;  // else srec_cat's default: an extended linear address record first
    };
    const Case cases[] = {{3000, 0, 16, "lf", true},
                          {20000, 0x1234, 255, "crlf", true},
                          {500, 0x7D00, 32, "lf", true},
                          {3000, 0, 32, "lf", false},
                          {20000, 0x1234, 16, "crlf", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.size) + (c.sixteenBitAddresses ? " 16-bit" : " default"));
        const QByteArray data = randomBinary(c.size);
        const QString bin = write(data, QStringLiteral("in.bin"));
        const QString hex = dir.filePath(QStringLiteral("srec.hex"));
        QStringList args{bin,
                         "-binary",
                         "-offset",
                         QString::number(c.offset),
                         "-o",
                         hex,
                         "-Intel",
                         "-Output_Block_Size=" + QString::number(c.blockSize),
                         "-line-termination=" + QString::fromLatin1(c.lineEnd)};
        if (c.sixteenBitAddresses) args << "-address-length=2";
        if (!run(QStringLiteral("srec_cat"), args)) GTEST_SKIP() << "srec_cat absent";
        QFile written(hex);
        ASSERT_TRUE(written.open(QIODevice::ReadOnly));
        EXPECT_EQ(written.readLine().startsWith(":020000040000FA"), !c.sixteenBitAddresses);
        FirmwareImage image;
        QString message;
        ASSERT_TRUE(LoadHexFile(hex, image, false, &message)) << message.toStdString();
        expectImage(image, data, c.offset);
    }
}

QString Fixture(const char* name) { return QStringLiteral(VORKAL_TEST_DATA "/hex/") + QString::fromLatin1(name); }

// The committed files of tests/data/hex, made by avr-objcopy, srec_cat and the AVR
// assembler and linker from firmware.bin (their README gives each command).
TEST(HexFixtureTest, ToolchainFilesReadBackExactly) {
    QFile binary(Fixture("firmware.bin"));
    ASSERT_TRUE(binary.open(QIODevice::ReadOnly));
    const QByteArray firmware = binary.readAll();
    ASSERT_EQ(firmware.size(), 1300);
    struct Piece {
        int from, size, address;  // bytes of firmware.bin and where they belong
    };
    struct Case {
        const char* file;
        std::vector<Piece> pieces;
        int length;
    };
    const std::vector<Piece> whole{{0, 1300, 0}};
    const Case cases[] = {
        {"objcopy_crlf.hex", whole, 1300},
        {"objcopy_lf.hex", whole, 1300},
        {"srec_default.hex", whole, 1300},
        {"srec_16bit.hex", whole, 1300},
        {"edited.hex", whole, 1300},
        // The gap between the sections keeps the fill value and is programmed as such.
        {"two_sections.hex", {{0, 512, 0}, {512, 256, 0x800}}, 0x900},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        FirmwareImage expected;
        for (const Piece& p : c.pieces)
            std::copy_n(firmware.constData() + p.from, p.size, expected.bytes.begin() + p.address);
        FirmwareImage image;
        QString message;
        ASSERT_TRUE(LoadHexFile(Fixture(c.file), image, false, &message)) << message.toStdString();
        EXPECT_EQ(image.length, c.length);
        const auto differ = std::mismatch(image.bytes.begin(), image.bytes.end(), expected.bytes.begin());
        EXPECT_EQ(differ.first, image.bytes.end()) << "first difference at " << (differ.first - image.bytes.begin());
    }
}

TEST(HexFixtureTest, DataAbove64KilobytesIsRefusedNamingTheLine) {
    struct Case {
        const char* file;
        const char* english;
        const char* polish;
    };
    const Case cases[] = {
        {"above_64k_linear.hex",
         "Error reading file\r\nLine 1: the extended address is 0001, but only 0000 is supported",
         "Błąd odczytu pliku\r\nWiersz 1: adres rozszerzony to 0001, a obsługiwany jest tylko 0000"},
        {"above_64k_segment.hex",
         "Error reading file\r\nLine 1: the extended address is 1000, but only 0000 is supported",
         "Błąd odczytu pliku\r\nWiersz 1: adres rozszerzony to 1000, a obsługiwany jest tylko 0000"},
    };
    for (const Case& c : cases) {
        for (bool polish : {false, true}) {
            SCOPED_TRACE(std::string(c.file) + (polish ? " Polish" : " English"));
            FirmwareImage image;
            QString message;
            EXPECT_FALSE(LoadHexFile(Fixture(c.file), image, polish, &message));
            EXPECT_EQ(message, QString::fromUtf8(polish ? c.polish : c.english));
            // Refused before any of its data reached the image.
            EXPECT_EQ(image.length, 0);
            EXPECT_EQ(image.bytes[0], kFirmwareFill);
        }
    }
}

}  // namespace
