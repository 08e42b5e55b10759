// The status poll's script steps and the pause every user transfer puts on the poll.

#include "byte_port.h"
#include "demo_script.h"
#include "display_session.h"
#include "trace_log.h"

namespace vorkal {

namespace {

constexpr int kClosedPortPollMs = 100;
constexpr int kVersionQueryPollMs = 500;
constexpr int kScriptLinePollMs = 60;
constexpr uint8_t kHeaderBlock = 31;

}  // namespace

void DisplaySession::pollStep() {
    // The header read of an earlier tick is still waiting for its reply.
    if (pollStepRunning_) return;
    if (!port_.isOpen()) {
        pollTimer_->setInterval(kClosedPortPollMs);
        scriptPosition_ = 0;
        firmwareVersion.clear();
        return;
    }
    if (scriptPosition_ >= kDemoScriptLength) scriptPosition_ = 0;
    const QByteArray entry = DemoScriptEntry(scriptPosition_);
    if (entry.size() == 1 && entry[0] == kEndMarker) {
        scriptPosition_ = 0;
        return;
    }
    if (entry.size() == 1 && entry[0] == kVersionMarker) {
        receiver_.clear();
        firmwareVersion.clear();
        port_.sendText(VersionQueryLine());
        // The next tick looks for the answer.
        noteVersionQuerySent(kVersionQueryPollMs);
        pollTimer_->setInterval(kVersionQueryPollMs);
    } else if (!firmwareVersion.isEmpty()) {
        if (entry.size() == 1 && entry[0] == kHeaderMarker) {
            pollStepRunning_ = true;
            const bool ok = ReadConfigBlock(kHeaderBlock).isEmpty();
            pollStepRunning_ = false;
            if (ok) emit headerReceived();
            if (auto command = std::exchange(afterPollStep_, nullptr)) QTimer::singleShot(0, this, command);
        } else {
            port_.sendText(entry + "\r\n");
        }
        pollTimer_->setInterval(kScriptLinePollMs);
    }
    ++scriptPosition_;
}

DisplaySession::PollPause::PollPause(DisplaySession& session, End end, bool stop)
    : session_(session), end_(end), wasRunning_(session.pollTimer_->isActive()) {
    const bool first = session_.pauseDepth_++ == 0;
    if (first) qCInfo(lcProtocol) << "transfer started";
    if (first) emit session_.transferStarted();
    if (stop) session_.pollTimer_->stop();
    // Before the transfer decides anything by the display's variant: the answer may
    // announce another one.
    if (first) session_.awaitVersionAnswer();
}

DisplaySession::PollPause::~PollPause() {
    if (--session_.pauseDepth_ > 0) return;
    if (end_ == End::Start || wasRunning_) session_.pollTimer_->start();
    qCInfo(lcProtocol) << "transfer finished";
    emit session_.transferFinished();
}

}  // namespace vorkal
