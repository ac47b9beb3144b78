#pragma once

#include <QPointer>

#include <memory>

class QSettings;
class QWidget;
class TindrelTreeNode;
class TindrelChannel;
class TindrelDevice;

namespace tindrel {

class AlertService;
class ExampleWindow;
class ViewFormController;
class WindowRegistry;

// The channel a leaf row of the tree stands for, and its device; both null
// for a row that stands for no channel.
struct LeafChannel {
    const TindrelChannel *channel = nullptr;
    const TindrelDevice *device = nullptr;
};
LeafChannel leafChannelOf(const TindrelTreeNode *node);

// What opening a leaf made: the window (null when none was made) and, for a
// view-form window, the controller that the caller keeps while it is open.
struct OpenedWindow {
    QPointer<ExampleWindow> window;
    std::unique_ptr<ViewFormController> controller;
};

// Opens the example window for a leaf row of the device tree: writes the
// channel's address into the user defaults ("n", "v", "c", "h", "r", "s"),
// derives the window name from the channel class and creates the window
// registered under that name; "No Example" when there is none.
class ExampleWindowDispatch {
public:
    ExampleWindowDispatch(const WindowRegistry &registry, AlertService &alerts, QSettings &defaults);

    // node: the leaf row (a TindrelChannel, or a TindrelDevice standing for
    // its single channel). Window-form windows keep themselves alive while
    // open and nullptr is returned. A view-form window's controller is
    // returned to the caller, which keeps it (exampleWindowControllers) until
    // the controller emits windowWillClose().
    std::unique_ptr<ViewFormController> openWindowForLeaf(TindrelTreeNode *node, QWidget *alertParent);
    // The same, telling also which window was made.
    OpenedWindow openWindow(TindrelTreeNode *node, QWidget *alertParent);

private:
    const WindowRegistry &registry_;
    AlertService &alerts_;
    QSettings &defaults_;
};

}   // namespace tindrel
