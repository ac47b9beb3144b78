// The lock of the server panel: a lock button over one right of the
// system's authority (polkit on Linux). Clicking it while locked asks for
// the right (the system may ask for an administrator's password); clicking
// it while unlocked locks again and drops the kept authorization. With
// automatic updating on, the right is re-checked quietly every little
// while, so that the lock closes by itself when the authorization runs out.
// Every check runs off the main thread.
#pragma once

#include "BackgroundQueue.h"
#include "ServerServices.h"

#include <QTimer>
#include <QWidget>

#include <memory>

class QToolButton;

namespace tindrel::server {

class AuthorizationView : public QWidget {
    Q_OBJECT
public:
    enum class State { Locked, Unlocked };

    AuthorizationView(std::shared_ptr<platform::PanelAuthority> authority, QWidget *parent = nullptr);
    ~AuthorizationView() override;

    State authorizationState() const { return state_; }
    bool checking() const { return checking_; }
    // Quiet check of the right; the state follows the answer.
    void updateStatus();
    void setAutoupdate(bool on, int intervalMs);
    // Locks and drops the kept authorization.
    void deauthorize();
    // Asks for the right, with the system's dialog if need be.
    void authorize();
    QToolButton *button() const { return button_; }

signals:
    void didAuthorize();
    void didDeauthorize();
    // After the first status update (which decides the panel's state) and
    // after every update that changed the state.
    void statusUpdated(bool unlocked);

private:
    void check(bool interactive);
    void answered(bool granted, bool interactive, unsigned generation);
    void setState(State state);
    void clicked();

    std::shared_ptr<platform::PanelAuthority> authority_;
    std::shared_ptr<MainThreadRelay> relay_;
    BackgroundQueue queue_;
    QToolButton *button_;
    QTimer autoupdate_;
    State state_ = State::Locked;
    bool checking_ = false;
    bool firstUpdate_ = true;
    // Bumped by every lock from here: answers to checks asked before it are
    // out of date and ignored.
    unsigned generation_ = 0;
};

}   // namespace tindrel::server
