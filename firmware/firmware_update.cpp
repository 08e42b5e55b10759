// Firmware update through the boot loader: the file and its checks, the handshake,
// identification, programming in acknowledged blocks and the verification pass.

#include "firmware_update.h"

#include <QElapsedTimer>
#include <QTimer>
#include <chrono>
#include <thread>

#include "byte_port.h"
#include "display_session.h"
#include "progress_sink.h"
#include "trace_log.h"

namespace vorkal {

namespace {

constexpr int kHandshakeStepMs = 100;
constexpr int kResetRepeatStep = 10;
constexpr int kInstructionsStep = 20;
constexpr int kHandshakeBarMaximum = 200;
constexpr int kPauseAfterResetMs = 60;
constexpr int kIdentifyAttempts = 10;
constexpr int kBlockTimeoutMs = 2000;
constexpr int kProgramEndTimeoutMs = 2000;
constexpr int kVerifyEndTimeoutMs = 1000;
constexpr int kBootCommandPauseMs = 2;
constexpr int kStreamGroup = 16;
constexpr int kOutputAhead = 256;
constexpr int kDesignTimeReplyMs = 500;
// Boot loader answers: one byte, or the identification frame 0xA8, N and N - 1 value
// bytes, whose longest form N (one byte) allows.
constexpr int kBootReplyBytes = 1;
constexpr int kLongestIdentifyReplyBytes = 2 + 254;

int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

FirmwareUpdate::FirmwareUpdate(DisplaySession& session) : session_(session) {}

int FirmwareUpdate::imageLength() const { return std::min<int>(image_.length, kFirmwareImageSize); }

FirmwareUpdate::FileCheck FirmwareUpdate::loadFile(const QString& fileName) {
    const bool polish = session_.polish();
    FileCheck check;
    if (!LoadHexFile(fileName, image_, polish, &check.refusal)) return check;
    if (!HasFirmwareMarker(image_)) {
        check.refusal =
            FirmwareUpdateText(FirmwareText::NotVorkalFirmware, polish) + "\r\n" + NotVorkalFirmwareReason(polish);
        return check;
    }
    // Refused before the display is touched: the update would leave those bytes 0xFF
    // and still report success.
    check.refusal = BootAreaRefusal(image_, polish);
    if (!check.refusal.isEmpty()) return check;
    const QString next = PrintableVersion(FirmwareVersionText(image_));
    const QString current = PrintableVersion(session_.firmwareVersion.left(5));
    check.caption = FirmwareUpdateText(FirmwareText::ConfirmCaption, polish);
    check.question = ConfirmUpdateQuestion(current, next, polish);
    return check;
}

bool FirmwareUpdate::run() {
    BytePort& port = session_.port();
    if (!port.isOpen()) return false;
    wireBacklog_.setBaud(waits.lineBaud > 0 ? waits.lineBaud : port.baudRate());
    wireBacklog_.clear();
    outputStalled_ = false;
    programmingStarted_ = false;
    DisplaySession::PollPause pause(session_, DisplaySession::PollPause::End::RestoreRunning);
    running_ = true;
    // Every way out leaves boot receive mode and gives Cancel back.
    struct Restore {
        DisplaySession& session;
        bool& running;
        ~Restore() {
            running = false;
            session.bootReceiveMode = false;
            session.progress().setCancelEnabled(true);
            session.progress().hideProgress();
        }
    } restore{session_, running_};

    qCInfo(lcBoot) << "update of" << imageLength() << "bytes at" << port.baudRate() << "baud: reset to the boot loader";
    session_.SendCommand(ResetCommand(), session_.timeouts.reset);
    session_.bootReceiveMode = true;
    session_.replyTimer()->stop();

    ProgramFirmware();
    if (session_.boot.state == kBootSuccess) VerifyFirmware();
    if (session_.boot.state != kBootSuccess) return false;
    qCInfo(lcBoot) << "programmed and verified; starting the firmware";
    SendBootCommand(kBootStartFirmware);
    session_.progress().showMessage(FirmwareUpdateText(FirmwareText::UpdateSuccessful, session_.polish()));
    return true;
}

void FirmwareUpdate::SendBootCommand(uint8_t command) {
    BytePort& port = session_.port();
    if (port.isOpen()) {
        // The purge is for stale output; the previous command (the 0xA5 pair before
        // program, verify and identify) must leave first, or a busy writer thread loses it.
        waitOutputAtMost(0);
        port.discardOutput();
        port.discardInput();
        wireBacklog_.clear();
        port.sendByte(kBootEscape);
        port.sendByte(command);
        wireBacklog_.add(2, NowNs());
    }
    session_.PauseMs(kBootCommandPauseMs);
}

void FirmwareUpdate::sendImageByte(uint8_t byte) {
    BytePort& port = session_.port();
    // A port lost on the way sends nothing; the reply that is then awaited never comes.
    if (!port.isOpen()) return;
    port.sendByte(byte);
    if (byte == kBootEscape) port.sendByte(kBootEscapedData);
    wireBacklog_.add(byte == kBootEscape ? 2 : 1, NowNs());
}

void FirmwareUpdate::waitOutputAtMost(int bytes) {
    BytePort& port = session_.port();
    if (!port.isOpen() || outputStalled_) return;
    const int64_t lineWait = wireBacklog_.waitNs(bytes, NowNs());
    if (lineWait > 0) std::this_thread::sleep_for(std::chrono::nanoseconds(lineWait));
    // The writer thread normally empties the ring at once; it lags only when the device
    // stops taking bytes, and stops for good when the line has hung up.
    QElapsedTimer bound;
    bound.start();
    while (port.isOpen() && !port.lineHungUp() && port.outQueueUsed() > bytes &&
           bound.elapsed() < waits.ringDrainBoundMs)
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    // The port is closed only on this thread, which processes no events here: a lost
    // device would otherwise cost the whole bound again for every group of bytes.
    if (port.isOpen() && port.outQueueUsed() > bytes) outputStalled_ = true;
}

void FirmwareUpdate::startReplyTimer(int ms) {
    session_.replyTimer()->setInterval(ms);
    session_.replyTimer()->start();
}

void FirmwareUpdate::startReplyWait(int timeoutMs, int replyBytes) {
    const int onTheLine = wireBacklog_.pending(NowNs()) + replyBytes;
    startReplyTimer(timeoutMs + WireMs(onTheLine, session_.port().baudRate()));
}

void FirmwareUpdate::fail(FirmwareText text, const QString& reason) {
    session_.progress().hideProgress();
    const QString message = FirmwareUpdateText(text, session_.polish());
    qCInfo(lcBoot).noquote() << "failed:" << FirmwareUpdateText(text, false) << reason;
    session_.progress().showMessage(reason.isEmpty() ? message : message + "\r\n" + reason);
}

void FirmwareUpdate::ProgramFirmware() {
    if (!handshake() || !identify()) return;
    BootReceiver& boot = session_.boot;
    ProgressSink& progress = session_.progress();
    const int length = imageLength();
    if (!ImageSuitsBlockSize(length, blockSize)) {
        fail(FirmwareText::IncompatibleFirmware, IncompatibleFirmwareReason(length, blockSize, session_.polish()));
        boot.state = kBootFailure;
        return;
    }

    // Programming: the boot loader acknowledges every full block.
    qCInfo(lcBoot) << "programming";
    progress.showProgress(length / kStreamGroup);
    progress.setProgressPosition(0);
    progress.setProgressCaption(FirmwareUpdateText(FirmwareText::Programming, session_.polish()));
    SendBootCommand(kBootEscape);
    programmingStarted_ = true;
    SendBootCommand(kBootProgram);
    if (!streamImage(length, true)) {
        fail(FirmwareText::ErrorDuringProgramming);
        boot.state = kBootFailure;
        return;
    }
    if (!endStream(kProgramEndTimeoutMs, true)) fail(FirmwareText::ErrorDuringProgramming);
}

void FirmwareUpdate::VerifyFirmware() {
    qCInfo(lcBoot) << "verifying";
    ProgressSink& progress = session_.progress();
    const int length = imageLength();
    progress.showProgress(length / kStreamGroup);
    progress.setProgressPosition(0);
    progress.setProgressCaption(FirmwareUpdateText(FirmwareText::Verifying, session_.polish()));
    SendBootCommand(kBootEscape);
    session_.boot.state = 0;
    SendBootCommand(kBootVerify);
    if (!streamImage(length, false)) {
        fail(FirmwareText::VerificationError);
        session_.boot.state = kBootFailure;
        return;
    }
    if (!endStream(kVerifyEndTimeoutMs, false)) fail(FirmwareText::VerificationError);
}

// The handshake string goes out every 100 ms until the boot loader answers 0xA6.
bool FirmwareUpdate::handshake() {
    BootReceiver& boot = session_.boot;
    ProgressSink& progress = session_.progress();
    QTimer* replyTimer = session_.replyTimer();
    boot.state = 0;
    progress.showProgress(kHandshakeBarMaximum);
    progress.setProgressPosition(0);
    progress.setProgressCaption(FirmwareUpdateText(FirmwareText::WaitingForConnect, session_.polish()));
    startReplyWait(handshakeTimeouts.firstMs, kBootReplyBytes);
    do {
        session_.PauseMs(kHandshakeStepMs);
        if (session_.port().isOpen()) session_.port().sendText(BootHandshake());
        if (!replyTimer->isActive()) {  // ran out, Cancel, or the port went away
            fail(FirmwareText::NoCommunication);
            replyTimer->setInterval(kDesignTimeReplyMs);
            boot.state = kBootFailure;
            return false;
        }
        progress.stepProgress();
        const int step = progress.progressPosition();
        if (step == kResetRepeatStep) {
            qCInfo(lcBoot) << "no handshake reply yet: reset again";
            session_.SendCommand(ResetCommand(), session_.timeouts.reset);
            session_.PauseMs(kPauseAfterResetMs);
            startReplyWait(handshakeTimeouts.afterResetMs, kBootReplyBytes);
            boot.state = 0;
        }
        if (step == kInstructionsStep) {
            qCInfo(lcBoot) << "no handshake reply yet: the user is asked to switch the display off and on";
            replyTimer->stop();
            progress.showMessage(FirmwareUpdateText(FirmwareText::PowerCycleInstructions, session_.polish()));
            startReplyWait(handshakeTimeouts.afterInstructionsMs, kBootReplyBytes);
        }
    } while (boot.state != kBootHandshakeReply);
    qCInfo(lcBoot) << "the boot loader answered the handshake";
    return true;
}

// The block size the boot loader reports names the processor.
bool FirmwareUpdate::identify() {
    BootReceiver& boot = session_.boot;
    const auto replied = [&boot] { return boot.state == kBootSuccess || boot.state == kBootFailure; };
    // A port that closed (a pulled cable, the window closed) answers no attempt: each would
    // only wait out its time-out, and a size remembered from before must not take the
    // update on to programming a display that cannot be reached.
    const auto portGone = [this, &boot] {
        if (session_.port().isOpen()) return false;
        fail(FirmwareText::ErrorDuringProgramming);
        boot.state = kBootFailure;
        return true;
    };
    for (int attempt = 1;; ++attempt) {
        if (portGone()) return false;
        boot.state = 0;
        boot.frameCount = -1;
        session_.progress().setCancelEnabled(false);
        SendBootCommand(kBootEscape);
        SendBootCommand(kBootIdentify);
        startReplyWait(waits.identifyTimeoutMs, kLongestIdentifyReplyBytes);
        session_.WaitUntil(replied);
        if (portGone()) return false;
        if (boot.state == kBootFailure) {
            if (attempt == kIdentifyAttempts) {
                fail(FirmwareText::ErrorDuringProgramming);
                return false;
            }
        } else {
            session_.replyTimer()->stop();
            blockSize = uint16_t(boot.frameValue & 0xFFFF);
            qCInfo(lcBoot) << "identify, attempt" << attempt << ": block size" << blockSize;
            if (!IsKnownBlockSize(blockSize)) {
                session_.progress().hideProgress();
                if (attempt == kIdentifyAttempts) {
                    fail(FirmwareText::NotRecognizedProcessor);
                    boot.state = kBootFailure;
                    return false;
                }
            }
        }
        // A time-out with a size remembered from before also ends the identification.
        if (IsKnownBlockSize(blockSize)) return true;
    }
}

bool FirmwareUpdate::streamImage(int length, bool programming) {
    BootReceiver& boot = session_.boot;
    const auto answered = [&boot] { return boot.state != 0; };
    int inBlock = 0;
    for (int j = 0; j < length; ++j) {
        sendImageByte(image_.bytes[size_t(j)]);
        if (j % kStreamGroup == kStreamGroup - 1) {
            session_.progress().stepProgress();
            waitOutputAtMost(kOutputAhead);
            // The boot loader says at once when a verified byte differs.
            if (!programming && boot.state == kBootFailure) return false;
            if (outputStalled_) break;
        }
        if (programming && ++inBlock == blockSize) {
            inBlock = 0;
            startReplyWait(kBlockTimeoutMs, kBootReplyBytes);
            boot.state = 0;
            session_.WaitUntil(answered);
            session_.replyTimer()->stop();
            if (boot.state == kBootFailure) return false;
        }
    }
    waitOutputAtMost(0);
    return !outputStalled_;
}

bool FirmwareUpdate::endStream(int timeoutMs, bool stepAfterPause) {
    BootReceiver& boot = session_.boot;
    session_.PauseMs(waits.streamEndPauseMs);
    if (stepAfterPause) session_.progress().stepProgress();
    // Cleared before the command: the answer may already arrive within its pause.
    boot.state = 0;
    SendBootCommand(kBootEndOfData);
    startReplyWait(timeoutMs, kBootReplyBytes);
    session_.WaitUntil([&boot] { return boot.state != 0; });
    session_.progress().hideProgress();
    session_.replyTimer()->stop();
    return boot.state == kBootSuccess;
}

QString StrandedDisplayHint(bool firmwareTouched, bool polish) {
    if (firmwareTouched)
        return polish ? QString::fromUtf8(
                            "Wyświetlacz czeka w programie ładującym; jego oprogramowanie jest niekompletne.\r\n"
                            "Wyłącz i włącz zasilanie wyświetlacza, kliknij \"Otwórz\"\r\n"
                            "i ponów aktualizację oprogramowania.")
                      : QString(
                            "The display is waiting in its boot loader; its firmware is incomplete.\r\n"
                            "Switch the display off and on again, press Open\r\n"
                            "and run the firmware update once more.");
    return polish ? QString::fromUtf8(
                        "Wyświetlacz może czekać w programie ładującym;\r\n"
                        "dotychczasowe oprogramowanie jest nienaruszone.\r\n"
                        "Wyłącz i włącz zasilanie wyświetlacza, a następnie kliknij \"Otwórz\".")
                  : QString(
                        "The display may be waiting in its boot loader; its old firmware is intact.\r\n"
                        "Switch the display off and on again, then press Open.");
}

}  // namespace vorkal
