#pragma once

#include "SessionStore.h"

#include <QCommandLineOption>
#include <QObject>

#include <memory>
#include <optional>

class QCommandLineParser;

namespace tindrel {

class ViewController;

// --open-window CLASS:SERIAL[:HUBPORT[:CHANNEL]]: a window on that local
// channel once it attaches, as a remembered window reopens.
QCommandLineOption openWindowOption();
// A channel as the option names it: the class's short name (VoltageInput),
// the serial number (the hub's for a device on a hub port), then the hub
// port and channel index (0 when left out). Nothing, and a message, when
// the text names no channel.
std::optional<session::ChannelAddress> channelFromOption(const QString &text, QString &problem);
// The window each such channel is named by, one line each.
QString openWindowAddressText(const session::ChannelAddress &address);

// --print-windows-and-quit: once the tree has settled and every window asked
// for (remembered, or named by --open-window) has opened, prints one line per
// open example window (its title, a tab, its channel as --open-window names
// it) and quits as the user would, so the session keeps them; status 1 with
// what is open by then when some never came before the deadline.
QCommandLineOption printWindowsAndQuitOption();
std::unique_ptr<QObject> printWindowsAndQuitIfAsked(const QCommandLineParser &parser, ViewController &controller,
                                                    int deadlineMs = 60000);

}   // namespace tindrel
