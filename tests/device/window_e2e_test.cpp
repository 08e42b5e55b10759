// The main window against the virtual display over a pseudo-terminal, driven through
// its buttons the way a user drives it.

#include <QTimer>
#include <array>

#include "config_image.h"
#include "device_fixture.h"
#include "display_backup_keeper.h"

using namespace vorkal;
using namespace vorkal::testing;
using sim::SimVariant;

namespace {

class WindowE2E : public WindowFixture {
protected:
    // Presses Read and expects it to succeed.
    void read() {
        const size_t before = messages().size();
        form->Button3->click();
        ASSERT_EQ(messages().size(), before) << messages().join(" | ").toStdString();
    }
    std::array<uint8_t, 1024> displayConfig() const { return display->configMemory(); }
};

bool sameBlocks(const std::array<uint8_t, 1024>& a, const std::array<uint8_t, 1024>& b, int first, int last) {
    return std::equal(a.begin() + 16 * first, a.begin() + 16 * (last + 1), b.begin() + 16 * first);
}

// Blocks equal apart from byte 508, whose current-layout bits the display keeps
// following the show-layout command.
bool sameBlocksButShownLayout(std::array<uint8_t, 1024> a, std::array<uint8_t, 1024> b, int first, int last) {
    a[508] = b[508] = 0;
    return sameBlocks(a, b, first, last);
}

}  // namespace

TEST_F(WindowE2E, OpenShowsConnectedWithVersionAndStoresThePort) {
    startDisplay(SimVariant::D84x48Log);
    ASSERT_NO_FATAL_FAILURE(connect());
    EXPECT_EQ(form->StaticText5->text(), "Connected");
    EXPECT_EQ(form->Button5->text(), "Close");
    EXPECT_EQ(form->StaticText6->text(), "Firmware version: v1.23+");
    EXPECT_TRUE(form->config.separateLog);
    EXPECT_FALSE(form->config.is128x64());
    for (QPushButton* b : {form->Button3, form->Button7, form->Button8, form->Button9, form->Button11})
        EXPECT_TRUE(b->isEnabled()) << b->text().toStdString();
    EXPECT_FALSE(form->Button4->isEnabled());  // nothing loaded yet
    EXPECT_FALSE(form->ComboBox4->isEnabled());
    EXPECT_EQ(QSettings("Brask", "Vorkal").value("Port").toInt(), kCom);
    // The poll feeds the sample telemetry once connected.
    EXPECT_TRUE(waitFor([this] { return display->counters().telemetryLines >= 3; }));

    form->Button5->click();
    EXPECT_FALSE(form->AfComPort1->IsOpen());
    EXPECT_EQ(form->Button5->text(), "Open");
    EXPECT_TRUE(form->session().firmwareVersion.isEmpty());
    EXPECT_TRUE(waitFor([this] { return form->StaticText5->text() == "Disconnected"; }, 2000));
    EXPECT_FALSE(form->Button3->isEnabled());
    EXPECT_TRUE(form->ComboBox4->isEnabled());
}

TEST_F(WindowE2E, ReadOnBothVariantsShowsTheLayout) {
    struct Case {
        SimVariant variant;
        int blocks;
    };
    for (const Case c : {Case{SimVariant::D84x48Log, 32}, Case{SimVariant::D128x64, 64}}) {
        SCOPED_TRACE(c.blocks);
        startDisplay(c.variant);
        ASSERT_NO_FATAL_FAILURE(connect());
        // A version line with '*' has switched the window to 128 x 64.
        EXPECT_EQ(form->config.is128x64(), c.variant == SimVariant::D128x64);
        ASSERT_NO_FATAL_FAILURE(read());
        EXPECT_EQ(form->Form2->ProgressBar1->maximum(), c.blocks);
        EXPECT_EQ(form->Form2->ProgressBar1->value(), c.blocks);
        EXPECT_FALSE(form->Form2->isVisible());
        EXPECT_TRUE(sameBlocks(form->config.image, displayConfig(), 0, c.blocks - 1));
        EXPECT_TRUE(form->config.configurationLoaded);
        EXPECT_EQ(form->view(), TForm1::View::Screen);
        EXPECT_TRUE(form->RadioGroup3->isVisible());
        EXPECT_FALSE(form->config.logLoaded);
        TearDown();
    }
}

