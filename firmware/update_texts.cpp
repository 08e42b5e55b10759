#include "update_texts.h"

namespace vorkal {

QString StrandedDisplayHint(bool firmwareTouched, bool polish) {
    if (firmwareTouched)
        return polish ? QString::fromUtf8(
                            "Wyświetlacz czeka w programie ładującym; jego oprogramowanie jest niekompletne.\r\n"
                            "Wyłącz i włącz zasilanie wyświetlacza, kliknij \"Otwórz\"\r\n"
                            "i ponów aktualizację oprogramowania.")
                      : QString(
                            "The display is waiting in its boot loader; its firmware is incomplete.\r\n"
                            "Switch the display off and on again, press Open\r\n"
                            "and run the firmware update once more.");
    return polish ? QString::fromUtf8(
                        "Wyświetlacz może czekać w programie ładującym;\r\n"
                        "dotychczasowe oprogramowanie jest nienaruszone.\r\n"
                        "Wyłącz i włącz zasilanie wyświetlacza, a następnie kliknij \"Otwórz\".")
                  : QString(
                        "The display may be waiting in its boot loader; its old firmware is intact.\r\n"
                        "Switch the display off and on again, then press Open.");
}

}  // namespace vorkal
