#pragma once

#include <functional>
#include <memory>

#include <QObject>
#include <QString>

#include "tindrel22_core.h"

namespace tindrel {

struct LibraryEventsContext;

// Owns the device library's manager and the server discovery handlers, and
// carries their events from the library's threads to the main thread.
//
// Each event is handed to the main thread with a blocking call: the library
// thread waits until the handler has finished, so the handle it carries stays
// valid throughout. stop() may run while such a call is waiting: it marks the
// object closing (later events are dropped unseen), closes the manager and
// removes the handlers on a helper thread, and meanwhile keeps serving the
// main thread's events so that no waiting callback is left stuck.
//
// The library is not handed this object as the callbacks' context but a key
// to a shared context: closing the manager does not wait for a callback the
// library has already started, and such a callback may run after this object
// is gone. It then finds no context under its key, or one marked closing.
// stop() returns only once no callback is using this object any more.
class LibraryEvents : public QObject {
    Q_OBJECT
public:
    struct Handlers {
        std::function<void(TindrelHandle channel)> attach;
        std::function<void(TindrelHandle channel)> detach;
        std::function<void(TindrelServerHandle server, kv_t kv)> serverAdded;
        std::function<void(TindrelServerHandle server)> serverRemoved;
    };

    // How opening the manager went: code 0, or the failing call's code with
    // the library's detail text.
    struct OpenResult {
        TindrelReturnCode code = TINDREL_OK;
        QString call;     // the failing library call
        QString detail;   // the library's last-error detail (or the code's description)
        bool ok() const { return code == TINDREL_OK; }
    };

    explicit LibraryEvents(Handlers handlers, QObject *parent = nullptr);
    ~LibraryEvents() override;   // stops if still running

    // Creates the manager, registers the attach and detach handlers and opens it.
    OpenResult openManager();
    // Registers the server-added and server-removed handlers.
    void registerServerHandlers();
    // Closes and deletes the manager and removes every handler; returns when
    // no callback uses this object any more. Main thread only.
    void stop();

    bool isClosing() const;

private:
    static void onAttach(TindrelManagerHandle, void *key, TindrelHandle channel);
    static void onDetach(TindrelManagerHandle, void *key, TindrelHandle channel);
    static void onServerAdded(void *key, TindrelServerHandle server, kv_t kv);
    static void onServerRemoved(void *key, TindrelServerHandle server);

    // Runs work with the object under key on the main thread and waits for
    // it, unless the object is closing or gone.
    static void deliver(void *key, const std::function<void(LibraryEvents &)> &work);
    void handOff(const std::function<void()> &work);

    Handlers handlers_;
    std::shared_ptr<LibraryEventsContext> context_;
    void *key_ = nullptr;
    TindrelManagerHandle manager_ = nullptr;
    bool serverHandlersSet_ = false;
};

}   // namespace tindrel
