#include "log_table.h"

#include "log_record.h"

#include <algorithm>

namespace vorkal {

QStringList LogTableHeader(bool polish) {
    if (polish)
        return {QStringLiteral("Lp."),          QStringLiteral("Czas"),    QStringLiteral("Szer. geogr."),
                QStringLiteral("Dług. geogr."), QStringLiteral("Kurs"),    QStringLiteral("Wysok."),
                QStringLiteral("Predk."),       QStringLiteral("Odległ."), QStringLiteral("RSSI")};
    return {QStringLiteral("No."),       QStringLiteral("Time"),     QStringLiteral("Latitude"),
            QStringLiteral("Longitude"), QStringLiteral("Course"),   QStringLiteral("Height"),
            QStringLiteral("Speed"),     QStringLiteral("Distance"), QStringLiteral("RSSI")};
}

LogTableCells BuildLogTable(const ConfigImage& config, bool polish, const QString& decimalSeparator) {
    const LogSource source = SelectLogSource(config);
    const int last = source.slotCount - 1;
    const NewestLogRecord found = FindNewestLogRecord(source, last);
    const int dataRows = std::max(found.count, kMinLogDataRows);

    LogTableCells cells;
    cells.reserve(dataRows + 1);
    cells.append(LogTableHeader(polish));
    int slot = found.newest;
    for (int row = 1; row <= dataRows; ++row) {
        const LogRecord rec = last >= 0 ? DecodeLogRecord(source, slot) : LogRecord{};
        cells.append({QString::number(row), FormatLogTime(rec), FormatLogLatitude(rec, decimalSeparator),
                      FormatLogLongitude(rec, decimalSeparator), FormatLogCourse(rec), FormatLogHeight(rec),
                      FormatLogSpeed(rec), FormatLogDistance(rec), FormatLogRssi(rec)});
        slot = slot == 0 ? last : slot - 1;
    }
    return cells;
}

}  // namespace vorkal
