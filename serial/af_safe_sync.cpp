#include "af_safe_sync.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QThread>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace AfSafeSync {
namespace {

struct Request {
    quint32 id = 0;
    bool started = false;
    bool done = false;
    bool abandoned = false;
};

struct Slot {
    bool enabled = false;
    TAfSyncMethod method;
    quint32 id = 0;
};

const QEvent::Type RequestEventType = static_cast<QEvent::Type>(QEvent::User + 257);

class RequestEvent : public QEvent {
public:
    explicit RequestEvent(std::shared_ptr<Request> request) : QEvent(RequestEventType), request(std::move(request)) {}
    std::shared_ptr<Request> request;
};

const QEvent::Type ExceptionEventType = static_cast<QEvent::Type>(QEvent::User + 258);

class ExceptionEvent : public QEvent {
public:
    explicit ExceptionEvent(std::exception_ptr error) : QEvent(ExceptionEventType), error(std::move(error)) {}
    std::exception_ptr error;
};

class Receiver : public QObject {
public:
    bool event(QEvent* e) override;
};

// Guards the targetSlots, the id counter, the receiver pointer and every request's state.
std::mutex tableMutex;
std::condition_variable requestChanged;
std::array<Slot, MaxTargets> targetSlots;
quint32 idCounter = 0;
Receiver* receiver = nullptr;  // the "window": exists from the first registration
QThread* receiverThread = nullptr;
TAfExceptionHandler exceptionHandler;
// Set when a served request's caller has still to be woken; see WakeCallers.
std::atomic<bool> wakePending{false};
bool wakesDeferred = false;  // the receiver's thread has an event dispatcher to defer them to
std::atomic<quint64> callsMade{0};

Slot* FindSlot(quint32 id) {
    if (id == 0) return nullptr;
    for (Slot& s : targetSlots)
        if (s.id == id) return &s;
    return nullptr;
}

bool IsRunnable(quint32 id) {
    const Slot* s = FindSlot(id);
    return receiver && s && s->method && s->enabled;
}

void ReportException(std::exception_ptr error) {
    TAfExceptionHandler handler;
    {
        std::lock_guard lock(tableMutex);
        handler = exceptionHandler;
    }
    try {
        std::rethrow_exception(error);
    } catch (const EAfSilentAbort&) {
        return;
    } catch (...) {}
    if (handler) {
        handler(error);
        return;
    }
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        qWarning("%s", e.what());
    } catch (...) {
        qWarning("Unknown exception in a sync target");
    }
}

// Events are built under the table mutex and read here only after taking it: the
// queue between the threads is Qt's, and its locking is invisible to race checkers.
bool Receiver::event(QEvent* e) {
    QEvent::Type type;
    {
        std::lock_guard lock(tableMutex);
        type = e->type();
    }
    if (type == ExceptionEventType) {
        std::exception_ptr error;
        {
            std::lock_guard lock(tableMutex);
            error = static_cast<ExceptionEvent*>(e)->error;
        }
        ReportException(error);
        return true;
    }
    if (type != RequestEventType) return QObject::event(e);
    TAfSyncMethod method;
    int slotNumber = 0;
    std::shared_ptr<Request> held;
    {
        std::lock_guard lock(tableMutex);
        held = static_cast<RequestEvent*>(e)->request;
        Request& request = *held;
        if (request.abandoned) return true;
        request.started = true;
        if (IsRunnable(request.id)) {
            const Slot* s = FindSlot(request.id);
            method = s->method;
            slotNumber = int(s - targetSlots.data()) + 1;
        }
    }
    if (method) {
        try {
            method(slotNumber);
        } catch (...) {
            ReportException(std::current_exception());
        }
    }
    {
        std::lock_guard lock(tableMutex);
        held->done = true;
        if (wakesDeferred) {
            wakePending = true;
            return true;
        }
    }
    requestChanged.notify_all();
    return true;
}

// A caller whose request has been served is woken when this thread next turns to its
// event dispatcher (to wait, or to look for events), not at once: its wake-up then
// overlaps with what this thread does next instead of lengthening this turn. The
// caller has nothing to do before this thread processes events again, since its next
// report needs them. Disabling or unregistering a target still wakes it at once.
void WakeCallers() {
    if (wakePending.load(std::memory_order_relaxed) && wakePending.exchange(false)) requestChanged.notify_all();
}

