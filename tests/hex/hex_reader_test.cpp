#include "hex_reader.h"

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

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
    QString fieldError;
};

void PrintTo(const RecordCase& c, std::ostream* os) { *os << c.name; }

class ParseHexRecordTest : public ::testing::TestWithParam<RecordCase> {};

TEST_P(ParseHexRecordTest, ResultImageAndLength) {
    const RecordCase& c = GetParam();
    FirmwareImage image;
    QString fieldError;
    EXPECT_EQ(ParseHexRecord(c.line, image, &fieldError), c.result);
    EXPECT_EQ(image.length, c.length);
    for (auto [address, value] : c.bytes) EXPECT_EQ(image.bytes[address], value) << "address " << address;
    EXPECT_EQ(fieldError, c.fieldError);
}

const QString kNotInteger = QStringLiteral("'%1' is not a valid integer value");

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
        RecordCase{"ExtendedLinearAddress", ":020000040000FA", kHexBadRecordType, 0, {}, {}},
        RecordCase{"ExtendedSegmentAddress", record(2, 0, {0x10, 0x00}), kHexBadRecordType, 0, {}, {}},
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
        RecordCase{"BadCountDigit", ":0G00000001", kHexBadField, 0, {}, kNotInteger.arg("$0G")},
        RecordCase{"BadAddressDigit", ":0300X00002337A1E", kHexBadField, 0, {}, kNotInteger.arg("$00X0")},
        RecordCase{"ColonOnly", ":", kHexBadField, 0, {}, kNotInteger.arg("$")},
        RecordCase{"CutInType", ":0000000", kHexBadField, 0, {}, kNotInteger.arg("$0")},
        RecordCase{"MissingEndOfFileCheck", ":00000001", kHexBadField, 0, {}, kNotInteger.arg("$")},
        RecordCase{"HalfCheckByte", ":00000001F", kHexBadField, 0, {}, kNotInteger.arg("$F")},
        // The first byte is taken before the line runs out.
        RecordCase{"DataCutShort", ":0300300002", kHexBadField, 0x31, {{0x30, 0x02}}, kNotInteger.arg("$")},
        RecordCase{"BadDataDigit", ":030030000233ZZ1E", kHexBadField, 0x32, {{0x31, 0x33}}, kNotInteger.arg("$ZZ")}),
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

TEST(HexReadMessageTest, PolishTextsForEveryFailure) {
    EXPECT_EQ(HexReadMessage(kHexNotHex), QStringLiteral("Błąd odczytu pliku\r\nPlik nie jest w formacie HEX"));
    EXPECT_EQ(HexReadMessage(kHexBadRecordType), QStringLiteral("Błąd odczytu pliku\r\nZły typ rekordu"));
    EXPECT_EQ(HexReadMessage(kHexBadChecksum), QStringLiteral("Błąd odczytu pliku\r\nBłąd sumy kontrolnej"));
    EXPECT_TRUE(HexReadMessage(kHexBeyondImage).startsWith(QStringLiteral("Błąd odczytu pliku\r\n")));
    EXPECT_TRUE(HexReadMessage(kHexBeyondImage).contains(QStringLiteral("32500")));
    EXPECT_EQ(HexReadMessage(kHexBadField, kNotInteger.arg("$ZZ")), kNotInteger.arg("$ZZ"));
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
};

void PrintTo(const FileCase& c, std::ostream* os) { *os << c.name; }

class LoadHexFileCases : public HexFileTest, public ::testing::WithParamInterface<FileCase> {};

TEST_P(LoadHexFileCases, ResultMessageAndLength) {
    const FileCase& c = GetParam();
    FirmwareImage image;
    image.length = 1234;  // a read starts from length 0
    QString message;
    EXPECT_EQ(LoadHexFile(write(c.content), image, &message), c.ok);
    EXPECT_EQ(image.length, c.length);
    EXPECT_EQ(message, c.message);
}

const QString kNotHexMessage = QStringLiteral("Błąd odczytu pliku\r\nPlik nie jest w formacie HEX");
const QByteArray kData = ":0300300002337A1E";

