#pragma once

#include <atomic>
#include <functional>

#include <QObject>

#include "tindrel22_core.h"

namespace tindrel {

// Owns the device library's manager and the server discovery handlers, and
// carries their events from the library's threads to the main thread.
//
// Each event is handed to the main thread with a blocking call: the library
// thread waits until the handler has finished, so the handle it carries stays
// valid throughout. stop() may run while such a call is waiting: it marks the
// object closing (later events are dropped unseen), closes the manager and
// removes the handlers on a helper thread, and meanwhile keeps serving the
// main thread's events so that no waiting callback is left stuck.
class LibraryEvents : public QObject {
    Q_OBJECT
public:
    struct Handlers {
        std::function<void(TindrelHandle channel)> attach;
        std::function<void(TindrelHandle channel)> detach;
        std::function<void(TindrelServerHandle server, kv_t kv)> serverAdded;
        std::function<void(TindrelServerHandle server)> serverRemoved;
    };

    explicit LibraryEvents(Handlers handlers, QObject *parent = nullptr);
    ~LibraryEvents() override;   // stops if still running

    // Creates the manager, registers the attach and detach handlers and opens it.
    void openManager();
    // Registers the server-added and server-removed handlers.
    void registerServerHandlers();
    // Closes and deletes the manager and removes every handler. Main thread only.
    void stop();

    bool isClosing() const { return closing_.load(); }

private:
    static void onAttach(TindrelManagerHandle, void *ctx, TindrelHandle channel);
    static void onDetach(TindrelManagerHandle, void *ctx, TindrelHandle channel);
    static void onServerAdded(void *ctx, TindrelServerHandle server, kv_t kv);
    static void onServerRemoved(void *ctx, TindrelServerHandle server);

    // Runs work on the main thread and waits for it, unless closing.
    void handOff(const std::function<void()> &work);

    Handlers handlers_;
    std::atomic<bool> closing_{false};
    TindrelManagerHandle manager_ = nullptr;
    bool serverHandlersSet_ = false;
};

}   // namespace tindrel
