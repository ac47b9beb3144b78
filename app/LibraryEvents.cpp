#include "LibraryEvents.h"

#include <thread>

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QThread>

namespace tindrel {

LibraryEvents::LibraryEvents(Handlers handlers, QObject *parent)
    : QObject(parent)
    , handlers_(std::move(handlers))
{ }

LibraryEvents::~LibraryEvents() { stop(); }

void LibraryEvents::openManager()
{
    if (manager_ || closing_)
        return;
    if (TindrelManager_create(&manager_) != TINDREL_OK) {
        manager_ = nullptr;
        return;
    }
    TindrelManager_setOnAttachHandler(manager_, &LibraryEvents::onAttach, this);
    TindrelManager_setOnDetachHandler(manager_, &LibraryEvents::onDetach, this);
    TindrelManager_open(manager_);
}

void LibraryEvents::registerServerHandlers()
{
    if (serverHandlersSet_ || closing_)
        return;
    TindrelNet_setOnServerAddedHandler(&LibraryEvents::onServerAdded, this);
    TindrelNet_setOnServerRemovedHandler(&LibraryEvents::onServerRemoved, this);
    serverHandlersSet_ = true;
}

void LibraryEvents::handOff(const std::function<void()> &work)
{
    if (closing_)
        return;
    if (QThread::currentThread() == thread()) {
        work();
        return;
    }
    QMetaObject::invokeMethod(
        this,
        [this, &work] {
            if (!closing_)
                work();
        },
        Qt::BlockingQueuedConnection);
}

void LibraryEvents::onAttach(TindrelManagerHandle, void *ctx, TindrelHandle channel)
{
    auto *self = static_cast<LibraryEvents *>(ctx);
    if (self->handlers_.attach)
        self->handOff([self, channel] { self->handlers_.attach(channel); });
}

void LibraryEvents::onDetach(TindrelManagerHandle, void *ctx, TindrelHandle channel)
{
    auto *self = static_cast<LibraryEvents *>(ctx);
    if (self->handlers_.detach)
        self->handOff([self, channel] { self->handlers_.detach(channel); });
}

void LibraryEvents::onServerAdded(void *ctx, TindrelServerHandle server, kv_t kv)
{
    auto *self = static_cast<LibraryEvents *>(ctx);
    if (self->handlers_.serverAdded)
        self->handOff([self, server, kv] { self->handlers_.serverAdded(server, kv); });
}

void LibraryEvents::onServerRemoved(void *ctx, TindrelServerHandle server)
{
    auto *self = static_cast<LibraryEvents *>(ctx);
    if (self->handlers_.serverRemoved)
        self->handOff([self, server] { self->handlers_.serverRemoved(server); });
}

void LibraryEvents::stop()
{
    if (closing_.exchange(true))
        return;
    if (!manager_ && !serverHandlersSet_)
        return;
    // Closing waits for callbacks in flight, and such a callback may be
    // waiting for this (main) thread: close on a helper thread and keep this
    // thread's events flowing until it is done. The waiting calls see
    // closing_ and return at once.
    std::atomic<bool> done{false};
    TindrelManagerHandle manager = manager_;
    const bool removeServerHandlers = serverHandlersSet_;
    std::thread closer([this, &done, manager, removeServerHandlers] {
        if (manager)
            TindrelManager_close(manager);
        if (removeServerHandlers) {
            TindrelNet_setOnServerAddedHandler(nullptr, nullptr);
            TindrelNet_setOnServerRemovedHandler(nullptr, nullptr);
        }
        done = true;
        // Wakes the waiting main thread.
        QMetaObject::invokeMethod(
            this, [] {}, Qt::QueuedConnection);
    });
    // Not a nested QEventLoop: that would return at once while the
    // application is quitting.
    while (!done && QCoreApplication::instance())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    closer.join();
    serverHandlersSet_ = false;
    if (manager_)
        TindrelManager_delete(&manager_);
    manager_ = nullptr;
}

}   // namespace tindrel
