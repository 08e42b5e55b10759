#include "hex_reader.h"

#include <QFile>

#include <algorithm>

namespace vorkal {

namespace {

constexpr int kTypeData = 0;
constexpr int kTypeEndOfFile = 1;
constexpr int kTypeExtendedSegment = 2;
constexpr int kTypeExtendedLinear = 4;

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Reads `width` hex digits at 1-based `position`. A field cut short by the end of the
// line is as invalid as one with a non-hex character.
bool readField(QByteArrayView line, int position, int width, int* value, HexRecordFault* fault) {
    const qsizetype start = std::min<qsizetype>(position - 1, line.size());
    const QByteArrayView field = line.sliced(start, std::min<qsizetype>(width, line.size() - start));
    int v = 0;
    bool ok = field.size() == width;
    for (char c : field) {
        const int d = hexDigit(c);
        if (d < 0) ok = false;
        v = v * 16 + std::max(d, 0);
    }
    if (!ok) {
        if (fault) fault->field = field.toByteArray();
        return false;
    }
    *value = v;
    return true;
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

QByteArrayView withoutTrailingBlanks(QByteArrayView line) {
    qsizetype n = line.size();
    while (n > 0 && isBlank(line[n - 1])) --n;
    return line.first(n);
}

}  // namespace

int ParseHexRecord(QByteArrayView line, FirmwareImage& image, HexRecordFault* fault) {
    if (line.isEmpty() || line.front() != ':') return kHexNotHex;

    int count = 0, address = 0, type = 0;
    if (!readField(line, 2, 2, &count, fault) || !readField(line, 4, 4, &address, fault) ||
        !readField(line, 8, 2, &type, fault))
        return kHexBadField;
    unsigned sum = count + (address & 0xFF) + (address >> 8) + type;

    int checkPosition = 10;
    int upperAddress = 0;
    if (type == kTypeData) {
        for (int i = 0; i < count; ++i) {
            int b = 0;
            if (!readField(line, 10 + 2 * i, 2, &b, fault)) return kHexBadField;
            const int at = address + i;
            // Refused rather than programmed from bytes the image does not hold; this also
            // keeps the 16-bit length from wrapping at address 65535.
            if (at >= kFirmwareImageSize) return kHexBeyondImage;
            if (at < kHexStorageBound) image.bytes[at] = uint8_t(b);
            else if (image.firstBootAreaAddress < 0 || at < image.firstBootAreaAddress) image.firstBootAreaAddress = at;
            sum += b;
            if (at + 1 > image.length) image.length = uint16_t(at + 1);
        }
        checkPosition = 10 + 2 * count;
    } else if (type == kTypeExtendedSegment || type == kTypeExtendedLinear) {
        // Both carry one 16-bit address; any other length is no such record.
        if (count != 2) return kHexBadRecordType;
        if (!readField(line, 10, 4, &upperAddress, fault)) return kHexBadField;
        sum += (upperAddress >> 8) + (upperAddress & 0xFF);
        checkPosition = 14;
    } else if (type != kTypeEndOfFile) {
        return kHexBadRecordType;
    }

    int check = 0;
    if (!readField(line, checkPosition, 2, &check, fault)) return kHexBadField;
    if ((sum + check) % 256 != 0) return kHexBadChecksum;
    if (type == kTypeData) return kHexDataRecord;
    if (type == kTypeEndOfFile) return kHexEndOfFile;
    // Data placed above 64 KB, or at a segment the image does not start from, would be
    // read as if it sat at the bottom of memory.
    if (upperAddress != 0) {
        if (fault) fault->upperAddress = upperAddress;
        return kHexUpperAddress;
    }
    return kHexAddressRecord;
}

QString HexReadMessage(int result, bool polish, const HexRecordFault& fault, int lineNumber) {
    const auto pick = [polish](const char* english, const char* polishText) {
        return polish ? QString::fromUtf8(polishText) : QString::fromUtf8(english);
    };
    const QString prefix = pick("Error reading file\r\n", "Błąd odczytu pliku\r\n");
    switch (result) {
    case kHexNotHex: return prefix + pick("The file is not in HEX format", "Plik nie jest w formacie HEX");
    case kHexBadRecordType: return prefix + pick("Wrong record type", "Zły typ rekordu");
    case kHexBadChecksum: return prefix + pick("Checksum error", "Błąd sumy kontrolnej");
    case kHexBeyondImage:
        return prefix + pick("Data beyond the program memory (address %1 or above)",
                             "Dane poza pamięcią programu (adres %1 lub wyższy)")
                            .arg(kFirmwareImageSize);
    case kHexBadField:
        return pick("'%1' is not a valid integer value", "'%1' nie jest prawidłową liczbą całkowitą")
            .arg(QLatin1Char('$') + QString::fromLatin1(fault.field));
    case kHexUpperAddress:
        return prefix + pick("Line %1: the extended address is %2, but only 0000 is supported",
                             "Wiersz %1: adres rozszerzony to %2, a obsługiwany jest tylko 0000")
                            .arg(lineNumber)
                            .arg(QString::number(fault.upperAddress, 16).rightJustified(4, QLatin1Char('0')).toUpper());
    default: return {};
    }
}

bool LoadHexFile(const QString& fileName, FirmwareImage& image, bool polish, QString* message) {
    image.length = 0;
    image.firstBootAreaAddress = -1;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        if (message) *message = file.errorString();
        return false;
    }
    int lineNumber = 0;
    while (!file.atEnd()) {
        QByteArray chunk = file.readLine();
        if (chunk.isEmpty() && file.error() != QFileDevice::NoError) {
            if (message) *message = file.errorString();
            return false;
        }
        if (chunk.endsWith('\n')) chunk.chop(1);
        if (chunk.endsWith('\r')) chunk.chop(1);
        // A lone CR ends a line too: otherwise the rest of a file written with CR line
        // ends would pass as text after the first record's check byte, unread.
        for (const QByteArray& piece : chunk.split('\r')) {
            ++lineNumber;
            const QByteArrayView line = withoutTrailingBlanks(piece);
            if (line.isEmpty()) continue;
            HexRecordFault fault;
            const int result = ParseHexRecord(line, image, &fault);
            if (result < 0) {
                if (message) *message = HexReadMessage(result, polish, fault, lineNumber);
                return false;
            }
        }
    }
    return true;
}

}  // namespace vorkal
