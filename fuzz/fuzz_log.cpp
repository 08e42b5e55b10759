// Arbitrary configuration and log images through the log table and every export.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "log_export.h"
#include "log_table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vorkal;
    if (size < 1) return 0;
    const uint8_t mode = data[0];
    ++data;
    --size;
    ConfigImage config;
    config.setVariant(mode & 1 ? DisplayVariant::D128x64 : DisplayVariant::D84x48);
    config.separateLog = mode & 2;
    const size_t imageBytes = std::min(size, config.image.size());
    std::memcpy(config.image.data(), data, imageBytes);
    // The log image repeats the input so short inputs still fill whole records.
    if (size > imageBytes)
        for (size_t i = 0; i < config.logImage.size(); ++i)
            config.logImage[i] = data[imageBytes + i % (size - imageBytes)];
    const QString separator = mode & 4 ? "," : ".";
    const LogTableCells cells = BuildLogTable(config, mode & 8, separator);
    if (cells.isEmpty()) __builtin_trap();
    for (int format = 1; format <= 3; ++format) (void)ExportLog(cells, format);
    return 0;
}
