#include "line_receiver.h"

#include <utility>

namespace vorkal {

LineReceiver::Result LineReceiver::feed(uint8_t byte) {
    if (byte == '\r') return Result::None;
    if (byte != '\n') {
        if (accumulator_.size() < kMaxLineLength) accumulator_.append(char(byte));
        return Result::None;
    }
    line_.clear();
    std::swap(line_, accumulator_);
    return IsVersionLine(line_) ? Result::VersionLine : Result::ReplyLine;
}

bool IsVersionLine(const QByteArray& line) { return line.size() > 3 && line[0] == 'v' && line[2] == '.'; }

bool VersionHasSeparateLog(const QByteArray& line) { return line.size() > 5 && (line[5] == '+' || line[5] == '*'); }

bool VersionIs128x64(const QByteArray& line) { return line.size() > 5 && line[5] == '*'; }

void BootReceiver::feed(uint8_t byte) {
    if (state != kFrameStart) {
        state = byte;
        frameCount = -1;
    } else if (frameCount <= 1) {
        frameCount = byte;
        frameValue = 0;
    } else {
        frameValue = frameValue * 256 + byte;
        if (--frameCount == 1) state = kFrameDone;
    }
}

}  // namespace vorkal
