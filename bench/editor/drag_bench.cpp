// Dragging an element across the whole screen through the real main window: 100 mouse
// moves, each redrawn and painted, against a floor measured in the same run: filling
// and painting an image of the grid widget's size. Prints medians; not a pass/fail test.
//   editor_drag_bench [rounds]
#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "form1.h"
#include "window_bench.h"
#include "preview_grid.h"

namespace {

class FloorWidget : public QWidget {
public:
    QImage image;
    int paints = 0;

protected:
    void paintEvent(QPaintEvent*) override {
        ++paints;
        if (image.size() != size()) image = QImage(size(), QImage::Format_RGB32);
        image.fill(paints & 1 ? 0xFFFFFFFF : 0xFF000000);
        QPainter(this).drawImage(0, 0, image);
    }
};

}  // namespace

using namespace vorkal::bench;

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 20;
    QTemporaryDir home;
    useHome(home);

    TForm1 f;
    f.show();
    QApplication::processEvents();
    for (bool large : {false, true}) {
        if (large) f.SetDisplay128x64();
        else f.SetDisplay84x48();
        f.config.LoadFactoryImage();
        f.ShowLoadedConfiguration();
        QApplication::processEvents();
        const vorkal::VariantInfo& info = f.config.info();
        const int cw = info.cellWidth + 1, ch = info.cellHeight + 1;
        // The bar of layout 1 sits at its X and Y in both factory images.
        const int barX = f.config.image[0] & 0x7F, barY = f.config.image[1] & 0x3F;
        const QPoint grab(barX * cw + 1, barY * ch + 1);

        std::vector<double> moves;
        for (int r = 0; r < rounds; ++r) {
            f.config.image[0] = uint8_t(barX), f.config.image[1] = uint8_t(barY);
            QTest::mousePress(f.StringGrid1, Qt::LeftButton, {}, grab);
            for (int m = 0; m < 100; ++m) {  // top left to bottom right, past both edges
                const QPoint to(m * (info.width + 4) * cw / 99 - 2 * cw, m * (info.height + 4) * ch / 99 - 2 * ch);
                moves.push_back(timed([&] { QTest::mouseMove(f.StringGrid1, to); }));
            }
            QTest::mouseRelease(f.StringGrid1, Qt::LeftButton, {}, grab);
        }

        FloorWidget floor;
        floor.setGeometry(f.StringGrid1->geometry());
        floor.show();
        QApplication::processEvents();
        std::vector<double> floors;
        for (int i = 0; i < rounds * 100; ++i) floors.push_back(timed([&] { floor.update(); }));

        const double move = median(moves), base = median(floors);
        std::printf(
            "%dx%d: %zu moves, median %.1f us per move; floor (fill + paint %dx%d) %.1f us; ratio %.2f"
            " (bar dragged to %d, %d)\n",
            info.width, info.height, moves.size(), move, info.grid.width, info.grid.height, base, move / base,
            f.config.image[0] & 0x7F, f.config.image[1] & 0x3F);
    }
    return 0;
}