INSTANTIATE_TEST_SUITE_P(
    Cases, LoadHexFileCases,
    ::testing::Values(FileCase{"Empty", "", true, 0, {}},
                      FileCase{"CrLf", kData + "\r\n:00000001FF\r\n", true, 0x33, {}},
                      FileCase{"Lf", kData + "\n:00000001FF\n", true, 0x33, {}},
                      FileCase{"NoFinalLineEnd", kData + "\n:00000001FF", true, 0x33, {}},
                      FileCase{"NoEndOfFileRecord", kData + "\n", true, 0x33, {}},
                      // Every line after the end-of-file record is still read.
                      FileCase{"DataAfterEndOfFile", ":00000001FF\n" + record(0, 0x100, {1}) + "\n", true, 0x101, {}},
                      FileCase{"BlankLineAfterEndOfFile", kData + "\n:00000001FF\n\n", false, 0x33, kNotHexMessage},
                      FileCase{"TextAfterEndOfFile", ":00000001FF\r\nend\r\n", false, 0, kNotHexMessage},
                      FileCase{"ExtendedAddress", ":020000040000FA\n" + kData + "\n", false, 0,
                               QStringLiteral("Błąd odczytu pliku\r\nZły typ rekordu")},
                      FileCase{"Checksum", kData + "\n:0300400002337A1E\n", false, 0x43,
                               QStringLiteral("Błąd odczytu pliku\r\nBłąd sumy kontrolnej")},
                      FileCase{"BadField", kData + "\n:0X\n", false, 0x33, kNotInteger.arg("$0X")},
                      FileCase{"BeyondImage", record(0, 0x7FF0, {1, 2}) + "\n", false, 0,
                               HexReadMessage(kHexBeyondImage)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(HexFileTest, MissingFileReportsTheSystemError) {
    FirmwareImage image;
    QString message;
    EXPECT_FALSE(LoadHexFile(dir.filePath(QStringLiteral("absent.hex")), image, &message));
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
    for (int size : {1, 4097, kHexStorageBound, kFirmwareImageSize}) {
        const QByteArray data = randomBinary(size);
        const QString bin = write(data, QStringLiteral("in.bin"));
        const QString hex = dir.filePath(QStringLiteral("objcopy.hex"));
        if (!run(QStringLiteral("objcopy"), {"-I", "binary", "-O", "ihex", bin, hex})) GTEST_SKIP() << "objcopy absent";
        FirmwareImage image;
        QString message;
        ASSERT_TRUE(LoadHexFile(hex, image, &message)) << message.toStdString();
        expectImage(image, data, 0);
    }
}

TEST_F(HexToolTest, SrecCatOutputReadsBackExactly) {
    struct Case {
        int size, offset, blockSize;
        const char* lineEnd;
    };
    for (const Case& c : {Case{3000, 0, 16, "lf"}, Case{20000, 0x1234, 255, "crlf"}, Case{500, 0x7D00, 32, "lf"}}) {
        const QByteArray data = randomBinary(c.size);
        const QString bin = write(data, QStringLiteral("in.bin"));
        const QString hex = dir.filePath(QStringLiteral("srec.hex"));
        if (!run(QStringLiteral("srec_cat"), {bin, "-binary", "-offset", QString::number(c.offset), "-o", hex, "-Intel",
                                              "-address-length=2", "-Output_Block_Size=" + QString::number(c.blockSize),
                                              "-line-termination=" + QString::fromLatin1(c.lineEnd)}))
            GTEST_SKIP() << "srec_cat absent";
        FirmwareImage image;
        QString message;
        ASSERT_TRUE(LoadHexFile(hex, image, &message)) << message.toStdString();
        expectImage(image, data, c.offset);
    }
}

// srec_cat's default output opens with an extended linear address record.
TEST_F(HexToolTest, SrecCatDefaultOutputIsRefused) {
    const QString bin = write(randomBinary(100), QStringLiteral("in.bin"));
    const QString hex = dir.filePath(QStringLiteral("srec.hex"));
    if (!run(QStringLiteral("srec_cat"), {bin, "-binary", "-o", hex, "-Intel"})) GTEST_SKIP() << "srec_cat absent";
    FirmwareImage image;
    QString message;
    EXPECT_FALSE(LoadHexFile(hex, image, &message));
    EXPECT_EQ(message, QStringLiteral("Błąd odczytu pliku\r\nZły typ rekordu"));
}

}  // namespace
