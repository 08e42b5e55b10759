#include "error_texts.h"

namespace vorkal {

QString ErrorText(ProtocolError error, bool polish) {
    auto pick = [polish](const char* en, const char* pl) { return QString::fromUtf8(polish ? pl : en); };
    switch (error) {
    case ProtocolError::Canceled: return pick("Canceled", "Przerwano");
    case ProtocolError::ReadTimeout: return QStringLiteral("Timeout !!!");
    case ProtocolError::WriteTimeout: return QStringLiteral("Timeout.");
    case ProtocolError::EepromError: return pick("EEPROM Error !!!", "Błąd pamięci EEPROM !!!");
    case ProtocolError::HeaderError: return pick("Header Error !!!", "Błąd nagłówka !!!");
    case ProtocolError::CrcError: return pick("CRC error !!!", "Błąd CRC !!!");
    case ProtocolError::ConfigWriteError: return pick("Write error !!!", "Błąd zapisu !!!");
    case ProtocolError::LogWriteError: return pick("Write error.", "Błąd zapisu.");
    }
    return {};
}

QString ConfigSendFailedText(int k, const QString& reason, bool polish) {
    return (polish ? QString::fromUtf8("Wysyłanie rekordu %1 Nieudane !!!")
                   : QStringLiteral("Sending record %1 Failed !!!"))
               .arg(k) +
           "\r\n" + reason;
}

QString LogSendFailedText(int k, const QString& reason, bool polish) {
    return (polish ? QString::fromUtf8("Wysłanie rekordu %1 Nieudane !!!")
                   : QStringLiteral("Sending record %1 Failed !!!"))
               .arg(k) +
           "\r\n" + reason;
}

QString CheckConnectionAdvice(bool polish) {
    return polish ? QString::fromUtf8(
                        "Sprawdź, czy wyświetlacz jest włączony, czy prędkość (BAUD) zgadza się z "
                        "prędkością wyświetlacza i czy kabel jest podłączony.")
                  : QStringLiteral(
                        "Check that the display is switched on, that the speed (BAUD) matches the "
                        "display's and that the cable is plugged in.");
}

QString NoReplyAdvice(const QString& reason, bool polish) {
    const bool noReply = reason.endsWith(ErrorText(ProtocolError::ReadTimeout, polish)) ||
                         reason.endsWith(ErrorText(ProtocolError::WriteTimeout, polish));
    return noReply ? CheckConnectionAdvice(polish) : QString();
}

QString PartialWriteAdvice(PartialWrite what, const QString& backupPath, bool polish) {
    if (what == PartialWrite::Log)
        return polish ? QString::fromUtf8(
                            "Log w wyświetlaczu może być teraz skasowany tylko częściowo: "
                            "skasuj logi ponownie.")
                      : QStringLiteral(
                            "The log in the display may now be cleared only in part: "
                            "Clear Log In display again.");
    if (backupPath.isEmpty())
        return polish ? QString::fromUtf8(
                            "Wyświetlacz może mieć teraz część starych i część nowych ustawień, "
                            "a kopii zapasowej nie zrobiono: wyślij ustawienia ponownie.")
                      : QStringLiteral(
                            "The display may now hold part of its old and part of the new settings, "
                            "and no backup was made: Send the settings again.");
    return (polish ? QString::fromUtf8("Wyświetlacz może mieć teraz część starych i część nowych ustawień. "
                                       "Poprzednie są w kopii zapasowej %1: zaimportuj ten plik (Importuj) "
                                       "i wyślij go (Wyślij), aby je przywrócić.")
                   : QStringLiteral("The display may now hold part of its old and part of the new settings. "
                                    "What it held before is in the backup %1: Import that file and Send it "
                                    "to restore it."))
        .arg(backupPath);
}

QString BaudRateText(uint8_t speedIndex) {
    static const char* const texts[] = {"57600 baud", "38400 baud", "19200 baud", "9600 baud", "4800 baud"};
    return QString::fromLatin1(speedIndex < 5 ? texts[speedIndex] : texts[0]);
}

}  // namespace vorkal
