#include "atomic_file.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <windows.h>

namespace vorkal {

namespace {

QString systemReason(DWORD error) {
    wchar_t* text = nullptr;
    ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    QString reason = text ? QString::fromWCharArray(text).trimmed() : QStringLiteral("error %1").arg(error);
    if (text) ::LocalFree(text);
    while (reason.endsWith(QLatin1Char('.'))) reason.chop(1);
    return reason;
}

// Reports the failing call's reason and removes the unfinished temporary file.
bool fail(DWORD error, HANDLE file, const std::wstring& temporary, QString* reason) {
    if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
    if (!temporary.empty()) ::DeleteFileW(temporary.c_str());
    if (reason) *reason = systemReason(error);
    return false;
}

}  // namespace

// As on POSIX: a temporary file beside the target, every write checked, flushed to the
// disk, then moved over the target in one step.
bool ReplaceFileWhole(const QString& path, const QByteArray& bytes, QString* error) {
    const QFileInfo info(path);
    const std::wstring target = QDir::toNativeSeparators(info.absoluteFilePath()).toStdWString();
    const QString folder = QDir::toNativeSeparators(info.absolutePath());
    const QString name = info.fileName().left(200);

    std::wstring temporary;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
        temporary = (folder + QLatin1Char('\\') + QLatin1Char('.') + name + QLatin1Char('.') +
                     QString::number(QRandomGenerator::global()->generate(), 36) + QStringLiteral(".tmp"))
                        .toStdWString();
        file = ::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (file == INVALID_HANDLE_VALUE) return fail(::GetLastError(), file, {}, error);

    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        DWORD written = 0;
        const DWORD chunk = DWORD(std::min<qsizetype>(left, 1 << 20));
        if (!::WriteFile(file, data, chunk, &written, nullptr)) return fail(::GetLastError(), file, temporary, error);
        if (written == 0) return fail(ERROR_WRITE_FAULT, file, temporary, error);
        data += written;
        left -= written;
    }
    // The data must be on the disk before the name points at it.
    if (!::FlushFileBuffers(file)) return fail(::GetLastError(), file, temporary, error);
    if (!::CloseHandle(file)) return fail(::GetLastError(), INVALID_HANDLE_VALUE, temporary, error);
    if (!::MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return fail(::GetLastError(), INVALID_HANDLE_VALUE, temporary, error);
    return true;
}

}  // namespace vorkal
