// The track picture and the flight figures of a full 128 x 64 log (2048 records):
// median times against filling the same picture with one colour.
#include <QGuiApplication>
#include <cmath>
#include <cstdio>

#include "log_bench_data.h"
#include "log_flights.h"
#include "log_table.h"
#include "track_picture.h"

using namespace vorkal;
using namespace vorkal::bench;

namespace {

// The full log with its positions moved onto loops, so that the line turns at every point
// as a real flight does (the shared data runs straight).
ConfigImage loopingLog() {
    ConfigImage config = fullLog();
    for (int r = 0; r < kLogSlots128x64; ++r) {
        const double a = r * 0.05;
        const uint32_t lat = uint32_t(5006143 + int(400 * std::sin(a) + r)) & 0x1FFFFFF;
        const uint32_t lon = uint32_t(1993812 + int(600 * std::cos(a * 1.3) + r / 2)) & 0x3FFFFFF;
        uint8_t* b = config.logImage.data() + 16 * r;
        b[0] = lat & 0xFF, b[1] = (lat >> 8) & 0xFF, b[2] = (lat >> 16) & 0xFF;
        b[3] = uint8_t((b[3] & 0x7F) | ((lat >> 24) & 1) << 7);
        b[4] = lon & 0xFF, b[5] = (lon >> 8) & 0xFF, b[6] = (lon >> 16) & 0xFF;
        b[7] = uint8_t((b[7] & 0x7E) | ((lon >> 24) & 1) | ((lon >> 25) & 1) << 7);
    }
    return config;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const LogTableCells cells = BuildLogTable(loopingLog(), false, ".");
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
