// The line protocol on the main window: sending a command, waiting for its reply, the
// receive side, the reply timer, Cancel, and the block transactions built on them.

#include <QEventLoop>
#include <QTimer>
#include <algorithm>

#include "af_com_port.h"
#include "error_texts.h"
#include "form1.h"
#include "form2.h"
#include "line_protocol.h"

using namespace vorkal;

namespace {

// Bytes taken from the port in one data-received event before the event loop gets a
// turn again, so that a flood of bytes cannot starve the reply timer or Cancel.
constexpr int kReceiveBudget = 4096;
constexpr int kConfigBlocks = kImageSize / kConfigBlockSize;
constexpr int kLogRecords = kLogImageSize / kLogRecordSize;

}  // namespace

void TForm1::createDevice() {
    AfComPort1 = new TAfComPort(this);
    AfComPort1->setObjectName("AfComPort1");
    AfComPort1->SetBaudRate(TAfBaudrate::br56000);
    AfComPort1->SetWriteThreadPriority(TAfThreadPriority::tpNormal);
    AfComPort1->Loaded();
    connect(AfComPort1, &TAfCustomSerialPort::OnDataRecived, this, &TForm1::AfComPort1DataRecived);
    connect(AfComPort1, &TAfCustomSerialPort::OnPortOpen, this, &TForm1::AfComPort1PortOpen);
    connect(AfComPort1, &TAfCustomSerialPort::OnPortClose, this, &TForm1::AfComPort1PortClose);
    Timer1->setTimerType(Qt::PreciseTimer);
    Form2->onCancel = [this] { CancelExchange(); };
    Form2->onShow = [this] { cancelFlag = false; };
}

bool TForm1::portIsOpen() const { return AfComPort1 && AfComPort1->IsOpen(); }

void TForm1::SendCommand(const QByteArray& command, int timeoutMs) {
    if (!portIsOpen()) return;
    Timer1->stop();
    // No stale bytes of an earlier exchange may answer this one.
    purgeOutput();
    AfComPort1->DiscardInput();
    receiver_.clear();
    replyText.clear();
    replyComplete = false;
    AfComPort1->SendText(command + "\r\n");
    Timer1->setInterval(timeoutMs);
    Timer1->start();
}

// The output purge is a handshake with the writer thread; with nothing queued there is
// nothing to purge, and skipping it keeps that handshake off every single command.
void TForm1::purgeOutput() {
    if (AfComPort1->OutQueueUsed() > 0) AfComPort1->DiscardOutput();
}

char TForm1::WaitReply() {
    // Without a running timer nothing can end the wait (closed port, no command sent).
    if (Timer1->isActive() && portIsOpen()) WaitUntil([this] { return replyComplete; });
    if (!Timer1->isActive()) return '!';
    Timer1->stop();
    return replyText.isEmpty() ? '!' : replyText[0];
}

void TForm1::WaitUntil(const std::function<bool()>& done) {
    ++waitDepth_;
    while (!done()) {
        QEventLoop loop;
        waitLoops_.push_back(&loop);
        loop.exec();
        waitLoops_.pop_back();
    }
    --waitDepth_;
}

void TForm1::wakeWaiters() {
    for (QEventLoop* loop : waitLoops_) loop->quit();
}

void TForm1::PauseMs(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    ++waitDepth_;
    loop.exec();
    --waitDepth_;
}

void TForm1::setReplyComplete() {
    replyComplete = true;
    wakeWaiters();
}

void TForm1::Timer1Timer() {
    Timer1->stop();
    replyComplete = true;
    boot.state = BootReceiver::kNoReply;
    replyText.clear();
    wakeWaiters();
}

void TForm1::CancelExchange() {
    Timer1->stop();
    replyComplete = true;
    boot.state = BootReceiver::kNoReply;
    cancelFlag = true;
    wakeWaiters();
}

void TForm1::AfComPort1DataRecived(QObject*, int) {
    if (!portIsOpen()) return;
    if (bootReceiveMode) {
        // One byte per event: the boot loader answers a byte at a time.
        if (AfComPort1->InQueueCount() >= 1) {
            boot.feed(AfComPort1->ReadByte());
            wakeWaiters();
        }
        // The next byte of a frame is taken by its own event, now rather than at the
        // port's next 200 ms poll.
        if (AfComPort1->InQueueCount() > 0) scheduleReceive();
        return;
    }
    uint8_t buffer[512];
    int budget = kReceiveBudget;
    while (budget > 0) {
        const int waiting = AfComPort1->InQueueCount();
        if (waiting <= 0) return;
        const int n = std::min({waiting, budget, int(sizeof buffer)});
        AfComPort1->ReadBlock(buffer, n);
        budget -= n;
        for (int i = 0; i < n; ++i) {
            switch (receiver_.feed(buffer[i])) {
            case LineReceiver::Result::None:
                break;
            case LineReceiver::Result::VersionLine:
                applyVersionLine(receiver_.line());
                break;
            case LineReceiver::Result::ReplyLine:
                replyText = receiver_.line();
                // Whatever the display sent after its reply belongs to no exchange.
                AfComPort1->DiscardInput();
                setReplyComplete();
                return;
            }
        }
    }
    if (AfComPort1->InQueueCount() > 0) scheduleReceive();
}

