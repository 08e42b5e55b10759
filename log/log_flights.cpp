#include "log_flights.h"

#include "log_export.h"

#include <QTime>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace vorkal {

namespace {

enum Column { kColTime = 1, kColLatitude = 2, kColLongitude = 3, kColHeight = 5, kColSpeed = 6, kColRssi = 8 };

constexpr double kEarthRadiusMetres = 6371008.8;  // mean radius
constexpr double kRadiansPerDegree = M_PI / 180.0;

// A whole cell of a plain ASCII number, read without the locale machinery of
// QString::toDouble, which costs more than the rest of a row together.
template <class T>
std::optional<T> asciiNumber(QStringView text) {
    char buffer[32];
    if (text.isEmpty() || text.size() >= qsizetype(sizeof buffer)) return std::nullopt;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].unicode() > 127) return std::nullopt;
        buffer[i] = char(text[i].unicode());
    }
    T value{};
    const auto [end, error] = std::from_chars(buffer, buffer + text.size(), value);
    if (error != std::errc() || end != buffer + text.size()) return std::nullopt;
    return value;
}

// The number in front of a unit suffix, as in "215m", "30kph" or "07%".
std::optional<int> numberBefore(const QString& cell, int suffixLength) {
    if (cell.size() <= suffixLength) return std::nullopt;
    return asciiNumber<int>(QStringView(cell).chopped(suffixLength));
}

// A longitude step taken the short way round, in degrees within -180..180.
double longitudeStep(double from, double to) {
    double step = std::fmod(to - from, 360.0);
    if (step > 180) step -= 360;
    if (step < -180) step += 360;
    return step;
}

template <class T>
void keepLowest(std::optional<T>& slot, T value) {
    if (!slot || value < *slot) slot = value;
}
template <class T>
void keepHighest(std::optional<T>& slot, T value) {
    if (!slot || value > *slot) slot = value;
}

QString withSeparator(double value, int decimals, const QString& decimalSeparator) {
    QString text = QString::number(value, 'f', decimals);
    text.replace(QLatin1Char('.'), decimalSeparator);
    return text;
}

QString distanceText(double metres, const QString& decimalSeparator) {
    if (metres < 1000) return QString::number(std::lround(metres)) + QLatin1Char('m');
    return withSeparator(metres / 1000, 2, decimalSeparator) + QLatin1String("km");
}

QString optionalText(const std::optional<int>& value, const QString& unit) {
    return value ? QString::number(*value) + unit : QStringLiteral("-");
}

}  // namespace

bool LogRowIsEmptySlot(const QStringList& row) {
    for (int c = 1; c < kLogColumns; ++c)
        if (!row.value(c).isEmpty()) return false;
    return true;
}

QList<LogFlight> SplitLogFlights(const LogTableCells& cells) {
    QList<LogFlight> flights;
    int previousSeconds = 100000;  // the first row always begins a flight
    for (qsizetype r = cells.size() - 1; r >= 1; --r) {
        const QStringList& row = cells[r];
        // An empty slot would read as time 0 and start an empty flight.
        if (LogRowIsEmptySlot(row)) continue;
        const int t = LogRowSeconds(row);
        if (flights.isEmpty() || t < previousSeconds || t > previousSeconds + 60) flights.append(LogFlight{int(r), {}});
        flights.last().rows.append(int(r));
        previousSeconds = t;
    }
    return flights;
}

