#pragma once
// Intel HEX reader: data and end-of-file records with 16-bit addresses, read into
// a flat image of the display processor's program memory. Extended address records
// that keep the data at the bottom of memory (address 0) are taken as toolchains
// write them; any other upper address is refused.

#include <QByteArray>
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
    // The lowest data address at or above kHexStorageBound (the boot loader's own area,
    // never programmed); -1 when the file has none there.
    int firstBootAreaAddress = -1;

    FirmwareImage() { reset(); }
    // Fill value everywhere, length 0: the state a read must start from.
    void reset() {
        bytes.fill(kFirmwareFill);
        length = 0;
        firstBootAreaAddress = -1;
    }
};

// Results of ParseHexRecord.
enum HexRecordResult : int {
    kHexDataRecord = 0,
    kHexEndOfFile = 1,
    // An extended segment or extended linear address record of 0: nothing to store.
    kHexAddressRecord = 2,
    kHexNotHex = -1,
    kHexBadRecordType = -2,
    kHexBadChecksum = -3,
    // Data for an address the firmware image cannot hold (32500 and above).
    kHexBeyondImage = -4,
    // A field that is not hexadecimal or is cut short.
    kHexBadField = -5,
    // An extended address record whose address is not 0.
    kHexUpperAddress = -6,
};

// What a refused record was about, for its message.
struct HexRecordFault {
    QByteArray field;      // kHexBadField: the characters that are no hex number
    int upperAddress = 0;  // kHexUpperAddress: the address the record sets
};

// Parses one line (without its terminator) into `image`. Data bytes are stored as
// they are read, before the check byte is compared.
int ParseHexRecord(QByteArrayView line, FirmwareImage& image, HexRecordFault* fault = nullptr);

// The message shown for a negative ParseHexRecord result of the record on line
// `lineNumber` (counted from 1), in Polish or English.
QString HexReadMessage(int result, bool polish, const HexRecordFault& fault = {}, int lineNumber = 0);

// Reads the whole file into `image` (which the caller has filled with the fill value);
// every line up to the physical end is parsed, blank lines and trailing white space
// aside. Lines may end in LF, CR LF or CR. On failure returns false with the message
// for the user, in the window's language, in `message`.
bool LoadHexFile(const QString& fileName, FirmwareImage& image, bool polish, QString* message);

}  // namespace vorkal
