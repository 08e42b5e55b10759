#pragma once
// Settings files: a raw dump of the configuration image, followed by the log image when
// the display keeps its log in separate memory. The size alone tells the content.

#include <QByteArray>
#include <QString>

#include "config_image.h"

namespace vorkal {

constexpr qint64 kSettingsFile84x48 = 512;               // image bytes 0-511
constexpr qint64 kSettingsFile84x48Log = 512 + 8192;     // and log image bytes 0-8191
constexpr qint64 kSettingsFile128x64Log = 1024 + 32768;  // whole image and log image

// Whether import accepts a file of this size (a 1024-byte file is never accepted).
bool IsSettingsFileSize(qint64 size);

// Whether the image in an accepted file has at least one screen layout.
bool SettingsFileHasLayouts(const QByteArray& file);

// Takes an accepted file over into the configuration image, the log image and the
// separate-log flag (bytes beyond the file's image part are kept). Returns the variant
// the file belongs to; the caller sets it up.
DisplayVariant LoadSettingsFile(ConfigImage& config, const QByteArray& file);

// What export writes for the current variant and separate-log flag.
QByteArray SettingsFileBytes(const ConfigImage& config);

// A settings file read whole, before anything is taken over, so a failed read leaves
// the image as it was. Unreadable: `error` is the system's reason, empty when the file
// was shorter than its size.
struct SettingsFileRead {
    enum class Status { Ok, Unreadable, WrongSize, NoLayouts } status = Status::Ok;
    QByteArray bytes;
    qint64 size = 0;
    QString error;
};
SettingsFileRead ReadSettingsFile(const QString& fileName);

}  // namespace vorkal
