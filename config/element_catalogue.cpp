#include "element_catalogue.h"

#include <stdexcept>

namespace vorkal {

namespace {

using namespace std::string_view_literals;

// Hex escapes are split off the following digits so that they stay one byte.
const CatalogueElement kCatalogue[kCatalogueSize] = {
    {"RSSI Bar", "Pasek RSSI", " "sv, false},
    {"RSSI", "RSSI",
     "\x7C"
     "80%"sv,
     true},
    {"Battery Voltage", "Bateria Modelu", "7.1V"sv, true},
    {"Transmitter Batt", "Bateria Nadajnika", "9.3V"sv, true},
    {"Signal Quality", "Jakość Sygnału", "Q90"sv, true},
    {"Themperature", "Temperatura",
     "24\xB0"
     "C"sv,
     true},
    {"Latitude", "Szerokość Geogr.", "8.00000N"sv, true},
    {"Longitude", "Długość Geograf.", "19.00000E"sv, true},
    {"GPS Time", "Czas z GPS", "20:06:00"sv, false},
    {"Height", "Wysokość", "999m"sv, true},
    {"Speed", "Prędkość", "99kh"sv, true},
    {"Course", "Kurs", "300\xB0"sv, false},
    {"Sattelites", "Ilość Satelit",
     "\x7D"
     "6"sv,
     true},
    {"Varometer", "Wariometr", "-2.2m/s"sv, false},
    {"Dist from Base", "Odległość od Bazy",
     "\x7E"
     "9999m"sv,
     true},
    {"AT Azimuth", "Azymut AT", "A178\xB0"sv, false},
    {"AT Elevation", "Elewacja AT", "E85\xB0"sv, false},
    {"MWC/DJI FlyMode", "TrybLotu Mwc/Dji", "FS"sv, false},
    {"MultiWii Debug", "MultiWii Debug", "-00004 -02000"sv, false},
    {"Course from Home", "Kierunek od Bazy", "\x02"sv, false},
    {"Motor Current", "Prąd Silnika", "8.5A"sv, true},
    {"GPS HDOP", "GPS HDOP", "2.5"sv, true},
    {"Telemetry RSSI", "RSSI telemetrii", "t90%"sv, true},
};

}  // namespace

const CatalogueElement& CatalogueEntry(int index) {
    if (index < 0 || index >= kCatalogueSize)
        throw std::out_of_range("catalogue element index " + std::to_string(index));
    return kCatalogue[index];
}

QString ElementName(int index, bool polish) {
    const CatalogueElement& e = CatalogueEntry(index);
    return QString::fromUtf8(polish ? e.polishName : e.englishName);
}

QString LineListText(int line, bool polish) {
    return (polish ? QStringLiteral("Linia ") : QStringLiteral("Line ")) + QString::number(line);
}

QStringList ElementListEntries(DisplayVariant variant, bool polish) {
    const VariantInfo& info = variantInfo(variant);
    QStringList entries;
    for (int k = 0; k <= info.listBound; ++k) entries << ElementName(k, polish);
    if (variant == DisplayVariant::D128x64)
        for (int line = 1; line <= kLinesPerLayout; ++line) entries << LineListText(line, polish);
    return entries;
}

QStringList FontEntries(DisplayVariant variant, bool polish) {
    const QString small = polish ? QString::fromUtf8("Mała") : QStringLiteral("Small");
    const QString big = polish ? QString::fromUtf8("Duża") : QStringLiteral("Big");
    if (variant == DisplayVariant::D128x64)
        return {small, polish ? QString::fromUtf8("Średnia") : QStringLiteral("Medium"), big};
    return {small, big};
}

}  // namespace vorkal
