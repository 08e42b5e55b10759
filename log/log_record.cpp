#include "log_record.h"

#include <algorithm>
#include <cstdlib>

namespace vorkal {

namespace {

const QChar kDegree(0x00B0);

// |v| in 0.00001 degree with 5 decimals, kept to 7 significant digits: at 100 degrees
// and above the fifth decimal is rounded away (half up) and written as 0.
QString formatCoordinate(int32_t v, const QString& decimalSeparator, QChar positive, QChar negative) {
    int64_t a = std::llabs(int64_t(v));
    if (a >= 10000000) a = (a + 5) / 10 * 10;
    return QString::number(a / 100000) + decimalSeparator +
           QStringLiteral("%1").arg(a % 100000, 5, 10, QLatin1Char('0')) + kDegree + (v < 0 ? negative : positive);
}

QString twoDigits(int v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); }

}  // namespace

bool LogSource::LogRecordEmpty(int r) const {
    const uint8_t* b = record(r);
    return std::all_of(b, b + kInImageRecordLength, [](uint8_t x) { return x == 0xFF; });
}

LogSource SelectLogSource(const ConfigImage& config) {
    LogSource s;
    if (config.is128x64() || config.separateLog) {
        s.data = config.logImage.data();
        s.slotCount = config.is128x64() ? kLogSlots128x64 : kLogSlots84x48;
    } else {
        s.data = config.image.data();
        s.inImage = true;
        s.slotCount = config.inImageLogRecordCount();
    }
    return s;
}

LogRecord DecodeLogRecord(const uint8_t* b, bool extended) {
    LogRecord r;
    r.empty = std::all_of(b, b + kInImageRecordLength, [](uint8_t x) { return x == 0xFF; });
    r.extended = extended;
    r.hour = b[3] & 0x1F;
    r.minute = (b[7] >> 1) & 0x3F;
    r.second = b[8] & 0x3F;
    r.latitude = int32_t(b[0] | b[1] << 8 | b[2] << 16) - ((b[3] & 0x80) ? 16777216 : 0);
    r.longitude = int32_t(b[4] | b[5] << 8 | b[6] << 16 | (b[7] & 0x01) << 24) - ((b[7] & 0x80) ? 33554432 : 0);
    if (extended) {
        r.course = ((b[8] & 0x80) ? 256 : 0) + b[9];
        r.height = int16_t(uint16_t(b[10] | b[11] << 8));
        r.speed = ((b[8] & 0x40) ? 256 : 0) + b[12];
        r.distance = b[13] | b[14] << 8;
        r.rssi = b[15];
    }
    return r;
}

QString FormatLogTime(const LogRecord& rec) {
    if (rec.empty) return {};
    return twoDigits(rec.hour) + QLatin1Char(':') + twoDigits(rec.minute) + QLatin1Char(':') + twoDigits(rec.second);
}

QString FormatLogLatitude(const LogRecord& rec, const QString& decimalSeparator) {
    if (rec.empty) return {};
    return formatCoordinate(rec.latitude, decimalSeparator, QLatin1Char('N'), QLatin1Char('S'));
}

QString FormatLogLongitude(const LogRecord& rec, const QString& decimalSeparator) {
    if (rec.empty) return {};
    return formatCoordinate(rec.longitude, decimalSeparator, QLatin1Char('E'), QLatin1Char('W'));
}

QString FormatLogCourse(const LogRecord& rec) {
    if (rec.empty || !rec.extended) return {};
    return QStringLiteral("%1").arg(rec.course, 3, 10, QLatin1Char('0')) + kDegree;
}

QString FormatLogHeight(const LogRecord& rec) {
    if (rec.empty || !rec.extended) return {};
    return QString::number(rec.height) + QLatin1Char('m');
}

QString FormatLogSpeed(const LogRecord& rec) {
    if (rec.empty || !rec.extended) return {};
    return QString::number(rec.speed) + QStringLiteral("kph");
}

QString FormatLogDistance(const LogRecord& rec) {
    if (rec.empty || !rec.extended) return {};
    return QString::number(rec.distance) + QLatin1Char('m');
}

QString FormatLogRssi(const LogRecord& rec) {
    if (rec.empty || !rec.extended) return {};
    return twoDigits(rec.rssi) + QLatin1Char('%');
}

NewestLogRecord FindNewestLogRecord(const LogSource& source, int last) {
    NewestLogRecord result;
    if (last < 0) return result;
    int firstEmpty = last + 1;
    for (int r = 0; r <= last; ++r) {
        if (source.LogRecordEmpty(r)) {
            if (firstEmpty > last) firstEmpty = r;
        } else {
            ++result.count;
        }
    }
    result.newest = (firstEmpty + last) % (last + 1);
    return result;
}

}  // namespace vorkal
