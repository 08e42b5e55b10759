#pragma once
// A scripted boot loader on a pseudo-terminal registered as COM<n>: it records every
// byte the program sends and answers the handshake, the identification and the ends of
// the data streams the way the test says. Used where the virtual display cannot be
// made to misbehave (odd block sizes, silence at chosen moments).

#include <QByteArray>
#include <QFile>
#include <QString>

#include <atomic>
#include <deque>
#include <mutex>

#include "pty_peer.h"

namespace vorkal::testing {

class FakeBootLoader {
public:
    // Identification answers, one per identify command; an empty one stays silent.
    static QByteArray Frame(uint32_t value, int valueBytes = 2) {
        QByteArray frame;
        frame.append(char(0xA8)).append(char(valueBytes + 1));
        for (int i = valueBytes - 1; i >= 0; --i) frame.append(char((value >> (8 * i)) & 0xFF));
        return frame;
    }

    FakeBootLoader(const QString& portDir, int comNumber, bool answerHandshake, std::deque<QByteArray> identifyReplies,
                   int ackEvery = 512)
        : pty_(portDir, comNumber), answerHandshake_(answerHandshake), identifyReplies_(std::move(identifyReplies)),
          ackEvery_(ackEvery) {
        if (pty_.ok())
            pty_.serve([this](const QByteArray& received) {
                for (const char byte : received) feed(uint8_t(byte));
            });
    }
    ~FakeBootLoader() { pty_.stopServing(); }

    bool ok() const { return pty_.ok(); }
    // Every byte received so far.
    QByteArray wire() const {
        std::lock_guard lock(mutex_);
        return wire_;
    }
    void clearWire() {
        std::lock_guard lock(mutex_);
        wire_.clear();
    }
    int identifyCommands() const { return identifyCommands_; }
    // Image bytes of the last program and verify streams, unescaped.
    QByteArray programmed() const {
        std::lock_guard lock(mutex_);
        return programmed_;
    }
    QByteArray verified() const {
        std::lock_guard lock(mutex_);
        return verified_;
    }

private:
    enum class State { Command, Prefix, Data, DataEscape };

    void send(const QByteArray& bytes) { pty_.write(bytes); }

    void feed(uint8_t byte) {
        std::lock_guard lock(mutex_);
        wire_.append(char(byte));
        switch (state_) {
        case State::Command:
            if (byte == 0xA5) {
                state_ = State::Prefix;
            } else {
                static const uint8_t handshake[5] = {'M', 'o', 'f', 'e', 0xFF};
                matched_ = byte == handshake[matched_] ? matched_ + 1 : (byte == 'M' ? 1 : 0);
                if (matched_ == 5) {
                    matched_ = 0;
                    if (answerHandshake_) send(QByteArray(1, char(0xA6)));
                }
            }
            break;
        case State::Prefix: command(byte); break;
        case State::Data:
            if (byte == 0xA5) state_ = State::DataEscape;
            else data(byte);
            break;
        case State::DataEscape:
            state_ = State::Data;
            if (byte == 0x25) data(0xA5);
            else command(byte);
            break;
        }
    }

    void command(uint8_t code) {
        state_ = State::Command;
        if (code == 0x01) {
            ++identifyCommands_;
            QByteArray reply;
            if (!identifyReplies_.empty()) {
                reply = identifyReplies_.front();
                identifyReplies_.pop_front();
            }
            send(reply);
        } else if (code == 0x04 || code == 0x07) {
            verifying_ = code == 0x07;
            (verifying_ ? verified_ : programmed_).clear();
            state_ = State::Data;
        } else if (code == 0x80) {
            send(QByteArray(1, char(0xAA)));
        }
    }

    void data(uint8_t byte) {
        QByteArray& stream = verifying_ ? verified_ : programmed_;
        stream.append(char(byte));
        if (!verifying_ && stream.size() % ackEvery_ == 0) send(QByteArray(1, char(0xAA)));
    }

    PtyPeer pty_;
    const bool answerHandshake_;
    std::deque<QByteArray> identifyReplies_;
    const int ackEvery_;
    std::atomic<int> identifyCommands_{0};
    mutable std::mutex mutex_;
    QByteArray wire_, programmed_, verified_;
    State state_ = State::Command;
    int matched_ = 0;
    bool verifying_ = false;
};

}  // namespace vorkal::testing