void CreateReceiver() {
    receiver = new Receiver;
    receiverThread = QThread::currentThread();
    if (QCoreApplication* app = QCoreApplication::instance()) {
        if (receiver->thread() != app->thread()) receiver->moveToThread(app->thread());
        receiverThread = app->thread();
        if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance(receiverThread)) {
            QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, receiver, WakeCallers,
                             Qt::DirectConnection);
            QObject::connect(dispatcher, &QAbstractEventDispatcher::awake, receiver, WakeCallers, Qt::DirectConnection);
            QObject::connect(dispatcher, &QObject::destroyed, [] {
                {
                    std::lock_guard lock(tableMutex);
                    wakesDeferred = false;
                    wakePending = false;
                }
                requestChanged.notify_all();
            });
            wakesDeferred = true;
        }
        // The receiver dies with its thread's event loop; later calls find no window.
        // It is left allocated so that a post racing with the shutdown stays harmless.
        QObject::connect(app, &QObject::destroyed, [] {
            {
                std::lock_guard lock(tableMutex);
                receiver = nullptr;
                wakesDeferred = false;
                wakePending = false;
                for (Slot& s : targetSlots) s = Slot{};
            }
            requestChanged.notify_all();
        });
    }
}

}  // namespace

quint32 RegisterTarget(TAfSyncMethod method) {
    if (!method) return 0;
    std::lock_guard lock(tableMutex);
    if (!receiver) CreateReceiver();
    for (Slot& s : targetSlots) {
        if (s.method) continue;
        idCounter = idCounter + 1 == 0 ? 1 : idCounter + 1;
        s.enabled = false;
        s.method = std::move(method);
        s.id = idCounter;
        return s.id;
    }
    return 0;
}

bool UnregisterTarget(quint32 id) {
    bool found = false;
    {
        std::lock_guard lock(tableMutex);
        if (Slot* s = FindSlot(id)) {
            *s = Slot{};
            found = true;
        }
    }
    if (found) requestChanged.notify_all();
    return found;
}

bool EnableTarget(quint32 id, bool enabled) {
    bool found = false;
    {
        std::lock_guard lock(tableMutex);
        Slot* s = FindSlot(id);
        if (s && s->method) {
            s->enabled = enabled;
            found = true;
        }
    }
    if (found && !enabled) requestChanged.notify_all();
    return found;
}

bool CallTarget(quint32 id, int timeoutMs) {
    callsMade.fetch_add(1, std::memory_order_relaxed);
    auto request = std::make_shared<Request>();
    request->id = id;
    Receiver* target = nullptr;
    bool sameThread = false;
    RequestEvent* event = nullptr;
    {
        std::lock_guard lock(tableMutex);
        if (!IsRunnable(id)) return false;
        target = receiver;
        sameThread = QThread::currentThread() == receiverThread;
        event = new RequestEvent(request);
    }
    if (sameThread) {
        // A call from the user-interface thread itself runs the target directly.
        target->event(event);
        delete event;
    } else {
        QCoreApplication::postEvent(target, event);
    }

    std::unique_lock lock(tableMutex);
    requestChanged.wait_for(lock, std::chrono::milliseconds(std::max(timeoutMs, 0)),
                            [&] { return request->done || !IsRunnable(id); });
    if (!request->done) request->abandoned = true;  // not run if it has not started yet
    return IsRunnable(id);
}

void SetExceptionHandler(TAfExceptionHandler handler) {
    std::lock_guard lock(tableMutex);
    exceptionHandler = std::move(handler);
}

void PostException(std::exception_ptr error) {
    Receiver* target = nullptr;
    ExceptionEvent* event = nullptr;
    {
        std::lock_guard lock(tableMutex);
        target = receiver;
        if (target) event = new ExceptionEvent(error);
    }
    if (target) QCoreApplication::postEvent(target, event);
    else ReportException(std::move(error));
}

quint64 CallsMade() { return callsMade.load(); }

void SetIdCounter(quint32 last) {
    std::lock_guard lock(tableMutex);
    idCounter = last;
}

}  // namespace AfSafeSync
