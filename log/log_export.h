#pragma once
// Export of the log table's cells to a comma-separated text file, a KML track file or a
// GPX track file. Text and KML are Windows-1250 bytes with CR LF line ends; GPX is UTF-8.

#include "atomic_file.h"  // the exports are written with WriteFileAtomically
#include "log_table.h"

#include <QByteArray>
#include <QDate>
#include <QString>

namespace vorkal {

// Filter indexes of the save dialog.
enum LogExportFormat : int { kExportText = 1, kExportKml = 2, kExportExtrudedKml = 3, kExportGpx = 4 };

QByteArray ExportLogText(const LogTableCells& cells);
// One track per flight, oldest row first; rows of empty slots are skipped, and so is a
// flight none of whose rows has a fix.
QByteArray ExportLogKml(const LogTableCells& cells, bool extruded);
// GPX 1.1: one track of one segment per flight (flights as in KML), a point per row with
// a position. The log knows only the time of day, so every point's time is on `date`.
QByteArray ExportLogGpx(const LogTableCells& cells, const QDate& date);
// Picks the format by the dialog's filter index (anything else gives text); `gpxDate`
// is used only by GPX.
QByteArray ExportLog(const LogTableCells& cells, int filterIndex, const QDate& gpxDate = QDate());

// Time of day of a table row in seconds, from its time cell "hh:mm:ss".
int LogRowSeconds(const QStringList& row);
// A coordinate cell such as 19.93812°W as a signed KML number: -19.93812.
QString KmlCoordinateText(const QString& cell, QChar negativeLetter);
// The KML coordinate line of a table row: five spaces, then lon,lat[,alt].
QString BuildKmlCoordinates(const QStringList& row);

}  // namespace vorkal