TEST_F(WindowE2E, WriteSendsTheLayoutBlocksAndShowsTheLayout) {
    struct Case {
        SimVariant variant;
        std::vector<std::pair<int, int>> written;
    };
    const Case cases[] = {
        {SimVariant::D84x48Log, {{0, 8}}},
        {SimVariant::D128x64, {{0, 11}, {32, 43}}},
    };
    for (const Case& c : cases) {
        startDisplay(c.variant);
        ASSERT_NO_FATAL_FAILURE(connect());
        shortenSequencePauses();
        ASSERT_NO_FATAL_FAILURE(read());
        ASSERT_EQ(form->config.layoutCount(), 3);
        const auto before = displayConfig();
        // Select layout 2 and change the bytes so that any block sent shows.
        form->RadioGroup3->setItemIndex(1);
        // (The header bytes 496..511 stay: they decide how many blocks are written.)
        for (size_t i = 0; i < form->config.image.size(); ++i)
            if (i < 496 || i >= 512) form->config.image[i] ^= 0x5A;
        const auto edited = form->config.image;
        form->Button4->click();
        EXPECT_TRUE(messages().isEmpty()) << messages().join(" | ").toStdString();
        const auto after = displayConfig();
        std::array<bool, 64> expectWritten{};
        for (auto [first, last] : c.written)
            for (int n = first; n <= last; ++n) expectWritten[size_t(n)] = true;
        for (int n = 0; n < 64; ++n)
            EXPECT_TRUE(sameBlocksButShownLayout(after, expectWritten[size_t(n)] ? edited : before, n, n))
                << "block " << n;
        EXPECT_EQ(display->shownLayout(), 1);
        TearDown();
    }
}

TEST_F(WindowE2E, LoadDefaultsAnsweredNoAndYes) {
    startDisplay(SimVariant::D84x48Log);
    ASSERT_NO_FATAL_FAILURE(connect());
    ASSERT_NO_FATAL_FAILURE(read());
    form->config.image[0] ^= 0xFF;
    const auto edited = form->config.image;
    const auto displayBefore = displayConfig();
    const uint64_t commandsBefore = display->counters().commands;

    scripted.answers = {MsgAnswer::No};
    form->Button7->click();
    ASSERT_EQ(scripted.shown.size(), 1u);
    EXPECT_EQ(scripted.shown[0].kind, "yesno");
    EXPECT_EQ(scripted.shown[0].title, "Confirm...");
    EXPECT_EQ(scripted.shown[0].text,
              "WARNING !!!\r\nReturn to defaults settings\r\nclears all your custom screens and\r\n"
              "load defaults three screens layouts !        \r\n\r\nLoad default settings ?");
    EXPECT_EQ(scripted.shown[0].icon, MsgIcon::Warning);
    EXPECT_EQ(scripted.shown[0].defaultAnswer, MsgAnswer::No);
    EXPECT_EQ(form->config.image, edited);
    EXPECT_EQ(displayConfig(), displayBefore);
    EXPECT_LE(display->counters().commands - commandsBefore, 1u);  // at most a poll step raced in
    EXPECT_TRUE(form->Timer2->isActive());

    ConfigImage factory;
    factory.LoadFactoryImage();
    scripted.answers = {MsgAnswer::Yes};
    bool buttonsDisabledDuringTransfer = false;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (form->Form2->isVisible() && !form->Button7->isEnabled() && !form->Form2->Button1->isEnabled())
            buttonsDisabledDuringTransfer = true;
    });
    probe.start(20);
    form->Button7->click();
    probe.stop();
    EXPECT_TRUE(buttonsDisabledDuringTransfer);
    EXPECT_EQ(messages().value(0), "Return to Defaults Succes !");
    EXPECT_EQ(form->config.image, factory.image);
    EXPECT_TRUE(sameBlocks(displayConfig(), factory.image, 0, 31));
    EXPECT_EQ(display->counters().resets, 1u);
    EXPECT_TRUE(form->Button7->isEnabled());
    EXPECT_TRUE(form->Form2->Button1->isEnabled());
    // The reset display is found again by the poll.
    EXPECT_TRUE(waitUntilShownConnected());
}

