#pragma once
// The receive side of the line protocol without the port: text lines in, version lines
// and reply lines out; and the byte-wise boot-loader replies.

#include <QByteArray>
#include <cstdint>

namespace vorkal {

class LineReceiver {
public:
    // The longest line kept. A legal reply is at most 261 characters, and replies are
    // judged by their first characters only, so dropping what comes beyond this bound
    // changes no verdict while a line without LF can never grow the accumulator.
    static constexpr int kMaxLineLength = 1024;

    enum class Result { None, VersionLine, ReplyLine };

    // Takes one byte from the line. On a result other than None the finished line
    // (without CR and LF) is in line() until the next feed.
    Result feed(uint8_t byte);
    const QByteArray& line() const { return line_; }
    // Bytes of the line being received so far.
    const QByteArray& accumulator() const { return accumulator_; }
    void clear() { accumulator_.clear(); }

private:
    QByteArray accumulator_;
    QByteArray line_;
};

// A line whose first character is 'v' and third '.', longer than 3 characters.
bool IsVersionLine(const QByteArray& line);
// Sixth character '+' or '*': the log lives in separate memory.
bool VersionHasSeparateLog(const QByteArray& line);
// Sixth character '*': the 128 x 64 display.
bool VersionIs128x64(const QByteArray& line);

// The boot loader's replies, one byte per data-received event: a single state byte, or
// the frame 0xA8, N, then N-1 value bytes (most significant first) ending in state 0xAA.
struct BootReceiver {
    static constexpr uint8_t kFrameStart = 0xA8;
    static constexpr uint8_t kFrameDone = 0xAA;
    static constexpr uint8_t kNoReply = 0xAB;

    uint8_t state = 0;        // boot state byte
    int32_t frameCount = -1;  // bytes still expected in a frame
    uint32_t frameValue = 0;  // value assembled from a frame

    void feed(uint8_t byte);
};

}  // namespace vorkal
