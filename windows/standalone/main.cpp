// tindrelexample: opens one example window, aimed at its channel by the
// command-line flags alone.
//
//   tindrelexample <WindowName> [n serial] [v port] [c channel] [h] [r]
//                               [s server] [p password] [L label] [l logfile]
//
// Flags may also be written with a dash ("-n 5").
#include "MessageBoxAlertService.h"
#include "ViewFormController.h"
#include "WindowEnvironment.h"
#include "WindowRegistry.h"

#include <QApplication>
#include <QSettings>
#include <QTextStream>

#ifdef TINDREL_WITH_SIM_CONTROL
#include <tindrelsim.h>
#endif

#include <memory>

namespace {

int usage(const tindrel::WindowRegistry &registry, const QString &problem)
{
    QTextStream err(stderr);
    if (!problem.isEmpty())
        err << problem << "\n";
    err << "Usage: tindrelexample <WindowName> [flags...]\nWindows:";
    for (const auto &entry : registry.entries())
        err << " " << entry.name;
    err << "\nFlags: n serial, v port, c channel, h, r, s server, p password, L label, l logfile"
           " (also written -n, -v, ...)\n";
    return 2;
}

}   // namespace

int main(int argc, char **argv)
{
    // The window name is checked before any display is needed.
    const tindrel::WindowRegistry registry = tindrel::WindowRegistry::standard();
    const QString name = argc >= 2 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (name.isEmpty() || name == QLatin1String("--help") || name == QLatin1String("-?"))
        return usage(registry, QString());
    const auto *entry = registry.findWindowForm(name);
    if (!entry)
        entry = registry.findViewForm(name);
    if (!entry)
        return usage(registry, QStringLiteral("No example window named \"%1\".").arg(name));

    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Tindrels"));
    QApplication::setApplicationName(QStringLiteral("Tindrel Example"));
    const QStringList args = QApplication::arguments();

#ifdef TINDREL_WITH_SIM_CONTROL
    // Lets the tindrelsim tool plug and unplug simulated devices of this process.
    TindrelSim_startControlServer(nullptr);
#endif

    tindrel::MessageBoxAlertService alerts;
    QSettings defaults;
    const tindrel::WindowEnvironment env{alerts, defaults, args};

    std::unique_ptr<tindrel::ViewFormController> view;
    if (entry->form == tindrel::ExampleWindow::Form::Window)
        tindrel::WindowRegistry::openWindowForm(*entry, env);
    else
        view = tindrel::WindowRegistry::openViewForm(*entry, env);

    const int status = QApplication::exec();
    view.reset();
#ifdef TINDREL_WITH_SIM_CONTROL
    TindrelSim_stopControlServer();
#endif
    return status;
}
