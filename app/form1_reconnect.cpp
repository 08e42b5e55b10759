// Ports that come and go while the window runs: the port list follows them, and a port
// whose adapter was pulled is opened again when the same adapter comes back.

#include <QTimer>

#include "af_com_port.h"
#include "af_port_map.h"
#include "display_session.h"
#include "form1.h"
#include "port_details.h"
#include "port_list.h"
#include "port_watch.h"
#include "preferences.h"

using namespace vorkal;

void TForm1::createPortWatch() {
    portWatch_ = new PortWatch(this);
    connect(portWatch_, &PortWatch::portsChanged, this, &TForm1::PortsChanged);
    reopenRetry_ = new QTimer(this);
    reopenRetry_->setSingleShot(true);
    connect(reopenRetry_, &QTimer::timeout, this, &TForm1::ReopenLostPort);
    connect(AfComPort1, &TAfCustomSerialPort::OnDeviceLost, this, &TForm1::AfComPort1DeviceLost);
    // A transfer cut by the pull ends first; only then may the port come back, so
    // that nothing of it goes to the display again.
    connect(session_, &DisplaySession::transferFinished, this, [this] {
        if (waitingForLostPort()) QTimer::singleShot(0, this, &TForm1::ReopenLostPort);
    });
}

void TForm1::PortsChanged() {
    portList_->refillIfChanged(selectedPort, languagePolish);
    // While the remembered port is the one Open uses and it is gone.
    if (!portIsOpen() && !waitingForLostPort() && DevicePathForComNumber(selectedPort).isEmpty() &&
        Preferences::readPort() == selectedPort)
        OfferRememberedAdapter();
    ReopenLostPort();
}

void TForm1::OfferRememberedAdapter() {
    const int port = FindComPortOfAdapter(rememberedAdapter_);
    if (port == 0 || port == selectedPort) return;
    selectedPort = port;
    portList_->select(port);
}

void TForm1::AfComPort1DeviceLost(QObject*) {
    if (closing()) return;
    lostPort_ = AfComPort1->ComNumber();
    lostAdapter_ = openAdapter_;
    reopenTries_ = 0;
}

void TForm1::StopWaitingForLostPort() {
    if (!waitingForLostPort()) return;
    lostPort_ = 0;
    reopenRetry_->stop();
    // The controls of a closed port: Open, and the port and speed lists to choose from.
    if (!portIsOpen()) AfComPort1PortClose(AfComPort1);
}

void TForm1::ReopenLostPort() {
    if (!waitingForLostPort() || portIsOpen() || closing()) return;
    if (session_->transferRunning() || session_->waiting()) return;
    // The same adapter, under whatever number it came back; a port without a known
    // adapter by its number.
    const int port = lostAdapter_.isEmpty() ? lostPort_ : FindComPortOfAdapter(lostAdapter_);
    if (port == 0 || DevicePathForComNumber(port).isEmpty()) return;  // not back yet: the watch tells
    // A node that has just appeared may not open yet (udev still setting its group,
    // ModemManager probing the new adapter): tried again quietly, the Retry/Cancel
    // question is for the user's own Open.
    AfComPort1->SetComNumber(uint16_t(port));
    usePcSpeed();
    try {
        AfComPort1->OpenPort();
    } catch (const std::exception&) {
        // Soon at first; then seldom, as every try of a port that opens but cannot be
        // locked moves its modem lines.
        reopenRetry_->start(++reopenTries_ < kReopenQuickTries ? kReopenRetryMs : kReopenSlowRetryMs);
        return;
    }
    if (port != selectedPort) {
        // Back under another number: that is the port Open uses from now on.
        selectedPort = port;
        Preferences::writePort(port);
    }
    portList_->select(port);
}
