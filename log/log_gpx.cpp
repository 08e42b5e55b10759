#include "log_export.h"
#include "log_flights.h"

#include <QDateTime>
#include <QTime>
#include <QXmlStreamWriter>

namespace vorkal {

QByteArray ExportLogGpx(const LogTableCells& cells, const QDate& date) {
    QByteArray out;
    QXmlStreamWriter xml(&out);  // UTF-8
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(2);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("gpx"));
    xml.writeDefaultNamespace(QStringLiteral("http://www.topografix.com/GPX/1/1"));
    xml.writeAttribute(QStringLiteral("version"), QStringLiteral("1.1"));
    xml.writeAttribute(QStringLiteral("creator"), QStringLiteral("Vorkal Configurator"));
    xml.writeStartElement(QStringLiteral("metadata"));
    xml.writeTextElement(QStringLiteral("name"), QStringLiteral("Vorkal GPS logging"));
    xml.writeEndElement();

    for (const FlightRows& flight : ReadLogFlights(cells)) {
        xml.writeStartElement(QStringLiteral("trk"));
        xml.writeTextElement(QStringLiteral("name"), QStringLiteral("Flight: ") + flight.rows.first().timeText);
        xml.writeStartElement(QStringLiteral("trkseg"));
        for (const LogRowValues& row : flight.rows) {
            if (!row.hasPosition) continue;
            xml.writeStartElement(QStringLiteral("trkpt"));
            xml.writeAttribute(QStringLiteral("lat"), QString::number(row.latitude, 'f', 5));
            // GPX longitudes run from -180 up to, not including, 180.
            const double lon = row.longitude >= 180 ? row.longitude - 360 : row.longitude;
            xml.writeAttribute(QStringLiteral("lon"), QString::number(lon, 'f', 5));
            if (row.height) xml.writeTextElement(QStringLiteral("ele"), QString::number(*row.height));
            // A damaged record can hold an hour past 23: such a point goes without a time.
            const QTime time = QTime::fromString(row.timeText, QStringLiteral("hh:mm:ss"));
            if (time.isValid() && date.isValid())
                xml.writeTextElement(QStringLiteral("time"), QDateTime(date, time, Qt::UTC).toString(Qt::ISODate));
            xml.writeEndElement();
        }
        xml.writeEndElement();
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeEndDocument();
    return out;
}

}  // namespace vorkal
