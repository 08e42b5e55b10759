#pragma once
// What the log view shows, without widgets: the log table's rows, rebuilt only when
// what they are made of changed, and the flights and figures the track window draws
// from those rows.

#include <QByteArray>
#include <QList>
#include <QString>

#include "config_image.h"
#include "log_flights.h"
#include "log_table.h"

namespace vorkal {

class LogViewModel {
public:
    // Rebuilds the rows from the current log source; false when everything they are
    // built from is as it was (a Receive that leaves the log as it was need not rebuild
    // two thousand rows).
    bool refresh(const ConfigImage& config, bool polish, const QString& decimalSeparator);

    // Header row first, as the table shows and the export writes them.
    const LogTableCells& rows() const { return rows_; }
    // Changes whenever the rows were rebuilt.
    int revision() const { return revision_; }
    const QString& decimalSeparator() const { return decimalSeparator_; }

    // The flights of the rows and the figures of each, worked out once per revision.
    const QList<FlightRows>& flights() const;
    const QList<FlightFigures>& figures() const;

private:
    static QByteArray sourceKey(const ConfigImage& config, bool polish, const QString& decimalSeparator);

    LogTableCells rows_;
    QByteArray source_;
    QString decimalSeparator_ = QStringLiteral(".");
    int revision_ = 0;
    mutable int flightsRevision_ = -1;
    mutable QList<FlightRows> flights_;
    mutable QList<FlightFigures> figures_;
};

}  // namespace vorkal
