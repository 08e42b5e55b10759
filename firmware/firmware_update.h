#pragma once
// The firmware update through the display's boot loader: the file and its checks, then
// the reset, the handshake, the identification, programming in acknowledged blocks, the
// verification pass and the command that starts the new firmware. It runs on the
// display session's port, waits and progress window.

#include <QString>
#include <cstdint>

#include "boot_protocol.h"
#include "hex_reader.h"
#include "wire_backlog.h"

namespace vorkal {

class DisplaySession;

class FirmwareUpdate {
public:
    // Reply-timer lengths of the handshake. The program never changes them; tests shorten
    // them so that giving up on a display that never answers takes seconds, not twenty.
    struct HandshakeTimeouts {
        int firstMs = 20000;              // from the first handshake string
        int afterResetMs = 19000;         // after the reset command is repeated
        int afterInstructionsMs = 18000;  // after the user was told to power-cycle
    };

    // The update's other waits. The program never changes them either; tests that check
    // messages and data rather than timing shorten them (the bounds only where nothing
    // is expected to answer).
    struct Waits {
        int streamEndPauseMs = 200;    // the line settles before each end-of-data command
        int lineBaud = 0;              // the streams pace themselves on this speed; 0: the port's
        int identifyTimeoutMs = 1000;  // one identification attempt
        // A writer that cannot move bytes for this long has lost its device; the waits
        // for a reply that follow report the failure.
        int ringDrainBoundMs = 5000;
    };

    // What the user is asked before an update, or why the file was refused.
    struct FileCheck {
        QString refusal;  // not empty: show it and stop
        QString caption, question;
    };

    explicit FirmwareUpdate(DisplaySession& session);

    // The block size the boot loader reported last; kept from one update to the next.
    uint16_t blockSize = 512;
    HandshakeTimeouts handshakeTimeouts;
    Waits waits;

    FirmwareImage& image() { return image_; }
    // Reads `fileName` into the image (which the caller has reset) and checks that it is
    // the display's firmware; the question names the display's and the file's versions.
    FileCheck loadFile(const QString& fileName);
    // Resets the display into its boot loader and programs and verifies the image; tells
    // the user how it ended. True when the new firmware was started.
    bool run();
    // The program command went out in the last run: the old firmware may be gone.
    bool programmingStarted() const { return programmingStarted_; }
    // An update is programming or verifying the display: stopping it now could leave the
    // display with half its firmware, so it must run to its end.
    bool mustFinish() const { return running_ && programmingStarted_; }

    // Handshake, identification and programming; the boot state byte is 0xAA on success.
    void ProgramFirmware();
    // The verification pass; the boot state byte is 0xAA on success.
    void VerifyFirmware();
    void SendBootCommand(uint8_t command);

private:
    bool handshake();
    bool identify();
    // Sends the image as a program or verify stream, escaped, paced by the line. While
    // programming, every full block waits for the boot loader's answer. False when the
    // boot loader refused or the line stalled.
    bool streamImage(int length, bool programming);
    // The end-of-data command after a stream; true when the boot loader answered 0xAA.
    // `stepAfterPause`: the bar takes its last step once the line has settled.
    bool endStream(int timeoutMs, bool stepAfterPause);
    void sendImageByte(uint8_t byte);
    // Blocks without processing events until at most `bytes` of the output can still be
    // on their way: in the port's ring, or on the line at its speed.
    void waitOutputAtMost(int bytes);
    void startReplyTimer(int ms);
    // The reply timer for an answer of up to `replyBytes` bytes: `timeoutMs` counts from
    // when the bytes still on their way have crossed the line and the answer is back.
    void startReplyWait(int timeoutMs, int replyBytes);
    // Hides the progress and shows `text`, with `reason` as a line of its own after it.
    void fail(FirmwareText text, const QString& reason = QString());
    int imageLength() const;

    DisplaySession& session_;
    FirmwareImage image_;
    WireBacklog wireBacklog_;
    // The line took no bytes within the drain bound during this update: the stream has
    // failed, instead of costing the bound again for every group of bytes.
    bool outputStalled_ = false;
    bool programmingStarted_ = false;
    bool running_ = false;  // inside run()
};

// What a display left in its boot loader by a failed update needs from the user;
// `firmwareTouched`: the program command went out, so the old firmware may be gone.
QString StrandedDisplayHint(bool firmwareTouched, bool polish);

}  // namespace vorkal
