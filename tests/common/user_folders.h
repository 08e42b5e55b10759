#pragma once
// Points the program's preferences (in either settings format) and its port directory at
// folders of the test's own.

#include <QSettings>
#include <QString>

namespace vorkal {

inline void UseTestFolders(const QString& settingsDir, const QString& portDir) {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir);
    qputenv("VORKAL_PORT_DIR", portDir.toUtf8());
}

}  // namespace vorkal
