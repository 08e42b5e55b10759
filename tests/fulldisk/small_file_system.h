#pragma once
// A small tmpfs for tests of what the program does when a file system is full or
// read-only. The test process enters a mount namespace of its own first
// (EnterPrivateMountNamespace, from main), so the mount is seen by nobody else and
// goes away with the process even when a test dies.

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace vorkal::testing {

// Moves the process into a mount namespace of its own: directly as root, through a
// user namespace otherwise. Must run before any thread starts. Returns why it could not,
// empty on success.
QString EnterPrivateMountNamespace();
// The reason EnterPrivateMountNamespace gave in this process (empty: namespace entered).
QString& MountNamespaceUnavailable();

class SmallFileSystem {
public:
    ~SmallFileSystem();
    // Mounts a tmpfs of `bytes` on a new empty folder. Returns why not, empty on success.
    QString mount(qint64 bytes);
    QString path() const { return folder_.path(); }
    QString filePath(const QString& name) const { return folder_.filePath(name); }

    // Takes every free byte with a filler file, until a one-byte write to a new file
    // fails for want of space. Returns why that did not work, empty on success.
    QString fill();
    // Removes the filler again.
    void release();
    // Makes the file system read-only, or writable again. Returns why not, empty on success.
    QString setReadOnly(bool readOnly);

    // Every entry below `folder` (relative to the root of the file system), hidden
    // ones included, the filler left out: sorted relative paths.
    QStringList entries(const QString& folder = QString()) const;

private:
    QTemporaryDir folder_;
    bool mounted_ = false;
};

}  // namespace vorkal::testing
