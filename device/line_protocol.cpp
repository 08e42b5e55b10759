#include "line_protocol.h"

namespace vorkal {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

QByteArray Command(std::initializer_list<char> bytes) { return QByteArray(bytes.begin(), int(bytes.size())); }

// Record, ',' and check byte of a 16-byte block write.
QByteArray BlockPayload(const uint8_t* bytes16) {
    QByteArray out = HexBytes(bytes16, 16);
    out += ',';
    const uint8_t c = CheckByte(bytes16, 16);
    out += HexBytes(&c, 1);
    return out;
}

}  // namespace

uint8_t CheckSum(const uint8_t* data, int count) {
    uint8_t s = 1;
    for (int i = 0; i < count; ++i) s = uint8_t(s + data[i]);
    return s;
}

QByteArray HexBytes(const uint8_t* data, int count) {
    QByteArray out(2 * count, Qt::Uninitialized);
    for (int i = 0; i < count; ++i) {
        out[2 * i] = kHexDigits[data[i] >> 4];
        out[2 * i + 1] = kHexDigits[data[i] & 0x0F];
    }
    return out;
}

uint8_t DecodeHexPair(char high, char low) {
    const int h = HexValue(high), l = HexValue(low);
    if (h < 0 || l < 0) return 0;
    return uint8_t(h * 16 + l);
}

int WireMs(int chars, int baud) {
    if (baud <= 0 || chars <= 0) return 0;
    return int((int64_t(chars) * kBitsPerChar * 1000 + baud - 1) / baud);
}

int LongestReplyChars(const QByteArray& command, bool wide) {
    constexpr int kLineEnd = 2;
    const uint8_t code = command.isEmpty() ? 0 : uint8_t(command[0]);
    if (code == 0xF1) return 1 + 2 * kConfigBlockSize + 3 + kLineEnd;
    if (code == 0xFA) return 2 + 2 * LogBlockSize(wide) + 3 + kLineEnd;
    return 1 + kLineEnd;
}

int ReplyWaitMs(const QByteArray& command, int timeoutMs, int baud, bool wide) {
    const int commandChars = int(command.size()) + 2;  // CR LF
    return timeoutMs + WireMs(commandChars + LongestReplyChars(command, wide), baud);
}

LogAddress LogRecordAddress(int record, bool wide) {
    const int r = wide ? 64 : 32;
    return {DigitChar(record / r), DigitChar(record % r)};
}

QByteArray ReadConfigCommand(int block) { return Command({char(0xF1), 'r', DigitChar(block)}); }

QByteArray WriteConfigCommand(int block, const uint8_t* bytes16) {
    return Command({char(0xF2), 'w', DigitChar(block)}) + BlockPayload(bytes16);
}

QByteArray ReadLogCommand(int block, bool wide) {
    const LogAddress a = LogBlockAddress(block, wide);
    return Command({char(0xFA), a.h, a.l});
}

QByteArray WriteLogCommand(int record, const uint8_t* bytes16, bool wide) {
    const LogAddress a = LogRecordAddress(record, wide);
    return Command({char(0xFB), a.h, a.l}) + BlockPayload(bytes16);
}

QByteArray WriteTextCommand(int font, int flag, uint8_t x, uint8_t y, const QByteArray& text) {
    QByteArray out = Command({char(0xF3), 'd'});
    out += QByteArray::number(font + 2 * flag, 16).toUpper();
    out += HexBytes(&x, 1);
    out += HexBytes(&y, 1);
    out += text;
    return out;
}

QByteArray ClearScreenCommand() { return Command({char(0xF5), 'c'}); }
QByteArray ResetCommand() { return Command({char(0xF7)}) + "ReSeT"; }
QByteArray SetSpeedCommand(int speedIndex) { return Command({char(0xF0), 'b', DigitChar(speedIndex), 'w'}); }
QByteArray ShowLayoutCommand(int layout) { return Command({char(0xF9), 'l', DigitChar(layout)}); }
QByteArray VersionQueryLine() { return Command({char(0xF6), 'v', '\r', '\n'}); }

BlockCheck DecodeBlockReply(const QByteArray& reply, const QByteArray& echo, uint8_t* dest, int count) {
    const int comma = int(echo.size()) + 2 * count;
    if (reply.size() < comma + 3 || !reply.startsWith(echo) || reply[comma] != ',') return BlockCheck::Header;
    uint8_t sum = 1;
    for (int i = 0; i < count; ++i) {
        const int at = int(echo.size()) + 2 * i;
        dest[i] = DecodeHexPair(reply[at], reply[at + 1]);
        sum = uint8_t(sum + dest[i]);
    }
    const uint8_t received = DecodeHexPair(reply[comma + 1], reply[comma + 2]);
    return CheckByteMatches(received, sum) ? BlockCheck::Ok : BlockCheck::Crc;
}

}  // namespace vorkal
