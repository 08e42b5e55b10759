#pragma once
// A byte port inside the test process: every line the session sends is answered from a
// script, byte for byte and at chosen delays, through the session's data-received
// entry, the way the serial port component delivers bytes.

#include <QByteArray>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <vector>

#include "byte_port.h"
#include "display_session.h"
#include "progress_sink.h"

namespace vorkal::testing {

class ScriptedPort : public BytePort {
public:
    struct Chunk {
        int delayMs;  // after the previous chunk (the first: after the line was sent)
        QByteArray bytes;
    };
    using Responder = std::function<std::vector<Chunk>(const QByteArray& line)>;

    DisplaySession* session = nullptr;
    Responder respond = [](const QByteArray&) { return std::vector<Chunk>{}; };
    bool open = true;
    std::vector<QByteArray> lines;  // every line sent, without CR LF
    QByteArray wire;                // every byte sent
    std::vector<int> reopened;      // speed indexes of reopen()
    int overlaps = 0;               // lines sent while an earlier answer was still coming

    // Puts `bytes` on the line now, as if the display had sent them unasked.
    void arrive(const QByteArray& bytes) {
        input_ += bytes;
        deliver();
    }

    bool isOpen() const override { return open; }
    void discardInput() override { input_.clear(); }
    void discardOutput() override {}
    int inQueueCount() const override { return int(input_.size()); }
    int read(uint8_t* dest, int max) override {
        const int n = std::min(max, int(input_.size()));
        std::copy_n(input_.constData(), n, reinterpret_cast<char*>(dest));
        input_.remove(0, n);
        return n;
    }
    void sendText(const QByteArray& text) override {
        wire += text;
        for (char c : text) {
            if (c == '\r') continue;
            if (c != '\n') {
                pending_ += c;
                continue;
            }
            lines.push_back(pending_);
            if (answering_ > 0) ++overlaps;
            int at = 0;
            for (const Chunk& chunk : respond(pending_)) {
                at += chunk.delayMs;
                ++answering_;
                QTimer::singleShot(at, &context_, [this, bytes = chunk.bytes] {
                    --answering_;
                    arrive(bytes);
                });
            }
            pending_.clear();
        }
    }
    void sendByte(uint8_t byte) override { wire += char(byte); }
    int outQueueUsed() const override { return 0; }
    int baudRate() const override { return 0; }
    void reopen(int speedIndex) override { reopened.push_back(speedIndex); }

private:
    // The port raises data-received again while unread bytes remain.
    void deliver() {
        if (!session || !open) return;
        session->dataReceived();
        if (!input_.isEmpty()) QTimer::singleShot(1, &context_, [this] { deliver(); });
    }

    QByteArray input_, pending_;
    int answering_ = 0;
    QObject context_;
};

// The progress window and message boxes, recorded.
class RecordingSink : public ProgressSink {
public:
    DisplaySession* session = nullptr;
    bool visible = false;
    int maximum = 0, position = 0, shows = 0;
    QString caption;
    bool cancelEnabled = true;
    QStringList messages;

    void showProgress(int max) override {
        maximum = std::max(max, 1);
        // Like the window: only showing a hidden window resets the bar and the cancel flag.
        if (visible) return;
        visible = true;
        ++shows;
        position = 0;
        if (session) session->progressShown();
    }
    void hideProgress() override { visible = false; }
    void stepProgress() override { position = std::min(position + 1, maximum); }
    int progressPosition() const override { return position; }
    void setProgressPosition(int p) override { position = p; }
    void setProgressCaption(const QString& c) override { caption = c; }
    void setCancelEnabled(bool enabled) override { cancelEnabled = enabled; }
    void showMessage(const QString& text) override { messages << text; }
};

}  // namespace vorkal::testing
