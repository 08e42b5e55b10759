#pragma once
// Counts the times a file is opened, by anyone, through inotify. The kernel queues the
// event inside the open call itself, so after an operation returns its opens are there
// to be read: no waiting involved.

#include <QFile>
#include <QString>

#include <sys/inotify.h>
#include <unistd.h>

namespace vorkal::testing {

class OpenWatch {
public:
    explicit OpenWatch(const QString& path) {
        fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (fd_ >= 0) watch_ = ::inotify_add_watch(fd_, QFile::encodeName(path).constData(), IN_OPEN);
    }
    ~OpenWatch() {
        if (fd_ >= 0) ::close(fd_);
    }
    OpenWatch(const OpenWatch&) = delete;
    OpenWatch& operator=(const OpenWatch&) = delete;

    bool valid() const { return fd_ >= 0 && watch_ >= 0; }

    // Opens since the watch began or since the last call.
    int take() {
        int opens = 0;
        alignas(inotify_event) char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            if (n <= 0) return opens;
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                if (event->mask & IN_OPEN) ++opens;
                at += ssize_t(sizeof(inotify_event) + event->len);
            }
        }
    }

private:
    int fd_ = -1;
    int watch_ = -1;
};

}  // namespace vorkal::testing
