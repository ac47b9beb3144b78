#include "WindowRegistry.h"

#include "ViewFormController.h"
#include "WindowEnvironment.h"

namespace tindrel {

WindowRegistry::WindowRegistry(std::span<const Entry> entries)
    : entries_(entries.begin(), entries.end())
{ }

const WindowRegistry::Entry *WindowRegistry::find(QStringView name, ExampleWindow::Form form) const
{
    for (const Entry &e : entries_)
        if (e.form == form && name == QLatin1String(e.name))
            return &e;
    return nullptr;
}

const WindowRegistry::Entry *WindowRegistry::findWindowForm(QStringView name) const
{
    return find(name, ExampleWindow::Form::Window);
}

const WindowRegistry::Entry *WindowRegistry::findViewForm(QStringView name) const
{
    return find(name, ExampleWindow::Form::View);
}

ExampleWindow *WindowRegistry::openWindowForm(const Entry &entry, const WindowEnvironment &env)
{
    ExampleWindow *window = entry.make();
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setUp(env);
    window->show();
    return window;
}

std::unique_ptr<ViewFormController> WindowRegistry::openViewForm(const Entry &entry, const WindowEnvironment &env)
{
    auto controller = std::make_unique<ViewFormController>(std::unique_ptr<ExampleWindow>(entry.make()));
    controller->window()->setUp(env);
    controller->show();
    return controller;
}

}   // namespace tindrel
