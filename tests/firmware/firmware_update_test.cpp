// Firmware updates from the main window against the virtual display's boot loader.

#include "update_fixture.h"
#include "firmware_update.h"

using namespace vorkal;
using namespace vorkal::testing;

namespace {

class WindowFirmwareUpdate : public UpdateFixture {
protected:
    // Runs a whole update of `image` and returns the messages it showed.
    QStringList update(const std::vector<uint8_t>& image) {
        script(writeFile("image.hex", ToHex(image)));
        form->Button11Click();
        return messages();
    }
};

}  // namespace

TEST_F(WindowFirmwareUpdate, ProgramsVerifiesAndRestartsTheDisplay) {
    struct Case {
        int blockSize;
        int length;
        const char* version;
    };
    // 5000 bytes end in a short block that is never acknowledged.
    for (const Case c : {Case{512, 5000, "v2.05"}, Case{1792, 15900, "v2.50"}}) {
        SCOPED_TRACE(c.blockSize);
        startDisplay(c.blockSize);
        ASSERT_NO_FATAL_FAILURE(connect());
        shortenUpdateWaits();
        scripted.shown.clear();
        const auto image = MakeFirmware(c.length, c.version, unsigned(c.blockSize));

        EXPECT_EQ(update(image), QStringList{"Update successfull !"});

        ASSERT_EQ(scripted.shown.size(), 3u);
        EXPECT_EQ(scripted.shown[0].kind, "open");
        EXPECT_EQ(scripted.shown[0].request.filter, "HEX file|*.hex");
        const auto& question = scripted.shown[1];
        EXPECT_EQ(question.kind, "yesno");
        EXPECT_EQ(question.title, "Confirm firmware update");
        EXPECT_EQ(question.text, QString("Current firmware version : v1.23     \r\nNew firmware version      : ") +
                                     c.version + "\r\n\r\nUpdate firmware ?");
        EXPECT_EQ(question.icon, MsgIcon::Question);
        EXPECT_EQ(question.defaultAnswer, MsgAnswer::No);

        EXPECT_EQ(flashHead(image.size()), image);
        EXPECT_EQ(display->counters().blocksAcknowledged, uint64_t(c.length / c.blockSize));
        EXPECT_EQ(form->firmwareUpdate().blockSize, c.blockSize);
        EXPECT_TRUE(display->waitFor([&] { return display->mode() == sim::DisplayMode::Firmware; }, 2000));
        EXPECT_EQ(display->versionLine().substr(0, 5), c.version);
        expectIdleAfterwards();
        // The status poll is back and reads the new version from the display.
        EXPECT_TRUE(waitFor([&] { return form->session().firmwareVersion.startsWith(c.version); }));
        TearDown();
    }
}