TEST_F(WindowE2E, SetBaudThatWorksAndOneThatFails) {
    startDisplay(SimVariant::D84x48Log);
    ASSERT_NO_FATAL_FAILURE(connect());
    // The display answers every command here: a busy machine must not make one late.
    stretchReplyTimeouts();
    form->ComboBox3->setCurrentIndex(2);
    form->Button8->click();
    EXPECT_EQ(messages().value(0), "New BaudRate is: 19200 baud");
    EXPECT_EQ(display->speedIndex(), 2);
    EXPECT_EQ(form->ComboBox2->currentIndex(), 2);
    EXPECT_EQ(form->AfComPort1->BaudRate(), TAfBaudrate::br19200);
    EXPECT_EQ(QSettings("Brask", "Vorkal").value("Speed").toInt(), 2);
    EXPECT_TRUE(waitUntilShownConnected());

    // The display takes the command but goes quiet: the selections fall back.
    form->ComboBox3->setCurrentIndex(3);
    display->setMute(true);
    shortenReplyTimeoutsForSilence();
    form->Button8->click();
    EXPECT_EQ(messages().value(1), "Failed to change BaudRate\r\nReturned to 19200 baud");
    EXPECT_EQ(form->ComboBox2->currentIndex(), 2);
    EXPECT_EQ(form->ComboBox3->currentIndex(), 2);
    EXPECT_EQ(QSettings("Brask", "Vorkal").value("Speed").toInt(), 2);
    // The port is back at the speed that worked, where a display that did not change
    // is found again.
    EXPECT_EQ(form->AfComPort1->BaudRate(), TAfBaudrate::br19200);
    display->setSpeedIndex(2);
    display->setMute(false);
    EXPECT_TRUE(waitUntilShownConnected());
}

// The display restarts at its factory speed after Load Defaults: the PC follows it.
TEST_F(WindowE2E, LoadDefaultsAfterSetBaudKeepsTheDisplay) {
    startDisplay(SimVariant::D84x48Log);
    ASSERT_NO_FATAL_FAILURE(connect());
    shortenSequencePauses();  // the tests above run both sequences with their own pauses
    form->ComboBox3->setCurrentIndex(2);
    form->Button8->click();
    ASSERT_EQ(messages().value(0), "New BaudRate is: 19200 baud");
    ASSERT_TRUE(waitUntilShownConnected());

    scripted.answers = {MsgAnswer::Yes};
    form->Button7->click();
    EXPECT_EQ(messages().value(1), "Return to Defaults Succes !");
    EXPECT_TRUE(display->waitFor([&] { return display->speedIndex() == 0; }, 5000));
    EXPECT_EQ(form->AfComPort1->BaudRate(), TAfBaudrate::br57600);
    EXPECT_EQ(form->ComboBox2->currentIndex(), 0);
    EXPECT_EQ(form->ComboBox3->currentIndex(), 0);
    EXPECT_EQ(QSettings("Brask", "Vorkal").value("Speed").toInt(), 0);
    EXPECT_TRUE(waitUntilShownConnected());
}

TEST_F(WindowE2E, DisplaySpeedListShowsTheSpeedTheDisplayAnswersAt) {
    startDisplay(SimVariant::D84x48Log, 2);
    QSettings("Brask", "Vorkal").setValue("Speed", 2);
    ASSERT_NO_FATAL_FAILURE(connect());
    EXPECT_EQ(form->ComboBox3->currentIndex(), 2);
    EXPECT_EQ(form->ComboBox3->currentText(), "19200");
}

