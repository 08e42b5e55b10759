// Why a COM port would not open, told in English and Polish: no permission (and
// how to get it), held by another program (which one), gone (unplugged, or a
// stale link), or grabbed by ModemManager's probing of a fresh USB device. Found from
// the failed open's errno and from outside the device, never by opening it again.
#pragma once

#include "port_details.h"

#include <QString>

#include <vector>
#ifdef _WIN32
using gid_t = unsigned;
#else
#include <sys/types.h>
#endif

enum class PortOpenCause { None, PermissionDenied, Busy, Missing, Other };

// Who is asking: the groups of this login session and those the account has now.
struct PortIdentity {
    QString userName;
    std::vector<gid_t> sessionGroups;
    std::vector<gid_t> accountGroups;
    static PortIdentity Current();
};

struct PortOpenDiagnosis {
    PortOpenCause cause = PortOpenCause::None;
    std::vector<DeviceHolder> holders;
    bool modemManagerAdvice = false;
    QString english, polish;  // empty when nothing explains the failure
    const QString& Text(bool inPolish) const { return inPolish ? polish : english; }
};

// Looks at COM<n> as it is now, right after its open failed with `openError` (the
// errno the serial link reported, 0 when none), without opening the device again.
PortOpenDiagnosis DiagnosePortOpen(int comNumber, int openError, const PortEnvironment& env = {},
                                   const PortIdentity& identity = PortIdentity::Current());

// What to add to the open-failure message: the diagnosis, else the serial link's
// own message when it says more than that the device did not open.
QString PortOpenFailureReason(int comNumber, const QString& linkMessage, int openError, bool inPolish,
                              const PortEnvironment& env = {});
