#pragma once
// A display stand-in on a pseudo-terminal that answers each received line from a
// script, byte for byte: what no well-behaved display would send (split lines, stray
// bytes, garbage, endless lines) is easy to say here.

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <QByteArray>
#include <QFile>
#include <QString>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace vorkal::testing {

class ScriptedPeer {
public:
    struct Chunk {
        int delayMs;  // pause before the bytes go out
        QByteArray bytes;
    };
    using Responder = std::function<std::vector<Chunk>(const QByteArray& line)>;

    // Registers COM<com> in `portDir`; `respond` gets each line without CR LF.
    ScriptedPeer(const QString& portDir, int com, Responder respond) : respond_(std::move(respond)) {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
        const char* slave = ptsname(master_);
        if (!slave) return;
        // Keep the slave open ourselves so the line survives the program's open and close.
        slaveKeeper_ = open(slave, O_RDWR | O_NOCTTY | O_NONBLOCK);
        link_ = portDir + QString("/COM%1").arg(com);
        QFile::remove(link_);
        ok_ = QFile::link(QString::fromLocal8Bit(slave), link_);
        thread_ = std::thread([this] { run(); });
    }
    ~ScriptedPeer() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        if (!link_.isEmpty()) QFile::remove(link_);
        if (slaveKeeper_ >= 0) close(slaveKeeper_);
        if (master_ >= 0) close(master_);
    }
    bool ok() const { return ok_; }

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
    void run() {
        QByteArray pending;
        std::vector<Chunk> out;
        auto due = std::chrono::steady_clock::now();
        while (!stop_) {
            pollfd p{master_, POLLIN, 0};
            ::poll(&p, 1, 2);
            char buffer[4096];
            const ssize_t n = read(master_, buffer, sizeof buffer);
            for (ssize_t i = 0; i < n; ++i) {
                if (buffer[i] != '\n') {
                    if (buffer[i] != '\r') pending += buffer[i];
                    continue;
                }
                {
                    std::lock_guard lock(mutex_);
                    lines_.push_back(pending);
                }
                if (!out.empty()) ++overlaps_;
                std::vector<Chunk> answer = respond_(pending);
                if (out.empty() && !answer.empty())
                    due = std::chrono::steady_clock::now() + std::chrono::milliseconds(answer.front().delayMs);
                out.insert(out.end(), answer.begin(), answer.end());
                pending.clear();
            }
            while (!out.empty() && std::chrono::steady_clock::now() >= due) {
                writeAll(out.front().bytes);
                out.erase(out.begin());
                if (!out.empty())
                    due = std::chrono::steady_clock::now() + std::chrono::milliseconds(out.front().delayMs);
            }
            QByteArray flood;
            {
                std::lock_guard lock(mutex_);
                flood = flood_;
            }
            if (!flood.isEmpty()) {
                const ssize_t w = write(master_, flood.constData(), size_t(flood.size()));
                if (w > 0) floodBytes_ += uint64_t(w);
            }
        }
    }
    void writeAll(const QByteArray& bytes) {
        qsizetype done = 0;
        while (done < bytes.size() && !stop_) {
            const ssize_t w = write(master_, bytes.constData() + done, size_t(bytes.size() - done));
            if (w > 0) done += w;
            else std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    Responder respond_;
    int master_ = -1, slaveKeeper_ = -1;
    QString link_;
    bool ok_ = false;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<int> overlaps_{0};
    std::atomic<uint64_t> floodBytes_{0};
    mutable std::mutex mutex_;
    std::vector<QByteArray> lines_;
    QByteArray flood_;
};

}  // namespace vorkal::testing