TEST_F(WindowE2E, ClearLogInSeparateMemoryAndInTheImage) {
    // Separate log memory: every record goes out as 0xFF.
    startDisplay(SimVariant::D84x48Log);
    display->setLogMemory(std::vector<uint8_t>(32768, 0x11));
    ASSERT_NO_FATAL_FAILURE(connect());
    form->config.logLoaded = true;
    scripted.answers = {MsgAnswer::Yes};
    form->Button9->click();
    EXPECT_TRUE(messages().isEmpty()) << messages().join(" | ").toStdString();
    const std::vector<uint8_t> log = display->logMemory();
    EXPECT_TRUE(std::all_of(log.begin(), log.begin() + 512 * 16, [](uint8_t b) { return b == 0xFF; }));
    EXPECT_TRUE(std::all_of(log.begin() + 512 * 16, log.end(), [](uint8_t b) { return b == 0x11; }));
    EXPECT_FALSE(form->config.logLoaded);
    TearDown();

    // Log inside the configuration image: blocks from the layout area on, bytes up to
    // 503 cleared, and the image in memory as the display now holds it.
    startDisplay(SimVariant::D84x48);
    ASSERT_NO_FATAL_FAILURE(connect());
    shortenSequencePauses();
    EXPECT_FALSE(form->config.separateLog);
    ASSERT_NO_FATAL_FAILURE(read());
    ASSERT_EQ(form->config.layoutAreaLength(), 135);
    const auto imageBefore = form->config.image;
    const auto displayBefore = displayConfig();
    scripted.answers = {MsgAnswer::Yes};
    form->Button9->click();
    EXPECT_TRUE(messages().isEmpty()) << messages().join(" | ").toStdString();
    for (int i = 0; i < 1024; ++i) {
        const uint8_t expected = i >= 135 && i <= 503 ? uint8_t(0xFF) : imageBefore[size_t(i)];
        ASSERT_EQ(form->config.image[size_t(i)], expected) << "byte " << i;
    }
    const auto after = displayConfig();
    for (int i = 0; i < 512; ++i) {
        const uint8_t expected = i < 128                ? displayBefore[size_t(i)]  // blocks 0..7 untouched
                                 : i >= 135 && i <= 503 ? uint8_t(0xFF)
                                                        : imageBefore[size_t(i)];
        ASSERT_EQ(after[size_t(i)], expected) << "byte " << i;
    }
}

TEST_F(WindowE2E, CancelOrEscapeStopsARead) {
    for (const bool escape : {false, true}) {
        SCOPED_TRACE(escape ? "Esc" : "Cancel");
        startDisplay(SimVariant::D84x48Log);
        ASSERT_NO_FATAL_FAILURE(connect());
        display->setReplyDelayMs(20);
        const uint64_t start = display->counters().commands;
        QTimer presser;
        QObject::connect(&presser, &QTimer::timeout, [&] {
            if (display->counters().commands < start + 5 || !form->Form2->isVisible()) return;
            presser.stop();
            if (escape) QTest::keyClick(form->Form2, Qt::Key_Escape);
            else form->Form2->Button1->click();
        });
        presser.start(5);
        form->Button3->click();
        EXPECT_EQ(messages().value(0), "Error\r\nCanceled");
        EXPECT_FALSE(form->Form2->isVisible());
        EXPECT_LT(display->counters().commands - start, 32u);
        EXPECT_FALSE(form->config.configurationLoaded);
        EXPECT_TRUE(form->Timer2->isActive());
        scripted.shown.clear();
        TearDown();
    }
}

