#include "background_write.h"

#include <system_error>

#include "atomic_file.h"
#include "commands.h"

namespace vorkal::cli {

void BackgroundFileWrite::start(const QString& path, const QByteArray& bytes) {
    path_ = path;
    // The worker gets copies of its own: the session goes on with its image.
    auto write = [path, bytes] {
        Outcome o;
        o.written = WriteFileAtomically(path, bytes, &o.error);
        return o;
    };
    try {
        outcome_ = std::async(std::launch::async, write);
    } catch (const std::system_error&) {
        // No thread to be had: the file is written when it is waited for, as before.
        outcome_ = std::async(std::launch::deferred, write);
    }
}

bool BackgroundFileWrite::finish(bool polish) {
    if (!outcome_.valid()) return false;
    const Outcome o = outcome_.get();
    if (!o.written) PrintFileWriteError(path_, o.error, polish);
    return o.written;
}

}  // namespace vorkal::cli
