// The window's LogsView with a full 128 x 64 log (2048 records): building the texts and
// filling the table widget, median times against the text building alone.
#include <QApplication>
#include <cstdio>

#include "form1.h"
#include "log_bench_data.h"
#include "log_table.h"

using namespace vorkal;
using namespace vorkal::bench;

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TForm1 form;
    form.show();
    const ConfigImage full = fullLog();
    form.SetDisplay128x64();
    form.config.logImage = full.logImage;
    form.config.separateLog = true;
    const int runs = 31;
    const double textMs = medianMs(runs, [&] { (void)BuildLogTable(form.config, false, "."); });
    const double firstMs = medianMs(1, [&] { form.LogsView(); });
    const double viewMs = medianMs(runs, [&] { form.LogsView(); });
    form.setView(TForm1::View::Log);
    const double paintMs = medianMs(runs, [&] { (void)form.StringGrid2->viewport()->grab(); });
    std::printf("LogsView, 2048 records, %d rows\n", form.StringGrid2->rowCount());
    std::printf("  texts only (floor)        %8.3f ms\n", textMs);
    std::printf("  LogsView, first fill      %8.3f ms\n", firstMs);
    std::printf("  LogsView, refill          %8.3f ms  (%.1f x floor)\n", viewMs, viewMs / textMs);
    std::printf("  paint of the table       %8.3f ms\n", paintMs);
    std::printf("(median of %d runs)\n", runs);
    return 0;
}
