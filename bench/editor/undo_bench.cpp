// Undo and redo of one step on the 128 x 64 variant through the real main window, the
// preview's redraw and paint included, against a floor measured in the same run: the
// redraw and paint alone. Also prints the memory 200 steps hold, for small edits and
// for whole-image changes. Prints figures; not a pass/fail test.
//   editor_undo_bench [rounds]
#include <QApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "edit_history.h"
#include "form1.h"
#include "window_bench.h"

using namespace vorkal::bench;

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 1000;
    QTemporaryDir home;
    useHome(home);

    TForm1 f;
    f.show();
    f.SetDisplay128x64();
    f.config.LoadFactoryImage();
    f.ShowLoadedConfiguration();
    QApplication::processEvents();

    // 200 one-pixel moves of the selected element, one step each.
    f.ComboBox1->setCurrentIndex(1);
    f.ComboBox1Change();
    for (int n = 0; n < 200; ++n) f.edits.nudgeElement(1, 0, n % 2 ? -1 : 1);
    const int steps = f.edits.history().undoCount();
    const size_t smallSteps = f.edits.history().memoryBytes();

    std::vector<double> undos, redos, floors;
    for (int r = 0; r < rounds; ++r) {
        undos.push_back(timed([&] { f.UndoEdit(); }));
        redos.push_back(timed([&] { f.RedoEdit(); }));
        floors.push_back(timed([&] { f.UpdateGrid(); }));
    }

    // Worst case: 200 steps that each change every byte of image and log image.
    vorkal::EditHistory whole(200);
    vorkal::ConfigImage a, b;
    a.setVariant(vorkal::DisplayVariant::D128x64);
    b = a;
    for (int n = 0; n < 200; ++n) {
        a.image.fill(uint8_t(n)), a.logImage.fill(uint8_t(n));
        b.image.fill(uint8_t(n + 1)), b.logImage.fill(uint8_t(n + 1));
        whole.record(a, b);
    }

    const double u = median(undos), rd = median(redos), base = median(floors);
    std::printf(
        "128x64: %d steps; median undo %.1f us, redo %.1f us over %d each; floor (redraw + paint) "
        "%.1f us; ratios %.2f / %.2f\n",
        steps, u, rd, rounds, base, u / base, rd / base);
    std::printf(
        "memory of 200 steps: one-element moves %zu bytes (%.1f per step); whole 33792-byte "
        "changes %zu bytes; 200 full copies would be %d bytes\n",
        smallSteps, double(smallSteps) / 200.0, whole.memoryBytes(),
        200 * (vorkal::kImageSize + vorkal::kLogImageSize));
    return 0;
}
