#pragma once
// Flight log records: where they live, how they decode and how each field is shown.

#include "config_image.h"

#include <QString>

#include <cstdint>

namespace vorkal {

constexpr int kLogRecordLength = 16;     // records of the separate log memory
constexpr int kInImageRecordLength = 9;  // records of the in-image log area
constexpr int kLogSlots84x48 = 512;
constexpr int kLogSlots128x64 = 2048;

// The record positions the log table walks and the bytes behind them.
struct LogSource {
    const uint8_t* data = nullptr;  // log image, or configuration image for the in-image area
    bool inImage = false;           // 9-byte records stored downward from byte 495
    int slotCount = 0;

    int recordLength() const { return inImage ? kInImageRecordLength : kLogRecordLength; }
    const uint8_t* record(int r) const { return inImage ? data + 495 - 9 * r : data + 16 * r; }
    uint8_t LogRecordByte(int r, int i) const { return record(r)[i]; }
    // An erased slot reads 255 in every byte.
    bool LogRecordEmpty(int r) const;
};

// The 128 x 64 display always keeps its log in separate memory, so that variant reads
// the log image even when the separate-log flag is clear (after importing a bare
// configuration); the in-image area could not hold its 2048 slots.
LogSource SelectLogSource(const ConfigImage& config);

struct LogRecord {
    bool empty = true;
    bool extended = false;  // course, height, speed, distance and RSSI present
    int hour = 0, minute = 0, second = 0;
    int32_t latitude = 0, longitude = 0;  // units of 0.00001 degree, negative south / west
    int course = 0;
    int height = 0;
    int speed = 0;
    int distance = 0;
    int rssi = 0;
};

// `bytes` holds 9 bytes, or 16 when `extended`.
LogRecord DecodeLogRecord(const uint8_t* bytes, bool extended);
inline LogRecord DecodeLogRecord(const LogSource& source, int r) {
    return DecodeLogRecord(source.record(r), !source.inImage);
}

// Each gives empty text for an empty record; the last five also when not extended.
QString FormatLogTime(const LogRecord& rec);
QString FormatLogLatitude(const LogRecord& rec, const QString& decimalSeparator);
QString FormatLogLongitude(const LogRecord& rec, const QString& decimalSeparator);
QString FormatLogCourse(const LogRecord& rec);
QString FormatLogHeight(const LogRecord& rec);
QString FormatLogSpeed(const LogRecord& rec);
QString FormatLogDistance(const LogRecord& rec);
QString FormatLogRssi(const LogRecord& rec);

struct NewestLogRecord {
    int newest = 0;  // slot of the newest record
    int count = 0;   // non-empty slots
};

// The display writes upward through slots 0..last and wraps; the lowest empty slot is
// its write position, so the newest record sits just below it.
NewestLogRecord FindNewestLogRecord(const LogSource& source, int last);

}  // namespace vorkal
