// The window's side of the connection: the port component and the display session
// behind it, port choice, opening and closing, and the status poll's connection display.

#include <QTimer>

#include "af_com_port.h"
#include "com_port_adapter.h"
#include "dialogs.h"
#include "display_backup_keeper.h"
#include "display_session.h"
#include "firmware_update.h"
#include "close_guard.h"
#include "form1.h"
#include "port_list.h"
#include "af_port_map.h"
#include "port_details.h"
#include "form2.h"
#include "port_diagnosis.h"
#include "preferences.h"
#include "trace_log.h"

using namespace vorkal;

namespace {

const TAfBaudrate kPcRates[] = {TAfBaudrate::br57600, TAfBaudrate::br38400, TAfBaudrate::br19200, TAfBaudrate::br9600,
                                TAfBaudrate::br4800};

}  // namespace

void TForm1::createDevice() {
    AfComPort1 = new TAfComPort(this);
    AfComPort1->setObjectName("AfComPort1");
    AfComPort1->SetBaudRate(TAfBaudrate::br56000);
    AfComPort1->SetWriteThreadPriority(TAfThreadPriority::tpNormal);
    AfComPort1->Loaded();
    connect(AfComPort1, &TAfCustomSerialPort::OnDataRecived, this, &TForm1::AfComPort1DataRecived);
    connect(AfComPort1, &TAfCustomSerialPort::OnPortOpen, this, &TForm1::AfComPort1PortOpen);
    connect(AfComPort1, &TAfCustomSerialPort::OnPortClose, this, &TForm1::AfComPort1PortClose);

    port_ = std::make_unique<ComPortAdapter>(AfComPort1, [this](int speed) {
        ComboBox2->setCurrentIndex(speed);
        OpenCom(selectedPort);
    });
    session_ = new DisplaySession(config, languagePolish, *port_, *Form2, this);
    firmwareUpdate_ = std::make_unique<FirmwareUpdate>(*session_);
    closeGuard_ = std::make_unique<CloseGuard>(*session_, *firmwareUpdate_, edits);
    Timer1 = session_->replyTimer();
    Timer2 = session_->pollTimer();
    Form2->onCancel = [this] { session_->cancel(); };
    Form2->onShow = [this] { session_->progressShown(); };
    connect(session_, &DisplaySession::variantAnnounced, this,
            [this](bool wide) { FollowDisplayVariant(wide ? DisplayVariant::D128x64 : DisplayVariant::D84x48); });
    backups_ = std::make_unique<DisplayBackupKeeper>(
        config, [this](std::array<uint8_t, kImageSize>& dest) { return session_->readConfigurationInto(dest); });
    // The image as the display holds it, before showing it corrects anything.
    connect(session_, &DisplaySession::configurationReceived, this, [this] { backups_->displayRead(config.image); });
    connect(session_, &DisplaySession::configurationReceived, this, &TForm1::ShowLoadedConfiguration);
    connect(session_, &DisplaySession::headerReceived, this, &TForm1::ApplyLayoutHeader);
    connect(session_, &DisplaySession::speedSelectionsRestored, this, [this](int index) {
        ComboBox2->setCurrentIndex(index);
        ComboBox3->setCurrentIndex(index);
        // Back to the speed that worked, so the display is not lost.
        if (portIsOpen()) OpenCom(selectedPort);
    });
    connect(session_, &DisplaySession::configurationIncomplete, this, &TForm1::ShowImageAsItIs);
    // While a transfer runs, the controls that would start another action or change the
    // image are disabled; the progress window's Cancel stays. Clear Log needs a display
    // that answers; the port may have gone meanwhile.
    const auto hold = [this](bool running) {
        transferHold_.set(running, [this](QWidget* w) { return w != Button9 || !session_->firmwareVersion.isEmpty(); });
    };
    connect(session_, &DisplaySession::transferStarted, this, [hold] { hold(true); });
    connect(session_, &DisplaySession::transferFinished, this, [hold] { hold(false); });
}

bool TForm1::portIsOpen() const { return AfComPort1 && AfComPort1->IsOpen(); }

void TForm1::AfComPort1DataRecived(QObject*, int) { session_->dataReceived(); }

bool TForm1::deferWhileBusy(void (TForm1::*handler)()) {
    return session_->deferWhileBusy([this, handler] { (this->*handler)(); });
}

int TForm1::speedIndex() const { return std::clamp(ComboBox2->currentIndex(), 0, 4); }

void TForm1::usePcSpeed() { AfComPort1->SetBaudRate(kPcRates[speedIndex()]); }

void TForm1::ComboBox4Click() { selectedPort = portList_->chosenPort(selectedPort); }

void TForm1::ComboBox2Change() { Preferences::writeSpeed(ComboBox2->currentIndex()); }

void TForm1::FollowDisplaySpeed(int index) {
    index = std::clamp(index, 0, 4);
    ComboBox2->setCurrentIndex(index);
    ComboBox3->setCurrentIndex(index);
    ComboBox2Change();
    if (portIsOpen() && AfComPort1->BaudRate() != kPcRates[index]) OpenCom(selectedPort);
}

