#pragma once
// A display stand-in on a pseudo-terminal that answers each received line from a
// script, byte for byte: what no well-behaved display would send (split lines, stray
// bytes, garbage, endless lines) is easy to say here.

#include <unistd.h>

#include <QByteArray>
#include <QString>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <vector>

#include "pty_peer.h"

namespace vorkal::testing {

class ScriptedPeer {
public:
    struct Chunk {
        int delayMs;  // pause before the bytes go out
        QByteArray bytes;
    };
    using Responder = std::function<std::vector<Chunk>(const QByteArray& line)>;

    // Registers COM<com> in `portDir`; `respond` gets each line without CR LF.
    ScriptedPeer(const QString& portDir, int com, Responder respond)
        : pty_(portDir, com), respond_(std::move(respond)) {
        if (pty_.ok()) pty_.serve([this](const QByteArray& received) { step(received); }, std::chrono::milliseconds(2));
    }
    ~ScriptedPeer() { pty_.stopServing(); }
    bool ok() const { return pty_.ok(); }

    // Lines received so far.
    std::vector<QByteArray> lines() const {
        std::lock_guard lock(mutex_);
        return lines_;
    }
    // Lines that arrived while an answer to an earlier line was still being sent.
    int overlaps() const { return overlaps_; }
    // Sends `bytes` over and over until stopFlood().
    void flood(const QByteArray& bytes) {
        std::lock_guard lock(mutex_);
        flood_ = bytes;
    }
    void stopFlood() { flood(QByteArray()); }
    uint64_t floodBytes() const { return floodBytes_; }

private:
    // Runs on the peer's thread for each read (and at least every tick).
    void step(const QByteArray& received) {
        for (const char c : received) {
            if (c != '\n') {
                if (c != '\r') pending_ += c;
                continue;
            }
            {
                std::lock_guard lock(mutex_);
                lines_.push_back(pending_);
            }
            if (!out_.empty()) ++overlaps_;
            std::vector<Chunk> answer = respond_(pending_);
            if (out_.empty() && !answer.empty())
                due_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(answer.front().delayMs);
            out_.insert(out_.end(), answer.begin(), answer.end());
            pending_.clear();
        }
        while (!out_.empty() && std::chrono::steady_clock::now() >= due_) {
            pty_.write(out_.front().bytes);
            out_.erase(out_.begin());
            if (!out_.empty())
                due_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(out_.front().delayMs);
        }
        QByteArray flood;
        {
            std::lock_guard lock(mutex_);
            flood = flood_;
        }
        if (!flood.isEmpty()) {
            const ssize_t w = ::write(pty_.master(), flood.constData(), size_t(flood.size()));
            if (w > 0) floodBytes_ += uint64_t(w);
        }
    }

    PtyPeer pty_;
    Responder respond_;
    // The peer thread's own: the line being received and the answers still to send.
    QByteArray pending_;
    std::vector<Chunk> out_;
    std::chrono::steady_clock::time_point due_;
    std::atomic<int> overlaps_{0};
    std::atomic<uint64_t> floodBytes_{0};
    mutable std::mutex mutex_;
    std::vector<QByteArray> lines_;
    QByteArray flood_;
};

}  // namespace vorkal::testing
