#include "hex_reader.h"

#include <QFile>

#include <algorithm>

namespace vorkal {

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Reads `width` hex digits at 1-based `position`. A field cut short by the end of the
// line is as invalid as one with a non-hex character.
bool readField(QByteArrayView line, int position, int width, int* value, QString* fieldError) {
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
        if (fieldError)
            *fieldError = QStringLiteral("'%1' is not a valid integer value")
                              .arg(QLatin1Char('$') + QString::fromLatin1(field.data(), field.size()));
        return false;
    }
    *value = v;
    return true;
}

}  // namespace

int ParseHexRecord(QByteArrayView line, FirmwareImage& image, QString* fieldError) {
    if (line.isEmpty() || line.front() != ':') return kHexNotHex;

    int count = 0, address = 0, type = 0;
    if (!readField(line, 2, 2, &count, fieldError) || !readField(line, 4, 4, &address, fieldError) ||
        !readField(line, 8, 2, &type, fieldError))
        return kHexBadField;
    unsigned sum = count + (address & 0xFF) + (address >> 8) + type;

    int checkPosition = 10;
    if (type == 0) {
        for (int i = 0; i < count; ++i) {
            int b = 0;
            if (!readField(line, 10 + 2 * i, 2, &b, fieldError)) return kHexBadField;
            const int at = address + i;
            // Refused rather than programmed from bytes the image does not hold; this also
            // keeps the 16-bit length from wrapping at address 65535.
            if (at >= kFirmwareImageSize) return kHexBeyondImage;
            if (at < kHexStorageBound) image.bytes[at] = uint8_t(b);
            sum += b;
            if (at + 1 > image.length) image.length = uint16_t(at + 1);
        }
        checkPosition = 10 + 2 * count;
    } else if (type != 1) {
        return kHexBadRecordType;
    }

    int check = 0;
    if (!readField(line, checkPosition, 2, &check, fieldError)) return kHexBadField;
    if ((sum + check) % 256 != 0) return kHexBadChecksum;
    return type == 0 ? kHexDataRecord : kHexEndOfFile;
}

QString HexReadMessage(int result, const QString& fieldError) {
    const QString prefix = QStringLiteral("Błąd odczytu pliku\r\n");
    switch (result) {
    case kHexNotHex: return prefix + QStringLiteral("Plik nie jest w formacie HEX");
    case kHexBadRecordType: return prefix + QStringLiteral("Zły typ rekordu");
    case kHexBadChecksum: return prefix + QStringLiteral("Błąd sumy kontrolnej");
    case kHexBeyondImage:
        return prefix + QStringLiteral(
                            "Dane poza pamięcią programu (adres %1 lub wyższy)\r\n"
                            "Data beyond the program memory (address %1 or above)")
                            .arg(kFirmwareImageSize);
    case kHexBadField: return fieldError;
    default: return {};
    }
}

bool LoadHexFile(const QString& fileName, FirmwareImage& image, QString* message) {
    image.length = 0;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        if (message) *message = file.errorString();
        return false;
    }
    while (!file.atEnd()) {
        QByteArray line = file.readLine();
        if (line.isEmpty() && file.error() != QFileDevice::NoError) {
            if (message) *message = file.errorString();
            return false;
        }
        if (line.endsWith('\n')) line.chop(1);
        if (line.endsWith('\r')) line.chop(1);
        QString fieldError;
        const int result = ParseHexRecord(line, image, &fieldError);
        if (result < 0) {
            if (message) *message = HexReadMessage(result, fieldError);
            return false;
        }
    }
    return true;
}

}  // namespace vorkal