TEST_F(WindowFirmwareUpdate, FailuresEndWithTheirMessageAndLeaveTheDisplayInItsBootLoader) {
    struct Case {
        const char* name;
        int blockSize;
        int length;
        std::function<void(sim::VirtualDisplay&)> fault;
        QString message;
        bool programmed;  // bytes reached the flash before the failure
        uint64_t acknowledged;
    };
    const auto none = [](sim::VirtualDisplay&) {};
    const Case cases[] = {
        {"refused block", 512, 1300, [](sim::VirtualDisplay& d) { d.setRefuseBootBlocks(1); },
         "Error during programming !", true, 0},
        // Programming went through (two full blocks); the flash holds other bytes.
        {"verification", 512, 1300, [](sim::VirtualDisplay& d) { d.setCorruptFlash(true); }, "Veryfication error !",
         true, 2},
        // The written text, then the image's size against what the boot loader takes.
        {"too long for 512", 512, 15871, none,
         "Incompatible firmare !\r\nThe image holds 15871 bytes; this display's boot loader takes at most 15870 bytes.",
         false, 0},
        {"too short for 1792", 1792, 15899, none,
         "Incompatible firmare !\r\nThe image holds 15899 bytes; this display's boot loader takes 15900 to 32500 "
         "bytes: the file is firmware for the smaller processor.",
         false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        startDisplay(c.blockSize);
        ASSERT_NO_FATAL_FAILURE(connect());
        shortenUpdateWaits();
        scripted.shown.clear();
        const auto flashBefore = display->flash();
        const uint64_t startsBefore = display->counters().firmwareStarts;
        c.fault(*display);

        const QStringList shown = update(MakeFirmware(c.length, "v3.00"));
        ASSERT_EQ(shown.size(), 2);
        EXPECT_EQ(shown[0], c.message);
        // What to do next follows, saying whether the old firmware is still there.
        EXPECT_EQ(shown[1], StrandedDisplayHint(c.programmed, false));

        expectIdleAfterwards();
        EXPECT_EQ(display->flash() != flashBefore, c.programmed);
        EXPECT_EQ(display->counters().blocksAcknowledged, c.acknowledged);
        // Command 0x05 never went out: the display waits in its boot loader.
        EXPECT_EQ(display->mode(), sim::DisplayMode::BootLoader);
        EXPECT_EQ(display->counters().firmwareStarts, startsBefore);
        TearDown();
    }
}

// The whole update with the program's own waits: handshake steps up to the
// instructions, both streams at the port's speed and the pauses before their ends.
TEST_F(WindowFirmwareUpdate, PowerCycleAfterTheInstructionsLetsTheUpdateGoOn) {
    startDisplay(512);
    ASSERT_NO_FATAL_FAILURE(connect());
    // The display misses the reset; the user switches it off and on when told to.
    display->setMute(true);
    const QString instructions =
        "1. Turn off display power\r\n2. Click OK\r\n3. Reconnect display power\r\n4. Wait for end of update";
    scripted.onMessage = [&](const QString& text) {
        if (text != instructions) return;
        display->setMute(false);
        display->reset();
    };
    scripted.shown.clear();
    const auto image = MakeFirmware(700, "v4.10");

    EXPECT_EQ(update(image), (QStringList{instructions, "Update successfull !"}));
    EXPECT_EQ(flashHead(image.size()), image);
    expectIdleAfterwards();
}

TEST_F(WindowFirmwareUpdate, RefusedBeforeTheResetLeavesTheDisplayAlone) {
    struct Case {
        const char* name;
        QByteArray hex;  // empty: the open dialog is cancelled
        MsgAnswer answer;
        bool polish;
        QStringList messages;
    };
    auto marker = MakeFirmware(2000, "v1.00");
    std::copy_n("Vorka_", 6, marker.begin() + 0x40);
    auto lateMarker = MakeFirmware(2000, "v1.00");
    std::copy_n("Vorkal", 6, lateMarker.begin() + 996);  // its last letter is byte 1001
    std::copy_n("xxxxxx", 6, lateMarker.begin() + 0x40);
    // The written text, then what was looked for and not found.
    const QString notVorkal =
        "Loaded file is not right firmware\r\nfor Vorkal display !\r\nThe file's first 1001 "
        "bytes hold no \"Vorkal\" mark, which every firmware for this display carries: choose "
        "the .hex firmware file made for the Vorkal display.";
    // Made by avr-ld/avr-objcopy: the firmware at 0 and 64 bytes at 0x7E00, where the boot
    // loader of the 1792-byte-block processor lives and which is never programmed.
    QFile bootAreaFile(QStringLiteral(VORKAL_TEST_DATA "/hex/boot_area.hex"));
    ASSERT_TRUE(bootAreaFile.open(QIODevice::ReadOnly));
    const QByteArray bootArea = bootAreaFile.readAll();
    const Case cases[] = {
        {"dialog cancelled", {}, MsgAnswer::Yes, false, {}},
        {"data in the boot loader's area",
         bootArea,
         MsgAnswer::Yes,
         false,
         {"The file holds data in the boot loader's area, first at address 0x7E00.\r\n"
          "The boot loader cannot program it; nothing was sent to the display."}},
        {"data in the boot loader's area, Polish",
         bootArea,
         MsgAnswer::Yes,
         true,
         {QString::fromUtf8("Plik zawiera dane w obszarze programu ładującego, pierwsze pod adresem 0x7E00.\r\n"
                            "Program ładujący nie może ich zapisać; do wyświetlacza nic nie wysłano.")}},
        {"not confirmed", ToHex(MakeFirmware(2000, "v1.00")), MsgAnswer::No, false, {}},
        {"no marker", ToHex(marker), MsgAnswer::Yes, false, {notVorkal}},
        {"marker too late", ToHex(lateMarker), MsgAnswer::Yes, false, {notVorkal}},
        {"no marker, Polish",
         ToHex(marker),
         MsgAnswer::Yes,
         true,
         {QString::fromUtf8("Wczytany plik nie jest prawidłowym\r\noprogramowaniem do wyświetlacza Vorkal !\r\n"
                            "W pierwszych 1001 bajtach pliku nie ma znacznika \"Vorkal\", który ma każde "
                            "oprogramowanie tego wyświetlacza: wybierz plik .hex z oprogramowaniem do wyświetlacza "
                            "Vorkal.")}},
        {"not HEX", "hello\r\n", MsgAnswer::Yes, false, {"Error reading file\r\nThe file is not in HEX format"}},
        {"not HEX, Polish",
         "hello\r\n",
         MsgAnswer::Yes,
         true,
         {QString::fromUtf8("Błąd odczytu pliku\r\nPlik nie jest w formacie HEX")}},
        {"data above 64 KB",
         ToHex(MakeFirmware(64, "v1.00")) + ":020000040001F9\r\n",
         MsgAnswer::Yes,
         false,
         {"Error reading file\r\nLine 6: the extended address is 0001, but only 0000 is supported"}},
        {"data above 64 KB, Polish",
         ":020000040001F9\r\n",
         MsgAnswer::Yes,
         true,
         {QString::fromUtf8(
             "Błąd odczytu pliku\r\nWiersz 1: adres rozszerzony to 0001, a obsługiwany jest tylko 0000")}},
    };
    startDisplay(512);
    ASSERT_NO_FATAL_FAILURE(connect());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        scripted.shown.clear();
        form->languagePolish = c.polish;
        const uint64_t resetsBefore = display->counters().resets;
        if (c.hex.isEmpty()) scripted.fileAnswers.push_back({});
        else script(writeFile("file.hex", c.hex), c.answer);
        form->Button11Click();
        EXPECT_EQ(messages(), c.messages);
        EXPECT_EQ(display->counters().resets, resetsBefore);
        expectIdleAfterwards();
        scripted.answers.clear();
    }
    // The poll that was stopped and restored still talks to the firmware.
    EXPECT_EQ(display->mode(), sim::DisplayMode::Firmware);
}

