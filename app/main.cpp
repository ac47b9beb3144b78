// tindrelcontrolpanel: shows every channel the device library reports in a
// live tree and opens example windows for them.

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QMainWindow>
#include <QSettings>
#include <QSocketNotifier>
#include <QStyleFactory>
#include <QTextStream>

#include "BoardListController.h"
#include "DesktopPalette.h"
#include "DeviceAccess.h"
#include "ExampleWindowDispatch.h"
#include "ServerLinux.h"
#include "ServerPanelController.h"
#include "SessionKeeper.h"
#ifdef TINDREL_HAVE_POLKIT
#include "PolkitPanelAuthority.h"
#endif
#include "IconArt.h"
#include "LibraryExtras.h"
#include "MessageBoxAlertService.h"
#include "Paths.h"
#include "PortalColorScheme.h"
#include "TreePrinter.h"
#include "ViewController.h"
#include "ViewFormController.h"
#include "WindowRegistry.h"
#include "WindowsOnCommandLine.h"
#include "XdgUrlOpener.h"

namespace {

constexpr int kExitBadCommandLine = 2;

// SIGINT and SIGTERM end the program the same way closing the window does.
class QuitOnSignal {
public:
    QuitOnSignal()
    {
        if (::socketpair(AF_UNIX, SOCK_STREAM, 0, fds_) != 0)
            return;
        writeFd_ = fds_[0];
        notifier_ = std::make_unique<QSocketNotifier>(fds_[1], QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, [] { QCoreApplication::quit(); });
        struct sigaction sa = {};
        sa.sa_handler = [](int) {
            const char c = 1;
            [[maybe_unused]] auto n = ::write(writeFd_, &c, 1);
        };
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        sigaction(SIGINT, &sa, nullptr);
        sigaction(SIGTERM, &sa, nullptr);
    }
    ~QuitOnSignal()
    {
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
        notifier_.reset();
        if (writeFd_ >= 0) {
            writeFd_ = -1;
            ::close(fds_[0]);
            ::close(fds_[1]);
        }
    }
    QuitOnSignal(const QuitOnSignal &) = delete;
    QuitOnSignal &operator=(const QuitOnSignal &) = delete;

private:
    static inline volatile int writeFd_ = -1;
    int fds_[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> notifier_;
};

// Without polkit nothing is ever authorized: the panel stays locked.
class NoAuthority : public tindrel::platform::PanelAuthority {
public:
    bool isAuthorized(bool) override { return false; }
    void revoke() override { }
};

// The helper tool: installed beside the program's libexec folder, else the
// build tree's own.
std::string helperToolPath()
{
    const QString installed = QDir(QCoreApplication::applicationDirPath())
                                  .absoluteFilePath(QStringLiteral("../libexec/tindrelcontrolpanel/raiseTool"));
    if (QFileInfo(installed).isExecutable())
        return QFileInfo(installed).canonicalFilePath().toStdString();
#ifdef TINDREL_BUILD_RAISETOOL
    return TINDREL_BUILD_RAISETOOL;
#else
    return "/usr/libexec/tindrelcontrolpanel/raiseTool";
#endif
}

tindrel::server::ServerPanelServices serverPanelServices(tindrel::AlertService &alerts,
                                                         std::shared_ptr<tindrel::platform::UrlOpener> urls)
{
    using namespace tindrel;
    server::ServerPanelServices s;
    s.helper = std::make_shared<platform::linux_impl::ForkHelperLauncher>(helperToolPath());
    s.processes = std::make_shared<platform::linux_impl::ProcProcessTable>();
    s.sleeper = std::make_shared<platform::linux_impl::RealSleeper>();
#ifdef TINDREL_HAVE_POLKIT
    s.authority = std::make_shared<platform::linux_impl::PolkitPanelAuthority>(
        std::string(paths::kPanelLockAction), std::vector<std::string>{std::string(paths::kAdminAction)});
#else
    s.authority = std::make_shared<NoAuthority>();
#endif
    s.alerts = &alerts;
    s.openUrl = [urls](const QUrl &url) { return urls->openUrl(url.toString().toStdString()); };
    s.deviceAccess = [] { return server::checkDeviceAccess("/"); };
    return s;
}

}   // namespace

int main(int argc, char *argv[])
{
    // The command line is read before any window system is touched, so that
    // --help and mistakes are answered even without a display.
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Shows every Tindrel channel, local and on network servers, in a live tree.\n"
                       "A rig file that cannot be read or parsed, or a wrong argument, is reported\n"
                       "on standard error and the program exits with status 2 without opening a\n"
                       "window."));
    // -h and -v belong to the example windows' flags, so help and version
    // have long names only.
    const QCommandLineOption helpOption(QStringLiteral("help"), QStringLiteral("Show this help."));
    const QCommandLineOption versionOption(QStringLiteral("version"), QStringLiteral("Show the version."));
    parser.addOption(helpOption);
    parser.addOption(versionOption);
    const std::unique_ptr<tindrel::LibraryExtras> extras = tindrel::makeLibraryExtras();
    parser.addOptions(extras->options());
    parser.addOption(tindrel::printTreeAndQuitOption());
    const QCommandLineOption cleanOption(QStringLiteral("clean"),
                                         QStringLiteral("Start clean: forget the remembered session (the main "
                                                        "window's place and the example windows open at the last "
                                                        "quit)."));
    parser.addOption(cleanOption);
    parser.addOption(tindrel::openWindowOption());
    parser.addOption(tindrel::printWindowsAndQuitOption());
    // Flags that aim the example windows at a channel; the windows read them
    // from the process's arguments themselves.
    struct WindowFlag {
        const char *name;
        const char *valueName;   // nullptr: a flag without a value
        const char *description;
    };
    static constexpr WindowFlag windowFlags[] = {
        {"n", "serialNumber", "Example windows: device serial number (default any)."},
        {"l", "logFile", "Example windows: enable the library log into logFile."},
        {"v", "port", "Example windows: hub port (default 0)."},
        {"c", "deviceChannel", "Example windows: channel (default 0)."},
        {"h", nullptr, "Example windows: the device is a hub port device."},
        {"L", "deviceLabel", "Example windows: device label."},
        {"r", nullptr, "Example windows: open on any remote server."},
        {"s", "serverName", "Example windows: open on this server."},
        {"p", "password", "Example windows: the server's password."},
    };
    for (const WindowFlag &f : windowFlags)
        parser.addOption(QCommandLineOption(QString::fromLatin1(f.name), QString::fromLatin1(f.description),
                                            f.valueName ? QString::fromLatin1(f.valueName) : QString()));
    if (!parser.parse(args)) {
        QTextStream(stderr) << "tindrelcontrolpanel: " << parser.errorText() << "\n"
                            << "Try 'tindrelcontrolpanel --help'.\n";
        return kExitBadCommandLine;
    }
    if (parser.isSet(helpOption)) {
        QTextStream(stdout) << "Usage: tindrelcontrolpanel " << extras->usage() << "[example window flags]\n\n"
                            << parser.helpText().section(QLatin1Char('\n'), 1);
        return 0;
    }
    if (parser.isSet(versionOption)) {
        QTextStream(stdout) << tindrel::kApplicationName << " " << TINDREL_VERSION << "\n";
        return 0;
    }
    if (!parser.positionalArguments().isEmpty()) {
        QTextStream(stderr) << "tindrelcontrolpanel: unexpected argument '" << parser.positionalArguments().first()
                            << "'\nTry 'tindrelcontrolpanel --help'.\n";
        return kExitBadCommandLine;
    }
    std::vector<tindrel::session::ChannelAddress> windowsToOpen;
    for (const QString &text : parser.values(tindrel::openWindowOption())) {
        QString problem;
        const auto address = tindrel::channelFromOption(text, problem);
        if (!address) {
            QTextStream(stderr) << "tindrelcontrolpanel: --open-window: " << problem << "\n";
            return kExitBadCommandLine;
        }
        windowsToOpen.push_back(*address);
    }
    if (QString error; !extras->apply(parser, error)) {
        QTextStream(stderr) << "tindrelcontrolpanel: " << error << "\n";
        return kExitBadCommandLine;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        QTextStream(stderr) << "tindrelcontrolpanel: no display to show the window on; run it under X or Wayland,\n"
                               "or with QT_QPA_PLATFORM=offscreen, or through xvfb-run.\n";
        return 1;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(tindrel::kApplicationName));
    QApplication::setApplicationVersion(QStringLiteral(TINDREL_VERSION));
    QApplication::setOrganizationName(QStringLiteral("Tindrels"));
    QApplication::setWindowIcon(tindrel::iconNamed(QStringLiteral("app")));
    // Light or dark as the desktop asks, in a style that draws both alike.
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    tindrel::platform::linux_impl::PortalColorScheme colorScheme;
    const tindrel::DesktopPalette palette(colorScheme);

    extras->start();
    QuitOnSignal quitOnSignal;

    tindrel::MessageBoxAlertService alerts;
    QSettings defaults;
    tindrel::WindowRegistry registry = tindrel::WindowRegistry::standard();
    tindrel::ExampleWindowDispatch dispatch(registry, alerts, defaults);

    tindrel::ViewController::Options options;
    options.alerts = &alerts;
    if (const auto log = tindrel::paths::libraryLogFile())
        options.logPath = QString::fromStdString(log->string());
    else
        std::fprintf(stderr, "tindrelcontrolpanel: no log folder could be made; the library log is off\n");
    options.openLeaf = [&dispatch](TindrelTreeNode *leaf, QWidget *window) {
        return dispatch.openWindow(leaf, window);
    };
    options.defaults = &defaults;
    options.startClean = parser.isSet(cleanOption);
    const auto urls = std::make_shared<tindrel::platform::linux_impl::XdgUrlOpener>();
    options.makeServerPanel = [&alerts, urls](QWidget *parent) {
        return std::make_unique<tindrel::server::ServerPanelController>(serverPanelServices(alerts, urls), parent);
    };
    options.makeBoardList = [urls](QWidget *parent) {
        tindrel::server::BoardListServices s;
        s.resolver = std::make_shared<tindrel::server::LibraryAddressResolver>();
        s.urls = urls;
        return std::make_unique<tindrel::server::BoardListController>(std::move(s), parent);
    };
    tindrel::ViewController controller(std::move(options));
    for (const tindrel::session::ChannelAddress &address : windowsToOpen)
        controller.session()->openWhenAttached(address);
    controller.window()->show();
    controller.applicationDidFinishLaunching();
    const auto treePrinter = tindrel::printTreeAndQuitIfAsked(parser, controller);
    const auto windowPrinter = tindrel::printWindowsAndQuitIfAsked(parser, controller);
    const int status = QApplication::exec();
    controller.applicationWillTerminate();
    return status;
}
