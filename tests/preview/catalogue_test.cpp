#include <gtest/gtest.h>

#include "element_catalogue.h"

using namespace vorkal;

TEST(Catalogue, SampleTextsAreTheDisplayBytes) {
    struct Case {
        int index;
        std::string_view bytes;
    };
    const Case cases[] = {
        {1, std::string_view("\x7C"
                             "80%",
                             4)},
        {5, std::string_view("24\xB0"
                             "C",
                             4)},
        {11, std::string_view("300\xB0", 4)},
        {12, std::string_view("\x7D"
                              "6",
                              2)},
        {14, std::string_view("\x7E"
                              "9999m",
                              6)},
        {15, std::string_view("A178\xB0", 5)},
        {16, std::string_view("E85\xB0", 4)},
        {18, "-00004 -02000"},
        {19, std::string_view("\x02", 1)},
        {22, "t90%"},
    };
    for (const Case& c : cases) EXPECT_EQ(CatalogueEntry(c.index).sampleText, c.bytes) << c.index;
    // Lengths the editor's hit test relies on.
    EXPECT_EQ(CatalogueEntry(0).sampleText.size(), 1u);
    EXPECT_EQ(CatalogueEntry(1).sampleText.size(), 4u);
    EXPECT_EQ(CatalogueEntry(18).sampleText.size(), 13u);
    EXPECT_EQ(CatalogueEntry(19).sampleText.size(), 1u);
    EXPECT_THROW(CatalogueEntry(23), std::out_of_range);
    EXPECT_THROW(CatalogueEntry(-1), std::out_of_range);
}

TEST(Catalogue, AlignmentMarkerElements) {
    std::vector<int> withMarker;
    for (int k = 0; k < kCatalogueSize; ++k)
        if (CatalogueEntry(k).alignmentMarker) withMarker.push_back(k);
    EXPECT_EQ(withMarker, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 9, 10, 12, 14, 20, 21, 22}));
}

TEST(Catalogue, NamesInBothLanguages) {
    struct Case {
        int index;
        const char* english;
        const char* polish;
    };
    const Case cases[] = {
        {0, "RSSI Bar", "Pasek RSSI"},
        {1, "RSSI", "RSSI"},
        {4, "Signal Quality", "Jakość Sygnału"},
        {5, "Themperature", "Temperatura"},
        {7, "Longitude", "Długość Geograf."},
        {14, "Dist from Base", "Odległość od Bazy"},
        {18, "MultiWii Debug", "MultiWii Debug"},
        {20, "Motor Current", "Prąd Silnika"},
        {21, "GPS HDOP", "GPS HDOP"},
        {22, "Telemetry RSSI", "RSSI telemetrii"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ElementName(c.index, false), QString::fromUtf8(c.english));
        EXPECT_EQ(ElementName(c.index, true), QString::fromUtf8(c.polish));
    }
}

TEST(Catalogue, ElementListPerVariantAndLanguage) {
    const QStringList small = ElementListEntries(DisplayVariant::D84x48, false);
    ASSERT_EQ(small.size(), 21);
    EXPECT_EQ(small.first(), "RSSI Bar");
    EXPECT_EQ(small.last(), "Motor Current");

    const QStringList smallPl = ElementListEntries(DisplayVariant::D84x48, true);
    ASSERT_EQ(smallPl.size(), 21);
    EXPECT_EQ(smallPl.last(), QString::fromUtf8("Prąd Silnika"));

    const QStringList large = ElementListEntries(DisplayVariant::D128x64, false);
    ASSERT_EQ(large.size(), 43);
    EXPECT_EQ(large[22], "Telemetry RSSI");
    EXPECT_EQ(large[23], "Line 1");
    EXPECT_EQ(large[32], "Line 10");
    EXPECT_EQ(large.last(), "Line 20");

    const QStringList largePl = ElementListEntries(DisplayVariant::D128x64, true);
    ASSERT_EQ(largePl.size(), 43);
    EXPECT_EQ(largePl[23], "Linia 1");
    EXPECT_EQ(largePl.last(), "Linia 20");
    EXPECT_EQ(largePl[18], large[18]);  // "MultiWii Debug" in both
}
