#pragma once
// Texts of the firmware update that the window shows.

#include <QString>

namespace vorkal {

// What a failed update tells the user to do next; `firmwareTouched`: programming had
// begun, so the old firmware may be gone.
QString StrandedDisplayHint(bool firmwareTouched, bool polish);

}  // namespace vorkal
