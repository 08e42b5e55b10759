#include "com_port_adapter.h"

#include <algorithm>

#include "af_com_port.h"
#include "trace_log.h"

namespace {
constexpr qsizetype kTraceLineBytes = 64;

// Moves `pending` into one trace line per finished line (or full trace line).
void TraceWholeLines(QByteArray& pending, const char* direction, bool all) {
    while (!pending.isEmpty()) {
        qsizetype end = pending.indexOf('\n');
        if (end < 0 || end >= kTraceLineBytes) {
            if (pending.size() < kTraceLineBytes && !all) return;
            end = std::min(pending.size(), kTraceLineBytes) - 1;
        }
        qCDebug(vorkal::lcSerial).noquote() << direction << vorkal::TraceBytes(pending.first(end + 1));
        pending.remove(0, end + 1);
    }
}
}  // namespace

ComPortAdapter::~ComPortAdapter() { flushTrace(); }

void ComPortAdapter::traceOut(const QByteArray& bytes) {
    if (!vorkal::lcSerial().isDebugEnabled()) return;
    TraceWholeLines(tracedIn_, "<-", true);
    tracedOut_ += bytes;
    TraceWholeLines(tracedOut_, "->", false);
}

void ComPortAdapter::traceIn(const QByteArray& bytes) {
    if (!vorkal::lcSerial().isDebugEnabled()) return;
    TraceWholeLines(tracedOut_, "->", true);
    tracedIn_ += bytes;
    TraceWholeLines(tracedIn_, "<-", false);
}

void ComPortAdapter::flushTrace() {
    TraceWholeLines(tracedOut_, "->", true);
    TraceWholeLines(tracedIn_, "<-", true);
}

bool ComPortAdapter::isOpen() const { return port_->IsOpen(); }
bool ComPortAdapter::lineHungUp() const { return port_->LineHungUp(); }
void ComPortAdapter::discardInput() { port_->DiscardInput(); }
void ComPortAdapter::discardOutput() { port_->DiscardOutput(); }
int ComPortAdapter::inQueueCount() const { return port_->InQueueCount(); }

int ComPortAdapter::read(uint8_t* dest, int max) {
    const int n = std::min(max, int(port_->InQueueCount()));
    if (n <= 0) return 0;
    port_->ReadBlock(dest, n);
    traceIn(QByteArray(reinterpret_cast<const char*>(dest), n));
    return n;
}

void ComPortAdapter::sendText(const QByteArray& text) {
    traceOut(text);
    port_->SendText(text);
}

void ComPortAdapter::sendByte(uint8_t byte) {
    traceOut(QByteArray(1, char(byte)));
    port_->SendByte(byte);
}
int ComPortAdapter::outQueueUsed() const { return port_->OutQueueUsed(); }

int ComPortAdapter::baudRate() const {
    const TAfBaudrate rate = port_->BaudRate();
    return rate == TAfBaudrate::brUser ? port_->UserBaudRate() : BaudRateValue(rate);
}
