// Arbitrary bytes as a HEX file: every record line parsed, then the whole file read.
#include <QFile>
#include <QTemporaryFile>
#include <cstdint>

#include "hex_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vorkal;
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    FirmwareImage image;
    HexRecordFault fault;
    for (const QByteArray& line : input.split('\n')) {
        const int result = ParseHexRecord(line, image, &fault);
        if (result < 0) (void)HexReadMessage(result, size % 2 == 1, fault, 1);
        if (image.length > 65535) __builtin_trap();
    }
    static const QString path = [] {
        QTemporaryFile f;
        f.setAutoRemove(false);
        f.open();
        return f.fileName();
    }();
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
    file.write(input);
    file.close();
    FirmwareImage fromFile;
    QString message;
    (void)LoadHexFile(path, fromFile, size % 2 == 0, &message);
    return 0;
}
