#include "port_diagnosis.h"

// The same on every system: what the diagnosis found, else the link's own message
// when it says more than that the device did not open.
QString PortOpenFailureReason(int comNumber, const QString& linkMessage, int openError, bool inPolish,
                              const PortEnvironment& env) {
    const QString found = DiagnosePortOpen(comNumber, openError, env).Text(inPolish);
    if (!found.isEmpty()) return found;
    const bool plain = linkMessage.startsWith(QLatin1String("Can't open device")) ||
                       linkMessage.startsWith(QLatin1String("Invalid port number"));
    return plain ? QString() : linkMessage;
}
