#pragma once
// The main window connected to an in-process virtual display, with firmware images
// written as Intel HEX files.

#include <QFile>
#include <vector>

#include "../device/device_fixture.h"
#include "byte_port.h"
#include "firmware_files.h"

namespace vorkal::testing {

class UpdateFixture : public WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        ASSERT_TRUE(files.isValid());
    }

    void startDisplay(int blockSize, bool pace = false) {
        sim::VirtualDisplayOptions o = displayOptions();
        o.bootBlockSize = blockSize;
        o.pace = pace;
        o.version = "v1.23";
        WindowFixture::startDisplay(o);
    }

    // Opens the display's port and waits until the poll has its version line.
    void connect() {
        ASSERT_NO_FATAL_FAILURE(openPort());
        // The poll's first tick, half a second on, sends the version query: taken at once.
        form->Timer2Timer();
        ASSERT_TRUE(waitFor([this] { return form->session().firmwareVersion.startsWith("v1.23"); }));
    }

    // For tests that check messages and data rather than how long an update takes: the
    // pause before each end-of-data command is cut short and the image streams pace
    // themselves on a line sixteen times the port's speed (the displays here take bytes
    // as fast as they come). Handshake steps and reply time-outs keep the program's values.
    void shortenUpdateWaits() {
        FirmwareUpdate::Waits& waits = form->firmwareUpdate().waits;
        waits.streamEndPauseMs = 5;
        waits.lineBaud = 16 * form->session().port().baudRate();
    }

    QString writeFile(const QString& name, const QByteArray& content) {
        const QString path = files.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
        return path;
    }

    // Chooses `path` in the open dialog and answers the confirmation with `answer`.
    void script(const QString& path, MsgAnswer answer = MsgAnswer::Yes) {
        scripted.fileAnswers.push_back({path, 1});
        scripted.answers.push_back(answer);
    }

    // The update has left everything as it found it.
    void expectIdleAfterwards() {
        EXPECT_FALSE(form->session().bootReceiveMode);
        EXPECT_TRUE(form->Timer2->isActive());
        EXPECT_FALSE(form->Timer1->isActive());
        EXPECT_TRUE(form->Form2->Button1->isEnabled());
        EXPECT_FALSE(form->Form2->isVisible());
    }

    // Flash bytes 0 .. n-1 of the display.
    std::vector<uint8_t> flashHead(size_t n) const {
        const auto flash = display->flash();
        return std::vector<uint8_t>(flash.begin(), flash.begin() + qsizetype(std::min(n, flash.size())));
    }

    QTemporaryDir files;
};

}  // namespace vorkal::testing
