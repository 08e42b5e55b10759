#include "display_link.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>
#include <cstdio>

#include "af_com_port.h"
#include "af_port_map.h"
#include "commands.h"
#include "com_port_adapter.h"
#include "boot_protocol.h"
#include "display_session.h"
#include "line_protocol.h"
#include "port_diagnosis.h"
#include "preferences.h"

namespace vorkal::cli {

namespace {

const TAfBaudrate kPcRates[] = {TAfBaudrate::br57600, TAfBaudrate::br38400, TAfBaudrate::br19200, TAfBaudrate::br9600,
                                TAfBaudrate::br4800};
// The window's poll asks for the version every 500 ms; a few of those make a display
// that is there but busy (or just powered) answer.
constexpr int kVersionQueryMs = 500;
constexpr int kVersionQueries = 4;
// How long a port that has just appeared is given to open, and how often it is tried.
constexpr int kPortReadyMs = 5000;
constexpr int kPortReadyRetryMs = 250;

}  // namespace

int ComNumberOfDevice(const QString& devicePath) {
    const QString wanted = QFileInfo(devicePath).canonicalFilePath();
    if (wanted.isEmpty()) return 0;
    for (const QString& name : ListComPortNames()) {
        const int n = name.mid(3).toInt();
        if (QFileInfo(DevicePathForComNumber(n)).canonicalFilePath() == wanted) return n;
    }
    return 0;
}

void InterruptWatch::report(bool cancel, bool held) {
    if (held) emit interruptHeld();
    if (cancel) {
        interrupted_ = true;
        emit interruptedNow();
    }
}

void InterruptWatch::deliverInterrupt(bool held) { report(!held, held); }

DisplayLink::DisplayLink(const Options& options, InterruptWatch& interrupts)
    : options_(options), interrupts_(interrupts), polish_(options.polish),
      progress_(TerminalProgress::StyleFor(options.quiet)), port_(new TAfComPort(nullptr)) {
    port_->SetBaudRate(TAfBaudrate::br57600);
    port_->SetWriteThreadPriority(TAfThreadPriority::tpNormal);
    port_->Loaded();
    adapter_ = std::make_unique<ComPortAdapter>(port_, [this](int index) {
        // Set Baud follows the display to its new speed.
        if (port_->IsOpen()) port_->ClosePort();
        QString reason;
        if (openAt(index, &reason)) speedIndex_ = index;
    });
    session_ = new DisplaySession(config_, polish_, *adapter_, progress_);
    progress_.setPolish(polish_);
    // The window waits for its instructions box to be closed; here nothing waits for a
    // click, and the user should not look for one.
    progress_.noteAfterMessage = [this](const QString& text) {
        if (text != FirmwareUpdateText(FirmwareText::PowerCycleInstructions, polish_)) return QString();
        return Tr(polish_, "There is nothing to click here: vorkal-cli goes on by itself once the display answers.",
                  "Tu nie trzeba niczego klikać: vorkal-cli działa dalej samo, gdy wyświetlacz odpowie.");
    };
    progress_.onShow = [this] {
        session_->progressShown();
        // Ctrl+C before this transfer began cancels it too.
        if (interrupted()) session_->cancel();
    };
    QObject::connect(port_, &TAfCustomSerialPort::OnDataRecived, session_, [this] { session_->dataReceived(); });
    QObject::connect(port_, &TAfCustomSerialPort::OnPortOpen, session_, [this] { session_->portOpened(); });
    QObject::connect(port_, &TAfCustomSerialPort::OnPortClose, session_, [this] { session_->portClosed(); });
    QObject::connect(session_, &DisplaySession::variantAnnounced, session_, [this](bool wide) {
        config_.setVariant(wide ? DisplayVariant::D128x64 : DisplayVariant::D84x48);
        if (wide) config_.separateLog = true;
    });
    QObject::connect(&interrupts_, &InterruptWatch::interruptedNow, session_, [this] { session_->cancel(); });
    // Cancel is disabled where the window's progress window disables it: from the
    // firmware update's identification to its end, and during a factory load.
    progress_.onCancelEnabled = [this](bool enabled) { interrupts_.setHeld(!enabled); };
    QObject::connect(&interrupts_, &InterruptWatch::interruptHeld, session_, [this] {
        progress_.showMessage(!unstoppableText_.isEmpty()
                                  ? unstoppableText_
                                  : Tr(polish_, "This step cannot be stopped now; it ends by itself.",
                                       "Tego kroku nie można teraz przerwać; zakończy się sam."));
    });
}

DisplayLink::~DisplayLink() {
    close();
    delete session_;
    adapter_.reset();
    delete port_;
}

void DisplayLink::close() {
    if (port_->IsOpen()) port_->ClosePort();
}

int DisplayLink::resolvePort() {
    if (options_.comNumber) return *options_.comNumber;
    if (!options_.devicePath.isEmpty()) {
        // The COM name the window lists for this device, so that its diagnosis and
        // naming apply unchanged.
        if (const int n = ComNumberOfDevice(options_.devicePath)) return n;
        PrintError(
            Tr(polish_, "%1 is not a serial port of this computer.", "%1 nie jest portem szeregowym tego komputera.")
                .arg(options_.devicePath) +
            "\n" + Tr(polish_, "vorkal-cli ports lists the ports.", "vorkal-cli ports wypisuje dostępne porty."));
        return -kExitPort;
    }
    if (const auto stored = Preferences::readPort(); stored && *stored > 0 && *stored < 256) return *stored;
    PrintError(Tr(polish_, "No port given: use --port COMn or --device PATH.",
                  "Nie podano portu: użyj --port COMn lub --device ŚCIEŻKA."));
    return -kExitUsage;
}

bool DisplayLink::openAt(int speedIndex, QString* reason) {
    port_->SetComNumber(uint16_t(comNumber_));
    port_->SetBaudRate(kPcRates[std::clamp(speedIndex, 0, 4)]);
    try {
        port_->OpenPort();
        return true;
    } catch (const EAfComPortCoreError& e) {
        // The cause comes from the failed open itself: the device is not opened again to ask.
        *reason = PortOpenFailureReason(comNumber_, QString::fromUtf8(e.what()), e.SystemError(), polish_);
        return false;
    } catch (const std::exception& e) {
        *reason = PortOpenFailureReason(comNumber_, QString::fromUtf8(e.what()), 0, polish_);
        return false;
    }
}

bool DisplayLink::openWhenReady(QString* reason) {
    if (openAt(speedIndex_, reason)) return true;
    if (!options_.wait && !options_.each) return false;
    // A port that has just appeared may not open yet: udev still setting its group, or
    // ModemManager probing the new adapter. Tried again while it is there, for a while.
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < kPortReadyMs && !interrupted() && !DevicePathForComNumber(comNumber_).isEmpty()) {
        QEventLoop loop;
        QTimer::singleShot(kPortReadyRetryMs, &loop, &QEventLoop::quit);
        QObject::connect(&interrupts_, &InterruptWatch::interruptedNow, &loop, &QEventLoop::quit);
        loop.exec();
        if (openAt(speedIndex_, reason)) return true;
    }
    return false;
}

