#pragma once
// Files written whole or not at all: settings files, log exports, pictures and the
// backups of the display. Every file the program writes goes through here.

#include <QByteArray>
#include <QString>

namespace vorkal {

// Writes `bytes` to a new file in the folder of `path`, checking every write, syncs it
// to the disk and only then renames it over `path`, so a failure (a full disk, a
// write error, a folder that cannot be written) leaves any earlier file byte for byte
// as it was and leaves no temporary file behind. On failure returns false with the
// system's reason in `error` (such as "No space left on device").
bool WriteFileAtomically(const QString& path, const QByteArray& bytes, QString* error);

// The system's own part of it (atomic_file_posix.cpp, atomic_file_win32.cpp).
bool ReplaceFileWhole(const QString& path, const QByteArray& bytes, QString* error);

}  // namespace vorkal