// Files as toolchains write them (tests/data/hex): an extended address record of 0
// first, trailing blanks and blank lines, two sections with a gap that is programmed
// with the fill value.
TEST_F(WindowFirmwareUpdate, ToolchainFilesProgramTheDisplay) {
    QFile binary(QStringLiteral(VORKAL_TEST_DATA "/hex/firmware.bin"));
    ASSERT_TRUE(binary.open(QIODevice::ReadOnly));
    const QByteArray firmware = binary.readAll();
    struct Case {
        const char* file;
        bool polish;
        int length;
        int tailFrom, tailAt;  // where the second section lies, else the whole file is one piece
    };
    const Case cases[] = {{"srec_default.hex", false, 1300, 1300, 1300},
                          {"edited.hex", true, 1300, 1300, 1300},
                          {"two_sections.hex", false, 0x900, 512, 0x800}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        std::vector<uint8_t> expected(size_t(c.length), 0xFF);
        std::copy_n(firmware.constData(), c.tailFrom, expected.begin());
        std::copy_n(firmware.constData() + c.tailFrom, c.length - c.tailAt, expected.begin() + c.tailAt);
        startDisplay(512);
        ASSERT_NO_FATAL_FAILURE(connect());
        shortenUpdateWaits();
        form->languagePolish = c.polish;
        scripted.shown.clear();

        script(QStringLiteral(VORKAL_TEST_DATA "/hex/") + c.file);
        form->Button11Click();

        const QStringList shown = messages();
        EXPECT_EQ(shown, QStringList{c.polish ? QString::fromUtf8("Aktualizacja zakończona sukcesem !")
                                              : QStringLiteral("Update successfull !")});
        ASSERT_EQ(scripted.shown.size(), 3u);
        EXPECT_TRUE(scripted.shown[1].text.contains(" : v2.71\r\n")) << scripted.shown[1].text.toStdString();
        EXPECT_EQ(flashHead(expected.size()), expected);
        EXPECT_TRUE(display->waitFor([&] { return display->mode() == sim::DisplayMode::Firmware; }, 2000));
        EXPECT_EQ(display->versionLine().substr(0, 5), "v2.71");
        expectIdleAfterwards();
        TearDown();
    }
}