int DisplayLink::connect(Silence silence) {
    const int port = resolvePort();
    if (port < 0) return -port;
    comNumber_ = port;
    speedFromOptions_ = options_.speedIndex.has_value();
    if (options_.speedIndex) speedIndex_ = *options_.speedIndex;
    else if (const auto stored = Preferences::readSpeed(); stored && *stored >= 0 && *stored <= 4)
        speedIndex_ = *stored;

    QString reason;
    if (!openWhenReady(&reason)) {
        QString text = Tr(polish_, "Can't open port COM%1", "Nie można otworzyć portu COM%1").arg(comNumber_);
        if (!reason.isEmpty()) text += "\n" + reason;
        PrintError(text);
        return kExitPort;
    }

    for (int query = 0; query < kVersionQueries && session_->firmwareVersion.isEmpty(); ++query) {
        if (interrupted()) return kExitCancelled;
        if (portLost()) break;
        adapter_->sendText(VersionQueryLine());
        QEventLoop loop;
        QTimer::singleShot(kVersionQueryMs, &loop, &QEventLoop::quit);
        QObject::connect(port_, &TAfCustomSerialPort::OnDataRecived, &loop, [&] {
            if (!session_->firmwareVersion.isEmpty()) loop.quit();
        });
        QObject::connect(port_, &TAfCustomSerialPort::OnPortClose, &loop, &QEventLoop::quit);
        QObject::connect(&interrupts_, &InterruptWatch::interruptedNow, &loop, &QEventLoop::quit);
        loop.exec();
    }
    if (interrupted()) return kExitCancelled;
    if (session_->firmwareVersion.isEmpty() && silence == Silence::MayBeBootLoader && !portLost()) {
        PrintError(Tr(polish_, "No display answered on COM%1 at %2 baud: looking for one waiting in its boot loader.",
                      "Żaden wyświetlacz nie odpowiedział na COM%1 przy %2 bodów: szukam wyświetlacza "
                      "czekającego w programie ładującym.")
                       .arg(comNumber_)
                       .arg(BaudOfSpeedIndex(speedIndex_)));
        return kExitOk;
    }
    if (session_->firmwareVersion.isEmpty()) {
        PrintError(Tr(polish_, "Disconnected", "Odłączony") + "\n" +
                   Tr(polish_, "No display answered on COM%1 at %2 baud: check the cable, the power and the speed.",
                      "Żaden wyświetlacz nie odpowiedział na COM%1 przy %2 bodów: sprawdź kabel, zasilanie i prędkość.")
                       .arg(comNumber_)
                       .arg(BaudOfSpeedIndex(speedIndex_)));
        return portLost() ? kExitPort : kExitDisplay;
    }
    return kExitOk;
}

bool DisplayLink::portLost() const { return !adapter_->isOpen() || adapter_->lineHungUp(); }

int DisplayLink::exitCodeFor(const QString& error) const { return error.isEmpty() ? kExitOk : failureExitCode(); }

int DisplayLink::failureExitCode() const {
    if (interrupted()) return kExitCancelled;
    if (portLost()) {
        PrintError(Tr(polish_, "The port COM%1 closed: the display was unplugged or switched off.",
                      "Port COM%1 został zamknięty: wyświetlacz odłączono lub wyłączono.")
                       .arg(comNumber_));
        return kExitPort;
    }
    return kExitDisplay;
}

}  // namespace vorkal::cli
