#pragma once
// Export of the log table's cells to a comma-separated text file or a KML track file.
// Output is Windows-1250 bytes with CR LF line ends.

#include "atomic_file.h"  // the exports are written with WriteFileAtomically
#include "log_table.h"

#include <QByteArray>
#include <QString>

namespace vorkal {

// Filter indexes of the save dialog.
enum LogExportFormat : int { kExportText = 1, kExportKml = 2, kExportExtrudedKml = 3 };

QByteArray ExportLogText(const LogTableCells& cells);
// One track per flight, oldest row first; rows of empty slots are skipped.
QByteArray ExportLogKml(const LogTableCells& cells, bool extruded);
// Picks the format by the dialog's filter index (anything else gives text).
QByteArray ExportLog(const LogTableCells& cells, int filterIndex);

// Time of day of a table row in seconds, from its time cell "hh:mm:ss".
int LogRowSeconds(const QStringList& row);
// The KML coordinate line of a table row: five spaces, then lon,lat[,alt].
QString BuildKmlCoordinates(const QStringList& row);

}  // namespace vorkal
