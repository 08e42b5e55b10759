#pragma once
// Backups of the display's configuration, kept before anything overwrites it: ordinary
// settings files in a folder of their own, named by date, time and variant, of which
// the newest few are kept.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <array>

#include "config_image.h"

namespace vorkal {

constexpr int kBackupsKept = 50;

// backups/ in the user's data folder of the program.
QString DisplayBackupFolder();

// The settings file of a display image: the display's image bytes as the variant
// exchanges them, then the log image of `config` as an export would write it, so that
// Import reads the file back.
QByteArray BackupFileBytes(const ConfigImage& config, const std::array<uint8_t, kImageSize>& displayImage);

struct BackupWrite {
    QString path;   // the new backup; on failure the file, or the folder, that could not be written
    QString error;  // the system's reason, empty on success
    bool ok() const { return error.isEmpty(); }
};

// Writes `bytes` as a new backup in `folder` (created when missing), named after `when`
// and the variant, and removes all but the newest `keep` backups there. A backup that
// cannot be written whole leaves no file behind and removes no older backup.
BackupWrite WriteDisplayBackup(const QString& folder, const QByteArray& bytes, DisplayVariant variant,
                               const QDateTime& when, int keep = kBackupsKept);

// The backups in `folder`, newest first (other files are not counted).
QStringList DisplayBackups(const QString& folder);

}  // namespace vorkal
