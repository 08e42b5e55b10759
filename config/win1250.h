#pragma once
// Windows-1250 (Central European) encoding of texts written to files and the line.

#include <QByteArray>
#include <QString>

namespace vorkal {

// One byte per character; a character the code page lacks becomes '?'.
QByteArray ToWindows1250(QStringView text);

}  // namespace vorkal
