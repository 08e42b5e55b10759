#include "settings_file.h"

#include <QFile>

#include <algorithm>

#include "trace_log.h"

namespace vorkal {

namespace {

int imagePartSize(qint64 fileSize) { return fileSize == kSettingsFile128x64Log ? kImageSize : 512; }

}  // namespace

bool IsSettingsFileSize(qint64 size) {
    return size == kSettingsFile84x48 || size == kSettingsFile84x48Log || size == kSettingsFile128x64Log;
}

bool SettingsFileHasLayouts(const QByteArray& file) {
    return file.size() > kLayoutByte && (uint8_t(file[kLayoutByte]) >> 4) != 0;
}

DisplayVariant LoadSettingsFile(ConfigImage& config, const QByteArray& file) {
    if (!IsSettingsFileSize(file.size())) return config.variant();
    const auto* bytes = reinterpret_cast<const uint8_t*>(file.constData());
    const int imagePart = imagePartSize(file.size());
    std::copy_n(bytes, imagePart, config.image.begin());
    const qint64 logPart = file.size() - imagePart;
    std::copy_n(bytes + imagePart, logPart, config.logImage.begin());
    config.separateLog = logPart > 0;
    return file.size() == kSettingsFile128x64Log ? DisplayVariant::D128x64 : DisplayVariant::D84x48;
}

QByteArray SettingsFileBytes(const ConfigImage& config) {
    const int imagePart = config.is128x64() ? kImageSize : 512;
    const int logPart = config.separateLog ? (config.is128x64() ? kLogImageSize : 8192) : 0;
    QByteArray out(reinterpret_cast<const char*>(config.image.data()), imagePart);
    out.append(reinterpret_cast<const char*>(config.logImage.data()), logPart);
    return out;
}

namespace {
SettingsFileRead ReadSettingsFileUntraced(const QString& fileName) {
    SettingsFileRead read;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        read.status = SettingsFileRead::Status::Unreadable;
        read.error = file.errorString();
        return read;
    }
    read.size = file.size();
    if (!IsSettingsFileSize(read.size)) {
        read.status = SettingsFileRead::Status::WrongSize;
        return read;
    }
    read.bytes = file.read(read.size);
    if (read.bytes.size() != read.size) {
        read.status = SettingsFileRead::Status::Unreadable;
        if (file.error() != QFileDevice::NoError) read.error = file.errorString();
        read.bytes.clear();
        return read;
    }
    if (!SettingsFileHasLayouts(read.bytes)) read.status = SettingsFileRead::Status::NoLayouts;
    return read;
}
}  // namespace

SettingsFileRead ReadSettingsFile(const QString& fileName) {
    SettingsFileRead read = ReadSettingsFileUntraced(fileName);
    qCInfo(lcFiles).noquote() << "read settings file" << fileName << ":" << read.size << "bytes, status"
                              << int(read.status) << read.error;
    return read;
}

}  // namespace vorkal
