// The device commands a user starts: Receive, Send, Load Defaults, Set Baud, Clear Log
// In display and the log download. Each pauses the status poll while it runs.

#include <QCoreApplication>
#include <algorithm>
#include <memory>

#include "byte_port.h"
#include "display_session.h"
#include "error_texts.h"
#include "progress_sink.h"

namespace vorkal {

namespace {

constexpr int kFactoryProgressMaximum = 20;
constexpr int kAfterDefaultsMs = 500;
constexpr int kAfterSpeedCommandMs = 20;
constexpr int kAfterReopenMs = 40;
constexpr int kLastImageLogByte = 503;
constexpr int kInImageLogBlocksEnd = 31;

using Pause = DisplaySession::PollPause;

}  // namespace

QString DisplaySession::withAdvice(QString message, const QString& reason, const PartialWrite* write) {
    // Each added line stands after the message as written.
    const QString noReply = NoReplyAdvice(reason, polish_);
    if (!noReply.isEmpty()) message += "\r\n" + noReply;
    if (write) message += "\r\n" + PartialWriteAdvice(*write, backupOfNextWrite, polish_);
    return message;
}

bool DisplaySession::writeCentred(const QByteArray& line, uint8_t y) {
    const uint8_t x = uint8_t((config_.width() - 8 * int(line.size())) / 2);
    return WriteDisplayText(x, y, 1, 0, line);
}

QString DisplaySession::readBlocksWithProgress(int count, const std::function<QString(int)>& readOne, int pauseMs) {
    progress_.showProgress(count);
    QString error;
    for (int n = 0; n < count && error.isEmpty(); ++n) {
        error = readOne(n);
        progress_.stepProgress();
        if (error.isEmpty() && n == count - 1) emit allBlocksRead();
        if (pauseMs > 0) PauseAfterExchange(pauseMs);
    }
    progress_.hideProgress();
    return error;
}

QString DisplaySession::readAllBlocks(uint8_t* image) {
    const int blocks = config_.is128x64() ? 64 : 32;
    return readBlocksWithProgress(
        blocks, [&](int n) { return ReadConfigBlockInto(uint8_t(n), image + kConfigBlockSize * n); },
        pauses.betweenBlockReadsMs);
}

QString DisplaySession::receiveConfiguration() {
    if (!port_.isOpen()) return {};
    Pause pause(*this, Pause::End::Start);
    const QString error = readAllBlocks(config_.image.data());
    if (!error.isEmpty()) {
        emit configurationIncomplete();
        progress_.showMessage(
            withAdvice((polish_ ? QString::fromUtf8("Błąd") : QString("Error")) + "\r\n" + error, error));
    } else {
        emit configurationReceived();
    }
    config_.logLoaded = false;
    return error;
}

QString DisplaySession::readConfigurationInto(std::array<uint8_t, kImageSize>& dest) {
    Pause pause(*this, Pause::End::Start);
    return readAllBlocks(dest.data());
}

QString DisplaySession::sendConfiguration() {
    Pause pause(*this, Pause::End::Start);
    const int blocks = config_.layoutAreaLength() / kConfigBlockSize;
    QString error = WriteConfigBlocks(0, uint8_t(blocks));
    if (config_.is128x64() && error.isEmpty()) error = WriteConfigBlocks(32, uint8_t(32 + blocks));
    const PartialWrite write = PartialWrite::Configuration;
    if (!error.isEmpty()) progress_.showMessage(withAdvice(error, error, &write));
    backupOfNextWrite.clear();
    ShowLayout(config_.selectedLayout);
    WaitReply();
    return error;
}

QString DisplaySession::loadDefaults() {
    // With the port closed the poll goes on: it only shows "Disconnected" then.
    Pause pause(*this, Pause::End::Start, port_.isOpen());
    progress_.showProgress(kFactoryProgressMaximum);
    config_.LoadFactoryImage();
    // A factory load cannot be cancelled halfway.
    progress_.setCancelEnabled(false);

    SendCommand(ClearScreenCommand(), timeouts.clearScreen);
    WaitReply();
    writeCentred("Loading", 8);
    writeCentred("defaults", 24);
    const QString error = WriteConfigBlocks(0, config_.is128x64() ? 63 : 31);
    progress_.hideProgress();
    if (error.isEmpty()) {
        SendCommand(ClearScreenCommand(), timeouts.clearScreen);
        WaitReply();
        writeCentred("Returned", 8);
        writeCentred("to default", 24);
        PauseMs(pauses.defaultsShownMs);
        SendCommand(ResetCommand(), timeouts.reset);
        progress_.showMessage(polish_ ? QString::fromUtf8("Wrócono do ustawień fabrycznych !")
                                      : QString("Return to Defaults Succes !"));
    } else {
        const PartialWrite write = PartialWrite::Configuration;
        progress_.showMessage(
            withAdvice((polish_ ? QString::fromUtf8("Błąd przywracania !") : QString("Return to Defaults Failed !")) +
                           "\r\n" + error,
                       error, &write));
    }
    backupOfNextWrite.clear();
    PauseMs(kAfterDefaultsMs);
    progress_.setCancelEnabled(true);
    return error;
}

bool DisplaySession::setBaud(int displayIndex, int pcIndex) {
    if (!port_.isOpen()) return false;
    Pause pause(*this, Pause::End::Start);
    settingBaud_ = true;
    const std::unique_ptr<bool, void (*)(bool*)> done(&settingBaud_, [](bool* running) { *running = false; });
    QCoreApplication::processEvents();
    PauseMs(pauses.beforeSpeedChangeMs);
    QCoreApplication::processEvents();

    const QString oldText = BaudRateText(uint8_t(pcIndex));
    SendCommand(SetSpeedCommand(displayIndex), timeouts.setSpeed);
    PauseMs(kAfterSpeedCommandMs);
    QCoreApplication::processEvents();
    port_.reopen(displayIndex);

    PauseMs(kAfterReopenMs);
    SendCommand(ClearScreenCommand(), timeouts.clearScreen);
    PauseMs(kAfterReopenMs);
    SendCommand(ClearScreenCommand(), timeouts.clearScreen);
    const QString newText = BaudRateText(uint8_t(displayIndex));
    const bool changed = WaitReply() == 'O' && writeCentred("Current", 5) && writeCentred("Baud Rate:", 16) &&
                         writeCentred(newText.toLatin1(), 32);
    if (changed) {
        progress_.showMessage("New BaudRate is: " + newText);
    } else {
        emit speedSelectionsRestored(pcIndex);
        progress_.showMessage((polish_ ? QString::fromUtf8("Zmiana prędkośći nieudana\r\nWrócono do ")
                                       : QString("Failed to change BaudRate\r\nReturned to ")) +
                              oldText);
    }
    return changed;
}

QString DisplaySession::clearLog() {
    Pause pause(*this, Pause::End::Start);
    QString error;
    if (config_.separateLog) {
        config_.logImage.fill(0xFF);
        error = WriteLogRecords(0, config_.is128x64() ? 2047 : 511);
    } else {
        // The log shares the configuration image: send it cleared. The image keeps the
        // cleared log only when the display took it, so that it holds what the display does.
        const auto saved = config_.image;
        const int start = config_.layoutAreaLength();
        for (int i = start; i <= kLastImageLogByte; ++i) config_.image[size_t(i)] = 0xFF;
        error = WriteConfigBlocks(uint8_t(start / kConfigBlockSize), kInImageLogBlocksEnd);
        if (!error.isEmpty()) std::copy_n(saved.begin(), 512, config_.image.begin());
    }
    const PartialWrite write = PartialWrite::Log;
    if (!error.isEmpty()) progress_.showMessage(withAdvice(error, error, &write));
    else config_.logLoaded = false;
    return error;
}

QString DisplaySession::downloadLog() {
    Pause pause(*this, Pause::End::Start);
    const int blocks = config_.is128x64() ? 256 : 512;
    const QString error = readBlocksWithProgress(
        blocks, [this](int a) { return ReadLogBlock(a); }, 0);
    if (!error.isEmpty()) progress_.showMessage(withAdvice(error, error));
    else config_.logLoaded = true;
    return error;
}

}  // namespace vorkal
