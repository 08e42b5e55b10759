#pragma once
// The configuration image (the display's 1024-byte settings memory), the log image
// and the display variant they are interpreted with.

#include <array>
#include <cstdint>

namespace vorkal {

enum class DisplayVariant { D84x48, D128x64 };

struct GridGeometry {
    int left, top, width, height;
};

// Fixed properties of a display variant.
struct VariantInfo {
    int width, height;
    int listBound;              // last catalogue element index
    int layoutStride;           // bytes per layout record
    int cellWidth, cellHeight;  // preview pixel size on screen
    GridGeometry grid;          // preview grid position and size
    int fontGroupTop, fontGroupHeight;
    int imageBytes;  // bytes exchanged with the display
};

const VariantInfo& variantInfo(DisplayVariant v);

constexpr int kImageSize = 1024;
constexpr int kLogImageSize = 32768;
constexpr int kLastShownXSize = 44;
constexpr int kLayoutByte = 508;
constexpr int kSpeedByte = 509;
constexpr int kLineRecordsStart = 512;
constexpr int kLinesPerLayout = 20;
constexpr int kMaxLayouts = 8;

// Texts of the display serial speed index (bits 4-7 of byte 509).
extern const char* const kDisplaySpeedTexts[5];

class ConfigImage {
public:
    std::array<uint8_t, kImageSize> image{};
    std::array<uint8_t, kLogImageSize> logImage{};
    std::array<uint8_t, kLastShownXSize> lastShownX{};

    bool configurationLoaded = false;
    bool separateLog = false;
    bool logLoaded = false;

    // The Screen Layout selection (0-based); -1 while none is selected.
    int selectedLayout = -1;

    DisplayVariant variant() const { return variant_; }
    void setVariant(DisplayVariant v) { variant_ = v; }
    const VariantInfo& info() const { return variantInfo(variant_); }
    bool is128x64() const { return variant_ == DisplayVariant::D128x64; }

    int width() const { return info().width; }
    int height() const { return info().height; }
    int listBound() const { return info().listBound; }
    int layoutStride() const { return info().layoutStride; }

    // Layout count from byte 508; a count above 8 is read as 8.
    int layoutCount() const;
    // Current layout (0-based) as stored in byte 508, bits 0-2.
    int storedCurrentLayout() const { return image[kLayoutByte] & 0x07; }
    int layoutAreaLength() const { return layoutCount() * layoutStride(); }
    // Number of 9-byte records of the in-image log area (84 x 48 without separate log).
    int inImageLogRecordCount() const;
    // Offset of in-image log record n (0-based, stored downward from the top).
    static int inImageLogRecordOffset(int n) { return 495 - 9 * n; }

    // Offset of the record of element-list position `index` in the selected layout.
    uint16_t ElementOffset(int index) const;

    // Writes the factory image of the current variant.
    void LoadFactoryImage();

private:
    DisplayVariant variant_ = DisplayVariant::D84x48;
};

}  // namespace vorkal
