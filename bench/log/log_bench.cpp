// Log table filling and export with a full 128 x 64 log (2048 records): median times.
#include "log_export.h"
#include "log_record.h"
#include "log_table.h"
#include "log_bench_data.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

using namespace vorkal;
using namespace vorkal::bench;

int main() {
    const ConfigImage config = fullLog();
    const int runs = 31;

    // Floor: decoding the records alone, without any text.
    const LogSource source = SelectLogSource(config);
    long sink = 0;
    const double floorMs = medianMs(runs, [&] {
        for (int r = 0; r < source.slotCount; ++r) sink += DecodeLogRecord(source, r).latitude;
    });

    LogTableCells cells;
    const double tableMs = medianMs(runs, [&] { cells = BuildLogTable(config, false, QStringLiteral(",")); });
    std::printf("log table, 2048 records: %lld rows of %d cells\n", static_cast<long long>(cells.size()), kLogColumns);
    std::printf("  decode only (floor)   %8.3f ms\n", floorMs);
    std::printf("  BuildLogTable         %8.3f ms  (%.1f x floor)\n", tableMs, tableMs / floorMs);

    struct Export {
        const char* name;
        int format;
    };
    for (const Export& e :
         {Export{"text", kExportText}, Export{"KML", kExportKml}, Export{"extruded KML", kExportExtrudedKml}}) {
        QByteArray bytes;
        const double ms = medianMs(runs, [&] { bytes = ExportLog(cells, e.format); });
        std::printf("  export %-14s %8.3f ms  %lld bytes\n", e.name, ms, static_cast<long long>(bytes.size()));
    }
    std::printf("(median of %d runs; checksum %ld)\n", runs, sink);
    return 0;
}
