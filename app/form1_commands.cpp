// The device commands: Read, Write, Load Defaults, Set Baud, Clear Log In display, and
// the show-layout command that follows the layout selection.

#include <QCoreApplication>
#include <algorithm>

#include "af_com_port.h"
#include "dialogs.h"
#include "error_texts.h"
#include "form1.h"
#include "form2.h"
#include "line_protocol.h"

using namespace vorkal;

namespace {

// Left edge of a text of n 8-pixel characters centred on a display `width` wide.
uint8_t Centred(int width, int n) { return uint8_t((width - 8 * n) / 2); }

}  // namespace

void TForm1::ShowLayoutOnDisplay() {
    if (portIsOpen()) displayShowsLayout(std::max(config.selectedLayout, 0));
    SendCommand(ShowLayoutCommand(std::max(config.selectedLayout, 0)), ReplyTimeout::ShowLayout);
}

void TForm1::Button3Click() {
    if (deferWhilePolling(&TForm1::Button3Click)) return;
    if (!portIsOpen()) return;
    if (!mayDropUnsavedChanges()) return;
    const EditStep step(*this);
    const int last = config.is128x64() ? 63 : 31;
    Timer2->stop();
    ShowProgress(last + 1);
    QString error;
    for (int n = 0; n <= last && error.isEmpty(); ++n) {
        error = ReadConfigBlock(uint8_t(n));
        Form2->StepIt();
        PauseMs(10);
    }
    Form2->hide();
    if (!error.isEmpty())
        dialogs().showMessage(QString(), tr2("Error", QString::fromUtf8("Błąd")) + "\r\n" + error, MsgIcon::None);
    else {
        rememberDisplayImage(config.image);
        ShowLoadedConfiguration();
        markSaved();
    }
    config.logLoaded = false;
    Timer2->start();
}

void TForm1::Button4Click() {
    if (deferWhilePolling(&TForm1::Button4Click)) return;
    Timer2->stop();
    if (!BackupDisplay()) {
        Timer2->start();
        return;
    }
    const int blocks = config.layoutAreaLength() / 16;
    QString error = WriteConfigBlocks(0, uint8_t(blocks));
    if (config.is128x64() && error.isEmpty()) error = WriteConfigBlocks(32, uint8_t(32 + blocks));
    if (!error.isEmpty()) dialogs().showMessage(QString(), error, MsgIcon::None);
    else markSaved();
    SendCommand(ShowLayoutCommand(std::max(config.selectedLayout, 0)), ReplyTimeout::ShowLayout);
    WaitReply();
    Timer2->start();
}

void TForm1::Button7Click() {
    if (deferWhilePolling(&TForm1::Button7Click)) return;
    if (portIsOpen()) Timer2->stop();
    const QString title = tr2("Confirm...", QString::fromUtf8("Potwierdź..."));
    const QString text = tr2(QString("WARNING !!!\r\nReturn to defaults settings\r\nclears all your custom screens and\r\n"
                                     "load defaults three screens layouts !        \r\n\r\nLoad default settings ?"),
                             QString::fromUtf8("UWAGA !!!\r\nPrzywrócenie ustawień fabrycznych skasuje         \r\n"
                                               "wszystkie aktualne ustawienia ekranów !\r\n\r\n"
                                               "Załadować ustawienia fabryczne ?"));
    if (dialogs().askYesNo(title, text, MsgIcon::Warning, MsgAnswer::No) != MsgAnswer::Yes) {
        Timer2->start();
        return;
    }
    if (!BackupDisplay()) {
        Timer2->start();
        return;
    }
    const EditStep step(*this);
    Button7->setEnabled(false);
    Form2->ProgressBar1->setMaximum(20);
    Form2->centre();
    config.LoadFactoryImage();
    Form2->show();
    Form2->Button1->setEnabled(false);

    const int w = displayWidth();
    SendCommand(ClearScreenCommand(), ReplyTimeout::ClearScreen);
    WaitReply();
    WriteDisplayText(Centred(w, 7), 8, 1, 0, "Loading");
    WriteDisplayText(Centred(w, 8), 24, 1, 0, "defaults");
    const QString error = WriteConfigBlocks(0, config.is128x64() ? 63 : 31);
    Form2->hide();
    if (error.isEmpty()) {
        SendCommand(ClearScreenCommand(), ReplyTimeout::ClearScreen);
        WaitReply();
        WriteDisplayText(Centred(w, 8), 8, 1, 0, "Returned");
        WriteDisplayText(Centred(w, 10), 24, 1, 0, "to default");
        PauseMs(1500);
        SendCommand(ResetCommand(), ReplyTimeout::Reset);
        markSaved();
        dialogs().showMessage(QString(),
                              tr2("Return to Defaults Succes !", QString::fromUtf8("Wrócono do ustawień fabrycznych !")),
                              MsgIcon::None);
    } else {
        dialogs().showMessage(
            QString(), tr2("Return to Defaults Failed !", QString::fromUtf8("Błąd przywracania !")) + "\r\n" + error,
            MsgIcon::None);
    }
    PauseMs(500);
    Timer2->start();
    Button7->setEnabled(true);
    Form2->Button1->setEnabled(true);
}

