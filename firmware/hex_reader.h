#pragma once
// Intel HEX reader: data and end-of-file records with 16-bit addresses, read into
// a flat image of the display processor's program memory.

#include <QByteArrayView>
#include <QString>

#include <array>
#include <cstdint>

namespace vorkal {

constexpr int kFirmwareImageSize = 32500;
// Data at or above this address is counted in the length but never stored.
constexpr int kHexStorageBound = 0x7E00;
constexpr uint8_t kFirmwareFill = 0xFF;

struct FirmwareImage {
    std::array<uint8_t, kFirmwareImageSize> bytes;
    // One more than the highest data address seen; the number of bytes to program.
    uint16_t length = 0;

    FirmwareImage() { reset(); }
    // Fill value everywhere, length 0: the state a read must start from.
    void reset() {
        bytes.fill(kFirmwareFill);
        length = 0;
    }
};

// Results of ParseHexRecord.
enum HexRecordResult : int {
    kHexDataRecord = 0,
    kHexEndOfFile = 1,
    kHexNotHex = -1,
    kHexBadRecordType = -2,
    kHexBadChecksum = -3,
    // Data for an address the firmware image cannot hold (32500 and above).
    kHexBeyondImage = -4,
    // A field that is not hexadecimal or is cut short; the text is in fieldError.
    kHexBadField = -5,
};

// Parses one line (without its terminator) into `image`. Data bytes are stored as
// they are read, before the check byte is compared.
int ParseHexRecord(QByteArrayView line, FirmwareImage& image, QString* fieldError = nullptr);

// The message shown for a negative ParseHexRecord result (fieldError for kHexBadField).
QString HexReadMessage(int result, const QString& fieldError = {});

// Reads the whole file into `image` (which the caller has filled with the fill value);
// every line up to the physical end is parsed. On failure returns false with the
// message for the user in `message`.
bool LoadHexFile(const QString& fileName, FirmwareImage& image, QString* message);

}  // namespace vorkal
