#pragma once
// The main window, headless, connected over a pseudo-terminal to an in-process virtual
// display, with firmware images written as Intel HEX files.

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include "af_com_port.h"
#include "dialogs.h"
#include "firmware_files.h"
#include "form1.h"
#include "form2.h"
#include "qt_printers.h"
#include "virtual_display.h"

namespace vorkal::testing {

// Scripted answers, plus an action run while a given message is on screen (the user
// doing something before clicking OK).
class UserDialogs : public ScriptedDialogs {
public:
    std::function<void(const QString& text)> onMessage;
    void showMessage(const QString& title, const QString& text, MsgIcon icon) override {
        ScriptedDialogs::showMessage(title, text, icon);
        if (onMessage) onMessage(text);
    }
};

class UpdateFixture : public ::testing::Test {
protected:
    static constexpr int kCom = 43;

    void SetUp() override {
        ASSERT_TRUE(settingsDir.isValid());
        ASSERT_TRUE(portDir.isValid());
        ASSERT_TRUE(files.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
        qputenv("VORKAL_PORT_DIR", portDir.path().toUtf8());
    }
    void TearDown() override {
        form.reset();
        if (display) display->stop();
    }

    static bool waitFor(const std::function<bool()>& done, int ms = 5000) {
        QElapsedTimer t;
        t.start();
        while (!done() && t.elapsed() < ms) QTest::qWait(5);
        return done();
    }

    void startDisplay(int blockSize, bool pace = false) {
        sim::VirtualDisplayOptions o;
        o.portDir = portDir.path().toStdString();
        o.comNumber = kCom;
        o.bootBlockSize = blockSize;
        o.pace = pace;
        o.version = "v1.23";
        if (qEnvironmentVariableIsSet("VORKAL_TRACE"))
            o.trace = [](const std::string& line) { fprintf(stderr, "sim: %s\n", line.c_str()); };
        display = std::make_unique<sim::VirtualDisplay>(o);
        std::string error;
        ASSERT_TRUE(display->start(&error)) << error;
    }

    // Shows the window, picks COM`com` from the port list and presses Open.
    void openPort(int com = kCom) {
        form = std::make_unique<TForm1>();
        form->show();
        form->ComboBox4DropDown();
        const int i = form->ComboBox4->findText(QString("COM%1").arg(com));
        ASSERT_GE(i, 0) << "COM" << com << " is not in the port list";
        form->ComboBox4->setCurrentIndex(i);
        form->ComboBox4Click();
        form->Button5->click();
        ASSERT_TRUE(form->AfComPort1->IsOpen());
    }

    // Opens the display's port and waits until the poll has its version line.
    void connect() {
        ASSERT_NO_FATAL_FAILURE(openPort());
        ASSERT_TRUE(waitFor([this] { return form->firmwareVersion.startsWith("v1.23"); }));
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
        EXPECT_FALSE(form->bootReceiveMode);
        EXPECT_TRUE(form->Timer2->isActive());
        EXPECT_FALSE(form->Timer1->isActive());
        EXPECT_TRUE(form->Form2->Button1->isEnabled());
        EXPECT_FALSE(form->Form2->isVisible());
    }

    QStringList messages() const { return scripted.messages(); }
    // Flash bytes 0 .. n-1 of the display.
    std::vector<uint8_t> flashHead(size_t n) const {
        const auto flash = display->flash();
        return std::vector<uint8_t>(flash.begin(), flash.begin() + qsizetype(std::min(n, flash.size())));
    }

    QTemporaryDir settingsDir, portDir, files;
    UserDialogs scripted;
    DialogsGuard guard{&scripted};
    std::unique_ptr<sim::VirtualDisplay> display;
    std::unique_ptr<TForm1> form;
};

}  // namespace vorkal::testing
