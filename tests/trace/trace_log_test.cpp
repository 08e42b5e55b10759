#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "trace_log.h"

namespace vorkal {
namespace {

QString ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

TEST(TraceBytes, ShowsEachByteOnceAndUnambiguously) {
    const struct {
        QByteArray bytes;
        const char* shown;
    } cases[] = {
        {"v1.23+\r\n", "v1.23+"},                      // a line: its end is left out
        {"\xF1r0\r\n", "<F1>r0"},                      // the command prefix byte
        {"AB\n", "AB"},                                 // LF alone ends a line too
        {QByteArray("\x00\x0D\x0A\x41", 4), "<00><0D><0A>A"},  // CR LF inside a frame are bytes
        {"\x7F\xFF", "<7F><FF>"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(TraceBytes(c.bytes), QString(c.shown)) << c.shown;
}

TEST(TraceFile, OffUntilStartedAndAfterStopped) {
    EXPECT_FALSE(lcSerial().isDebugEnabled());
    EXPECT_FALSE(lcProtocol().isInfoEnabled());
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QString error;
    ASSERT_TRUE(StartTraceFile(dir.filePath("t.log"), &error)) << error.toStdString();
    EXPECT_TRUE(lcSerial().isDebugEnabled());
    EXPECT_TRUE(lcBoot().isInfoEnabled());
    qCInfo(lcFiles) << "first";
    StopTraceFile();
    EXPECT_FALSE(lcSerial().isDebugEnabled());
    qCInfo(lcFiles) << "second";
    const QString written = ReadAll(dir.filePath("t.log"));
    EXPECT_TRUE(written.contains(" files: first\n")) << written.toStdString();
    EXPECT_FALSE(written.contains("second")) << written.toStdString();
}

TEST(TraceFile, KeepsTwoPartsAtMostAndTheNewestLines) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("t.log");
    const qint64 part = 4096;
    QString error;
    ASSERT_TRUE(StartTraceFile(path, &error, part)) << error.toStdString();
    for (int i = 0; i < 1000; ++i) qCDebug(lcSerial).noquote() << "-> line" << i;
    StopTraceFile();
    const QString newest = ReadAll(path), before = ReadAll(path + ".1");
    EXPECT_LE(QFileInfo(path).size(), part);
    EXPECT_LE(QFileInfo(path + ".1").size(), part);
    EXPECT_GT(QFileInfo(path + ".1").size(), part / 2) << "the older part was not full when it was put aside";
    EXPECT_TRUE(newest.endsWith("serial: -> line 999\n")) << newest.right(200).toStdString();
    // The parts join without a gap: the older one ends with the line before the newer one's first.
    const QString firstNew = newest.section('\n', 0, 0).section("line ", 1);
    const QString lastOld = before.trimmed().section('\n', -1).section("line ", 1);
    EXPECT_EQ(lastOld.toInt() + 1, firstNew.toInt());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 2);
}

TEST(TraceFile, AFolderThatIsNotThereSaysWhy) {
    QTemporaryDir dir;
    QString error;
    EXPECT_FALSE(StartTraceFile(dir.filePath("missing/t.log"), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(lcSerial().isDebugEnabled());
}

}  // namespace
}  // namespace vorkal
