#pragma once
// A virtual display process on its own port directory, and vorkal-cli runs against it
// with their own preferences and data folders.

#include <gtest/gtest.h>
#include <signal.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>

namespace vorkal::testing {

struct CliRun {
    int exitCode = -1;  // -2: crashed, -1: did not end
    QString out, err;
};

class VirtualDisplayProcess {
public:
    VirtualDisplayProcess(const QString& portDir, const QString& stateDir, int com, const QStringList& extra) {
        process_.setProcessChannelMode(QProcess::SeparateChannels);
        process_.start(
            VORKAL_VIRTUAL_DISPLAY,
            QStringList{"--com", QString::number(com), "--port-dir", portDir, "--state-dir", stateDir} + extra);
        // It says which port it registered once the port is there.
        QByteArray said;
        while (!said.contains("Virtual display") && process_.waitForReadyRead(10000))
            said += process_.readAllStandardOutput();
        ready_ = said.contains("Virtual display");
    }
    ~VirtualDisplayProcess() { stop(); }
    bool ready() const { return ready_; }
    // What it wrote on standard error (its --trace), once it has ended.
    QByteArray standardError() { return process_.readAllStandardError(); }
    // Ends the display; it writes its state files on the way out.
    void stop() {
        if (process_.state() == QProcess::NotRunning) return;
        process_.terminate();
        if (!process_.waitForFinished(10000)) process_.kill();
        process_.waitForFinished();
    }

private:
    QProcess process_;
    bool ready_ = false;
};

class CliTest : public ::testing::Test {
protected:
    static constexpr int kCom = 7;

    void SetUp() override {
        ASSERT_TRUE(home_.isValid());
        for (const char* d : {"ports", "config", "data", "files"}) QDir(home_.path()).mkpath(d);
    }

    QString path(const QString& name) const { return home_.filePath(name); }
    QString file(const QString& name) const { return home_.filePath("files/" + name); }
    QString backupFolder() const { return path("data/VorkalConfig/backups"); }
    QStringList backups() const { return QDir(backupFolder()).entryList({"*.set"}, QDir::Files, QDir::Name); }

    // Starts the virtual display as COM7 with `extra` options (variant, faults).
    void startDisplay(const QStringList& extra = {"--variant", "128"}) {
        // A fresh memory each time: a display of an earlier case may have stored another
        // speed or variant.
        stateDir_ = path(QString("state%1").arg(++displays_));
        QDir().mkpath(stateDir_);
        display_ = std::make_unique<VirtualDisplayProcess>(path("ports"), stateDir_, kCom, extra);
        ASSERT_TRUE(display_->ready());
    }
    // Ends the display and returns its --trace lines.
    QStringList stopDisplayAndReadTrace() {
        display_->stop();
        return QString::fromUtf8(display_->standardError()).split('\n', Qt::SkipEmptyParts);
    }
    // The display's settings memory as it wrote it on exit.
    QByteArray stopDisplayAndReadConfig() {
        display_->stop();
        QFile f(stateDir_ + "/config.bin");
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("VORKAL_PORT_DIR", path("ports"));
        env.insert("XDG_CONFIG_HOME", path("config"));
        env.insert("XDG_DATA_HOME", path("data"));
        if (!dataHome_.isEmpty()) env.insert("XDG_DATA_HOME", dataHome_);
        return env;
    }

    // Starts vorkal-cli; the caller waits.
    void start(QProcess& p, QStringList args, bool withPort = true) {
        if (withPort) args << "--port" << QString("COM%1").arg(kCom);
        p.setProcessEnvironment(environment());
        p.start(VORKAL_CLI, args);
    }

    // A 128 x 64 display whose every reply is late, and a receive from it that has
    // reported 10 %: surely running. `err` holds what it wrote on standard error so far.
    void startSlowReceive(QProcess& p, QByteArray& err) {
        startDisplay({"--variant", "128", "--reply-delay", "60"});
        start(p, {"receive", file("r.set")});
        p.setReadChannel(QProcess::StandardError);
        while (!err.contains("10%") && p.waitForReadyRead(10000)) err += p.readAllStandardError();
        ASSERT_TRUE(err.contains("10%")) << err.toStdString();
    }

    CliRun run(const QStringList& args, bool withPort = true) {
        QProcess p;
        start(p, args, withPort);
        return finish(p);
    }

    static CliRun finish(QProcess& p) {
        CliRun r;
        if (!p.waitForFinished(90000)) {
            p.kill();
            p.waitForFinished();
            return r;
        }
        r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
        r.out = QString::fromUtf8(p.readAllStandardOutput());
        r.err = QString::fromUtf8(p.readAllStandardError());
        return r;
    }

    void storePreference(const char* name, int value) {
        QSettings store(path("config/Brask/Vorkal.conf"), QSettings::NativeFormat);
        store.setValue(name, value);
    }

    static QByteArray readFile(const QString& name) {
        QFile f(name);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static bool writeFile(const QString& name, const QByteArray& bytes) {
        QFile f(name);
        return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
    }

    QTemporaryDir home_;
    QString dataHome_;
    QString stateDir_;
    int displays_ = 0;
    std::unique_ptr<VirtualDisplayProcess> display_;
};

inline std::string Describe(const CliRun& r) {
    return QString("exit %1\nstdout:\n%2\nstderr:\n%3").arg(r.exitCode).arg(r.out, r.err).toStdString();
}

}  // namespace vorkal::testing
