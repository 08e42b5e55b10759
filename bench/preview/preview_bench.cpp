// Full preview redraw (canvas render + grid repaint, offscreen) of the densest factory
// layout of each variant, against a floor: filling and painting an image of the same
// widget size. Prints medians; not a pass/fail test.
//   preview_bench [iterations]
#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "preview_grid.h"
#include "preview_renderer.h"

using namespace vorkal;

namespace {

class CountingGrid : public PreviewGrid {
public:
    int paints = 0;

protected:
    void paintEvent(QPaintEvent* e) override {
        ++paints;
        PreviewGrid::paintEvent(e);
    }
};

// The floor: a widget that fills an image of its size and paints it.
class FloorWidget : public QWidget {
public:
    int paints = 0;
    QImage image;

protected:
    void paintEvent(QPaintEvent*) override {
        ++paints;
        if (image.size() != size()) image = QImage(size(), QImage::Format_RGB32);
        image.fill(paints & 1 ? 0xFFFFFFFF : 0xFF000000);
        QPainter(this).drawImage(0, 0, image);
    }
};

double medianMicros(std::vector<qint64>& ns) {
    std::sort(ns.begin(), ns.end());
    return ns[ns.size() / 2] / 1000.0;
}

template <typename F>
double measure(int iterations, F&& f) {
    std::vector<qint64> samples;
    samples.reserve(iterations);
    QElapsedTimer timer;
    for (int i = 0; i < iterations; ++i) {
        timer.start();
        f();
        samples.push_back(timer.nsecsElapsed());
    }
    return medianMicros(samples);
}

int visibleInk(const PreviewCanvas& canvas, const ConfigImage& config) {
    int n = 0;
    for (int x = 0; x < config.width(); ++x)
        for (int y = 0; y < config.height(); ++y) n += canvas.at(x, y) & kPixelInk;
    return n;
}

void benchVariant(DisplayVariant variant, int iterations) {
    ConfigImage config;
    config.setVariant(variant);
    config.LoadFactoryImage();
    config.configurationLoaded = true;
    const VariantInfo& info = config.info();

    PreviewCanvas canvas;
    int densest = 0, mostInk = -1;
    for (int layout = 0; layout < config.layoutCount(); ++layout) {
        config.selectedLayout = layout;
        RenderPreview(canvas, config, kNoSelection);
        const int ink = visibleInk(canvas, config);
        if (ink > mostInk) mostInk = ink, densest = layout;
    }
    config.selectedLayout = densest;
    const int selected = config.ElementOffset(0);

    CountingGrid grid;
    grid.setGridSize(info.width, info.height, info.cellWidth, info.cellHeight);
    grid.setCanvas(&canvas);
    grid.resize(info.grid.width, info.grid.height);
    grid.show();
    FloorWidget floor;
    floor.resize(info.grid.width, info.grid.height);
    floor.show();
    QApplication::processEvents();

    const double render = measure(iterations, [&] { RenderPreview(canvas, config, selected); });
    const double paint = measure(iterations, [&] { grid.repaint(); });
    grid.paints = 0;
    const double redraw = measure(iterations, [&] {
        RenderPreview(canvas, config, selected);
        grid.repaint();
    });
    const int redrawPaints = grid.paints;
    floor.paints = 0;
    const double floorTime = measure(iterations, [&] { floor.repaint(); });

    std::printf("%dx%d, factory layout %d (%d lit pixels), grid %dx%d, %d iterations\n", info.width, info.height,
                densest + 1, mostInk, info.grid.width, info.grid.height, iterations);
    std::printf("  render only            median %8.1f us\n", render);
    std::printf("  grid repaint only      median %8.1f us\n", paint);
    std::printf("  full redraw            median %8.1f us  (%d paints)\n", redraw, redrawPaints);
    std::printf("  floor (fill + paint)   median %8.1f us  (%d paints)\n", floorTime, floor.paints);
    std::printf("  redraw / floor         %8.2f\n", redraw / floorTime);
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int iterations = argc > 1 ? std::max(11, atoi(argv[1])) : 2001;
    benchVariant(DisplayVariant::D84x48, iterations);
    benchVariant(DisplayVariant::D128x64, iterations);
    return 0;
}
