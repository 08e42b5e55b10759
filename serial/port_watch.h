#pragma once
// Tells when serial ports may have come or gone (an adapter plugged or pulled, a link
// added to or removed from the port directory), without opening any device. Changes
// that come in a burst (udev makes the node, sets its mode, adds its links) are told
// once, shortly after its first change. On Linux it watches /dev, /dev/pts and the port
// directory with inotify; on Windows it takes the device-change message the system sends
// every top-level window (a program without a window gets none).

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>

class QSocketNotifier;

class PortWatch : public QObject {
    Q_OBJECT
public:
    explicit PortWatch(QObject* parent = nullptr);
    ~PortWatch() override;

    // How long after a change portsChanged is sent, so that a burst is told once.
    static constexpr int SettleMs = 100;

signals:
    void portsChanged();

private:
    void readEvents();
    void watchPortDirectory();

    int fd_ = -1;
    int portDirWatch_ = -1;
    QString watchedPortDir_;
    QSocketNotifier* notifier_ = nullptr;
    std::unique_ptr<QAbstractNativeEventFilter> filter_;  // Windows
    QTimer settle_;
};