LogRowValues ReadLogRow(const LogTableCells& cells, int r) {
    const QStringList& row = cells[r];
    LogRowValues v;
    v.row = r;
    v.timeText = row.value(kColTime);
    v.seconds = LogRowSeconds(row);
    // The numbers exactly as the KML export writes them. Its "0.00000" test on the whole
    // line comes to the same as testing each number, as the text holds no comma.
    const QString lonText = KmlCoordinateText(row.value(kColLongitude), QLatin1Char('W'));
    const QString latText = KmlCoordinateText(row.value(kColLatitude), QLatin1Char('S'));
    static const QString noFix = QStringLiteral("0.00000");
    const std::optional<double> lon = asciiNumber<double>(lonText);
    const std::optional<double> lat = asciiNumber<double>(latText);
    v.longitude = lon.value_or(0);
    v.latitude = lat.value_or(0);
    v.hasPosition = lon && lat && !lonText.contains(noFix) && !latText.contains(noFix) && std::abs(v.latitude) <= 90 &&
                    std::abs(v.longitude) <= 180;
    v.height = numberBefore(row.value(kColHeight), 1);
    v.speed = numberBefore(row.value(kColSpeed), 3);
    v.rssi = numberBefore(row.value(kColRssi), 1);
    return v;
}

QList<FlightRows> ReadLogFlights(const LogTableCells& cells) {
    QList<FlightRows> result;
    for (const LogFlight& flight : SplitLogFlights(cells)) {
        FlightRows f{flight, {}};
        f.rows.reserve(flight.rows.size());
        for (int r : flight.rows) f.rows.append(ReadLogRow(cells, r));
        result.append(f);
    }
    return result;
}

double GreatCircleMetres(double lat1, double lon1, double lat2, double lon2) {
    const double p1 = lat1 * kRadiansPerDegree, p2 = lat2 * kRadiansPerDegree;
    const double dp = p2 - p1;
    const double dl = longitudeStep(lon1, lon2) * kRadiansPerDegree;
    const double a =
        std::sin(dp / 2) * std::sin(dp / 2) + std::cos(p1) * std::cos(p2) * std::sin(dl / 2) * std::sin(dl / 2);
    return 2 * kEarthRadiusMetres * std::asin(std::sqrt(std::min(1.0, a)));
}

FlightFigures ComputeFlightFigures(const FlightRows& flight) {
    FlightFigures fig;
    if (flight.rows.isEmpty()) return fig;
    fig.startTime = flight.rows.first().timeText;
    // The split never lets time run backward inside a flight.
    fig.durationSeconds = flight.rows.last().seconds - flight.rows.first().seconds;
    const LogRowValues* first = nullptr;
    const LogRowValues* previous = nullptr;
    for (const LogRowValues& row : flight.rows) {
        if (row.rssi) keepLowest(fig.lowestRssi, *row.rssi);
        if (!row.hasPosition) continue;
        ++fig.positions;
        if (!first) first = &row;
        if (previous)
            fig.distanceMetres +=
                GreatCircleMetres(previous->latitude, previous->longitude, row.latitude, row.longitude);
        fig.farthestMetres = std::max(
            fig.farthestMetres, GreatCircleMetres(first->latitude, first->longitude, row.latitude, row.longitude));
        previous = &row;
        if (row.height) {
            keepHighest(fig.highest, *row.height);
            keepLowest(fig.lowest, *row.height);
        }
        if (row.speed) keepHighest(fig.topSpeed, *row.speed);
    }
    return fig;
}

QStringList FlightFiguresHeader(bool polish) {
    if (polish)
        return {QStringLiteral("Start"),        QStringLiteral("Czas lotu"), QStringLiteral("Trasa"),
                QStringLiteral("Najdalej"),     QStringLiteral("Najwyżej"),  QStringLiteral("Najniżej"),
                QStringLiteral("Maks. prędk."), QStringLiteral("Min. RSSI")};
    return {QStringLiteral("Start"),     QStringLiteral("Duration"),   QStringLiteral("Distance"),
            QStringLiteral("Farthest"),  QStringLiteral("Highest"),    QStringLiteral("Lowest"),
            QStringLiteral("Top speed"), QStringLiteral("Lowest RSSI")};
}

