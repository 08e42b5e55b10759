#pragma once
// Backups of the display, kept before Send or Load Defaults overwrite it and before Clear
// Log erases its log. Knows what the display holds as far as this connection has seen it
// (read, nothing written since), reads the display first when it does not, writes the
// backup file and keeps the newest few. It asks nobody: the result says what the caller
// has to ask or tell.

#include <QDateTime>
#include <QString>
#include <array>
#include <functional>

#include "config_image.h"
#include "display_backup.h"

namespace vorkal {

class DisplayBackupKeeper {
public:
    // Reads the display's configuration into its argument; returns an error text.
    using Reader = std::function<QString(std::array<uint8_t, kImageSize>&)>;
    using Clock = std::function<QDateTime()>;

    DisplayBackupKeeper(const ConfigImage& config, Reader readDisplay, QString folder = DisplayBackupFolder(),
                        Clock clock = &QDateTime::currentDateTime);

    // ---- What the display holds -------------------------------------------------------
    // A Receive of this connection read `image` (before showing it corrected anything).
    void displayRead(const std::array<uint8_t, kImageSize>& image);
    // Something was written to the display, or the connection changed: it may hold
    // anything now.
    void displayChanged() { known_ = false; }
    // The display was told to show `layout`; it keeps that in the layout byte.
    void displayShowsLayout(int layout);
    bool displayKnown() const { return known_; }
    const std::array<uint8_t, kImageSize>& displayImage() const { return image_; }

    // ---- Before the display is overwritten --------------------------------------------
    struct Result {
        enum class Kind {
            Written,     // the backup is in `path`: go on
            ReadFailed,  // the display could not be read (`error`): ask before overwriting
            WriteFailed  // no backup in `folder` (`error`): send nothing
        } kind;
        QString error;
        QString path;
    };
    // Reads the display first unless its image is known, then writes the backup. After
    // a backup the display is taken as about to be written.
    Result backUp();

    // ---- Before the display's log is cleared ------------------------------------------
    // This connection holds the display's log: downloaded from its log memory, or, where
    // the log lives in the configuration, read with it and nothing written since.
    bool logKnown() const { return config_.separateLog ? config_.logLoaded : known_; }
    // Keeps the log this connection holds (call it only when logKnown()), beside the
    // display's configuration when that is known, else the one shown. The display is not
    // read for it: keeping the log sends nothing. Written or WriteFailed.
    Result backUpLog();

    const QString& folder() const { return folder_; }
    const QString& lastPath() const { return lastPath_; }

private:
    // The backup file of `configuration` with the log the program holds; keeps the newest few.
    Result write(const std::array<uint8_t, kImageSize>& configuration);

    const ConfigImage& config_;
    Reader read_;
    QString folder_;
    Clock clock_;
    std::array<uint8_t, kImageSize> image_{};
    bool known_ = false;
    QString lastPath_;
};

}  // namespace vorkal
