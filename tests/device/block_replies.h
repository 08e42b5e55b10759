#pragma once
// Block read replies built here independently of the program's framing.

#include <QByteArray>
#include <cstdint>

namespace vorkal::testing {

inline QByteArray blockReply(const QByteArray& echo, const QByteArray& data) {
    int sum = 1;
    for (char b : data) sum += uint8_t(b);
    const uint8_t check = uint8_t((sum & 0xFF) ^ 0xA5);
    return echo + data.toHex().toUpper() + "," + QByteArray(1, char(check)).toHex().toUpper();
}

// Sixteen bytes that differ from each other and from an erased block.
inline QByteArray sample16() {
    QByteArray d;
    for (int i = 0; i < 16; ++i) d += char(0x30 + 11 * i);
    return d;
}

}  // namespace vorkal::testing
