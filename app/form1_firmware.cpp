// Firmware update through the boot loader: the file and its checks, the handshake,
// identification, programming in acknowledged blocks and the verification pass.

#include "form1.h"


#include <QElapsedTimer>
#include <chrono>
#include <thread>

#include "af_com_port.h"
#include "boot_protocol.h"
#include "dialogs.h"
#include "form2.h"
#include "hex_reader.h"
#include "line_protocol.h"
#include "wire_backlog.h"

using namespace vorkal;

namespace {

constexpr int kHandshakeStepMs = 100;
constexpr int kResetRepeatStep = 10;
constexpr int kInstructionsStep = 20;
constexpr int kHandshakeBarMaximum = 200;
constexpr int kPauseAfterResetMs = 60;
constexpr int kIdentifyAttempts = 10;
constexpr int kIdentifyTimeoutMs = 1000;
constexpr int kBlockTimeoutMs = 2000;
constexpr int kProgramEndTimeoutMs = 2000;
constexpr int kVerifyEndTimeoutMs = 1000;
constexpr int kBootCommandPauseMs = 2;
constexpr int kStreamEndPauseMs = 200;
constexpr int kStreamGroup = 16;
constexpr int kOutputAhead = 256;
// A writer that cannot move bytes for this long has lost its device; the waits for a
// reply that follow report the failure.
constexpr int kRingDrainBoundMs = 5000;
constexpr int kDesignTimeReplyMs = 500;

int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

void TForm1::Button11Click() {
    if (deferWhilePolling(&TForm1::Button11Click)) return;
    if (!portIsOpen()) return;
    forgetDisplayImage();
    if (!firmwareImage_) firmwareImage_ = std::make_shared<FirmwareImage>();
    if (!wireBacklog_) wireBacklog_ = std::make_shared<WireBacklog>();
    const TAfBaudrate rate = AfComPort1->BaudRate();
    wireBacklog_->setBaud(rate == TAfBaudrate::brUser ? AfComPort1->UserBaudRate() : BaudRateValue(rate));
    wireBacklog_->clear();
    outputStalled_ = false;

    // Every way out from here on leaves boot receive mode and restores the status poll.
    struct Restore {
        TForm1* form;
        bool pollWasRunning;
        ~Restore() {
            form->bootReceiveMode = false;
            form->Form2->Button1->setEnabled(true);
            form->Form2->hide();
            if (pollWasRunning) form->Timer2->start();
        }
    } restore{this, Timer2->isActive()};
    Timer2->stop();

    FirmwareImage& image = *firmwareImage_;
    image.reset();
    boot.state = 0;
    FileDialogRequest request;
    request.filter = "HEX file|*.hex";
    request.defaultExtension = "BIN";
    const FileDialogResult chosen = dialogs().openFile(request);
    if (chosen.fileName.isEmpty()) return;

    QString readError;
    if (!LoadHexFile(chosen.fileName, image, &readError)) {
        dialogs().showMessage(QString(), readError, MsgIcon::None);
        return;
    }
    if (!HasFirmwareMarker(image)) {
        dialogs().showMessage(QString(), FirmwareUpdateText(FirmwareText::NotVorkalFirmware, languagePolish),
                              MsgIcon::None);
        return;
    }
    const QString next = PrintableVersion(FirmwareVersionText(image));
    const QString current = PrintableVersion(firmwareVersion.left(5));
    if (dialogs().askYesNo(FirmwareUpdateText(FirmwareText::ConfirmCaption, languagePolish),
                           ConfirmUpdateQuestion(current, next, languagePolish), MsgIcon::Question,
                           MsgAnswer::No) != MsgAnswer::Yes)
        return;

    SendCommand(ResetCommand(), ReplyTimeout::Reset);
    bootReceiveMode = true;
    Timer1->stop();
    Timer2->stop();

    ProgramFirmware();
    if (boot.state == kBootSuccess) VerifyFirmware();
    if (boot.state == kBootSuccess) {
        SendBootCommand(kBootStartFirmware);
        dialogs().showMessage(QString(), FirmwareUpdateText(FirmwareText::UpdateSuccessful, languagePolish),
                              MsgIcon::None);
    }
}

void TForm1::SendBootCommand(uint8_t command) {
    if (portIsOpen()) {
        AfComPort1->DiscardOutput();
        AfComPort1->DiscardInput();
        wireBacklog_->clear();
        AfComPort1->SendByte(kBootEscape);
        AfComPort1->SendByte(command);
        wireBacklog_->add(2, NowNs());
    }
    PauseMs(kBootCommandPauseMs);
}

void TForm1::sendImageByte(uint8_t byte) {
    // A port lost on the way sends nothing; the reply that is then awaited never comes.
    if (!portIsOpen()) return;
    AfComPort1->SendByte(byte);
    if (byte == kBootEscape) AfComPort1->SendByte(kBootEscapedData);
    wireBacklog_->add(byte == kBootEscape ? 2 : 1, NowNs());
}

void TForm1::waitOutputAtMost(int bytes) {
    if (!portIsOpen() || outputStalled_) return;
    const int64_t lineWait = wireBacklog_->waitNs(bytes, NowNs());
    if (lineWait > 0) std::this_thread::sleep_for(std::chrono::nanoseconds(lineWait));
    // The writer thread normally empties the ring at once; it lags only when the device
    // stops taking bytes.
    QElapsedTimer bound;
    bound.start();
    while (portIsOpen() && AfComPort1->OutQueueUsed() > bytes && bound.elapsed() < kRingDrainBoundMs)
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    // The port is closed only on this thread, which processes no events here: a lost
    // device would otherwise cost the whole bound again for every group of bytes.
    if (portIsOpen() && AfComPort1->OutQueueUsed() > bytes) outputStalled_ = true;
}

void TForm1::ProgramFirmware() {
    const auto fail = [this](FirmwareText text) {
        Form2->hide();
        dialogs().showMessage(QString(), FirmwareUpdateText(text, languagePolish), MsgIcon::None);
    };
    const auto startReplyTimer = [this](int ms) {
        Timer1->setInterval(ms);
        Timer1->start();
    };

    // Handshake: the string goes out every 100 ms until the boot loader answers 0xA6.
    boot.state = 0;
    ShowProgress(kHandshakeBarMaximum);
    Form2->ProgressBar1->setValue(0);
    Form2->setWindowTitle(FirmwareUpdateText(FirmwareText::WaitingForConnect, languagePolish));
    startReplyTimer(handshakeTimeouts.firstMs);
    do {
        PauseMs(kHandshakeStepMs);
        if (portIsOpen()) AfComPort1->SendText(BootHandshake());
        if (!Timer1->isActive()) {  // ran out, Cancel, or the port went away
            fail(FirmwareText::NoCommunication);
            Timer1->setInterval(kDesignTimeReplyMs);
            boot.state = kBootFailure;
            return;
        }
        Form2->StepIt();
        const int step = Form2->ProgressBar1->value();
        if (step == kResetRepeatStep) {
            SendCommand(ResetCommand(), ReplyTimeout::Reset);
            PauseMs(kPauseAfterResetMs);
            startReplyTimer(handshakeTimeouts.afterResetMs);
            boot.state = 0;
        }
        if (step == kInstructionsStep) {
            Timer1->stop();
            dialogs().showMessage(QString(), FirmwareUpdateText(FirmwareText::PowerCycleInstructions, languagePolish),
                                  MsgIcon::None);
            startReplyTimer(handshakeTimeouts.afterInstructionsMs);
        }
    } while (boot.state != kBootHandshakeReply);

    // Identification: the block size names the processor.
    const auto replied = [this] { return boot.state == kBootSuccess || boot.state == kBootFailure; };
    for (int attempt = 1;; ++attempt) {
        boot.state = 0;
        boot.frameCount = -1;
        Form2->Button1->setEnabled(false);
        SendBootCommand(kBootEscape);
        SendBootCommand(kBootIdentify);
        startReplyTimer(kIdentifyTimeoutMs);
        WaitUntil(replied);
        if (boot.state == kBootFailure) {
            if (attempt == kIdentifyAttempts) {
                fail(FirmwareText::ErrorDuringProgramming);
                return;
            }
        } else {
            Timer1->stop();
            bootBlockSize = uint16_t(boot.frameValue & 0xFFFF);
            if (!IsKnownBlockSize(bootBlockSize)) {
                Form2->hide();
                if (attempt == kIdentifyAttempts) {
                    fail(FirmwareText::NotRecognizedProcessor);
                    boot.state = kBootFailure;
                    return;
                }
            }
        }
        // A time-out with a size remembered from before also ends the identification.
        if (IsKnownBlockSize(bootBlockSize)) break;
    }

    const FirmwareImage& image = *firmwareImage_;
    const int length = std::min<int>(image.length, kFirmwareImageSize);
    if (!ImageSuitsBlockSize(length, bootBlockSize)) {
        fail(FirmwareText::IncompatibleFirmware);
        boot.state = kBootFailure;
        return;
    }

    // Programming: the boot loader acknowledges every full block.
    ShowProgress(length / kStreamGroup);
    Form2->ProgressBar1->setValue(0);
    Form2->setWindowTitle(FirmwareUpdateText(FirmwareText::Programming, languagePolish));
    SendBootCommand(kBootEscape);
    SendBootCommand(kBootProgram);
    const auto answered = [this] { return boot.state != 0; };
    int inBlock = 0;
    for (int j = 0; j < length; ++j) {
        sendImageByte(image.bytes[size_t(j)]);
        if (j % kStreamGroup == kStreamGroup - 1) {
            Form2->StepIt();
            waitOutputAtMost(kOutputAhead);
            if (outputStalled_) break;
        }
        if (++inBlock == bootBlockSize) {
            inBlock = 0;
            startReplyTimer(kBlockTimeoutMs);
            boot.state = 0;
            WaitUntil(answered);
            Timer1->stop();
            if (boot.state == kBootFailure) {
                fail(FirmwareText::ErrorDuringProgramming);
                return;
            }
        }
    }
    waitOutputAtMost(0);
    if (outputStalled_) {
        fail(FirmwareText::ErrorDuringProgramming);
        boot.state = kBootFailure;
        return;
    }
    PauseMs(kStreamEndPauseMs);
    Form2->StepIt();
    // Cleared before the command: the answer may already arrive within its pause.
    boot.state = 0;
    SendBootCommand(kBootEndOfData);
    startReplyTimer(kProgramEndTimeoutMs);
    WaitUntil(answered);
    Form2->hide();
    Timer1->stop();
    if (boot.state != kBootSuccess) fail(FirmwareText::ErrorDuringProgramming);
}

void TForm1::VerifyFirmware() {
    const auto fail = [this] {
        Form2->hide();
        dialogs().showMessage(QString(), FirmwareUpdateText(FirmwareText::VerificationError, languagePolish),
                              MsgIcon::None);
    };
    const FirmwareImage& image = *firmwareImage_;
    const int length = std::min<int>(image.length, kFirmwareImageSize);
    ShowProgress(length / kStreamGroup);
    Form2->ProgressBar1->setValue(0);
    Form2->setWindowTitle(FirmwareUpdateText(FirmwareText::Verifying, languagePolish));
    SendBootCommand(kBootEscape);
    boot.state = 0;
    SendBootCommand(kBootVerify);
    for (int j = 0; j < length; ++j) {
        sendImageByte(image.bytes[size_t(j)]);
        if (j % kStreamGroup == kStreamGroup - 1) {
            Form2->StepIt();
            waitOutputAtMost(kOutputAhead);
            if (boot.state == kBootFailure) {
                fail();
                return;
            }
            if (outputStalled_) break;
        }
    }
    waitOutputAtMost(0);
    if (outputStalled_) {
        fail();
        boot.state = kBootFailure;
        return;
    }
    PauseMs(kStreamEndPauseMs);
    boot.state = 0;
    SendBootCommand(kBootEndOfData);
    Timer1->setInterval(kVerifyEndTimeoutMs);
    Timer1->start();
    WaitUntil([this] { return boot.state != 0; });
    Form2->hide();
    Timer1->stop();
    if (boot.state != kBootSuccess) fail();
}

