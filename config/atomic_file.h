#pragma once
// Files written whole or not at all: settings files and log exports.

#include <QByteArray>
#include <QString>

namespace vorkal {

// Writes through a temporary file that replaces `path` only when complete, so a
// failed write leaves any earlier file untouched. On failure returns false with the
// system's reason in `error`.
bool WriteFileAtomically(const QString& path, const QByteArray& bytes, QString* error);

}  // namespace vorkal
