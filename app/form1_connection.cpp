// Port choice, opening and closing, and the status poll with its demo telemetry script.

#include <QTimer>

#include "af_com_port.h"
#include "demo_script.h"
#include "dialogs.h"
#include "form1.h"
#include "line_protocol.h"
#include "preferences.h"

using namespace vorkal;

namespace {

const TAfBaudrate kPcRates[] = {TAfBaudrate::br57600, TAfBaudrate::br38400, TAfBaudrate::br19200,
                                TAfBaudrate::br9600, TAfBaudrate::br4800};

// The number after "COM": up to four characters from the fourth on; 0 when none.
int PortNumberOfEntry(const QString& text) {
    bool ok = false;
    const int n = text.mid(3, 4).toInt(&ok);
    return ok && n > 0 ? n : 0;
}

}  // namespace

int TForm1::speedIndex() const { return std::clamp(ComboBox2->currentIndex(), 0, 4); }

void TForm1::ComboBox4Click() {
    const int i = ComboBox4->currentIndex();
    selectedPort = PortNumberOfEntry(i >= 0 ? ComboBox4->itemText(i) : QString());
}

void TForm1::ComboBox2Change() { Preferences::writeSpeed(ComboBox2->currentIndex()); }

void TForm1::OpenCom(int port) {
    for (;;) {
        ComboBox4Click();
        if (port == 0) return;
        if (portIsOpen()) AfComPort1->ClosePort();
        AfComPort1->SetComNumber(uint16_t(port));
        if (ComboBox2->currentIndex() < 0) ComboBox2->setCurrentIndex(0);
        AfComPort1->SetBaudRate(kPcRates[speedIndex()]);
        try {
            AfComPort1->OpenPort();
            return;
        } catch (const std::exception&) {
            // Said to the user below, in the words of this window.
        }
        const QString text =
            tr2(QString("  Can't open port COM%1\r\n\r\nCheck COM/USB cable and click \"Retry\" or\r\n"
                        "Click \"Cancel\" for change port number"),
                QString::fromUtf8("  Nie można otworzyć portu COM%1\r\n\r\nSprawdź kabel COM/USB i kliknij \"Retry\" lub\r\n"
                                  "Kliknij \"Cancel\" aby zmienić numer portu"))
                .arg(port);
        if (dialogs().askRetryCancel(QString(), text, MsgIcon::Warning) != MsgAnswer::Retry) return;
    }
}

void TForm1::Button5Click() {
    if (deferWhilePolling(&TForm1::Button5Click)) return;
    if (portIsOpen()) AfComPort1->ClosePort();
    else OpenCom(selectedPort);
    if (!portIsOpen()) return;
    Preferences::writePort(selectedPort);
    const QString digits = QString::number(selectedPort);
    for (int i = 0; i < ComboBox4->count(); ++i) {
        if (ComboBox4->itemText(i).indexOf(digits) == 3) {
            ComboBox4->setCurrentIndex(i);
            break;
        }
    }
}

void TForm1::AfComPort1PortOpen(QObject*) {
    forgetDisplayImage();  // a new connection: the display may be another one
    AfComPort1->DiscardInput();
    purgeOutput();
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
    forgetDisplayImage();
    Button5->setText(tr2("Open", "Otwórz"));
    firmwareVersion.clear();
    config.logLoaded = false;
    ComboBox4->setEnabled(true);
    ComboBox2->setEnabled(true);
    Button11->setEnabled(false);
    // No reply can come any more: an exchange waiting now ends as a timeout.
    if (Timer1->isActive()) Timer1Timer();
    receiver_.clear();
}

bool TForm1::deferWhilePolling(void (TForm1::*handler)()) {
    if (!DeviceWaiting()) return false;
    // A click during the poll's header read runs once that read is over; a click
    // during any other transfer is dropped (the transactions are not re-entrant).
    if (pollStepRunning_ && waitDepth_ == 1) afterPollStep_ = handler;
    return true;
}

void TForm1::Timer2Timer() {
    // The header read of an earlier tick is still waiting for its reply.
    if (pollStepRunning_) return;

    const bool connected = !firmwareVersion.isEmpty();
    StaticText5->setText(connected ? tr2("Connected", QString::fromUtf8("Połączony"))
                                   : tr2("Disconnected", QString::fromUtf8("Odłączony")));
    StaticText5->setStyleSheet(connected ? "color: rgb(0, 128, 0);" : "color: rgb(255, 0, 0);");
    StaticText6->setVisible(connected);
    if (connected)
        StaticText6->setText(tr2("Firmware version: ", "Oprogramowanie: ") + QString::fromLatin1(firmwareVersion));
    for (QPushButton* b : {Button3, Button7, Button8, Button9}) b->setEnabled(connected);
    Button4->setEnabled(connected && config.configurationLoaded);

    if (!portIsOpen()) {
        Timer2->setInterval(100);
        scriptPosition_ = 0;
        firmwareVersion.clear();
        return;
    }
    if (scriptPosition_ >= kDemoScriptLength) scriptPosition_ = 0;
    const QByteArray entry = DemoScriptEntry(scriptPosition_);
    if (entry.size() == 1 && entry[0] == kEndMarker) {
        scriptPosition_ = 0;
        return;
    }
    if (entry.size() == 1 && entry[0] == kVersionMarker) {
        receiver_.clear();
        firmwareVersion.clear();
        AfComPort1->SendText(VersionQueryLine());
        Timer2->setInterval(500);
    } else if (!firmwareVersion.isEmpty()) {
        if (entry.size() == 1 && entry[0] == kHeaderMarker) {
            pollStepRunning_ = true;
            const bool ok = ReadConfigBlock(31).isEmpty();
            pollStepRunning_ = false;
            if (ok) ApplyLayoutHeader();
            if (auto handler = std::exchange(afterPollStep_, nullptr)) QTimer::singleShot(0, this, handler);
        } else {
            AfComPort1->SendText(entry + "\r\n");
        }
        Timer2->setInterval(60);
    }
    ++scriptPosition_;
}
