#include "window_texts.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <iterator>

namespace vorkal {

namespace {

struct Caption {
    const char* en;
    const char* pl;
};

const Caption kCaptions[] = {
    {"Configuration", "Konfiguracja"},
    {"Item parameters ", "Parametry elementu"},
    {"File", "Plik"},
    {"Item ", "Element "},
    {"Display ", "Wyświetlacz "},
    {"Display BaudRate ", "Szybkość komunikacji "},
    {"Font", "Czcionka"},
    {"Algin", "Wyrównanie"},
    {"Screen Layout", "Układ Ekranu"},
    {"To left", "Do lewej"},
    {"To right", "Do prawej"},
    {"Visible", "Widoczny"},
    {"Negativ", "Negatyw"},
    {"X position", "Pozycja X"},
    {"Y position", "Pozycja Y"},
    {"Length", "Długość"},
    {"Height", "Rozmiar"},
    {"Disconnected", "Odłączony"},
    {"Import", "Importuj"},
    {"Export", "Eksportuj"},
    {"Receive", "Pobierz"},
    {"Send", "Wyślij"},
    {"Logs Viev", "Rejestracja"},
    {"Load Defaults", "Załaduj Domyślne"},
    {"Set Baud", "Ustaw Baud"},
    {"Clear Log In display", "Kasuj logi w wyśw."},
    {"Save To File", "Zapisz do pliku"},
    {"Firmware Update", "Aktualizuj Oprogr."},
    {"Track", "Trasa"},
};

}  // namespace

void ApplyWindowTexts(std::initializer_list<QWidget*> widgets, bool polish) {
    Q_ASSERT(widgets.size() == std::size(kCaptions));
    const Caption* c = kCaptions;
    for (QWidget* w : widgets) {
        const QString text = QString::fromUtf8(polish ? c->pl : c->en);
        ++c;
        if (auto* box = qobject_cast<QGroupBox*>(w)) box->setTitle(text);
        else if (auto* button = qobject_cast<QAbstractButton*>(w)) button->setText(text);
        else if (auto* label = qobject_cast<QLabel*>(w)) label->setText(text);
    }
}

}  // namespace vorkal
