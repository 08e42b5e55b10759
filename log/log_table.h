#pragma once
// The log table's texts: header row and data rows, newest record first.

#include "config_image.h"

#include <QList>
#include <QStringList>

namespace vorkal {

constexpr int kLogColumns = 9;
// The table shows at least this many data rows, numbered even when empty.
constexpr int kMinLogDataRows = 15;

// Row 0 is the header row; every row has kLogColumns cells. The export reads the
// same shape back from the table.
using LogTableCells = QList<QStringList>;

QStringList LogTableHeader(bool polish);

// Fills the whole table from the current log source, walking backward through the
// ring from the newest record.
LogTableCells BuildLogTable(const ConfigImage& config, bool polish, const QString& decimalSeparator);

}  // namespace vorkal
