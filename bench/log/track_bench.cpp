// The track picture and the flight figures of a full 128 x 64 log (2048 records):
// median times against filling the same picture with one colour.
#include <QGuiApplication>
#include <cstdio>

#include "log_bench_data.h"
#include "log_flights.h"
#include "log_table.h"
#include "track_picture.h"

using namespace vorkal;
using namespace vorkal::bench;

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const LogTableCells cells = BuildLogTable(fullLog(), false, ".");
    const int runs = 51;

    QList<FlightRows> flights;
    const double readMs = medianMs(runs, [&] { flights = ReadLogFlights(cells); });
    double sink = 0;
    const double figuresMs = medianMs(runs, [&] {
        for (const FlightRows& f : flights) sink += ComputeFlightFigures(f).distanceMetres;
    });
    ProjectedTrack track;
    const double projectMs = medianMs(runs, [&] { track = ProjectFlights(flights); });
    int points = 0;
    for (const auto& f : track.flights) points += int(f.size());
    std::printf("track of 2048 records: %lld flights, %d points\n", static_cast<long long>(flights.size()), points);
    std::printf("  flights read from the table   %8.3f ms\n", readMs);
    std::printf("  figures of every flight       %8.3f ms\n", figuresMs);
    std::printf("  figures incl. reading         %8.3f ms\n", readMs + figuresMs);
    std::printf("  projection                    %8.3f ms\n", projectMs);

    for (const QSize size : {QSize(560, 420), QSize(1200, 900)}) {
        const double fillMs = medianMs(runs, [&] {
            QImage image(size, QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::white);
            sink += image.constBits()[0];
        });
        const double drawMs = medianMs(runs, [&] { sink += DrawTrackPicture(track, size, 100, false).constBits()[0]; });
        std::printf("  picture %4dx%-4d  fill (floor) %7.3f ms  draw %7.3f ms  (%.1f x floor)\n", size.width(),
                    size.height(), fillMs, drawMs, drawMs / fillMs);
    }
    std::printf("(median of %d runs; checksum %.0f)\n", runs, sink);
    return 0;
}
