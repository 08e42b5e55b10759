// A pseudo-terminal pair registered as COM<n> in a private port directory: the
// program under test opens the slave through the port map, the test plays the
// device on the master.
#pragma once

#include <QByteArray>
#include <QTemporaryDir>

#include <chrono>

class PtyPeer {
public:
    // Uses (and on first use creates) a process-wide temporary port directory.
    explicit PtyPeer(int comNumber);
    ~PtyPeer();
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    bool ok() const { return master_ >= 0; }
    int comNumber() const { return comNumber_; }
    int master() const { return master_; }
    int slave() const { return slave_; }
    QByteArray slavePath() const { return slavePath_; }

    void write(const QByteArray& bytes);
    // Reads until `count` bytes came or the time is up.
    QByteArray read(int count, std::chrono::milliseconds limit = std::chrono::milliseconds(3000));
    // Everything available now (after a short settle).
    QByteArray readAvailable();
    // Closes the master: the device "goes away".
    void hangUp();

    static QString portDirectory();

private:
    int comNumber_;
    int master_ = -1;
    int slave_ = -1;
    QByteArray slavePath_;
    QByteArray linkPath_;
};

// Process CPU time in milliseconds (all threads).
double ProcessCpuMs();