void TForm1::Button8Click() {
    if (deferWhilePolling(&TForm1::Button8Click)) return;
    if (!portIsOpen()) return;
    forgetDisplayImage();  // the display stores its new speed
    Timer2->stop();
    QCoreApplication::processEvents();
    PauseMs(500);
    QCoreApplication::processEvents();

    const int oldIndex = speedIndex();
    const QString oldText = BaudRateText(uint8_t(oldIndex));
    if (ComboBox3->currentIndex() < 0) ComboBox3->setCurrentIndex(0);
    const int displayIndex = ComboBox3->currentIndex();
    SendCommand(SetSpeedCommand(displayIndex), ReplyTimeout::SetSpeed);
    PauseMs(20);
    QCoreApplication::processEvents();
    ComboBox2->setCurrentIndex(displayIndex);
    OpenCom(selectedPort);

    PauseMs(40);
    SendCommand(ClearScreenCommand(), ReplyTimeout::ClearScreen);
    PauseMs(40);
    SendCommand(ClearScreenCommand(), ReplyTimeout::ClearScreen);
    bool changed = WaitReply() == 'O';
    const QString newText = BaudRateText(uint8_t(displayIndex));
    const int w = displayWidth();
    changed = changed && WriteDisplayText(Centred(w, 7), 5, 1, 0, "Current") &&
              WriteDisplayText(Centred(w, 10), 16, 1, 0, "Baud Rate:") &&
              WriteDisplayText(Centred(w, 10), 32, 1, 0, newText.toLatin1());
    if (changed) {
        dialogs().showMessage(QString(), "New BaudRate is: " + newText, MsgIcon::None);
    } else {
        ComboBox2->setCurrentIndex(oldIndex);
        ComboBox3->setCurrentIndex(oldIndex);
        dialogs().showMessage(QString(),
                              tr2("Failed to change BaudRate\r\nReturned to ",
                                  QString::fromUtf8("Zmiana prędkośći nieudana\r\nWrócono do ")) + oldText,
                              MsgIcon::None);
    }
    ComboBox2Change();
    Timer2->start();
}

void TForm1::Button9Click() {
    if (deferWhilePolling(&TForm1::Button9Click)) return;
    Timer2->stop();
    QString error;
    if (config.separateLog) {
        config.logImage.fill(0xFF);
        error = WriteLogRecords(0, config.is128x64() ? 2047 : 511);
    } else {
        // The log shares the configuration image: send it cleared, keep the image as it was.
        const auto saved = config.image;
        const int start = config.layoutAreaLength();
        for (int i = start; i <= 503; ++i) config.image[size_t(i)] = 0xFF;
        error = WriteConfigBlocks(uint8_t(start / 16), 31);
        std::copy_n(saved.begin(), 512, config.image.begin());
    }
    if (!error.isEmpty()) dialogs().showMessage(QString(), error, MsgIcon::None);
    else config.logLoaded = false;
    Timer2->start();
}
