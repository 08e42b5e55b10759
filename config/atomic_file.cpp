#include "atomic_file.h"

#include "trace_log.h"

namespace vorkal {

bool WriteFileAtomically(const QString& path, const QByteArray& bytes, QString* error) {
    QString reason;
    const bool written = ReplaceFileWhole(path, bytes, &reason);
    if (written)
        qCInfo(lcFiles).noquote() << "wrote" << path << "(" << bytes.size() << "bytes)";
    else
        qCInfo(lcFiles).noquote() << "could not write" << path << ":" << reason;
    if (error) *error = reason;
    return written;
}

}  // namespace vorkal