void TForm1::OpenCom(int port) {
    // A transfer unwinding after the window closed must not take the closed port again
    // (Set Baud, which runs to its end, reopens the open port at the new speed).
    if (closing() && !portIsOpen()) return;
    for (;;) {
        ComboBox4Click();
        if (port == 0) return;
        if (portIsOpen()) AfComPort1->ClosePort();
        AfComPort1->SetComNumber(uint16_t(port));
        if (ComboBox2->currentIndex() < 0) ComboBox2->setCurrentIndex(0);
        usePcSpeed();
        QString reason;
        try {
            AfComPort1->OpenPort();
            return;
        } catch (const EAfComPortCoreError& e) {
            // Said to the user below, in the words of this window, with the cause found
            // from the failed open itself: the device is not opened again to ask.
            reason = PortOpenFailureReason(port, QString::fromUtf8(e.what()), e.SystemError(), languagePolish);
        } catch (const std::exception& e) {
            reason = PortOpenFailureReason(port, QString::fromUtf8(e.what()), 0, languagePolish);
        }
        QString text =
            tr2(QString("  Can't open port COM%1\r\n\r\nCheck COM/USB cable and click \"Retry\" or\r\n"
                        "Click \"Cancel\" for change port number"),
                QString::fromUtf8(
                    "  Nie można otworzyć portu COM%1\r\n\r\nSprawdź kabel COM/USB i kliknij \"Retry\" lub\r\n"
                    "Kliknij \"Cancel\" aby zmienić numer portu"))
                .arg(port);
        if (!reason.isEmpty()) text += "\r\n\r\n" + reason;
        if (dialogs().askRetryCancel(QString(), text, MsgIcon::Warning) != MsgAnswer::Retry) return;
    }
}

void TForm1::Button5Click() {
    if (deferWhileBusy(&TForm1::Button5Click)) return;
    // Close while the window waits for a pulled adapter: no longer waited for.
    if (waitingForLostPort() && !portIsOpen()) return StopWaitingForLostPort();
    if (portIsOpen()) AfComPort1->ClosePort();
    else OpenCom(selectedPort);
    if (!portIsOpen()) return;
    Preferences::writePort(selectedPort);
    rememberedAdapter_ = selectedPort != 0 ? openAdapter_ : QString();
    Preferences::writePortAdapter(rememberedAdapter_);
    portList_->select(selectedPort);
}

void TForm1::AfComPort1PortOpen(QObject*) {
    // Read now: once the adapter is pulled, sysfs no longer says what it was.
    openAdapter_ = ReadAdapterIdentity(DevicePathForComNumber(AfComPort1->ComNumber()));
    // However it opened (by itself, through Open and its Retry, Set Baud), nothing is
    // waited for any more.
    lostPort_ = 0;
    if (reopenRetry_) reopenRetry_->stop();
    backups_->displayChanged();  // a new connection: the display may be another one
    session_->portOpened();
    Button5->setText(tr2("Close", "Zamknij"));
    Button11->setEnabled(true);
    ComboBox4->setEnabled(false);
    ComboBox2->setEnabled(false);
    const bool loaded = config.configurationLoaded;
    Button4->setEnabled(loaded);
    if (view() != View::Log) {
        GroupBox6->setVisible(!loaded);
        GroupBox2->setVisible(loaded);
    }
}

void TForm1::AfComPort1PortClose(QObject*) {
    backups_->displayChanged();
    // While a pulled adapter is waited for, the port counts as open to the user: Close
    // stops the waiting, and the port and speed stay as chosen.
    const bool waiting = waitingForLostPort();
    Button5->setText(waiting ? tr2("Close", "Zamknij") : tr2("Open", "Otwórz"));
    session_->portClosed();
    ComboBox4->setEnabled(!waiting);
    ComboBox2->setEnabled(!waiting);
    Button11->setEnabled(false);
    // Shown now, not at the poll's next tick: an error box of the transfer that was
    // running may come first.
    ShowConnectionState();
}

void TForm1::Timer2Timer() {
    // The header read of an earlier tick is still waiting for its reply.
    if (session_->pollStepRunning()) return;
    ShowConnectionState();
    session_->pollStep();
}

void TForm1::ShowConnectionState() {
    const QByteArray& firmwareVersion = session_->firmwareVersion;
    const bool connected = !firmwareVersion.isEmpty();
    // A display that has just answered runs at the PC's speed: the display speed list
    // shows that speed.
    if (connected && !shownConnected_ && portIsOpen()) ComboBox3->setCurrentIndex(speedIndex());
    if (connected != shownConnected_)
        qCInfo(vorkal::lcProtocol).noquote() << (connected ? "Connected, firmware " + vorkal::TraceBytes(firmwareVersion) : "Disconnected");
    shownConnected_ = connected;
    StaticText5->setText(connected ? tr2("Connected", QString::fromUtf8("Połączony"))
                                   : tr2("Disconnected", QString::fromUtf8("Odłączony")));
    // The status text is large (21 px bold), so its green and red need 3:1 on the light
    // face, which both give (4.5:1 and 3.5:1).
    StaticText5->setStyleSheet(connected ? "color: rgb(0, 128, 0);" : "color: rgb(255, 0, 0);");
    StaticText6->setVisible(connected);
    if (connected)
        StaticText6->setText(tr2("Firmware version: ", "Oprogramowanie: ") + QString::fromLatin1(firmwareVersion));
    for (QPushButton* b : {Button3, Button7, Button8, Button9}) b->setEnabled(connected);
    Button4->setEnabled(connected && config.configurationLoaded);
}
