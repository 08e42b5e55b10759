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

QString BaudRateText(uint8_t speedIndex) {
    static const char* const texts[] = {"57600 baud", "38400 baud", "19200 baud", "9600 baud", "4800 baud"};
    return QString::fromLatin1(speedIndex < 5 ? texts[speedIndex] : texts[0]);
}

}  // namespace vorkal
