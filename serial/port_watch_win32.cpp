#include "port_watch.h"

#include <QAbstractEventDispatcher>
#include <QAbstractNativeEventFilter>
#include <QCoreApplication>

#include <windows.h>
#include <dbt.h>

namespace {

// Windows tells every top-level window when a device arrives or goes (WM_DEVICECHANGE);
// the window's own message loop hands the message to this filter. A program without a
// window (vorkal-cli) gets none and looks at the ports on its own.
class DeviceChangeFilter : public QAbstractNativeEventFilter {
public:
    explicit DeviceChangeFilter(QTimer* settle) : settle_(settle) {}
    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type != "windows_generic_MSG") return false;
        const MSG* msg = static_cast<const MSG*>(message);
        if (msg->message != WM_DEVICECHANGE) return false;
        if ((msg->wParam == DBT_DEVICEARRIVAL || msg->wParam == DBT_DEVICEREMOVECOMPLETE ||
             msg->wParam == DBT_DEVNODES_CHANGED) &&
            !settle_->isActive())
            settle_->start();
        return false;  // others may want it too
    }

private:
    QTimer* settle_;
};

}  // namespace

PortWatch::PortWatch(QObject* parent) : QObject(parent) {
    settle_.setSingleShot(true);
    settle_.setInterval(SettleMs);
    connect(&settle_, &QTimer::timeout, this, &PortWatch::portsChanged);
    filter_ = std::make_unique<DeviceChangeFilter>(&settle_);
    QCoreApplication::instance()->installNativeEventFilter(filter_.get());
}

PortWatch::~PortWatch() {
    if (QCoreApplication::instance()) QCoreApplication::instance()->removeNativeEventFilter(filter_.get());
}

void PortWatch::readEvents() {}

void PortWatch::watchPortDirectory() {}
