// Arbitrary configuration images of both variants through the preview renderer.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "preview_renderer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vorkal;
    if (size < 2) return 0;
    ConfigImage config;
    config.setVariant(data[0] & 1 ? DisplayVariant::D128x64 : DisplayVariant::D84x48);
    config.configurationLoaded = true;
    config.selectedLayout = (data[0] >> 1) & 7;
    const int selected = data[1] % 45 - 1;
    data += 2;
    size -= 2;
    std::memcpy(config.image.data(), data, std::min(size, config.image.size()));
    PreviewCanvas canvas;
    RenderPreview(canvas, config, selected < 0 ? kNoSelection : int(config.ElementOffset(selected)));
    ClearPreview(canvas, config);
    return 0;
}
