#include "log_export.h"

#include "log_flights.h"
#include "win1250.h"

#include <algorithm>

namespace vorkal {

namespace {

const QLatin1String kCrLf("\r\n");

enum Column { kColTime = 1, kColLatitude = 2, kColLongitude = 3, kColHeight = 5 };

QString quotedCell(const QString& cell) {
    const bool needsQuotes = std::any_of(cell.begin(), cell.end(), [](QChar c) {
        return (c.unicode() >= 1 && c.unicode() <= 32) || c == QLatin1Char('"') || c == QLatin1Char(',');
    });
    if (!needsQuotes) return cell;
    QString inner = cell;
    inner.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + inner + QLatin1Char('"');
}

QString commaList(const QStringList& row) {
    QString line;
    for (int c = 0; c < kLogColumns; ++c) {
        if (c > 0) line += QLatin1Char(',');
        line += quotedCell(row.value(c));
    }
    return line;
}

QString xmlEscaped(const QString& text) { return text.toHtmlEscaped(); }

class KmlWriter {
public:
    explicit KmlWriter(bool extruded) : extruded_(extruded) {}

    void line(int indent, const QString& text) {
        out_ += QString(indent, QLatin1Char(' '));
        out_ += text;
        out_ += kCrLf;
    }

    void OpenKmlPlacemark(const QString& timeText) {
        if (placemarkOpen_) return;
        line(2, QStringLiteral("<Placemark>"));
        line(3, QStringLiteral("<name>Flight: ") + xmlEscaped(timeText) + QStringLiteral("</name>"));
        line(3, QStringLiteral("<styleUrl>#Vorkal_log-style</styleUrl>"));
        line(3, QStringLiteral("<LineString>"));
        line(3, QStringLiteral("<altitudeMode>absolute</altitudeMode>"));
        if (extruded_) line(3, QStringLiteral("<extrude>1</extrude>"));
        line(3, QStringLiteral("<tessellate>1</tessellate>"));
        line(4, QStringLiteral("<coordinates>"));
        placemarkOpen_ = true;
    }

    void CloseKmlPlacemark() {
        if (!placemarkOpen_) return;
        line(4, QStringLiteral("</coordinates>"));
        line(3, QStringLiteral("</LineString>"));
        line(2, QStringLiteral("</Placemark>"));
        placemarkOpen_ = false;
    }

    QString& text() { return out_; }

private:
    bool extruded_;
    bool placemarkOpen_ = false;
    QString out_;
};

}  // namespace

QString KmlCoordinateText(const QString& cell, QChar negativeLetter) {
    QString number = cell.chopped(std::min<qsizetype>(2, cell.size()));
    number.replace(QLatin1Char(','), QLatin1Char('.'));
    if (cell.endsWith(negativeLetter)) number.prepend(QLatin1Char('-'));
    return number;
}

int LogRowSeconds(const QStringList& row) {
    const QString time = row.value(kColTime);
    auto part = [&time](int from) {
        bool ok = false;
        const int v = QStringView(time).mid(from, 2).toInt(&ok);
        return ok ? v : 0;
    };
    return 3600 * part(0) + 60 * part(3) + part(6);
}

QString BuildKmlCoordinates(const QStringList& row) {
    QString line = QStringLiteral("     ") + KmlCoordinateText(row.value(kColLongitude), QLatin1Char('W')) +
                   QLatin1Char(',') + KmlCoordinateText(row.value(kColLatitude), QLatin1Char('S'));
    const QString height = row.value(kColHeight);
    // 9-byte records have no height: a two-value tuple, since a trailing comma makes
    // KML readers misread the list.
    if (height.isEmpty()) return line;
    line += QLatin1Char(',');
    if (height.startsWith(QLatin1Char('-'))) line += QLatin1Char('0');
    else line += height.endsWith(QLatin1Char('m')) ? height.chopped(1) : height;
    return line;
}

QByteArray ExportLogText(const LogTableCells& cells) {
    QString out;
    out += commaList(cells.value(0)) + kCrLf;
    out += kCrLf;
    for (qsizetype r = 1; r < cells.size(); ++r) out += commaList(cells[r]) + kCrLf;
    return ToWindows1250(out);
}

QByteArray ExportLogKml(const LogTableCells& cells, bool extruded) {
    KmlWriter kml(extruded);
    kml.line(0, QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"));
    kml.line(0, QStringLiteral("<kml xmlns=\"http://www.opengis.net/kml/2.2\">"));
    kml.line(1, QStringLiteral("<Document>"));
    kml.line(2, QStringLiteral("<name>Vorkal GPS logging</name>"));
    kml.line(3, QStringLiteral("<Style id=\"Vorkal_log-style\">"));
    kml.line(4, QStringLiteral("<LineStyle>"));
    kml.line(5, QStringLiteral("<color>ff0000ff</color>"));
    kml.line(5, QStringLiteral("<width>2</width>"));
    kml.line(4, QStringLiteral("</LineStyle>"));
    kml.line(4, QStringLiteral("<PolyStyle>"));
    kml.line(6, QStringLiteral("<color>7f00ff00</color>"));
    kml.line(4, QStringLiteral("</PolyStyle>"));
    kml.line(3, QStringLiteral("</Style>"));

    // Oldest row first, so that each track runs forward in time.
    // A flight without a single fix gets no placemark: an empty coordinate list reads
    // as a point at 0,0 in some map programs, or as an error in others.
    for (const LogFlight& flight : SplitLogFlights(cells)) {
        QStringList lines;
        for (int r : flight.rows) {
            QString coordinates = BuildKmlCoordinates(cells[r]);
            if (!coordinates.contains(QLatin1String("0.00000"))) lines.append(std::move(coordinates));
        }
        if (lines.isEmpty()) continue;
        kml.OpenKmlPlacemark(cells[flight.firstRow].value(kColTime));
        for (const QString& coordinates : lines) kml.line(0, coordinates);
        kml.CloseKmlPlacemark();
    }
    kml.line(1, QStringLiteral("</Document>"));
    kml.line(0, QStringLiteral("</kml>"));
    return ToWindows1250(kml.text());
}

QByteArray ExportLog(const LogTableCells& cells, int filterIndex, const QDate& gpxDate) {
    if (filterIndex == kExportGpx) return ExportLogGpx(cells, gpxDate);
    if (filterIndex == kExportKml || filterIndex == kExportExtrudedKml)
        return ExportLogKml(cells, filterIndex == kExportExtrudedKml);
    return ExportLogText(cells);
}

}  // namespace vorkal