// More bytes than one event may take: continue from the event loop.
void TForm1::scheduleReceive() {
    if (receiveQueued_) return;
    receiveQueued_ = true;
    QTimer::singleShot(0, this, [this] {
        receiveQueued_ = false;
        AfComPort1DataRecived(AfComPort1, 0);
    });
}

void TForm1::applyVersionLine(const QByteArray& line) {
    firmwareVersion = line;
    config.separateLog = VersionHasSeparateLog(line);
    if (VersionIs128x64(line)) {
        if (config.width() != 128) SetDisplay128x64();
    } else if (config.width() != 84) {
        SetDisplay84x48();
    }
}

QString TForm1::ReadConfigBlock(uint8_t n) {
    if (n >= kConfigBlocks) return ErrorText(ProtocolError::HeaderError, languagePolish);
    return readBlock(ReadConfigCommand(n), QByteArray(1, DigitChar(n)),
                     config.image.data() + kConfigBlockSize * n, kConfigBlockSize, false);
}

QString TForm1::ReadLogBlock(int block) {
    const bool wide = config.is128x64();
    const int size = LogBlockSize(wide);
    if (block < 0 || block >= LogBlockCount(wide)) return ErrorText(ProtocolError::HeaderError, languagePolish);
    const LogAddress address = LogBlockAddress(block, wide);
    QByteArray echo;
    echo.append(address.h).append(address.l);
    return readBlock(ReadLogCommand(block, wide), echo, config.logImage.data() + size * block, size, true);
}

// Sends a block read up to 11 times until a reply with the right echo and check byte
// has filled `dest`; the log memory may also answer 'X' (its memory failed).
QString TForm1::readBlock(const QByteArray& command, const QByteArray& echo, uint8_t* dest, int size,
                          bool memoryMayFail) {
    QString error;
    for (int attempt = 0; attempt < kBlockAttempts; ++attempt) {
        SendCommand(command, ReplyTimeout::ReadBlock);
        const char reply = WaitReply();
        if (cancelFlag) return ErrorText(ProtocolError::Canceled, languagePolish);
        if (reply == '!') {
            error = ErrorText(ProtocolError::ReadTimeout, languagePolish);
            continue;
        }
        if (memoryMayFail && reply == 'X') {
            error = ErrorText(ProtocolError::EepromError, languagePolish);
            continue;
        }
        switch (DecodeBlockReply(replyText, echo, dest, size)) {
        case BlockCheck::Ok: return {};
        case BlockCheck::Header: error = ErrorText(ProtocolError::HeaderError, languagePolish); break;
        case BlockCheck::Crc: error = ErrorText(ProtocolError::CrcError, languagePolish); break;
        }
    }
    return error;
}

void TForm1::ShowProgress(int maximum) {
    Form2->ProgressBar1->setMaximum(std::max(maximum, 1));
    Form2->centre();
    Form2->show();
}

// Writes the 16-byte blocks `commandFor(first..last)` with the retries of a block
// write; `sendFailed` builds the text for a block that was refused every time.
QString TForm1::writeBlocks(int first, int last, const std::function<QByteArray(int)>& commandFor,
                            ProtocolError refused, QString (*sendFailed)(int, const QString&, bool)) {
    if (!portIsOpen()) return {};
    ShowProgress(last - first + 1);
    for (int n = first; n <= last; ++n) {
        const QByteArray command = commandFor(n);
        QString error;
        bool accepted = false;
        for (int attempt = 0; attempt < kBlockAttempts && !accepted; ++attempt) {
            SendCommand(command, ReplyTimeout::WriteBlock);
            const char reply = WaitReply();
            if (cancelFlag) {
                Form2->hide();
                return ErrorText(ProtocolError::Canceled, languagePolish);
            }
            accepted = reply == 'O';
            if (!accepted) error = ErrorText(reply == '!' ? ProtocolError::WriteTimeout : refused, languagePolish);
        }
        if (!accepted) {
            Form2->hide();
            return sendFailed(n - first + 1, error, languagePolish);
        }
        Form2->StepIt();
    }
    PauseMs(100);
    Form2->hide();
    return {};
}

QString TForm1::WriteConfigBlocks(uint8_t first, uint8_t last) {
    forgetDisplayImage();  // a later backup reads the display again
    // Block numbers past the image would read outside it.
    const int lastBlock = std::min<int>(last, kConfigBlocks - 1);
    return writeBlocks(first, lastBlock,
                       [this](int n) { return WriteConfigCommand(n, config.image.data() + kConfigBlockSize * n); },
                       ProtocolError::ConfigWriteError, &ConfigSendFailedText);
}

QString TForm1::WriteLogRecords(uint16_t first, uint16_t last) {
    const int lastRecord = std::min<int>(last, kLogRecords - 1);
    const bool wide = config.is128x64();
    return writeBlocks(first, lastRecord,
                       [this, wide](int r) {
                           return WriteLogCommand(r, config.logImage.data() + kLogRecordSize * r, wide);
                       },
                       ProtocolError::LogWriteError, &LogSendFailedText);
}

bool TForm1::WriteDisplayText(uint8_t x, uint8_t y, int font, int flag, const QByteArray& text) {
    if (!portIsOpen()) return false;
    if (config.is128x64() && font == 1) font = 0;
    if (text.size() > 16) return false;
    SendCommand(WriteTextCommand(font, flag, x, y, text), ReplyTimeout::WriteText);
    return WaitReply() == 'O';
}
