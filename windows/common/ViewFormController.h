#pragma once

#include <QObject>

#include <memory>

namespace tindrel {

class ExampleWindow;

// Holds a view-form example window. Whoever keeps the controller (the main
// window's exampleWindowControllers) drops it when windowWillClose() is
// emitted; by then the channel has been torn down. Destroying the controller
// destroys its window, safely even from inside that signal.
class ViewFormController : public QObject {
    Q_OBJECT
public:
    explicit ViewFormController(std::unique_ptr<ExampleWindow> window, QObject *parent = nullptr);
    ~ViewFormController() override;

    ExampleWindow *window() const { return window_.get(); }
    void show();

signals:
    void windowWillClose();

private:
    std::unique_ptr<ExampleWindow> window_;
    bool emitting_ = false;
};

}   // namespace tindrel
