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

}  // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Tindrels"));
    QApplication::setApplicationName(QStringLiteral("Tindrel Example"));

    const tindrel::WindowRegistry registry = tindrel::WindowRegistry::standard();
    const QStringList args = QApplication::arguments();
    if (args.size() < 2 || args[1] == QLatin1String("--help") || args[1] == QLatin1String("-?"))
        return usage(registry, QString());

    const QString name = args[1];
    const auto *entry = registry.findWindowForm(name);
    if (!entry)
        entry = registry.findViewForm(name);
    if (!entry)
        return usage(registry, QStringLiteral("No example window named \"%1\".").arg(name));

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
