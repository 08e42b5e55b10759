// A raw pseudo-terminal pair, usually registered as COM<n> in a port directory: the
// program under test opens the slave through the port map, the test or benchmark plays
// the device on the master. It keeps the slave open itself, so the line survives the
// program's open and close. serve() runs a device loop on its own thread.
#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

class PtyPeer {
public:
    // Registered in (and on first use creates) a process-wide temporary port directory.
    explicit PtyPeer(int comNumber);
    // Registered as COM<n> in `portDir`.
    PtyPeer(const QString& portDir, int comNumber);
    // Not registered: only slavePath() leads to it.
    PtyPeer();
    ~PtyPeer();
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    bool ok() const { return master_ >= 0; }
    int comNumber() const { return comNumber_; }
    int master() const { return master_; }
    int slave() const { return slave_; }
    QByteArray slavePath() const { return slavePath_; }

    // Writes all of `bytes`, waiting while the line is full (gives up once serving stops).
    void write(const QByteArray& bytes);
    // Reads until `count` bytes came or the time is up.
    QByteArray read(int count, std::chrono::milliseconds limit = std::chrono::milliseconds(3000));
    // Everything that arrives within 50 ms: for checks that nothing (more) was sent.
    QByteArray readAvailable();
    // Closes the master: the device "goes away".
    void hangUp();

    // Calls `onBytes` on a thread of its own with what arrives on the master, and with
    // nothing at least every `tick` (for answers that are due by time); with kNoTick it
    // wakes only for bytes.
    using Receiver = std::function<void(const QByteArray& received)>;
    static constexpr std::chrono::milliseconds kNoTick{-1};
    void serve(Receiver onBytes, std::chrono::milliseconds tick = std::chrono::milliseconds(20));
    // Ends the serve() thread; a wrapper calls it before the state its receiver uses goes.
    void stopServing();
    bool stopping() const { return stop_; }

    static QString portDirectory();

private:
    bool open();
    void registerAs(const QString& portDir);

    int comNumber_ = 0;
    int master_ = -1;
    int slave_ = -1;
    QByteArray slavePath_;
    QByteArray linkPath_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    int stopFd_ = -1;  // wakes the serve() thread when it is to end
};

// Process CPU time in milliseconds (all threads).
double ProcessCpuMs();
