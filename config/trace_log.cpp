#include "trace_log.h"

#include <QDateTime>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>

namespace vorkal {

Q_LOGGING_CATEGORY(lcSerial, "vorkal.serial", QtWarningMsg)
Q_LOGGING_CATEGORY(lcProtocol, "vorkal.protocol", QtWarningMsg)
Q_LOGGING_CATEGORY(lcBoot, "vorkal.bootloader", QtWarningMsg)
Q_LOGGING_CATEGORY(lcFiles, "vorkal.files", QtWarningMsg)
Q_LOGGING_CATEGORY(lcMessages, "vorkal.messages", QtWarningMsg)

QString TraceBytes(const QByteArray& bytes) {
    static const char kHex[] = "0123456789ABCDEF";
    // The line's own end is left out; a CR or LF inside (a boot loader frame) is a byte.
    QByteArrayView shown(bytes);
    if (shown.endsWith("\r\n")) shown.chop(2);
    else if (shown.endsWith('\n') || shown.endsWith('\r')) shown.chop(1);
    QString text;
    text.reserve(shown.size());
    for (const char ch : shown) {
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 0x20 && c < 0x7F) {
            text += QChar(c);
        } else {
            text += '<';
            text += QChar(kHex[c >> 4]);
            text += QChar(kHex[c & 0xF]);
            text += '>';
        }
    }
    return text;
}

void TraceShown(const char* what, const QString& text) {
    if (!lcMessages().isInfoEnabled()) return;
    QString flat = text;
    flat.replace("\r\n", " | ").replace('\n', " | ");
    qCInfo(lcMessages).noquote() << what << flat;
}

namespace {

// The port's reader thread and the window both trace: one lock around the file.
struct TraceFile {
    QMutex mutex;
    QFile file;
    qint64 partBytes = kTracePartBytes;
    QtMessageHandler previous = nullptr;
    bool running = false;
};

TraceFile& Trace() {
    static TraceFile trace;
    return trace;
}

// The full part becomes FILE.1 (an older FILE.1 goes) and a new part starts.
void StartNewPart(TraceFile& t) {
    const QString path = t.file.fileName();
    t.file.close();
    QFile::remove(path + ".1");
    QFile::rename(path, path + ".1");
    t.file.setFileName(path);
    t.file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text);
}

void WriteTraceMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    TraceFile& t = Trace();
    const bool ours = context.category && qstrncmp(context.category, "vorkal.", 7) == 0;
    if (!ours) {
        if (t.previous) t.previous(type, context, message);
        return;
    }
    const QByteArray line = QDateTime::currentDateTime().toString(u"yyyy-MM-dd hh:mm:ss.zzz").toUtf8() + ' ' +
                            QByteArray(context.category + 7) + ": " + message.toUtf8() + '\n';
    QMutexLocker lock(&t.mutex);
    if (!t.file.isOpen()) return;
    if (t.file.size() + line.size() > t.partBytes) StartNewPart(t);
    // Written through at once: a trace is most wanted after a crash or a hang.
    t.file.write(line);
    t.file.flush();
}

}  // namespace

bool StartTraceFile(const QString& path, QString* error, qint64 partBytes) {
    TraceFile& t = Trace();
    {
        QMutexLocker lock(&t.mutex);
        t.file.close();
        t.file.setFileName(path);
        t.partBytes = partBytes;
        if (!t.file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
            if (error) *error = t.file.errorString();
            return false;
        }
    }
    if (!t.running) {
        t.previous = qInstallMessageHandler(WriteTraceMessage);
        t.running = true;
    }
    QLoggingCategory::setFilterRules(QStringLiteral("vorkal.*=true"));
    return true;
}

void StopTraceFile() {
    TraceFile& t = Trace();
    QLoggingCategory::setFilterRules(QString());
    if (t.running) {
        qInstallMessageHandler(t.previous);
        t.running = false;
    }
    QMutexLocker lock(&t.mutex);
    t.file.close();
}

}  // namespace vorkal
