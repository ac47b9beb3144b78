#include "WindowsOnCommandLine.h"

#include "ClassTable.h"
#include "ExampleWindow.h"
#include "SessionKeeper.h"
#include "TreePrinter.h"
#include "ViewController.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

namespace tindrel {

QCommandLineOption openWindowOption()
{
    return QCommandLineOption(QStringLiteral("open-window"),
                              QStringLiteral("Open the example window of this local channel once it attaches "
                                             "(may be given more than once); CLASS is the short class name, "
                                             "as in VoltageInput:300509:0:0."),
                              QStringLiteral("CLASS:SERIAL[:HUBPORT[:CHANNEL]]"));
}

std::optional<session::ChannelAddress> channelFromOption(const QString &text, QString &problem)
{
    const QStringList parts = text.split(QLatin1Char(':'));
    if (parts.size() < 2 || parts.size() > 4) {
        problem = QStringLiteral("'%1' is not CLASS:SERIAL[:HUBPORT[:CHANNEL]]").arg(text);
        return std::nullopt;
    }
    const cli::ClassInfo *cls = cli::classByName(parts[0].toStdString());
    if (!cls) {
        problem = QStringLiteral("'%1' is not a channel class").arg(parts[0]);
        return std::nullopt;
    }
    int numbers[3] = {0, 0, 0};
    static constexpr int most[3] = {999999999, 99, 999};
    for (qsizetype i = 1; i < parts.size(); ++i) {
        bool ok = false;
        const int n = parts[i].toInt(&ok);
        if (!ok || n < 0 || n > most[i - 1] || (i == 1 && n == 0)) {
            problem = QStringLiteral("'%1' in '%2' is not a %3")
                          .arg(parts[i], text,
                               i == 1   ? QStringLiteral("serial number")
                               : i == 2 ? QStringLiteral("hub port")
                                        : QStringLiteral("channel index"));
            return std::nullopt;
        }
        numbers[i - 1] = n;
    }
    session::ChannelAddress a;
    a.channelClass = static_cast<int>(cls->number);
    a.serialNumber = numbers[0];
    a.hubPort = numbers[1];
    a.channel = numbers[2];
    return a;
}

QString openWindowAddressText(const session::ChannelAddress &a)
{
    const cli::ClassInfo *cls = cli::classByNumber(a.channelClass);
    QString text = QStringLiteral("%1:%2:%3:%4")
                       .arg(cls ? QString::fromLatin1(cls->name) : QString::number(a.channelClass))
                       .arg(a.serialNumber)
                       .arg(a.hubPort)
                       .arg(a.channel);
    if (a.hubPortDevice)
        text += QStringLiteral(" (hub port)");
    if (a.remote)
        text += QStringLiteral(" on ") + (a.serverName.isEmpty() ? QStringLiteral("a server") : a.serverName);
    return text;
}

QCommandLineOption printWindowsAndQuitOption()
{
    return QCommandLineOption(QStringLiteral("print-windows-and-quit"),
                              QStringLiteral("Once the device tree has settled and the windows to reopen have "
                                             "opened, print each open example window (title, tab, channel) and "
                                             "quit, remembering them."));
}

namespace {

// Waits for the tree to settle and the windows asked for to open, then prints them.
class WindowPrinter : public QObject {
public:
    WindowPrinter(ViewController &controller, int deadlineMs)
        : controller_(controller)
        , settled_(
              *controller.treeModel(), [&controller] { return controller.viewUpToDate(); },
              [this](bool, const QStringList &) { treeSettled_ = true; }, TreeSettleWatcher::Timing{500, deadlineMs},
              this)
    {
        connect(&poll_, &QTimer::timeout, this, [this] { check(false); });
        poll_.start(100);
        QTimer::singleShot(deadlineMs, this, [this] { check(true); });
    }

private:
    void check(bool deadline)
    {
        if (done_)
            return;
        const SessionKeeper *session = controller_.session();
        const bool allOpen = session && session->waiting().empty();
        // A window opens from the event loop after its channel's row was placed.
        if (!deadline && !(treeSettled_ && allOpen))
            return;
        done_ = true;
        if (session)
            for (const auto &[window, address] : session->openWindows())
                std::printf("%s\t%s\n", qUtf8Printable(window->windowTitle()),
                            qUtf8Printable(openWindowAddressText(address)));
        std::fflush(stdout);
        if (!allOpen) {
            for (const session::WindowEntry &e : session ? session->waiting() : std::vector<session::WindowEntry>{})
                std::fprintf(stderr, "tindrelcontrolpanel: no window opened for %s before the deadline\n",
                             qUtf8Printable(openWindowAddressText(e.address)));
        }
        QCoreApplication::exit(allOpen ? 0 : 1);
    }

    ViewController &controller_;
    TreeSettleWatcher settled_;
    QTimer poll_;
    bool treeSettled_ = false;
    bool done_ = false;
};

}   // namespace

std::unique_ptr<QObject> printWindowsAndQuitIfAsked(const QCommandLineParser &parser, ViewController &controller,
                                                    int deadlineMs)
{
    if (!parser.isSet(printWindowsAndQuitOption()))
        return nullptr;
    return std::make_unique<WindowPrinter>(controller, deadlineMs);
}

}   // namespace tindrel
