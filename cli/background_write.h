#pragma once
// A result file written on a worker thread while the display session goes on, so that
// its sync to the disk can run in the quiet pause the display gets after its last
// answer rather than after that pause.

#include <QByteArray>
#include <QString>
#include <future>

namespace vorkal::cli {

class BackgroundFileWrite {
public:
    // Starts writing `bytes` to `path` with the checked writer (whole or not at all).
    void start(const QString& path, const QByteArray& bytes);
    bool started() const { return outcome_.valid(); }
    // Waits for the write started before; prints the file error as WriteResultFile does.
    // True when the file was written.
    bool finish(bool polish);

private:
    struct Outcome {
        bool written = false;
        QString error;
    };
    QString path_;
    // A future of std::async waits for its thread when destroyed: no write outlives this.
    std::future<Outcome> outcome_;
};

}  // namespace vorkal::cli