QStringList FormatFlightFigures(const FlightFigures& f, const QString& decimalSeparator) {
    const QString duration = QTime(0, 0).addSecs(f.durationSeconds).toString(QStringLiteral("H:mm:ss"));
    const bool located = f.positions > 0;
    QString rssi = QStringLiteral("-");
    if (f.lowestRssi) rssi = QStringLiteral("%1%").arg(*f.lowestRssi, 2, 10, QLatin1Char('0'));
    return {f.startTime,
            duration,
            located ? distanceText(f.distanceMetres, decimalSeparator) : QStringLiteral("-"),
            located ? distanceText(f.farthestMetres, decimalSeparator) : QStringLiteral("-"),
            optionalText(f.highest, QStringLiteral("m")),
            optionalText(f.lowest, QStringLiteral("m")),
            optionalText(f.topSpeed, QStringLiteral("kph")),
            rssi};
}

ProjectedTrack ProjectFlights(const QList<FlightRows>& flights) {
    ProjectedTrack track;
    double latitudeSum = 0;
    int count = 0;
    const LogRowValues* reference = nullptr;
    for (const FlightRows& f : flights)
        for (const LogRowValues& row : f.rows)
            if (row.hasPosition) {
                latitudeSum += row.latitude;
                ++count;
                if (!reference) reference = &row;
            }
    const double meanLatitude = count ? latitudeSum / count : 0;
    const double metresPerDegree = kEarthRadiusMetres * kRadiansPerDegree;
    const double eastScale = metresPerDegree * std::cos(meanLatitude * kRadiansPerDegree);

    double minX = std::numeric_limits<double>::max(), minY = minX;
    double maxX = std::numeric_limits<double>::lowest(), maxY = maxX;
    for (const FlightRows& f : flights) {
        QList<TrackPoint> points;
        for (const LogRowValues& row : f.rows) {
            if (!row.hasPosition) continue;
            const QPointF m(longitudeStep(reference->longitude, row.longitude) * eastScale,
                            (row.latitude - meanLatitude) * metresPerDegree);
            points.append(TrackPoint{row.row, m, row.height});
            minX = std::min(minX, m.x()), maxX = std::max(maxX, m.x());
            minY = std::min(minY, m.y()), maxY = std::max(maxY, m.y());
            if (row.height) {
                keepLowest(track.lowestHeight, *row.height);
                keepHighest(track.highestHeight, *row.height);
            }
        }
        track.flights.append(points);
    }
    track.hasPoints = count > 0;
    if (track.hasPoints) track.bounds = QRectF(QPointF(minX, minY), QPointF(maxX, maxY));
    return track;
}

TrackFrame::TrackFrame(const QRectF& bounds, const QSizeF& picture, double margin)
    : centreMetres_(bounds.center()), centrePixel_(picture.width() / 2, picture.height() / 2) {
    const double width = std::max(1.0, picture.width() - 2 * margin);
    const double height = std::max(1.0, picture.height() - 2 * margin);
    // A single point or a straight east-west / north-south line has no extent on one axis.
    const double sx = bounds.width() > 0 ? width / bounds.width() : std::numeric_limits<double>::infinity();
    const double sy = bounds.height() > 0 ? height / bounds.height() : std::numeric_limits<double>::infinity();
    scale_ = std::min(sx, sy);
    if (!std::isfinite(scale_)) scale_ = 1;
}

QPointF TrackFrame::toPixel(const QPointF& m) const {
    return {centrePixel_.x() + (m.x() - centreMetres_.x()) * scale_,
            centrePixel_.y() - (m.y() - centreMetres_.y()) * scale_};
}

int NearestTrackRow(const ProjectedTrack& track, const TrackFrame& frame, const QPointF& pixel, double radius) {
    int best = -1;
    double bestDistance = radius * radius;
    for (const QList<TrackPoint>& flight : track.flights)
        for (const TrackPoint& p : flight) {
            const QPointF d = frame.toPixel(p.metres) - pixel;
            const double distance = d.x() * d.x() + d.y() * d.y();
            if (distance <= bestDistance) {
                bestDistance = distance;
                best = p.row;
            }
        }
    return best;
}

}  // namespace vorkal