TEST_F(WindowE2E, FaultsGiveTheirErrorTexts) {
    struct Case {
        const char* what;
        bool polish;
        std::function<void(sim::VirtualDisplay&)> fault;
        std::function<void(TForm1&)> act;
        QString message;  // as written
        QString added;    // the lines after it
    };
    auto read = [](TForm1& f) { f.Button3->click(); };
    // A display that answers nothing: no reply is waited out at the program's length.
    auto mute = [this](sim::VirtualDisplay& d) {
        d.setMute(true);
        shortenReplyTimeoutsForSilence();
    };
    // The factory image stands for a loaded configuration (three layouts). A display
    // that cannot be read for the backup is written without one when the user says so.
    auto write = [this](TForm1& f) {
        f.config.LoadFactoryImage();
        scripted.answers = {MsgAnswer::Yes};
        f.Button4Click();
        scripted.answers.clear();
    };
    auto clearLog = [this](TForm1& f) {
        scripted.answers = {MsgAnswer::Yes};
        f.Button9->click();
    };
    // The lines added after the written texts; %1 is the backup made before the write.
    const QString checkEn =
        "Check that the display is switched on, that the speed (BAUD) matches the display's "
        "and that the cable is plugged in.";
    const QString checkPl = QString::fromUtf8(
        "Sprawdź, czy wyświetlacz jest włączony, czy prędkość (BAUD) zgadza "
        "się z prędkością wyświetlacza i czy kabel jest podłączony.");
    const QString restoreEn =
        "The display may now hold part of its old and part of the new settings. What it held "
        "before is in the backup %1: Import that file and Send it to restore it.";
    const QString restorePl = QString::fromUtf8(
        "Wyświetlacz może mieć teraz część starych i część nowych ustawień. Poprzednie są w kopii zapasowej %1: "
        "zaimportuj ten plik (Importuj) i wyślij go (Wyślij), aby je przywrócić.");
    const QString noBackupEn =
        "The display may now hold part of its old and part of the new settings, and no "
        "backup was made: Send the settings again.";
    const QString logEn = "The log in the display may now be cleared only in part: Clear Log In display again.";
    const QString logPl =
        QString::fromUtf8("Log w wyświetlaczu może być teraz skasowany tylko częściowo: skasuj logi ponownie.");
    const Case cases[] = {
        {"read timeout", false, mute, read, "Error\r\nTimeout !!!", checkEn},
        {"read timeout, Polish", true, mute, read, QString::fromUtf8("Błąd\r\nTimeout !!!"), checkPl},
        {"read CRC", false, [](auto& d) { d.setCorruptCheckBytes(-1); }, read, "Error\r\nCRC error !!!"},
        {"read CRC, Polish", true, [](auto& d) { d.setCorruptCheckBytes(-1); }, read,
         QString::fromUtf8("Błąd\r\nBłąd CRC !!!")},
        {"CRC once, then fine", false, [](auto& d) { d.setCorruptCheckBytes(3); }, read, QString()},
        {"write refused", false, [](auto& d) { d.setRefuseWrites(-1); }, write,
         "Sending record 1 Failed !!!\r\nWrite error !!!", restoreEn},
        {"write refused, Polish", true, [](auto& d) { d.setRefuseWrites(-1); }, write,
         QString::fromUtf8("Wysyłanie rekordu 1 Nieudane !!!\r\nBłąd zapisu !!!"), restorePl},
        {"write refused ten times", false, [](auto& d) { d.setRefuseWrites(10); }, write, QString()},
        // The backup read found no display either, and the user went on without a backup.
        {"write timeout", false, mute, write, "Sending record 1 Failed !!!\r\nTimeout.", checkEn + "\r\n" + noBackupEn},
        {"log write refused", false, [](auto& d) { d.setRefuseWrites(-1); }, clearLog,
         "Sending record 1 Failed !!!\r\nWrite error.", logEn},
        {"log write refused, Polish", true, [](auto& d) { d.setRefuseWrites(-1); }, clearLog,
         QString::fromUtf8("Wysłanie rekordu 1 Nieudane !!!\r\nBłąd zapisu."), logPl},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QSettings("Brask", "Vorkal").setValue("Lang", c.polish ? 1 : 0);
        startDisplay(SimVariant::D84x48Log);
        ASSERT_NO_FATAL_FAILURE(connect());
        shortenSequencePauses();
        if (c.polish) {
            EXPECT_EQ(form->StaticText5->text(), QString::fromUtf8("Połączony"));
        }
        c.fault(*display);
        c.act(*form);
        const QStringList shown = messages();
        if (c.message.isEmpty()) EXPECT_TRUE(shown.isEmpty()) << shown.join(" | ").toStdString();
        else if (c.added.isEmpty()) EXPECT_EQ(shown.value(0), c.message);
        else EXPECT_EQ(shown.value(0), c.message + "\r\n" + QString(c.added).arg(form->backups().lastPath()));
        int backupQuestions = 0;
        for (const auto& q : scripted.shown) {
            if (q.kind == "yesno" && q.text.startsWith("The display could not be read for a backup")) {
                ++backupQuestions;
                EXPECT_TRUE(q.text.endsWith("Overwrite it without a backup?\r\n\r\n" + checkEn))
                    << q.text.toStdString();
            }
        }
        EXPECT_EQ(backupQuestions, QString(c.what) == "write timeout" ? 1 : 0);
        if (c.added.contains("%1")) {
            EXPECT_TRUE(QFile::exists(form->backups().lastPath())) << form->backups().lastPath().toStdString();
        }
        scripted.shown.clear();
        TearDown();
    }
}

TEST_F(WindowE2E, LogBlockReadsOnBothVariants) {
    for (const SimVariant v : {SimVariant::D84x48Log, SimVariant::D128x64}) {
        startDisplay(v);
        std::vector<uint8_t> log(32768);
        for (size_t i = 0; i < log.size(); ++i) log[i] = uint8_t(i * 7 + i / 256);
        display->setLogMemory(log);
        ASSERT_NO_FATAL_FAILURE(connect());
        form->Timer2->stop();
        const bool wide = v == SimVariant::D128x64;
        const int size = wide ? 128 : 16;
        for (int block : {0, 1, 9, wide ? 255 : 511}) {
            ASSERT_EQ(form->session().ReadLogBlock(block), QString()) << block;
            EXPECT_TRUE(std::equal(log.begin() + size * block, log.begin() + size * (block + 1),
                                   form->config.logImage.begin() + size * block))
                << block;
        }
        display->setLogReadErrors(-1);
        EXPECT_EQ(form->session().ReadLogBlock(3), "EEPROM Error !!!");
        TearDown();
    }
}