TEST_F(WindowFirmwareUpdate, NothingHappensWhileThePortIsClosed) {
    form = std::make_unique<TForm1>();
    form->show();
    script(writeFile("image.hex", ToHex(MakeFirmware(1000, "v1.00"))));
    const bool pollRunning = form->Timer2->isActive();
    form->Button11Click();
    EXPECT_TRUE(scripted.shown.empty());
    EXPECT_EQ(form->Timer2->isActive(), pollRunning);
}

// After a failed update the user is told how to get the display back, and the next Open
// finds it once it has been switched off and on.
TEST_F(WindowFirmwareUpdate, AStrandedDisplayIsFoundAgainAfterPowerCycleAndOpen) {
    struct Case {
        const char* name;
        bool polish;
        int length;  // too long for block size 512: refused before programming
        std::function<void(sim::VirtualDisplay&)> fault;
        QString hintPart;
    };
    const Case cases[] = {
        {"incompatible", false, 15871, [](sim::VirtualDisplay&) {},
         "Switch the display off and on again, then press Open"},
        {"incompatible, Polish", true, 15871, [](sim::VirtualDisplay&) {},
         QString::fromUtf8("Wyłącz i włącz zasilanie wyświetlacza")},
        {"refused block", false, 1300, [](sim::VirtualDisplay& d) { d.setRefuseBootBlocks(1); },
         "run the firmware update once more"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        startDisplay(512);
        ASSERT_NO_FATAL_FAILURE(connect());
        shortenUpdateWaits();
        form->languagePolish = c.polish;
        scripted.shown.clear();
        c.fault(*display);
        QString statusBehindHint, portButtonBehindHint;
        scripted.onMessage = [&](const QString& text) {
            if (!text.contains(c.hintPart)) return;
            statusBehindHint = form->StaticText5->text();
            portButtonBehindHint = form->Button5->text();
        };
        const QStringList shown = update(MakeFirmware(c.length, "v3.00"));
        scripted.onMessage = nullptr;
        ASSERT_EQ(shown.size(), 2) << shown.join(" | ").toStdString();
        EXPECT_TRUE(shown[1].contains(c.hintPart)) << shown[1].toStdString();
        EXPECT_EQ(statusBehindHint, c.polish ? QString::fromUtf8("Odłączony") : "Disconnected");
        EXPECT_EQ(portButtonBehindHint, c.polish ? QString::fromUtf8("Otwórz") : "Open");
        EXPECT_EQ(display->mode(), sim::DisplayMode::BootLoader);
        expectIdleAfterwards();

        // The user switches the display off and on, and presses Open once it has started;
        // by then the poll has seen the port closed and starts its script again.
        display->setRefuseBootBlocks(0);
        display->reset();
        ASSERT_TRUE(waitFor([&] { return display->mode() == sim::DisplayMode::Firmware; }));
        ASSERT_TRUE(waitFor([&] { return form->Timer2->interval() == 100; }));
        form->Button5->click();
        ASSERT_TRUE(form->AfComPort1->IsOpen());
        // The poll finds it again: the old firmware where it was kept, or whatever starts
        // from the half-written flash.
        const bool firmwareKept = c.length > 15870;
        EXPECT_TRUE(waitFor(
            [&] {
                const QByteArray& version = form->session().firmwareVersion;
                return firmwareKept ? version.startsWith("v1.23") : !version.isEmpty();
            },
            8000));
        if (!firmwareKept) {
            // Half-programmed: the boot loader takes the next update, which puts things right.
            scripted.shown.clear();
            EXPECT_EQ(update(MakeFirmware(1300, "v3.10")), QStringList{"Update successfull !"});
            EXPECT_TRUE(waitFor([this] { return form->session().firmwareVersion.startsWith("v3.10"); }, 8000));
        }
        TearDown();
    }
}
