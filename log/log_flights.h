#pragma once
// Flights of the log table as the exports and the track picture see them, and the
// figures of each flight. Everything is read from the table's cells, so the picture,
// the figures and the files agree with what the table shows.

#include "log_table.h"

#include <QList>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <optional>

namespace vorkal {

// A row of an empty slot carries only its number.
bool LogRowIsEmptySlot(const QStringList& row);

// One flight: table rows of non-empty slots, oldest first. A new flight begins when a
// row's time is earlier than the previous row's or more than 60 s later.
struct LogFlight {
    int firstRow = 0;  // the row whose time names the flight
    QList<int> rows;
};
QList<LogFlight> SplitLogFlights(const LogTableCells& cells);

// The numbers of a table row.
struct LogRowValues {
    int row = 0;
    QString timeText;
    int seconds = 0;  // time of day
    // False for rows the KML export leaves out (a coordinate reading "0.00000") and for
    // coordinates no place on Earth has (a damaged record).
    bool hasPosition = false;
    double latitude = 0;                     // degrees, negative south
    double longitude = 0;                    // degrees, negative west
    std::optional<int> height, speed, rssi;  // absent in 9-byte records
};
LogRowValues ReadLogRow(const LogTableCells& cells, int row);

struct FlightRows {
    LogFlight flight;
    QList<LogRowValues> rows;  // every row of the flight, oldest first
};
QList<FlightRows> ReadLogFlights(const LogTableCells& cells);

// Great-circle distance in metres on a sphere of the Earth's mean radius.
double GreatCircleMetres(double lat1, double lon1, double lat2, double lon2);

// Position figures come from rows with a position; the lowest RSSI from every row,
// since the radio link does not depend on the fix.
struct FlightFigures {
    QString startTime;
    int durationSeconds = 0;
    int positions = 0;          // rows with a position
    double distanceMetres = 0;  // sum of the steps between consecutive positions
    double farthestMetres = 0;  // greatest distance from the first position
    std::optional<int> highest, lowest, topSpeed, lowestRssi;
};
FlightFigures ComputeFlightFigures(const FlightRows& flight);

// The figures as table cells: start, duration, distance, farthest, highest, lowest,
// top speed, lowest RSSI; "-" where a value is absent.
QStringList FlightFiguresHeader(bool polish);
QStringList FormatFlightFigures(const FlightFigures& figures, const QString& decimalSeparator);

// Positions projected to local metres: equirectangular around the mean latitude, x east
// of the first position and y north of the mean latitude. Longitude steps are taken the
// short way round, so a track across the 180th meridian stays in one piece.
struct TrackPoint {
    int row = 0;
    QPointF metres;
    std::optional<int> height;
};
struct ProjectedTrack {
    QList<QList<TrackPoint>> flights;  // one list per flight, same order as the flights
    QRectF bounds;                     // of every point, in metres
    std::optional<int> lowestHeight, highestHeight;
    bool hasPoints = false;
};
ProjectedTrack ProjectFlights(const QList<FlightRows>& flights);

// Metres to pixels: the bounds fitted into a picture with a margin, aspect kept,
// north up.
class TrackFrame {
public:
    TrackFrame(const QRectF& bounds, const QSizeF& picture, double margin);
    QPointF toPixel(const QPointF& metres) const;
    double pixelsPerMetre() const { return scale_; }

private:
    QPointF centreMetres_;
    QPointF centrePixel_;
    double scale_ = 1;
};

// The table row of the track point nearest to `pixel`, or -1 when none lies within
// `radius` pixels.
int NearestTrackRow(const ProjectedTrack& track, const TrackFrame& frame, const QPointF& pixel, double radius);

}  // namespace vorkal
