#include "ViewFormController.h"

#include "ExampleWindow.h"

#include <QPointer>

namespace tindrel {

ViewFormController::ViewFormController(std::unique_ptr<ExampleWindow> window, QObject *parent)
    : QObject(parent)
    , window_(std::move(window))
{
    connect(window_.get(), &ExampleWindow::windowWillClose, this, [this] {
        QPointer<ViewFormController> alive(this);
        emitting_ = true;
        emit windowWillClose();
        if (alive)
            emitting_ = false;
    });
}

ViewFormController::~ViewFormController()
{
    if (!window_)
        return;
    window_->disconnect(this);
    if (emitting_) {
        // Still inside the window's close handling: it must outlive this call.
        window_->hide();
        window_.release()->deleteLater();
    }
}

void ViewFormController::show()
{
    window_->show();
    window_->raise();
}

}   // namespace tindrel
