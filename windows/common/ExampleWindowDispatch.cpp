#include "ExampleWindowDispatch.h"

#include "AlertService.h"
#include "OpenSettings.h"
#include "ViewFormController.h"
#include "WindowEnvironment.h"
#include "WindowLogic.h"
#include "WindowRegistry.h"

#include <TindrelTreeNode.h>

#include <QCoreApplication>
#include <QSettings>

namespace tindrel {

LeafChannel leafChannelOf(const TindrelTreeNode *node)
{
    if (auto *channel = dynamic_cast<const TindrelChannel *>(node))
        return {channel, dynamic_cast<const TindrelDevice *>(channel->parent())};
    if (auto *device = dynamic_cast<const TindrelDevice *>(node)) {
        if (device->children().empty())
            return {};
        return {dynamic_cast<const TindrelChannel *>(device->children().front().get()), device};
    }
    return {};
}

namespace {

void writeAddress(QSettings &defaults, const TindrelChannel &channel, const TindrelDevice &device)
{
    defaults.setValue(openkeys::serial, device.devSerial);
    defaults.setValue(openkeys::hubPort, device.hubPort);
    defaults.setValue(openkeys::channel, channel.channel.value_or(0));
    defaults.setValue(openkeys::hubPortDevice, device.hubPortDevice);
    defaults.setValue(openkeys::remote, device.isRemote);
    if (device.isRemote)
        defaults.setValue(openkeys::serverName, device.serverName);
    else
        defaults.remove(openkeys::serverName);
}

}   // namespace

ExampleWindowDispatch::ExampleWindowDispatch(const WindowRegistry &registry, AlertService &alerts, QSettings &defaults)
    : registry_(registry)
    , alerts_(alerts)
    , defaults_(defaults)
{ }

std::unique_ptr<ViewFormController> ExampleWindowDispatch::openWindowForLeaf(TindrelTreeNode *node,
                                                                             QWidget *alertParent)
{
    return openWindow(node, alertParent).controller;
}

OpenedWindow ExampleWindowDispatch::openWindow(TindrelTreeNode *node, QWidget *alertParent)
{
    const LeafChannel leaf = leafChannelOf(node);
    if (!leaf.channel || !leaf.device)
        return {};   // a computer or hub port row without children: nothing to open

    writeAddress(defaults_, *leaf.channel, *leaf.device);
    const QString name = windowNameForChannel(leaf.channel->chClsName, leaf.channel->chClass, leaf.channel->chSubClass);
    const WindowEnvironment env{alerts_, defaults_, QCoreApplication::arguments()};

    if (const auto *entry = registry_.findWindowForm(name))
        return {WindowRegistry::openWindowForm(*entry, env), nullptr};
    if (const auto *entry = registry_.findViewForm(name)) {
        std::unique_ptr<ViewFormController> controller = WindowRegistry::openViewForm(*entry, env);
        ExampleWindow *window = controller->window();
        return {window, std::move(controller)};
    }

    alerts_.showAlert(alertParent, QStringLiteral("No Example"),
                      QStringLiteral("There is no example for this Tindrel"));
    return {};
}

}   // namespace tindrel
