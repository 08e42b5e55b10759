// The line protocol of the display session: sending a command, waiting for its reply,
// the receive side, the reply timer, Cancel, and the block transactions built on them.

#include "display_session.h"

#ifdef __linux__
#include <sys/prctl.h>
#include <sys/timerfd.h>
#include <unistd.h>
#endif
#include <time.h>

#include <QEventLoop>
#include <QSocketNotifier>
#include <algorithm>
#include <memory>
#include <utility>

#include "byte_port.h"
#include "trace_log.h"
#include "error_texts.h"
#include "progress_sink.h"

namespace vorkal {

namespace {

// Bytes taken from the port in one data-received event before the event loop gets a
// turn again, so that a flood of bytes cannot starve the reply timer or Cancel.
constexpr int kReceiveBudget = 4096;
constexpr int kConfigBlocks = kImageSize / kConfigBlockSize;
constexpr int kLogRecords = kLogImageSize / kLogRecordSize;
constexpr int kDesignTimeReplyMs = 500;
constexpr int kPollStartMs = 500;
// How often a command held up by the poll's unanswered version query looks for the answer.
constexpr int kAnswerLookMs = 2;

int64_t MonotonicNs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

}  // namespace

DisplaySession::DisplaySession(ConfigImage& config, const bool& polish, BytePort& port, ProgressSink& progress,
                               QObject* parent)
    : QObject(parent), config_(config), polish_(polish), port_(port), progress_(progress),
      replyTimer_(new QTimer(this)), pollTimer_(new QTimer(this)) {
    replyTimer_->setObjectName("Timer1");
    replyTimer_->setInterval(kDesignTimeReplyMs);
    replyTimer_->setTimerType(Qt::PreciseTimer);
    connect(replyTimer_, &QTimer::timeout, this, &DisplaySession::replyTimeout);
    pollTimer_->setObjectName("Timer2");
    pollTimer_->setInterval(kPollStartMs);
    // The protocol's pauses are short (10 ms between block reads) and repeat hundreds of
    // times in a transfer: the kernel's default 50 us of slack on this thread's timed
    // waits would add up to whole seconds of a log download.
#ifdef __linux__
    prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
#endif
}

DisplaySession::~DisplaySession() = default;

QString DisplaySession::text(ProtocolError error) const { return ErrorText(error, polish_); }

void DisplaySession::SendCommand(const QByteArray& command, int timeoutMs) {
    if (!port_.isOpen()) return;
    awaitVersionAnswer();
    if (!port_.isOpen()) return;
    replyTimer_->stop();
    // No stale bytes of an earlier exchange may answer this one.
    purgeOutput();
    port_.discardInput();
    receiver_.clear();
    replyText.clear();
    replyComplete = false;
    port_.sendText(command + "\r\n");
    replyTimer_->setInterval(ReplyWaitMs(command, timeoutMs, port_.baudRate(), config_.is128x64()));
    qCDebug(lcProtocol).noquote() << "command" << TraceBytes(command) << "waits up to" << replyTimer_->interval() << "ms";
    replyTimer_->start();
}

// The output purge is a handshake with the writer thread; with nothing queued there is
// nothing to purge, and skipping it keeps that handshake off every single command.
void DisplaySession::purgeOutput() {
    if (port_.outQueueUsed() > 0) port_.discardOutput();
}

char DisplaySession::WaitReply() {
    // Without a running timer nothing can end the wait (closed port, no command sent).
    if (replyTimer_->isActive() && port_.isOpen()) WaitUntil([this] { return replyComplete; });
    if (!replyTimer_->isActive()) return '!';
    replyTimer_->stop();
    return replyText.isEmpty() ? '!' : replyText[0];
}

void DisplaySession::WaitUntil(const std::function<bool()>& done) {
    ++waitDepth_;
    while (!done()) {
        QEventLoop loop;
        waitLoops_.push_back(&loop);
        loop.exec();
        waitLoops_.pop_back();
    }
    --waitDepth_;
}

void DisplaySession::wakeWaiters() {
    for (QEventLoop* loop : waitLoops_) loop->quit();
}

void DisplaySession::PauseMs(int ms) { pauseUntil(MonotonicNs() + int64_t(ms) * 1'000'000); }

void DisplaySession::PauseAfterExchange(int ms) {
    pauseUntil((exchangeEndNs_ > 0 ? exchangeEndNs_ : MonotonicNs()) + int64_t(ms) * 1'000'000);
}

void DisplaySession::pauseUntil(int64_t deadlineNs) {
    QEventLoop loop;
    // A timer file keeps the deadline to the microsecond where Qt's timers count whole
    // milliseconds; it is readable at once when the deadline has passed.
    std::unique_ptr<QSocketNotifier> expired;
#ifdef __linux__
    const int fd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    itimerspec at{};
    at.it_value = {time_t(deadlineNs / 1'000'000'000), long(deadlineNs % 1'000'000'000)};
    if (fd >= 0 && timerfd_settime(fd, TFD_TIMER_ABSTIME, &at, nullptr) == 0) {
        expired = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        connect(expired.get(), &QSocketNotifier::activated, &loop, &QEventLoop::quit);
    } else
#endif
    // Elsewhere Qt's precise timer, on Windows the system's millisecond multimedia timer.
    {
        const int64_t left = std::max<int64_t>(0, deadlineNs - MonotonicNs());
        QTimer::singleShot(int((left + 999'999) / 1'000'000), Qt::PreciseTimer, &loop, &QEventLoop::quit);
    }
    ++waitDepth_;
    loop.exec();
    --waitDepth_;
    expired.reset();
#ifdef __linux__
    if (fd >= 0) close(fd);
#endif
}

void DisplaySession::awaitVersionAnswer() {
    if (!versionQueryOutstanding_ || pollStepRunning_) return;
    // The answer may be waiting already: its notice can come after the command that
    // would purge it, so the queue is looked at directly, now and while waiting.
    if (port_.isOpen() && port_.inQueueCount() > 0) dataReceived();
    const int64_t leftNs = versionAnswerDeadlineNs_ - MonotonicNs();
    if (versionQueryOutstanding_ && leftNs > 0 && port_.isOpen()) {
        bool late = false;
        QTimer limit, look;
        limit.setSingleShot(true);
        limit.setTimerType(Qt::PreciseTimer);
        connect(&limit, &QTimer::timeout, this, [this, &late] {
            late = true;
            wakeWaiters();
        });
        connect(&look, &QTimer::timeout, this, [this] {
            if (port_.isOpen() && port_.inQueueCount() > 0) dataReceived();
        });
        limit.start(int((leftNs + 999'999) / 1'000'000));
        look.start(kAnswerLookMs);
        WaitUntil([&] { return !versionQueryOutstanding_ || late || cancelFlag || !port_.isOpen(); });
    }
    versionQueryOutstanding_ = false;
}

void DisplaySession::noteVersionQuerySent(int answerMs) {
    versionQueryOutstanding_ = true;
    versionAnswerDeadlineNs_ = MonotonicNs() + int64_t(answerMs) * 1'000'000;
}

bool DisplaySession::deferWhileBusy(std::function<void()> command) {
    if (!waiting()) return false;
    if (pollStepRunning_ && waitDepth_ == 1) afterPollStep_ = std::move(command);
    return true;
}

void DisplaySession::setReplyComplete() {
    exchangeEndNs_ = MonotonicNs();
    replyComplete = true;
    wakeWaiters();
}

void DisplaySession::endExchangeUnanswered() {
    exchangeEndNs_ = MonotonicNs();
    replyTimer_->stop();
    replyComplete = true;
    boot.state = BootReceiver::kNoReply;
}

void DisplaySession::replyTimeout() {
    qCInfo(lcProtocol) << "no reply within" << replyTimer_->interval() << "ms";
    endExchangeUnanswered();
    replyText.clear();
    wakeWaiters();
}

void DisplaySession::cancel() {
    qCInfo(lcProtocol) << "cancelled by the user";
    endExchangeUnanswered();
    cancelFlag = true;
    wakeWaiters();
}

void DisplaySession::dataReceived() {
    if (!port_.isOpen()) return;
    if (bootReceiveMode) {
        // One byte per event: the boot loader answers a byte at a time.
        uint8_t byte;
        if (port_.inQueueCount() >= 1 && port_.read(&byte, 1) == 1) {
            boot.feed(byte);
            wakeWaiters();
        }
        // The next byte of a frame is taken by its own event, now rather than at the
        // port's next 200 ms poll.
        if (port_.inQueueCount() > 0) scheduleReceive();
        return;
    }
    uint8_t buffer[512];
    int budget = kReceiveBudget;
    while (budget > 0) {
        const int waiting = port_.inQueueCount();
        if (waiting <= 0) return;
        const int n = port_.read(buffer, std::min({waiting, budget, int(sizeof buffer)}));
        if (n <= 0) return;
        budget -= n;
        for (int i = 0; i < n; ++i) {
            switch (receiver_.feed(buffer[i])) {
            case LineReceiver::Result::None: break;
            case LineReceiver::Result::VersionLine: takeVersionLine(receiver_.line()); break;
            case LineReceiver::Result::ReplyLine:
                // A reply no exchange waits for (a show-layout command's, taken after its
                // time, or a second one) is stale; a version line behind it still counts.
                if (!replyTimer_->isActive() || replyComplete) break;
                replyText = receiver_.line();
                setReplyComplete();
                // Whatever the display sent after its reply belongs to no exchange, but
                // for the answer to the poll's version query, which is read on.
                if (versionQueryOutstanding_) break;
                port_.discardInput();
                return;
            }
        }
    }
    if (port_.inQueueCount() > 0) scheduleReceive();
}

// More bytes than one event may take: continue from the event loop.
void DisplaySession::scheduleReceive() {
    if (receiveQueued_) return;
    receiveQueued_ = true;
    QTimer::singleShot(0, this, [this] {
        receiveQueued_ = false;
        dataReceived();
    });
}

void DisplaySession::takeVersionLine(const QByteArray& line) {
    firmwareVersion = line;
    if (std::exchange(versionQueryOutstanding_, false)) wakeWaiters();
    config_.separateLog = VersionHasSeparateLog(line);
    const bool wide = VersionIs128x64(line);
    if (config_.width() != (wide ? 128 : 84)) emit variantAnnounced(wide);
}

void DisplaySession::portOpened() {
    versionQueryOutstanding_ = false;
    port_.discardInput();
    purgeOutput();
}

void DisplaySession::portClosed() {
    qCInfo(lcProtocol) << "port closed: no display";
    firmwareVersion.clear();
    // The next display to answer starts the script from its version query, also when
    // the port opens again before the poll's next tick has seen it closed.
    scriptPosition_ = 0;
    config_.logLoaded = false;
    if (std::exchange(versionQueryOutstanding_, false)) wakeWaiters();
    // No reply can come any more: an exchange waiting now ends as a timeout.
    if (replyTimer_->isActive()) replyTimeout();
    receiver_.clear();
}

QString DisplaySession::ReadConfigBlock(uint8_t n) {
    if (n >= kConfigBlocks) return text(ProtocolError::HeaderError);
    return ReadConfigBlockInto(n, config_.image.data() + kConfigBlockSize * n);
}

QString DisplaySession::ReadConfigBlockInto(uint8_t n, uint8_t* dest) {
    if (n >= kConfigBlocks) return text(ProtocolError::HeaderError);
    return readBlock(ReadConfigCommand(n), QByteArray(1, DigitChar(n)), dest, kConfigBlockSize, false);
}

QString DisplaySession::ReadLogBlock(int block) {
    const bool wide = config_.is128x64();
    const int size = LogBlockSize(wide);
    if (block < 0 || block >= LogBlockCount(wide)) return text(ProtocolError::HeaderError);
    const LogAddress address = LogBlockAddress(block, wide);
    QByteArray echo;
    echo.append(address.h).append(address.l);
    return readBlock(ReadLogCommand(block, wide), echo, config_.logImage.data() + size * block, size, true);
}

// Sends a block read up to 11 times until a reply with the right echo and check byte
// has filled `dest`; the log memory may also answer 'X' (its memory failed).
QString DisplaySession::readBlock(const QByteArray& command, const QByteArray& echo, uint8_t* dest, int size,
                                  bool memoryMayFail) {
    QString error;
    for (int attempt = 0; attempt < kBlockAttempts; ++attempt) {
        SendCommand(command, timeouts.readBlock);
        const char reply = WaitReply();
        if (cancelFlag) return text(ProtocolError::Canceled);
        if (reply == '!') {
            error = text(ProtocolError::ReadTimeout);
            continue;
        }
        if (memoryMayFail && reply == 'X') {
            error = text(ProtocolError::EepromError);
            continue;
        }
        switch (DecodeBlockReply(replyText, echo, dest, size)) {
        case BlockCheck::Ok: return {};
        case BlockCheck::Header: error = text(ProtocolError::HeaderError); break;
        case BlockCheck::Crc: error = text(ProtocolError::CrcError); break;
        }
    }
    return error;
}

// Writes the 16-byte blocks `commandFor(first..last)` with the retries of a block
// write; `sendFailed` builds the text for a block that was refused every time.
QString DisplaySession::writeBlocks(int first, int last, const std::function<QByteArray(int)>& commandFor,
                                    ProtocolError refused, QString (*sendFailed)(int, const QString&, bool)) {
    if (!port_.isOpen()) return {};
    progress_.showProgress(last - first + 1);
    for (int n = first; n <= last; ++n) {
        const QByteArray command = commandFor(n);
        QString error;
        bool accepted = false;
        for (int attempt = 0; attempt < kBlockAttempts && !accepted; ++attempt) {
            SendCommand(command, timeouts.writeBlock);
            const char reply = WaitReply();
            if (cancelFlag) {
                progress_.hideProgress();
                return text(ProtocolError::Canceled);
            }
            accepted = reply == 'O';
            if (!accepted) error = text(reply == '!' ? ProtocolError::WriteTimeout : refused);
        }
        if (!accepted) {
            progress_.hideProgress();
            return sendFailed(n - first + 1, error, polish_);
        }
        progress_.stepProgress();
    }
    PauseMs(100);
    progress_.hideProgress();
    return {};
}

QString DisplaySession::WriteConfigBlocks(uint8_t first, uint8_t last) {
    // Block numbers past the image would read outside it.
    const int lastBlock = std::min<int>(last, kConfigBlocks - 1);
    return writeBlocks(
        first, lastBlock, [this](int n) { return WriteConfigCommand(n, config_.image.data() + kConfigBlockSize * n); },
        ProtocolError::ConfigWriteError, &ConfigSendFailedText);
}

QString DisplaySession::WriteLogRecords(uint16_t first, uint16_t last) {
    const int lastRecord = std::min<int>(last, kLogRecords - 1);
    const bool wide = config_.is128x64();
    return writeBlocks(
        first, lastRecord,
        [this, wide](int r) { return WriteLogCommand(r, config_.logImage.data() + kLogRecordSize * r, wide); },
        ProtocolError::LogWriteError, &LogSendFailedText);
}

bool DisplaySession::WriteDisplayText(uint8_t x, uint8_t y, int font, int flag, const QByteArray& line) {
    if (!port_.isOpen()) return false;
    if (config_.is128x64() && font == 1) font = 0;
    if (line.size() > 16) return false;
    SendCommand(WriteTextCommand(font, flag, x, y, line), timeouts.writeText);
    return WaitReply() == 'O';
}

void DisplaySession::ShowLayout(int layout) {
    SendCommand(ShowLayoutCommand(std::max(layout, 0)), timeouts.showLayout);
}

}  // namespace vorkal
