// COM numbers on Linux. A symlink COM<n> in the port directory pointing at a
// character device wins; otherwise /dev/ttyS<k> (with a UART behind it) is COM<k+1>,
// /dev/ttyUSB<k> is COM<33+k> and /dev/ttyACM<k> is COM<65+k>.
#pragma once

#include <QString>
#include <QStringList>

// $VORKAL_PORT_DIR, else $XDG_RUNTIME_DIR/vorkal-ports, else /tmp/vorkal-ports-<uid>.
QString ComPortDirectory();
// Device path for COM<n>; empty when there is no such port.
QString DevicePathForComNumber(int n);
// The /dev path the naming rule gives COM<n>, present or not; empty beyond the rule.
QString RuleDevicePathForComNumber(int n);
// "COM<n>" names of every present port, in ascending number.
QStringList ListComPortNames();
// Whether a ttyS line has a UART behind it, as the serial core reports it in sysfs (type
// 0, "unknown", marks the unused entries every PC has). Asked of sysfs, not of the
// driver: opening the device raises DTR and RTS and closing it drops them, which resets
// many boards. Other devices, and a line sysfs says nothing of, count as there.
bool UartBehind(const QString& devicePath, const QString& sysRoot = QStringLiteral("/sys"));
