#include "AuthorizationView.h"

#include <QHBoxLayout>
#include <QStyle>
#include <QToolButton>

namespace tindrel::server {

AuthorizationView::AuthorizationView(std::shared_ptr<platform::PanelAuthority> authority, QWidget *parent)
    : QWidget(parent)
    , authority_(std::move(authority))
    , relay_(std::make_shared<MainThreadRelay>(this))
    , button_(new QToolButton(this))
{
    setObjectName(QStringLiteral("authView"));
    button_->setObjectName(QStringLiteral("authViewButton"));
    button_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button_->setAutoRaise(true);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(button_);
    layout->addStretch();
    connect(button_, &QToolButton::clicked, this, &AuthorizationView::clicked);
    connect(&autoupdate_, &QTimer::timeout, this, [this] { check(false); });
    setState(State::Locked);
}

AuthorizationView::~AuthorizationView() { relay_->detach(); }

void AuthorizationView::setState(State state)
{
    state_ = state;
    const bool locked = state == State::Locked;
    button_->setIcon(style()->standardIcon(locked ? QStyle::SP_DialogNoButton : QStyle::SP_DialogYesButton));
    button_->setText(locked ? tr("Click the lock to make changes.") : tr("Click the lock to prevent further changes."));
}

void AuthorizationView::updateStatus() { check(false); }

void AuthorizationView::setAutoupdate(bool on, int intervalMs)
{
    if (on)
        autoupdate_.start(intervalMs);
    else
        autoupdate_.stop();
}

void AuthorizationView::authorize() { check(true); }

void AuthorizationView::deauthorize()
{
    auto authority = authority_;
    ++generation_;
    queue_.post([authority] { authority->revoke(); });
    const bool was = state_ == State::Unlocked;
    setState(State::Locked);
    if (was)
        emit didDeauthorize();
}

void AuthorizationView::clicked()
{
    if (checking_)
        return;
    if (state_ == State::Unlocked)
        deauthorize();
    else
        authorize();
}

void AuthorizationView::check(bool interactive)
{
    if (interactive) {
        checking_ = true;
        button_->setEnabled(false);
    }
    auto authority = authority_;
    auto relay = relay_;
    const unsigned generation = generation_;
    // Quiet checks supersede each other; the user's request is never dropped.
    queue_.post(
        [this, authority, relay, interactive, generation] {
            const bool granted = authority->isAuthorized(interactive);
            // Runs on the main thread only while this view exists.
            relay->post([this, granted, interactive, generation] { answered(granted, interactive, generation); });
        },
        interactive ? std::string() : std::string("quiet"));
}

void AuthorizationView::answered(bool granted, bool interactive, unsigned generation)
{
    if (interactive) {
        checking_ = false;
        button_->setEnabled(true);
    }
    // A check asked before the last lock, or a quiet one answered while the
    // user's request waits, does not decide.
    if (generation != generation_ || (!interactive && checking_))
        return;
    const State was = state_;
    setState(granted ? State::Unlocked : State::Locked);
    const bool changed = was != state_;
    if (changed)
        granted ? emit didAuthorize() : emit didDeauthorize();
    if (changed || firstUpdate_)
        emit statusUpdated(granted);
    firstUpdate_ = false;
}

}   // namespace tindrel::server