TEST_F(WindowE2E, ADisplayThatStopsAnsweringTurnsDisconnected) {
    startDisplay(SimVariant::D84x48Log);
    ASSERT_NO_FATAL_FAILURE(connect());
    display->setMute(true);
    EXPECT_TRUE(waitFor([this] { return form->StaticText5->text() == "Disconnected"; }, 5000));
    EXPECT_FALSE(form->Button3->isEnabled());
    EXPECT_FALSE(form->StaticText6->isVisible());
    EXPECT_TRUE(form->AfComPort1->IsOpen());
    display->setMute(false);
    EXPECT_TRUE(waitUntilShownConnected());

    // A line that goes away closes the port; the window waits for it to come back.
    display->hangUp();
    EXPECT_TRUE(waitFor([this] { return !form->AfComPort1->IsOpen(); }, 3000));
    EXPECT_TRUE(waitFor([this] { return form->StaticText5->text() == "Disconnected"; }, 2000));
    EXPECT_TRUE(form->waitingForLostPort());
    EXPECT_EQ(form->Button5->text(), "Close");
}

TEST_F(WindowE2E, OpenFailureAsksRetryOrCancel) {
    // No display registered under the stored port: Retry once, then Cancel.
    form = std::make_unique<TForm1>();
    form->show();
    form->selectedPort = 7;
    scripted.answers = {MsgAnswer::Retry, MsgAnswer::Cancel};
    form->Button5->click();
    ASSERT_EQ(scripted.shown.size(), 2u);
    for (const auto& s : scripted.shown) {
        EXPECT_EQ(s.kind, "retrycancel");
        // The written text, then why: nothing is behind COM7.
        EXPECT_TRUE(
            s.text.startsWith("  Can't open port COM7\r\n\r\nCheck COM/USB cable and click \"Retry\" or\r\n"
                              "Click \"Cancel\" for change port number\r\n\r\n"))
            << s.text.toStdString();
        EXPECT_TRUE(s.text.contains("There is no serial device at /dev/ttyS6 (COM7)")) << s.text.toStdString();
        EXPECT_EQ(s.icon, MsgIcon::Warning);
    }
    EXPECT_FALSE(form->AfComPort1->IsOpen());
    EXPECT_FALSE(QSettings("Brask", "Vorkal").contains("Port"));

    // Retry after the cable is plugged in opens the port without another click.
    struct PlugInOnRetry : ScriptedDialogs {
        std::function<void()> plugIn;
        MsgAnswer askRetryCancel(const QString& title, const QString& text, MsgIcon icon) override {
            ScriptedDialogs::askRetryCancel(title, text, icon);
            if (plugIn) std::exchange(plugIn, nullptr)();
            return MsgAnswer::Retry;
        }
    } plugging;
    DialogsGuard pluggingGuard(&plugging);
    plugging.plugIn = [this] { startDisplay(SimVariant::D84x48Log); };
    form->RadioGroup6->setItemIndex(1);  // Polish
    form->selectedPort = kCom;
    form->Button5->click();
    ASSERT_EQ(plugging.shown.size(), 1u);
    EXPECT_TRUE(plugging.shown[0].text.startsWith(
        QString::fromUtf8("  Nie można otworzyć portu COM42\r\n\r\nSprawdź kabel COM/USB i kliknij \"Retry\" lub\r\n"
                          "Kliknij \"Cancel\" aby zmienić numer portu\r\n\r\n")))
        << plugging.shown[0].text.toStdString();
    EXPECT_TRUE(plugging.shown[0].text.contains(QString::fromUtf8("Pod /dev/ttyUSB9 (COM42) nie ma urządzenia")))
        << plugging.shown[0].text.toStdString();
    EXPECT_TRUE(form->AfComPort1->IsOpen());
    EXPECT_EQ(form->Button5->text(), QString::fromUtf8("Zamknij"));
    // Nothing was selected in the list, so the refreshed number 0 is what is stored.
    EXPECT_EQ(QSettings("Brask", "Vorkal").value("Port").toInt(), 0);
}
