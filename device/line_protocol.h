#pragma once
// Framing of the display's text command protocol: command lines, hex fields, the check
// byte, log addressing and the decoding of block replies. No I/O here.

#include <QByteArray>
#include <cstdint>

namespace vorkal {

// Reply time-outs of the commands, in milliseconds.
namespace ReplyTimeout {
constexpr int ReadBlock = 100;
constexpr int WriteBlock = 200;
constexpr int WriteText = 200;
constexpr int ClearScreen = 500;
constexpr int Reset = 50;
constexpr int SetSpeed = 500;
constexpr int ShowLayout = 500;
}  // namespace ReplyTimeout

// A character on the line: start bit, 8 data bits, stop bit.
constexpr int kBitsPerChar = 10;
// Milliseconds `chars` characters take on the line at `baud`, rounded up; 0 when the
// speed is unknown.
int WireMs(int chars, int baud);
// The longest reply the display can send to `command`, CR LF included: a block read's
// line (a log block's depends on the variant, `wide` = 128 x 64), else a one-letter answer.
int LongestReplyChars(const QByteArray& command, bool wide);
// How long a reply to `command` is waited for: the time-out, counted from when the
// command has crossed the line and the longest reply has come back. A 128 x 64 log
// block's reply alone is 544 ms at 4800 baud, far beyond its 100 ms.
int ReplyWaitMs(const QByteArray& command, int timeoutMs, int baud, bool wide);

// A block read or write is tried this many times before it fails.
constexpr int kBlockAttempts = 11;
constexpr int kConfigBlockSize = 16;
constexpr int kLogRecordSize = 16;

// The digit character of a small number: chr(48 + v).
inline char DigitChar(int v) { return char(48 + v); }

// S = (1 + sum of the bytes) mod 256.
uint8_t CheckSum(const uint8_t* data, int count);
// The check byte on the line: S XOR 0xA5.
inline uint8_t CheckByte(const uint8_t* data, int count) { return uint8_t(CheckSum(data, count) ^ 0xA5); }
// Whether a received check byte matches the sum of the decoded bytes.
inline bool CheckByteMatches(uint8_t received, uint8_t sum) { return uint8_t(received ^ sum) == 0xA5; }

// Two upper-case hex digits per byte.
QByteArray HexBytes(const uint8_t* data, int count);
// A hex pair read from the line; a pair that is not valid hexadecimal reads as 0.
uint8_t DecodeHexPair(char high, char low);

// The two address characters H, L of a log record or a log read block.
struct LogAddress {
    char h, l;
};
// Record r: H = chr(48 + r div R), L = chr(48 + r mod R); R = 64 on 128 x 64, else 32.
LogAddress LogRecordAddress(int record, bool wide);
// Block a is record a (16 bytes) on 84 x 48 and records 8a..8a+7 (128 bytes) on 128 x 64.
inline LogAddress LogBlockAddress(int block, bool wide) { return LogRecordAddress(wide ? 8 * block : block, wide); }
inline int LogBlockSize(bool wide) { return wide ? 128 : 16; }
// Number of log read blocks that cover the log image.
inline int LogBlockCount(bool wide) { return wide ? 256 : 2048; }

// Command lines without the CR LF that SendCommand appends.
QByteArray ReadConfigCommand(int block);
QByteArray WriteConfigCommand(int block, const uint8_t* bytes16);
QByteArray ReadLogCommand(int block, bool wide);
QByteArray WriteLogCommand(int record, const uint8_t* bytes16, bool wide);
// Font digit = font + 2 * flag, at least one hex digit; x and y as two hex digits each.
QByteArray WriteTextCommand(int font, int flag, uint8_t x, uint8_t y, const QByteArray& text);
QByteArray ClearScreenCommand();
QByteArray ResetCommand();
QByteArray SetSpeedCommand(int speedIndex);
QByteArray ShowLayoutCommand(int layout);
// The version query goes on the line as is, CR LF included.
QByteArray VersionQueryLine();

enum class BlockCheck { Ok, Header, Crc };

// Decodes a block reply: `echo` first, then `count` bytes as hex pairs, ',' and the check
// byte. Each byte goes into `dest` as soon as it is decoded, so a block that fails its
// check leaves its bytes there. Characters after the check byte are ignored.
BlockCheck DecodeBlockReply(const QByteArray& reply, const QByteArray& echo, uint8_t* dest, int count);

}  // namespace vorkal
