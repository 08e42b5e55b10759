// Sync targets: a worker thread asks the user-interface thread to run a registered
// method and waits for it with a time-out. Requests travel as posted events to a
// receiver object on the user-interface thread, so they are served wherever that
// thread processes events, also inside nested processEvents() or a local QEventLoop.
#pragma once

#include <QtGlobal>

#include <exception>
#include <functional>

namespace AfSafeSync {

constexpr int MaxTargets = 64;

// The target method receives its slot number (1 .. 64).
using TAfSyncMethod = std::function<void(int slot)>;

// Returns the new target's id (disabled), or 0 when all 64 slots are taken.
// The first call must come from the user-interface thread.
quint32 RegisterTarget(TAfSyncMethod method);
bool UnregisterTarget(quint32 id);
bool EnableTarget(quint32 id, bool enabled);
// Runs the target on the user-interface thread and waits up to timeoutMs for it.
// True when the target is still registered and enabled afterwards, whether or not
// it ran in time. Disabling the target wakes a waiting caller at once.
bool CallTarget(quint32 id, int timeoutMs);

// Where an exception escaping a target goes (on the user-interface thread). The
// default writes its message as a warning; the application installs its error box.
using TAfExceptionHandler = std::function<void(std::exception_ptr)>;
void SetExceptionHandler(TAfExceptionHandler handler);

// Hands an exception to the exception handler on the user-interface thread, without waiting.
void PostException(std::exception_ptr error);

// Test seam: sets the last handed-out id.
void SetIdCounter(quint32 last);
// Test seam: CallTarget calls made so far by this process.
quint64 CallsMade();

}  // namespace AfSafeSync

// Thrown to end a handler quietly; the sync and worker error paths ignore it.
class EAfSilentAbort : public std::exception {
public:
    const char* what() const noexcept override { return "Operation aborted"; }
};
