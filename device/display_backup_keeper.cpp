#include "display_backup_keeper.h"

#include <utility>

namespace vorkal {

DisplayBackupKeeper::DisplayBackupKeeper(const ConfigImage& config, Reader readDisplay, QString folder, Clock clock)
    : config_(config), read_(std::move(readDisplay)), folder_(std::move(folder)), clock_(std::move(clock)) {}

void DisplayBackupKeeper::displayRead(const std::array<uint8_t, kImageSize>& image) {
    image_ = image;
    known_ = true;
}

void DisplayBackupKeeper::displayShowsLayout(int layout) {
    // The display keeps its current layout in bits 0-2 of the layout byte.
    if (known_) image_[kLayoutByte] = uint8_t((image_[kLayoutByte] & 0xF8) | (layout & 7));
}

DisplayBackupKeeper::Result DisplayBackupKeeper::backUp() {
    if (!known_) {
        // Bytes a small display does not exchange stay as the program has them.
        std::array<uint8_t, kImageSize> image = config_.image;
        const QString error = read_(image);
        if (!error.isEmpty()) return {Result::Kind::ReadFailed, error, {}};
        displayRead(image);
    }
    const Result result = write(image_);
    if (result.kind == Result::Kind::Written) known_ = false;  // the caller writes to the display next
    return result;
}

DisplayBackupKeeper::Result DisplayBackupKeeper::backUpLog() { return write(known_ ? image_ : config_.image); }

DisplayBackupKeeper::Result DisplayBackupKeeper::write(const std::array<uint8_t, kImageSize>& configuration) {
    const BackupWrite written = WriteDisplayBackup(folder_, BackupFileBytes(config_, configuration),
                                                   config_.variant(), clock_(), kBackupsKept);
    if (!written.ok()) return {Result::Kind::WriteFailed, written.error, written.path};
    lastPath_ = written.path;
    return {Result::Kind::Written, {}, written.path};
}

}  // namespace vorkal
