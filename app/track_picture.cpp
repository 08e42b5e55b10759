#include "track_picture.h"

#include <QFontMetrics>
#include <QPainter>
#include <QLinearGradient>
#include <QPainterPath>

#include <cmath>

namespace vorkal {

namespace {

constexpr int kShadeLevels = 24;  // altitude steps of the line's shade
const QColor kBackground(0xFA, 0xFA, 0xF7);
const QColor kInk(0x20, 0x20, 0x20);

// Shade of a flight's colour for an altitude share (0 lowest, 1 highest): light low,
// dark high.
QColor shaded(const QColor& base, double share) {
    const double value = 0.98 - 0.58 * share;
    return QColor::fromHsvF(base.hsvHueF(), std::min(1.0, base.hsvSaturationF() * (0.55 + 0.45 * share)), value);
}

double altitudeShare(const ProjectedTrack& track, const std::optional<int>& height) {
    if (!height || !track.lowestHeight || *track.highestHeight == *track.lowestHeight) return 0.5;
    return double(*height - *track.lowestHeight) / double(*track.highestHeight - *track.lowestHeight);
}

QString metresText(double metres) {
    if (metres >= 1000) return QString::number(metres / 1000, 'g', 6) + QStringLiteral(" km");
    return QString::number(metres, 'g', 6) + QStringLiteral(" m");
}

void drawFlight(QPainter& p, const ProjectedTrack& track, const TrackFrame& frame, const QList<TrackPoint>& points,
                const QColor& colour) {
    // Runs of segments of one shade are drawn as one polyline: one pen change and one
    // stroke per run rather than per segment. Square caps and miter joins keep the line
    // closed where the shade changes without the cost of round ones.
    QPolygonF run;
    int runLevel = -1;
    auto flush = [&] {
        if (run.size() < 2) return;
        p.setPen(QPen(shaded(colour, double(runLevel) / (kShadeLevels - 1)), 2.5, Qt::SolidLine, Qt::SquareCap,
                      Qt::MiterJoin));
        p.drawPolyline(run);
    };
    for (qsizetype i = 1; i < points.size(); ++i) {
        const std::optional<int> a = points[i - 1].height, b = points[i].height;
        const std::optional<int> mid = (a && b) ? std::optional<int>((*a + *b) / 2) : (a ? a : b);
        const int level = std::clamp(int(altitudeShare(track, mid) * (kShadeLevels - 1) + 0.5), 0, kShadeLevels - 1);
        if (level != runLevel) {
            flush();
            run.clear();
            run.append(frame.toPixel(points[i - 1].metres));
            runLevel = level;
        }
        run.append(frame.toPixel(points[i].metres));
    }
    flush();
}

// A marker's coverage, drawn once with antialiasing: its inside and its 1.5-pixel outline,
// centred on the middle pixel. Thousands of flights mean thousands of markers, and
// stamping coverage costs a small fraction of stroking each outline anew.
struct MarkerMasks {
    static constexpr int kRadius = 8;
    QImage inside, outline;  // Format_Alpha8, 2 * kRadius + 1 pixels square
};

MarkerMasks renderMarker(bool circle) {
    const int side = 2 * MarkerMasks::kRadius + 1;
    auto render = [&](bool outline) {
        QImage mask(side, side, QImage::Format_ARGB32_Premultiplied);
        mask.fill(Qt::transparent);
        QPainter p(&mask);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(outline ? QPen(Qt::black, 1.5) : QPen(Qt::NoPen));
        p.setBrush(outline ? QBrush(Qt::NoBrush) : QBrush(Qt::black));
        const QPointF centre(MarkerMasks::kRadius + 0.5, MarkerMasks::kRadius + 0.5);
        if (circle) p.drawEllipse(centre, 6, 6);
        else p.drawRect(QRectF(centre - QPointF(5, 5), QSizeF(10, 10)));
        p.end();
        return mask.convertToFormat(QImage::Format_Alpha8);
    };
    return {render(false), render(true)};
}

// `top` over `under` with coverage `alpha`; both opaque.
QRgb blendOpaque(QRgb under, QRgb top, int alpha) {
    if (alpha == 0) return under;
    if (alpha == 255) return top;
    auto mix = [&](int a, int b) { return (a * alpha + b * (255 - alpha) + 127) / 255; };
    return qRgb(mix(qRed(top), qRed(under)), mix(qGreen(top), qGreen(under)), mix(qBlue(top), qBlue(under)));
}

// The marker filled with `fill` and outlined in ink, its centre on the pixel `at` lies in.
void stampMarker(QImage& image, const MarkerMasks& masks, const QPointF& at, QRgb fill) {
    const QRgb ink = kInk.rgb();
    const int side = masks.inside.width();
    const int left = int(std::floor(at.x())) - MarkerMasks::kRadius;
    const int top = int(std::floor(at.y())) - MarkerMasks::kRadius;
    for (int y = std::max(0, -top); y < side && top + y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(top + y));
        const uchar* inside = masks.inside.constScanLine(y);
        const uchar* outline = masks.outline.constScanLine(y);
        for (int x = std::max(0, -left); x < side && left + x < image.width(); ++x) {
            QRgb& pixel = line[left + x];
            pixel = blendOpaque(blendOpaque(pixel, fill, inside[x]), ink, outline[x]);
        }
    }
}

// Each flight's end square and start circle, flight after flight as the lines are.
void drawEnds(QImage& image, const TrackFrame& frame, const ProjectedTrack& track) {
    static const MarkerMasks square = renderMarker(false);
    static const MarkerMasks circle = renderMarker(true);
    for (qsizetype f = 0; f < track.flights.size(); ++f) {
        const QList<TrackPoint>& points = track.flights[f];
        if (points.isEmpty()) continue;
        const QRgb colour = FlightColour(int(f)).rgb();
        stampMarker(image, square, frame.toPixel(points.last().metres), colour);
        stampMarker(image, circle, frame.toPixel(points.first().metres), colour);
    }
}

void drawSelection(QPainter& p, const TrackFrame& frame, const ProjectedTrack& track, int selectedRow) {
    for (const QList<TrackPoint>& flight : track.flights)
        for (const TrackPoint& point : flight) {
            if (point.row != selectedRow) continue;
            const QPointF c = frame.toPixel(point.metres);
            p.setBrush(Qt::NoBrush);
            p.setPen(QPen(Qt::white, 5));
            p.drawEllipse(c, 10, 10);
            p.setPen(QPen(Qt::black, 2));
            p.drawEllipse(c, 10, 10);
            p.drawLine(c + QPointF(-16, 0), c + QPointF(-6, 0));
            p.drawLine(c + QPointF(6, 0), c + QPointF(16, 0));
            p.drawLine(c + QPointF(0, -16), c + QPointF(0, -6));
            p.drawLine(c + QPointF(0, 6), c + QPointF(0, 16));
            return;
        }
}

void drawScaleBar(QPainter& p, const TrackFrame& frame, const QSize& size) {
    const double metres = ScaleBarMetres(size.width() / 4.0 / frame.pixelsPerMetre());
    const double length = metres * frame.pixelsPerMetre();
    const QPointF left(12, size.height() - 12);
    const QPointF right = left + QPointF(length, 0);
    p.setPen(QPen(kInk, 2, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(left, right);
    p.drawLine(left, left - QPointF(0, 6));
    p.drawLine(right, right - QPointF(0, 6));
    p.drawText(QRectF(left.x(), left.y() - 22, std::max(length, 80.0), 16), Qt::AlignLeft | Qt::AlignBottom,
               metresText(metres));
}

// Key to the shading: the lowest and highest altitude at the ends of a grey ramp.
void drawAltitudeKey(QPainter& p, const ProjectedTrack& track, const QSize& size) {
    if (!track.lowestHeight || *track.lowestHeight == *track.highestHeight) return;
    const QRectF ramp(size.width() - 132, size.height() - 18, 120, 6);
    QLinearGradient gradient(ramp.topLeft(), ramp.topRight());
    gradient.setColorAt(0, shaded(QColor(0x80, 0x80, 0x80), 0));
    gradient.setColorAt(1, shaded(QColor(0x80, 0x80, 0x80), 1));
    p.setPen(Qt::NoPen);
    p.setBrush(gradient);
    p.drawRect(ramp);
    p.setPen(kInk);
    const QRectF labels(ramp.left(), ramp.top() - 17, ramp.width(), 15);
    p.drawText(labels, Qt::AlignLeft | Qt::AlignBottom, QString::number(*track.lowestHeight) + QStringLiteral(" m"));
    p.drawText(labels, Qt::AlignRight | Qt::AlignBottom, QString::number(*track.highestHeight) + QStringLiteral(" m"));
}

void drawNorthArrow(QPainter& p, const QSize& size) {
    const QPointF tip(size.width() - 20, 10);
    QPainterPath arrow;
    arrow.moveTo(tip);
    arrow.lineTo(tip + QPointF(6, 16));
    arrow.lineTo(tip + QPointF(0, 12));
    arrow.lineTo(tip + QPointF(-6, 16));
    arrow.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(kInk);
    p.drawPath(arrow);
    p.setPen(kInk);
    p.drawText(QRectF(tip.x() - 10, tip.y() + 17, 20, 14), Qt::AlignCenter, QStringLiteral("N"));
}

}  // namespace

QColor FlightColour(int flight) {
    // Hues far apart for neighbours: steps of the golden angle.
    const double hue = std::fmod(0.58 + flight * 0.381966, 1.0);
    return QColor::fromHsvF(hue, 0.85, 0.85);
}

double ScaleBarMetres(double maxMetres) {
    if (!(maxMetres >= 1)) return 1;
    const double power = std::pow(10.0, std::floor(std::log10(maxMetres)));
    for (double step : {5.0, 2.0, 1.0})
        if (step * power <= maxMetres) return step * power;
    return power;
}

QImage DrawTrackPicture(const ProjectedTrack& track, const QSize& size, int selectedRow, bool polish) {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(kBackground);
    QFont font;
    font.setPixelSize(11);
    if (!track.hasPoints) {
        QPainter p(&image);
        p.setFont(font);
        p.setPen(kInk);
        p.drawText(image.rect(), Qt::AlignCenter,
                   polish ? QStringLiteral("Brak pozycji w logu") : QStringLiteral("No positions in the log"));
        return image;
    }
    const TrackFrame frame = TrackPictureFrame(track, size);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        for (qsizetype f = 0; f < track.flights.size(); ++f)
            drawFlight(p, track, frame, track.flights[f], FlightColour(int(f)));
    }
    // The markers go into the pixels directly, between the painter's two turns.
    drawEnds(image, frame, track);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setFont(font);
    drawScaleBar(p, frame, size);
    drawAltitudeKey(p, track, size);
    drawNorthArrow(p, size);
    drawSelection(p, frame, track, selectedRow);
    return image;
}

void MarkTrackRow(QPainter& p, const ProjectedTrack& track, const QSize& size, int selectedRow) {
    if (!track.hasPoints || selectedRow < 0) return;
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    drawSelection(p, TrackPictureFrame(track, size), track, selectedRow);
    p.restore();
}

}  // namespace vorkal
