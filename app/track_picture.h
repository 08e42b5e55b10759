#pragma once
// The picture of the log's flights: each flight in its own colour, darker where it flew
// higher, start (circle) and end (square) marked, a scale bar, a key to the altitude
// shading and a north arrow.

#include "log_flights.h"

#include <QColor>
#include <QImage>

class QPainter;

namespace vorkal {

constexpr double kTrackMargin = 28;  // pixels kept free around the track

// Distinct colours for consecutive flights.
QColor FlightColour(int flight);

// Where the metres of `track` land in a picture of `size`; the same frame serves the
// hit test of a click.
inline TrackFrame TrackPictureFrame(const ProjectedTrack& track, const QSize& size) {
    return TrackFrame(track.bounds, QSizeF(size), kTrackMargin);
}

// The scale bar's length: 1, 2 or 5 times a power of ten metres, at most `maxMetres`.
double ScaleBarMetres(double maxMetres);

// `selectedRow` (a table row, -1 for none) is marked with a ring when it has a point.
QImage DrawTrackPicture(const ProjectedTrack& track, const QSize& size, int selectedRow, bool polish);

// Only the ring of `selectedRow`, painted over a picture of `size` drawn without one.
void MarkTrackRow(QPainter& p, const ProjectedTrack& track, const QSize& size, int selectedRow);

}  // namespace vorkal
