#include "display_backup.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <algorithm>
#include <filesystem>
#include <system_error>

#include "atomic_file.h"
#include "settings_file.h"

namespace vorkal {

namespace {

// "2026-12-10_14-05-09-123_128x64.set", with "_2" and up before the extension when two
// backups fall in the same millisecond. The time first, so names sort by age.
const QRegularExpression& backupName() {
    static const QRegularExpression re(
        QStringLiteral("^\\d{4}-\\d{2}-\\d{2}_\\d{2}-\\d{2}-\\d{2}-\\d{3}_(84x48|128x64)(_\\d+)?\\.set$"));
    return re;
}

// Names sort by time; among equal times the counter decides.
bool newerFirst(const QString& a, const QString& b) {
    const qsizetype stamp = 23;  // length of the date and time part
    if (a.left(stamp) != b.left(stamp)) return a.left(stamp) > b.left(stamp);
    auto counter = [](const QString& name) {
        const qsizetype variantEnd = name.indexOf('x', 24);
        const qsizetype extra = name.indexOf('_', variantEnd);
        return extra < 0 ? 1 : name.mid(extra + 1, name.size() - extra - 5).toInt();
    };
    return counter(a) > counter(b);
}

}  // namespace

QString DisplayBackupFolder() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)).filePath("backups");
}

QByteArray BackupFileBytes(const ConfigImage& config, const std::array<uint8_t, kImageSize>& displayImage) {
    QByteArray bytes = SettingsFileBytes(config);
    const int imagePart = config.is128x64() ? kImageSize : 512;
    std::copy_n(reinterpret_cast<const char*>(displayImage.data()), imagePart, bytes.begin());
    return bytes;
}

QStringList DisplayBackups(const QString& folder) {
    QStringList names;
    for (const QString& name : QDir(folder).entryList(QDir::Files))
        if (backupName().match(name).hasMatch()) names << name;
    std::sort(names.begin(), names.end(), newerFirst);
    return names;
}

BackupWrite WriteDisplayBackup(const QString& folder, const QByteArray& bytes, DisplayVariant variant,
                               const QDateTime& when, int keep) {
    BackupWrite result;
    std::error_code made;
    std::filesystem::create_directories(QFile::encodeName(folder).toStdString(), made);
    if (made) {
        result.path = folder;
        result.error = QString::fromLocal8Bit(made.message());
        return result;
    }
    QDir dir(folder);
    const QString base =
        when.toString("yyyy-MM-dd_HH-mm-ss-zzz") + (variant == DisplayVariant::D128x64 ? "_128x64" : "_84x48");
    QString name = base + ".set";
    for (int n = 2; dir.exists(name); ++n) name = QStringLiteral("%1_%2.set").arg(base).arg(n);

    result.path = dir.filePath(name);
    if (!WriteFileAtomically(result.path, bytes, &result.error)) return result;

    const QStringList backups = DisplayBackups(folder);
    for (qsizetype i = std::max(keep, 1); i < backups.size(); ++i) dir.remove(backups[i]);
    return result;
}

}  // namespace vorkal
