#include "boot_protocol.h"

#include <algorithm>

#include "hex_reader.h"
#include "texts.h"

namespace vorkal {

namespace {

QByteArrayView MarkerWindow(const FirmwareImage& image) {
    return QByteArrayView(reinterpret_cast<const char*>(image.bytes.data()), kMarkerWindow);
}

}  // namespace

QByteArray BootHandshake() { return QByteArray("Mofe\xFF", 5); }

bool HasFirmwareMarker(const FirmwareImage& image) { return MarkerWindow(image).contains("Vorkal"); }

QByteArray FirmwareVersionText(const FirmwareImage& image) {
    const QByteArrayView window = MarkerWindow(image);
    for (char digit = '0'; digit <= '9'; ++digit) {
        const char pattern[3] = {'v', digit, '.'};
        const qsizetype at = window.indexOf(QByteArrayView(pattern, 3));
        if (at >= 0) return window.sliced(at, std::min<qsizetype>(5, window.size() - at)).toByteArray();
    }
    return "v?.??";
}

QString PrintableVersion(QByteArrayView text) {
    QString shown;
    shown.reserve(text.size());
    for (char c : text) {
        const uint8_t b = uint8_t(c);
        shown += (b < 0x20 || b == 0x7F) ? QChar('?') : QChar(b);
    }
    return shown;
}

void AppendEscaped(QByteArray& wire, uint8_t byte) {
    wire.append(char(byte));
    if (byte == kBootEscape) wire.append(char(kBootEscapedData));
}

int EscapedLength(const uint8_t* bytes, int length) {
    int n = length;
    for (int i = 0; i < length; ++i) n += bytes[i] == kBootEscape;
    return n;
}

bool IsKnownBlockSize(uint32_t blockSize) { return blockSize == kSmallBlockSize || blockSize == kLargeBlockSize; }

bool ImageSuitsBlockSize(int length, uint32_t blockSize) {
    if (blockSize == kSmallBlockSize) return length <= kSmallProcessorMaxLength;
    if (blockSize == kLargeBlockSize) return length >= kLargeProcessorMinLength;
    return false;
}

QString FirmwareUpdateText(FirmwareText which, bool polish) {
    switch (which) {
    case FirmwareText::NotVorkalFirmware:
        return Tr(polish, "Loaded file is not right firmware\r\nfor Vorkal display !",
                  "Wczytany plik nie jest prawidłowym\r\noprogramowaniem do wyświetlacza Vorkal !");
    case FirmwareText::ConfirmCaption: return Tr(polish, "Confirm firmware update", "Potwierdź aktualizację");
    case FirmwareText::UpdateSuccessful:
        return Tr(polish, "Update successfull !", "Aktualizacja zakończona sukcesem !");
    case FirmwareText::WaitingForConnect: return Tr(polish, "Waiting for connect...", "Oczekiwanie na połączenie...");
    case FirmwareText::NoCommunication: return Tr(polish, "No communication !", "Brak komunikacji z modułem !");
    case FirmwareText::PowerCycleInstructions:
        return Tr(polish,
                  "1. Turn off display power\r\n2. Click OK\r\n3. Reconnect display power\r\n"
                  "4. Wait for end of update",
                  "1. Wyłącz zasilanie wyświetlacza\r\n2. Kliknij przycisk OK\r\n"
                  "3. Ponownie podłącz zasilanie wyświetlacza\r\n"
                  "4. Poczekaj na zakończenie aktualizacji oprogramowania");
    case FirmwareText::ErrorDuringProgramming:
        return Tr(polish, "Error during programming !", "Błąd podczas programowania !");
    case FirmwareText::NotRecognizedProcessor:
        return Tr(polish, "Not recognized processor !", "Nierozpoznany procesor !");
    case FirmwareText::IncompatibleFirmware: return Tr(polish, "Incompatible firmare !", "Niekompatybilne firmware !");
    case FirmwareText::Programming: return Tr(polish, "Programming...", "Programowanie...");
    case FirmwareText::Verifying: return Tr(polish, "Veryfing...", "Weryfikacja...");
    case FirmwareText::VerificationError: return Tr(polish, "Veryfication error !", "Błąd weryfikacji !");
    }
    return {};
}

QString NotVorkalFirmwareReason(bool polish) {
    return (polish ? QString::fromUtf8("W pierwszych %1 bajtach pliku nie ma znacznika \"Vorkal\", który ma każde "
                                       "oprogramowanie tego wyświetlacza: wybierz plik .hex z oprogramowaniem "
                                       "do wyświetlacza Vorkal.")
                   : QStringLiteral("The file's first %1 bytes hold no \"Vorkal\" mark, which every firmware for "
                                    "this display carries: choose the .hex firmware file made for the Vorkal display."))
        .arg(kMarkerWindow);
}

QString IncompatibleFirmwareReason(int length, uint32_t blockSize, bool polish) {
    if (blockSize == kLargeBlockSize)
        return (polish ? QString::fromUtf8("Obraz ma %1 bajtów, a program ładujący tego wyświetlacza przyjmuje od "
                                           "%2 do %3 bajtów: to oprogramowanie jest dla mniejszego procesora.")
                       : QStringLiteral("The image holds %1 bytes; this display's boot loader takes %2 to %3 bytes: "
                                        "the file is firmware for the smaller processor."))
            .arg(length)
            .arg(kLargeProcessorMinLength)
            .arg(kFirmwareImageSize);
    return (polish ? QString::fromUtf8("Obraz ma %1 bajtów, a program ładujący tego wyświetlacza przyjmuje "
                                       "najwyżej %2 bajtów.")
                   : QStringLiteral("The image holds %1 bytes; this display's boot loader takes at most %2 bytes."))
        .arg(length)
        .arg(kSmallProcessorMaxLength);
}

QString BootAreaRefusal(const FirmwareImage& image, bool polish) {
    if (image.firstBootAreaAddress < 0) return {};
    const QString address =
        "0x" + QString::number(image.firstBootAreaAddress, 16).toUpper().rightJustified(4, QLatin1Char('0'));
    return Tr(polish, "The file holds data in the boot loader's area, first at address %1.\r\n"
                      "The boot loader cannot program it; nothing was sent to the display.",
              "Plik zawiera dane w obszarze programu ładującego, pierwsze pod adresem %1.\r\n"
              "Program ładujący nie może ich zapisać; do wyświetlacza nic nie wysłano.")
        .arg(address);
}

QString ConfirmUpdateQuestion(const QString& current, const QString& next, bool polish) {
    if (polish)
        return QString::fromUtf8("Aktualne oprogramowanie : ") + current + "     \r\n" +
               QString::fromUtf8("Nowe oprogramowanie      : ") + next + "\r\n\r\n" +
               QString::fromUtf8("Rozpocząć aktualizację ?");
    return "Current firmware version : " + current + "     \r\nNew firmware version      : " + next +
           "\r\n\r\nUpdate firmware ?";
}

}  // namespace vorkal
