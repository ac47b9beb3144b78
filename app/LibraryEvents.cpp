#include "LibraryEvents.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <unordered_map>

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QThread>

#include "LibraryError.h"

namespace tindrel {

// What the callbacks share with their LibraryEvents. owner is valid while
// closing is false, and while inFlight is above zero.
struct LibraryEventsContext {
    std::mutex m;
    std::condition_variable changed;
    bool closing = false;
    int inFlight = 0;             // callbacks using owner right now
    bool libraryClosed = false;   // the helper thread of stop() is done
    LibraryEvents *owner = nullptr;
};

namespace {

// Keys handed to the library, and the contexts they stand for. Never
// destroyed: a callback may still look its key up while the process exits.
struct ContextTable {
    std::mutex m;
    std::unordered_map<uintptr_t, std::shared_ptr<LibraryEventsContext>> byKey;
    uintptr_t next = 1;
};

ContextTable &contexts()
{
    static auto *table = new ContextTable;
    return *table;
}

void *registerContext(std::shared_ptr<LibraryEventsContext> context)
{
    ContextTable &t = contexts();
    std::lock_guard<std::mutex> lk(t.m);
    const uintptr_t key = t.next++;
    t.byKey.emplace(key, std::move(context));
    return reinterpret_cast<void *>(key);
}

std::shared_ptr<LibraryEventsContext> findContext(void *key)
{
    ContextTable &t = contexts();
    std::lock_guard<std::mutex> lk(t.m);
    const auto it = t.byKey.find(reinterpret_cast<uintptr_t>(key));
    return it == t.byKey.end() ? nullptr : it->second;
}

void forgetContext(void *key)
{
    ContextTable &t = contexts();
    std::lock_guard<std::mutex> lk(t.m);
    t.byKey.erase(reinterpret_cast<uintptr_t>(key));
}

LibraryEvents::OpenResult failure(TindrelReturnCode code, const char *call)
{
    return {code, QString::fromLatin1(call), errorMessage(code)};
}

}   // namespace

LibraryEvents::LibraryEvents(Handlers handlers, QObject *parent)
    : QObject(parent)
    , handlers_(std::move(handlers))
    , context_(std::make_shared<LibraryEventsContext>())
{
    context_->owner = this;
    key_ = registerContext(context_);
}

LibraryEvents::~LibraryEvents() { stop(); }

bool LibraryEvents::isClosing() const
{
    std::lock_guard<std::mutex> lk(context_->m);
    return context_->closing;
}

LibraryEvents::OpenResult LibraryEvents::openManager()
{
    if (manager_ || isClosing())
        return {};
    if (const TindrelReturnCode rc = TindrelManager_create(&manager_); rc != TINDREL_OK) {
        manager_ = nullptr;
        return failure(rc, "TindrelManager_create");
    }
    TindrelManager_setOnAttachHandler(manager_, &LibraryEvents::onAttach, key_);
    TindrelManager_setOnDetachHandler(manager_, &LibraryEvents::onDetach, key_);
    if (const TindrelReturnCode rc = TindrelManager_open(manager_); rc != TINDREL_OK)
        return failure(rc, "TindrelManager_open");
    return {};
}

void LibraryEvents::registerServerHandlers()
{
    if (serverHandlersSet_ || isClosing())
        return;
    TindrelNet_setOnServerAddedHandler(&LibraryEvents::onServerAdded, key_);
    TindrelNet_setOnServerRemovedHandler(&LibraryEvents::onServerRemoved, key_);
    serverHandlersSet_ = true;
}

void LibraryEvents::deliver(void *key, const std::function<void(LibraryEvents &)> &work)
{
    const std::shared_ptr<LibraryEventsContext> context = findContext(key);
    if (!context)
        return;
    LibraryEvents *self = nullptr;
    {
        std::lock_guard<std::mutex> lk(context->m);
        if (context->closing)
            return;
        ++context->inFlight;
        self = context->owner;
    }
    self->handOff([self, &work] { work(*self); });
    {
        std::lock_guard<std::mutex> lk(context->m);
        --context->inFlight;
    }
    context->changed.notify_all();
}

void LibraryEvents::handOff(const std::function<void()> &work)
{
    if (QThread::currentThread() == thread()) {
        if (!isClosing())
            work();
        return;
    }
    QMetaObject::invokeMethod(
        this,
        [this, &work] {
            if (!isClosing())
                work();
        },
        Qt::BlockingQueuedConnection);
}

void LibraryEvents::onAttach(TindrelManagerHandle, void *key, TindrelHandle channel)
{
    deliver(key, [channel](LibraryEvents &self) {
        if (self.handlers_.attach)
            self.handlers_.attach(channel);
    });
}

void LibraryEvents::onDetach(TindrelManagerHandle, void *key, TindrelHandle channel)
{
    deliver(key, [channel](LibraryEvents &self) {
        if (self.handlers_.detach)
            self.handlers_.detach(channel);
    });
}

void LibraryEvents::onServerAdded(void *key, TindrelServerHandle server, kv_t kv)
{
    deliver(key, [server, kv](LibraryEvents &self) {
        if (self.handlers_.serverAdded)
            self.handlers_.serverAdded(server, kv);
    });
}

void LibraryEvents::onServerRemoved(void *key, TindrelServerHandle server)
{
    deliver(key, [server](LibraryEvents &self) {
        if (self.handlers_.serverRemoved)
            self.handlers_.serverRemoved(server);
    });
}

void LibraryEvents::stop()
{
    {
        std::lock_guard<std::mutex> lk(context_->m);
        if (context_->closing)
            return;
        context_->closing = true;
    }
    // From here no callback starts using this object: one that starts later
    // finds no context, one that looked it up already sees closing.
    forgetContext(key_);

    // Removing the server handlers waits for their callbacks in flight, and
    // such a callback may be waiting for this (main) thread: do the library's
    // part on a helper thread and keep this thread's events flowing until it
    // is done and no callback uses this object. Waiting hand-offs see
    // closing and return at once.
    const std::shared_ptr<LibraryEventsContext> context = context_;
    TindrelManagerHandle manager = manager_;
    const bool removeServerHandlers = serverHandlersSet_;
    std::thread closer([context, manager, removeServerHandlers] {
        if (manager)
            TindrelManager_close(manager);
        if (removeServerHandlers) {
            TindrelNet_setOnServerAddedHandler(nullptr, nullptr);
            TindrelNet_setOnServerRemovedHandler(nullptr, nullptr);
        }
        {
            std::lock_guard<std::mutex> lk(context->m);
            context->libraryClosed = true;
        }
        context->changed.notify_all();
    });
    const bool canServe = QCoreApplication::instance() != nullptr;
    for (;;) {
        if (canServe)
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        std::unique_lock<std::mutex> lk(context->m);
        if (context->libraryClosed && (context->inFlight == 0 || !canServe))
            break;
        // Short waits: a hand-off posted meanwhile is served on the next turn.
        context->changed.wait_for(lk, std::chrono::milliseconds(2));
    }
    closer.join();
    {
        std::lock_guard<std::mutex> lk(context->m);
        context->owner = nullptr;
    }
    serverHandlersSet_ = false;
    if (manager_)
        TindrelManager_delete(&manager_);
    manager_ = nullptr;
}

}   // namespace tindrel
