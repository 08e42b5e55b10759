// Arbitrary settings files through import, the editor's view of every element, and export.
#include <cstdint>

#include "layout_editor.h"
#include "settings_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vorkal;
    // Sizes are what import decides on: stretch the input to the nearest accepted size.
    static const qint64 sizes[] = {kSettingsFile84x48, kSettingsFile84x48Log, kSettingsFile128x64Log};
    if (size < 1) return 0;
    const qint64 fileSize = sizes[data[0] % 3];
    QByteArray file(fileSize, '\xff');
    for (qint64 i = 0; i + 1 < qint64(size) && i < fileSize; ++i) file[i] = char(data[i + 1]);
    if (!IsSettingsFileSize(file.size())) __builtin_trap();
    ConfigImage config;
    if (!SettingsFileHasLayouts(file)) return 0;
    config.setVariant(LoadSettingsFile(config, file));
    config.configurationLoaded = true;
    for (int layout = 0; layout < config.layoutCount(); ++layout) {
        config.selectedLayout = layout;
        for (int entry = 0; entry <= config.listBound() + (config.is128x64() ? 20 : 0); ++entry)
            if (config.ElementOffset(entry) + 4 > kImageSize) __builtin_trap();
    }
    const QByteArray back = SettingsFileBytes(config);
    if (!IsSettingsFileSize(back.size())) __builtin_trap();
    return 0;
}
