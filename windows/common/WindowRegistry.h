#pragma once

#include "ExampleWindow.h"

#include <QStringView>

#include <memory>
#include <span>
#include <vector>

class QWidget;

namespace tindrel {

class ViewFormController;
struct WindowEnvironment;

// Example windows by name. Replaces window resources (window form) and
// storyboards (view form): a name is looked up among the window-form
// entries first, then among the view-form entries.
class WindowRegistry {
public:
    // Makes the window's widgets; setUp opens its channel afterwards.
    using Factory = ExampleWindow *(*)();
    struct Entry {
        const char *name;
        ExampleWindow::Form form;
        Factory make;
    };

    explicit WindowRegistry(std::span<const Entry> entries);
    // Every example window of this program.
    static WindowRegistry standard();

    const Entry *findWindowForm(QStringView name) const;
    const Entry *findViewForm(QStringView name) const;
    std::span<const Entry> entries() const { return entries_; }

    // Window form: makes, sets up and shows a window that deletes itself
    // when closed. The pointer is only for immediate use.
    static ExampleWindow *openWindowForm(const Entry &entry, const WindowEnvironment &env);
    // View form: makes and sets up the window inside a controller, which the
    // caller keeps until it emits windowWillClose(); shows it.
    static std::unique_ptr<ViewFormController> openViewForm(const Entry &entry, const WindowEnvironment &env);

private:
    const Entry *find(QStringView name, ExampleWindow::Form form) const;

    std::vector<Entry> entries_;
};

}   // namespace tindrel
