#pragma once
// Error texts of the device transactions, English and Polish.

#include <QString>
#include <cstdint>

namespace vorkal {

enum class ProtocolError {
    Canceled,          // the user pressed Cancel
    ReadTimeout,       // a read got no reply
    WriteTimeout,      // a write got no reply
    EepromError,       // the display reported a memory error
    HeaderError,       // reply too short, wrong echo or no ','
    CrcError,          // check byte does not match
    ConfigWriteError,  // configuration block refused
    LogWriteError,     // log record refused
};

QString ErrorText(ProtocolError error, bool polish);
// The text a block write returns when its last attempt failed; k counts from 1.
QString ConfigSendFailedText(int k, const QString& reason, bool polish);
QString LogSendFailedText(int k, const QString& reason, bool polish);

// The line added after a failure whose reason is that the display did not answer:
// what to check. Empty for any other reason.
QString NoReplyAdvice(const QString& reason, bool polish);
// The same check, for any failure to read the display.
QString CheckConnectionAdvice(bool polish);

// What a write that failed partway may have left in the display and how to get back.
enum class PartialWrite { Configuration, Log };
// `backupPath`: the backup made before this write; empty when none was made.
QString PartialWriteAdvice(PartialWrite what, const QString& backupPath, bool polish);

// "57600 baud" .. "4800 baud" for the speed indexes 0..4, "57600 baud" for any other.
QString BaudRateText(uint8_t speedIndex);

}  // namespace vorkal
