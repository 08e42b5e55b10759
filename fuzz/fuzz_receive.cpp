// Arbitrary byte streams through the receive side of the line protocol, in text mode and
// in boot mode, and every block reply decoder.
#include <cstdint>

#include "line_protocol.h"
#include "line_receiver.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vorkal;
    LineReceiver receiver;
    BootReceiver boot;
    uint8_t block[128];
    for (size_t i = 0; i < size; ++i) {
        const LineReceiver::Result r = receiver.feed(data[i]);
        if (receiver.accumulator().size() > LineReceiver::kMaxLineLength) __builtin_trap();
        if (r == LineReceiver::Result::VersionLine) {
            (void)VersionHasSeparateLog(receiver.line());
            (void)VersionIs128x64(receiver.line());
        } else if (r == LineReceiver::Result::ReplyLine) {
            const QByteArray& line = receiver.line();
            (void)DecodeBlockReply(line, ReadConfigCommand(line.size() % 64), block, 16);
            (void)DecodeBlockReply(line, ReadLogCommand(line.size() % 256, true), block, 128);
            (void)DecodeBlockReply(line, QByteArray(), block, 16);
        }
        boot.feed(data[i]);
    }
    return 0;
}
